// What one start of the program asks for, from its command line.
#include "launch_request.h"

#include <gtest/gtest.h>

using namespace velbrin::player;

TEST(LaunchRequest, ArgumentsAsTheProgramReadsThem) {
    const struct {
        QStringList arguments;
        QStringList entries, drives;
        QString action, badOption;
        bool newInstance = false;
    } cases[] = {
        {{"song.mp3", "/music"}, {"/work/song.mp3", "/music"}, {}, {}, {}},
        {{"file:///music/My%20Song.mp3", "file://remote/x.mp3"},
         {"/music/My Song.mp3"},
         {},
         {},
         {}},
        {{"cdda://sr0", "/run/user/1000/gvfs/cdda:host=sr1"}, {}, {"/dev/sr0", "/dev/sr1"}, {}, {}},
        {{"--new-instance", "--next", "a.mp3"}, {"/work/a.mp3"}, {}, "next", {}, true},
        {{"--", "--stop", "-h"}, {"/work/--stop", "/work/-h"}, {}, {}, {}},
        {{"--stop", "--shuffle", "--bogus"}, {}, {}, "stop", "--shuffle"},
    };
    for (const auto &c : cases) {
        const LaunchRequest r = parseLaunch(c.arguments, QStringLiteral("/work"));
        const std::string what = c.arguments.join(' ').toStdString();
        EXPECT_EQ(r.entries, c.entries) << what;
        EXPECT_EQ(r.cdDrives, c.drives) << what;
        EXPECT_EQ(r.action, c.action) << what;
        EXPECT_EQ(r.badOption, c.badOption) << what;
        EXPECT_EQ(r.newInstance, c.newInstance) << what;
        EXPECT_FALSE(r.help) << what;
    }
    EXPECT_TRUE(parseLaunch({"-h"}).help);
    EXPECT_TRUE(parseLaunch({"--version"}).version);
    EXPECT_EQ(parseLaunch({"song.mp3"}).entries, QStringList{"song.mp3"})
        << "without a folder, relative paths stay as given";
}

TEST(LaunchRequest, AddressesReadBackAsTheSameRequest) {
    LaunchRequest r;
    r.entries = {"/music/a #1%.mp3", "/music/Ünïcode folder", "/music/list.m3u8"};
    r.cdDrives = {"/dev/sr0"};
    EXPECT_EQ(parseLaunch(addressesOf(r)), r);
}

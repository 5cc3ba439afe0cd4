// CD time arithmetic, display texts and the drive-name rules, without a device.
#include "cd_time.h"
#include "settings_test_support.h"

#include <gtest/gtest.h>

using namespace velbrin::cd;

TEST(CdTime, PackedFieldsAndTheirTwoFieldTexts) {
    struct Case {
        uint32_t packed;
        const char *formA;
        const char *formB;
    };
    const Case cases[] = {
        {PackMsf(0, 0, 0), "00:00", "00:00"},
        {PackMsf(7, 5, 74), "07:05", "05:74"},
        {PackMsf(72, 10, 3), "72:10", "10:03"},
        {PackTmsf(2, 0, 9, 60), "02:00", "00:09"},
        {PackTmsf(12, 61, 59, 0), "12:61", "61:59"},
        {MsfFromFrames(7 * 75 + 5), "00:07", "07:05"},
        {MsfFromFrames(61 * 60 * 75 + 75 + 1), "61:01", "01:01"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(TimeFormA(c.packed), QString::fromLatin1(c.formA));
        EXPECT_EQ(TimeFormB(c.packed), QString::fromLatin1(c.formB));
    }
    EXPECT_EQ(PackTmsf(3, 4, 5, 6), 0x06050403u) << "lowest byte first";
    EXPECT_EQ(PackedByte(PackTmsf(3, 4, 5, 6), 3), 6);
}

TEST(CdTime, DisplayModesCycleAndPickTheirValue) {
    const uint32_t disc = PackMsf(7, 5, 0);
    const uint32_t position = PackTmsf(2, 0, 9, 0);
    const uint32_t track = PackMsf(3, 10, 0);
    EXPECT_EQ(TimeText(1, disc, position, track), QStringLiteral("07:05"));
    EXPECT_EQ(TimeText(2, disc, position, track), QStringLiteral("00:09"));
    EXPECT_EQ(TimeText(3, disc, position, track), QStringLiteral("03:10"));
    int mode = 1;
    for (int expected : {2, 3, 1}) {
        mode = NextDisplayMode(mode);
        EXPECT_EQ(mode, expected);
    }
}

TEST(CdTime, EndOfDiscNeedsTheLastTrackAtItsLength) {
    const uint32_t length = PackMsf(1, 40, 20);
    EXPECT_TRUE(AtEndOfDisc("3", "3", length, PackTmsf(3, 1, 40, 0)));
    EXPECT_TRUE(AtEndOfDisc("3", "3", length, PackTmsf(3, 1, 40, 74))) << "frames do not count";
    EXPECT_FALSE(AtEndOfDisc("3", "3", length, PackTmsf(3, 1, 39, 74)));
    EXPECT_FALSE(AtEndOfDisc("3", "2", length, PackTmsf(2, 1, 40, 0))) << "not the last track";
    EXPECT_FALSE(AtEndOfDisc("00", "0", PackMsf(0, 0, 0), 0)) << "nothing opened yet";
}

TEST(CdTime, StoredDriveNames) {
    const std::pair<const char *, const char *> cases[] = {
        {"E:\\", "E"},
        {"  d:\\ ", "d"},
        {"F:", "F"},
        {"/dev/sr0", "/dev/sr0"},
        {" /home/u/My CD/disc.cue  ", "/home/u/My CD/disc.cue"},
        {"C:\\disc.cue", "C:\\disc.cue"},
        {"   ", ""},
    };
    for (const auto &[stored, element] : cases) {
        EXPECT_EQ(ElementNameForStoredDrive(QString::fromLatin1(stored)),
                  QString::fromLatin1(element))
            << stored;
    }
}

TEST(CdTime, CaptionAndOpenFailureTexts) {
    EXPECT_EQ(CdCaption(DeviceMode::NotReady), QStringLiteral("Velbrin CD-player: Not ready"));
    EXPECT_EQ(CdCaption(DeviceMode::Paused), QStringLiteral("Velbrin CD-player: Paused"));
    EXPECT_EQ(CdCaption(DeviceMode::Open), QStringLiteral("Velbrin CD-player: Open"));
    EXPECT_EQ(OpenFailureMessage(QStringLiteral("E:\\"), QStringLiteral("No disc.")),
              QStringLiteral("The following error occurred while trying to play the CD in drive "
                             "E:\\: \n\nNo disc."));
}

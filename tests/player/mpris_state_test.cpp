// What the desktop's media controls are told, without a bus.
#include "mpris_state.h"

#include <gtest/gtest.h>

#include <limits>

using namespace velbrin::player::mpris;

namespace {
SongTag song(const char *path) {
    SongTag t;
    t.path = QString::fromLatin1(path);
    return t;
}
} // namespace

TEST(MprisState, PlayerStatesAsPlaybackStatus) {
    const std::pair<int, const char *> cases[] = {
        {0, "Stopped"}, {1, "Playing"}, {2, "Paused"}, {3, "Playing"}, {-1, "Stopped"}};
    for (const auto &[state, status] : cases) {
        EXPECT_EQ(PlaybackStatusFor(state), QString::fromLatin1(status)) << state;
    }
}

TEST(MprisState, MetadataFromTheTag) {
    const Metadata m = MetadataFor({QStringLiteral("/music/My Song.mp3"), QStringLiteral(" Tune "),
                                    QStringLiteral("Band"), QStringLiteral("Album"), 125});
    EXPECT_EQ(m.title, QStringLiteral("Tune"));
    EXPECT_EQ(m.artist, QStringList{QStringLiteral("Band")});
    EXPECT_EQ(m.album, QStringLiteral("Album"));
    EXPECT_EQ(m.lengthUs, 125'000'000);
    EXPECT_EQ(m.url, QStringLiteral("file:///music/My%20Song.mp3"));
    EXPECT_TRUE(m.trackId.startsWith(QStringLiteral("/org/velbrin/track/t")));
    EXPECT_FALSE(m.trackId.contains(QLatin1Char(' ')));
    EXPECT_EQ(MetadataFor(song("/music/My Song.mp3")).trackId, m.trackId)
        << "the same song keeps its id";
    EXPECT_NE(MetadataFor(song("/music/Other.mp3")).trackId, m.trackId);
    EXPECT_NE(MetadataFor(song("/music/My Song.mp3"), 1).trackId, m.trackId)
        << "opened again, it is a new track";
    EXPECT_TRUE(MetadataFor(song("rel/a.mp3")).url.startsWith(QStringLiteral("file:///")))
        << "a relative path gives an absolute address";

    const Metadata untagged = MetadataFor(song("/music/My Song.mp3"));
    EXPECT_EQ(untagged.title, QStringLiteral("My Song"));
    EXPECT_TRUE(untagged.artist.isEmpty());
    EXPECT_EQ(MetadataFor({}).trackId, QString::fromLatin1(kNoTrack));
}

TEST(MprisState, VolumeAndLevelMeetAtTheEnds) {
    EXPECT_EQ(VolumeForLevel(99), 1.0);
    EXPECT_EQ(VolumeForLevel(0), 0.0);
    EXPECT_EQ(VolumeForLevel(150), 1.0);
    const std::pair<double, int> cases[] = {{0.5, 50},
                                            {1.0, 99},
                                            {0.0, 0},
                                            {-2.0, 0},
                                            {7.0, 99},
                                            {std::numeric_limits<double>::quiet_NaN(), 0},
                                            {std::numeric_limits<double>::infinity(), 99}};
    for (const auto &[volume, level] : cases) {
        EXPECT_EQ(LevelForVolume(volume), level) << volume;
    }
    for (int level = 0; level <= 99; ++level) {
        ASSERT_EQ(LevelForVolume(VolumeForLevel(level)), level);
    }
}

TEST(MprisState, SeekAndSetPositionStayInsideTheSong) {
    const int64_t len = 60'000'000;
    EXPECT_EQ(SeekTarget(10'000'000, 5'000'000, len).positionUs, 15'000'000);
    EXPECT_EQ(SeekTarget(10'000'000, -20'000'000, len).positionUs, 0);
    EXPECT_FALSE(SeekTarget(10'000'000, -20'000'000, len).next);
    EXPECT_TRUE(SeekTarget(50'000'000, 20'000'000, len).next);

    SongTag a = song("/a.mp3");
    a.durationSeconds = 60;
    const Metadata playing = MetadataFor(a);
    EXPECT_TRUE(SetPositionApplies(playing.trackId, 30'000'000, playing));
    EXPECT_FALSE(SetPositionApplies(playing.trackId, len + 1, playing));
    EXPECT_FALSE(SetPositionApplies(playing.trackId, -1, playing));
    EXPECT_FALSE(SetPositionApplies(MetadataFor(song("/b.mp3")).trackId, 0, playing));
    const Metadata none = MetadataFor({});
    EXPECT_FALSE(SetPositionApplies(none.trackId, 0, none));
}

TEST(MprisState, ChangedPropertiesNameOnlyWhatChanged) {
    PlayerSnapshot a;
    EXPECT_TRUE(ChangedProperties(a, a).isEmpty());
    PlayerSnapshot b = a;
    b.playbackStatus = QStringLiteral("Playing");
    b.metadata = MetadataFor(song("/a.mp3"));
    b.canPlay = true;
    b.canPause = true;
    EXPECT_EQ(ChangedProperties(a, b),
              (QStringList{QStringLiteral("PlaybackStatus"), QStringLiteral("Metadata"),
                           QStringLiteral("CanPlay"), QStringLiteral("CanPause")}));
}

TEST(MprisState, LoopStatusIsTheRepeatModes) {
    const std::pair<LoopModes, const char *> cases[] = {
        {{false, false}, "None"}, {{true, false}, "Playlist"}, {{false, true}, "Track"}};
    for (const auto &[modes, status] : cases) {
        EXPECT_EQ(LoopStatusFor(modes), QString::fromLatin1(status));
        EXPECT_EQ(LoopModesFor(QString::fromLatin1(status)), modes) << status;
    }
    EXPECT_EQ(LoopStatusFor({true, true}), QStringLiteral("Track")) << "the one song wins";
    EXPECT_FALSE(LoopModesFor(QStringLiteral("track")).has_value());
}

namespace {
ListPosition pos(int count, int index, bool shuffle = false, bool repeatAll = false,
                 int notPlayed = 0, std::function<bool(int)> passes = {}) {
    return {count, index, shuffle, repeatAll, notPlayed, std::move(passes)};
}
} // namespace

TEST(MprisState, NextAndPreviousAreOfferedExactlyWhenTheyDoSomething) {
    const auto oddOnly = [](int i) { return i % 2 == 1; };
    const struct {
        const char *what;
        ListPosition list;
        bool next, previous, nextWraps, previousWraps;
    } cases[] = {
        {"empty list", pos(0, -1), false, false, false, false},
        {"no current entry", pos(3, -1), false, false, false, false},
        {"middle", pos(3, 1), true, true, false, false},
        {"last, no repeat", pos(3, 2), false, true, false, false},
        {"last, All songs", pos(3, 2, false, true), true, true, true, false},
        {"first, All songs", pos(3, 0, false, true), true, true, false, true},
        {"one song, All songs", pos(1, 0, false, true), true, true, true, true},
        {"shuffle, songs left", pos(3, 2, true, false, 1), true, true, false, false},
        {"shuffle, all played", pos(3, 2, true, false, 0), false, false, false, false},
        {"shuffle, all played, All songs", pos(3, 2, true, true, 0), true, true, false, false},
        {"filter, none passes after", pos(4, 3, false, false, 0, oddOnly), false, true, false,
         false},
        {"filter, one passes after", pos(4, 2, false, false, 0, oddOnly), true, true, false, false},
        {"filter, none passes before", pos(4, 1, false, false, 0, oddOnly), true, false, false,
         false},
        {"filter wraps itself", pos(4, 3, false, true, 0, oddOnly), true, true, false, false},
        {"filter, nothing passes", pos(4, 3, false, true, 0, [](int) { return false; }), false,
         false, false, false},
    };
    for (const auto &c : cases) {
        const Navigation n = NavigationFor(c.list);
        EXPECT_EQ(n.canGoNext, c.next) << c.what;
        EXPECT_EQ(n.canGoPrevious, c.previous) << c.what;
        EXPECT_EQ(n.nextWraps, c.nextWraps) << c.what;
        EXPECT_EQ(n.previousWraps, c.previousWraps) << c.what;
    }
}

TEST(MprisState, CoverFilesAreFileAddresses) {
    EXPECT_EQ(ArtUrlFor(QStringLiteral("/cache/covers/a b.png")),
              QStringLiteral("file:///cache/covers/a%20b.png"));
    EXPECT_EQ(ArtUrlFor(QString()), QString());
}

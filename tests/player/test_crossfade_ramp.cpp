// The song-change arithmetic: trigger seconds, steps, the levels of every tick.
#include "CrossfadeRamp.h"

#include <gtest/gtest.h>

#include "settings_store.h"
#include "studio_sound.h"

#include <map>
#include <vector>

using namespace velbrin::player;

namespace {

struct RampRun {
    int first;              // the new song's opening level
    std::vector<int> olds;  // old player per tick
    std::vector<int> news;  // new player per tick
    std::vector<bool> says; // the DJ's tick
};

RampRun overlapRun(int64_t duration, int64_t overlap, int minvol) {
    CrossfadeRamp ramp;
    RampRun run;
    run.first = ramp.startOverlap(duration, duration - overlap, {overlap, minvol});
    // A zero overlap starts the timer with tag 0 and it still ticks once.
    for (bool last = false; !last;) {
        const CrossfadeRamp::Tick t = ramp.tick();
        run.olds.push_back(t.oldLevel);
        run.news.push_back(t.newLevel);
        run.says.push_back(t.announce);
        last = t.last;
    }
    return run;
}

std::vector<int> stepping(int from, int step, int count) {
    std::vector<int> v;
    for (int i = 0; i < count; ++i) {
        v.push_back(from + i * step);
    }
    return v;
}

TEST(CrossfadeRamp, LevelsOfEveryTick) {
    struct Case {
        const char *name;
        int64_t overlap;
        int minvol;
        int first;
        std::vector<int> olds, news;
    };
    const Case cases[] = {
        {"studio 6/75", 6, 75, 77, stepping(95, -2, 12), stepping(77, 2, 12)},
        {"live 5/0", 5, 0, 9, stepping(81, -9, 10), stepping(9, 9, 10)},
        // No room to move: both stay at full volume until the old one is cut.
        {"minimum 99", 4, 99, 99, std::vector<int>(8, 99), std::vector<int>(8, 99)},
        // One tick, whose formulas leave the range; the clamp holds them.
        {"overlap 0", 0, 75, 99, {0}, {99}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const RampRun run = overlapRun(180, c.overlap, c.minvol);
        EXPECT_EQ(run.first, c.first);
        EXPECT_EQ(run.olds, c.olds);
        EXPECT_EQ(run.news, c.news);
    }
}

TEST(CrossfadeRamp, AnOverlapKeepsItsWholeValue) {
    const RampRun run = overlapRun(600, 300, 0);
    EXPECT_EQ(run.olds.size(), 600u);
    EXPECT_EQ(run.news.front(), 0); // step (99 - 0) div 600 = 0
}

TEST(CrossfadeRamp, TheDjSpeaksOnTheTickOfItsTag) {
    struct Case {
        int64_t overlap;
        int tick; // 1-based; 0 for none
    };
    // Tags count down from 2 * overlap; the DJ's is ((2 * overlap) div 3) * 2.
    for (const Case c : {Case{6, 5}, Case{10, 9}, Case{1, 0}, Case{0, 1}, Case{3, 3}}) {
        SCOPED_TRACE(c.overlap);
        const RampRun run = overlapRun(100, c.overlap, 75);
        std::vector<bool> expected(run.says.size(), false);
        if (c.tick > 0) {
            expected.at(static_cast<size_t>(c.tick - 1)) = true;
        }
        EXPECT_EQ(run.says, expected);
    }
}

TEST(CrossfadeRamp, NormHandOverLevelsStayInRangeAndEndAtFullVolume) {
    CrossfadeRamp ramp;
    // No overlap since start: the preloaded song opens at its minimum.
    EXPECT_EQ(ramp.preload(75), 75);
    ramp.GlobSongDuration = 30;
    ramp.startHandOver(0);
    CrossfadeRamp::Tick t = ramp.tick();
    EXPECT_EQ(t.oldLevel, 99);
    EXPECT_EQ(t.newLevel, 75);
    EXPECT_TRUE(t.last);

    // After a Studio overlap the step and the count of played seconds remain,
    // and the formulas run far outside 0..99.
    ramp.startOverlap(200, 194, {6, 75});
    while (!ramp.tick().last) {
    }
    EXPECT_EQ(ramp.preload(75), 77);
    ramp.GlobSongDuration = 30;
    ramp.startHandOver(2);
    for (int i = 0; i < 4; ++i) {
        t = ramp.tick();
        EXPECT_EQ(t.oldLevel, 0);
        EXPECT_EQ(t.newLevel, 99);
        EXPECT_EQ(t.last, i == 3);
    }
}

TEST(SongChangeTrigger, FiresOnceAtItsSecond) {
    using A = SongChangeTrigger::Action;
    struct Case {
        const char *name;
        PlayMode mode;
        int64_t duration, overlap;
        std::vector<int64_t> elapsed; // time codes in order
        std::vector<A> actions;
    };
    const Case cases[] = {
        {"studio, finer time codes",
         PlayMode::Studio,
         20,
         6,
         {13, 14, 14, 14, 15},
         {A::None, A::StartOverlap, A::None, A::None, A::None}},
        {"live equal to the song", PlayMode::Live, 8, 8, {0, 1}, {A::StartOverlap, A::None}},
        {"longer than the song",
         PlayMode::Studio,
         8,
         9,
         {0, 1, 7, 8},
         {A::None, A::None, A::None, A::None}},
        {"negative never matches", PlayMode::Studio, 8, -1, {8, 9}, {A::None, A::None}},
        {"no duration yet", PlayMode::Studio, 0, 0, {0}, {A::None}},
        {"norm five before the end",
         PlayMode::Norm,
         20,
         0,
         {14, 15, 15, 16},
         {A::None, A::Preload, A::None, A::None}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SongChangeTrigger trigger;
        trigger.songStarted();
        std::vector<A> got;
        for (int64_t e : c.elapsed) {
            got.push_back(trigger.check(c.mode, c.duration, e, c.overlap));
        }
        EXPECT_EQ(got, c.actions);
    }
}

TEST(SongChangeTrigger, FromTheAudibleEndItStartsOnceFromItsSecondToTheEnd) {
    EXPECT_EQ(heardDuration(20, -1), 20);
    EXPECT_EQ(heardDuration(20, 12499), 12) << "to the nearest second";
    EXPECT_EQ(heardDuration(20, 12500), 13);
    EXPECT_EQ(heardDuration(20, 25000), 20);
    using A = SongChangeTrigger::Action;
    struct Case {
        const char *name;
        int64_t overlap;
        std::vector<std::pair<int64_t, int64_t>> codes; // elapsed, heard
        std::vector<A> actions;
    };
    const Case cases[] = {
        {"on time", 4, {{8, 13}, {9, 13}, {10, 13}}, {A::None, A::StartOverlap, A::None}},
        {"learnt late", 4, {{10, 20}, {11, 13}, {12, 13}}, {A::None, A::StartOverlap, A::None}},
        {"negative never matches", -1, {{12, 13}, {13, 13}, {19, 13}}, {A::None, A::None, A::None}},
        {"a stale time code past the end", 4, {{21, 13}}, {A::None}},
        {"longer than what is heard", 14, {{0, 13}, {5, 13}}, {A::None, A::None}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SongChangeTrigger trigger;
        std::vector<A> got;
        for (const auto &[elapsed, heard] : c.codes) {
            got.push_back(trigger.check(PlayMode::Live, 20, elapsed, c.overlap, heard));
        }
        EXPECT_EQ(got, c.actions);
    }
}

TEST(SongChangeTrigger, ANewSongArmsItAgain) {
    SongChangeTrigger trigger;
    EXPECT_EQ(trigger.check(PlayMode::Norm, 20, 15, 0), SongChangeTrigger::Action::Preload);
    EXPECT_EQ(trigger.check(PlayMode::Norm, 20, 15, 0), SongChangeTrigger::Action::None);
    trigger.songStarted();
    EXPECT_EQ(trigger.check(PlayMode::Norm, 20, 15, 0), SongChangeTrigger::Action::Preload);
}

// A store of its own, so the reading rules are all that is tested.
class MemoryStore : public velbrin::SettingsStore {
public:
    QString read(const QString &section, const QString &name) const override {
        const auto it = values.find(section + '/' + name);
        return it == values.end() ? QString() : it->second;
    }
    bool write(const QString &section, const QString &name, const QString &text) override {
        values[section + '/' + name] = text;
        return true;
    }
    std::map<QString, QString> values;
};

TEST(ModeMix, StoredValuesAreReadWithTheirDefaultsAndClamped) {
    struct Case {
        const char *overlap, *minvol; // stored texts; null for none
        int64_t readOverlap;
        int readMinvol;
    };
    const Case cases[] = {
        {nullptr, nullptr, 0, 75},
        {"300", "43", 300, 43},
        {"six", "many", 0, 75},
        // A huge overlap overflowed the ramp's arithmetic; an hour is plenty.
        {"9223372036854775807", "150", kMaxOverlapSeconds, 99},
        {"-5", "-3", 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.overlap != nullptr ? c.overlap : "missing");
        MemoryStore store;
        if (c.overlap != nullptr) {
            store.write("DJ-Settings", "OverlapNorm", c.overlap);
            store.write("DJ-Settings", "MinVolumeNorm", c.minvol);
        }
        const ModeMix mix = readModeMix(store, PlayMode::Norm);
        EXPECT_EQ(mix.overlap, c.readOverlap);
        EXPECT_EQ(mix.minvol, c.readMinvol);
        EXPECT_EQ(readModeMix(store, PlayMode::Studio).overlap, 0) << "each mode its own";
    }
}

TEST(StudioSound, StoredValuesAreReadWithTheirDefaultsAndClamped) {
    struct Case {
        const char *duck, *skip; // stored texts; null for none
        int readDuck;
        bool readSkip;
    };
    const Case cases[] = {
        {nullptr, nullptr, 12, true}, {"0", "0", 0, false},        {"30", "-1", 24, true},
        {"-4", "False", 0, false},    {"loud", "maybe", 12, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.duck != nullptr ? c.duck : "missing");
        MemoryStore store;
        if (c.duck != nullptr) {
            store.write("DJ-Settings", "DuckDepth", c.duck);
            store.write("DJ-Settings", "SkipSilence", c.skip);
        }
        const velbrin::StudioSound sound = velbrin::readStudioSound(store);
        EXPECT_EQ(sound.duckDepthDb, c.readDuck);
        EXPECT_EQ(sound.skipSilence, c.readSkip);
    }
}

} // namespace

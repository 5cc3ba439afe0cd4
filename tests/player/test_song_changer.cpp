// Song changes of the play modes, driving two real engine components against
// the recording engine double: the commands sent and the levels set.
#include "KelvraSpectrum.h"
#include "SongChanger.h"
#include "engine_double.h"
#include "settings_store.h"
#include "song_changer_rig.h"

#include <gtest/gtest.h>

#include <optional>

using velbrin::engine::TKelvraSpectrum;
using namespace velbrin::player;

// Readable failure messages for Qt texts.
void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

class SongChangerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { velbrin::test::ensureCoreApplication(); }
    void SetUp() override {
        for (TKelvraSpectrum *p : {&one, &two}) {
            p->setKelvraPath(velbrin::test::doublePath());
            p->Init();
            ids.push_back(newestId());
        }
        remake();
        engine.reset();
    }
    // A changer of its own, with the first player current.
    void remake() {
        SongChanger::Hooks h;
        h.chooseNextSong = [this] {
            ++chosen;
            return next.empty() ? QString() : next.at(std::min(chosen, next.size()) - 1);
        };
        h.prepareOutput = [this](TKelvraSpectrum &p, const QString &path) {
            wavNames.push_back(name(&p) + path);
            return true;
        };
        h.showSong = [this](const QString &path) { shownSongs.push_back(path); };
        h.setTimer = [this](bool on) { timerOn = on; };
        h.shownFields = [] { return AnnouncedFields{"New title", "New artist", "", ""}; };
        h.tagsOf = [](const QString &path) {
            return AnnouncedFields{"Title of " + path, "Artist of " + path, "", ""};
        };
        h.speak = [this](const QString &text) { spoken.push_back(text); };
        h.stopSpeaking = [this] { spoken.push_back("(silence)"); };
        h.drawDigit = [] { return 0; };
        h.reportSkipped = [this](const QString &path, const QString &text) {
            skipped.push_back(path + ": " + text);
        };
        h.halt = [this](SongChanger::Halt why, bool playsOn) { halts.push_back({why, playsOn}); };
        h.songCount = [] { return 3; };
        h.showLevel = [this](int level) { shownLevels.push_back(level); };
        h.defer = [this](std::function<void()> step) { deferred.push_back(std::move(step)); };
        h.ducksUnderSpeech = [this] { return ducks; };
        changer.emplace(one, two, velbrin::ProgramSettings(), h);
        chosen = 0;
    }
    // Runs the continuations asked for, as the event loop would.
    void settle() {
        while (!deferred.empty()) {
            auto step = std::move(deferred.front());
            deferred.erase(deferred.begin());
            step();
        }
    }

    int newestId() const {
        int id = 0;
        for (int i = 1; i < 1000; ++i) {
            if (engine.player(i) != nullptr) {
                id = i;
            }
        }
        return id;
    }
    QString name(const TKelvraSpectrum *p) const { return p == &one ? "1:" : "2:"; }

    // The commands sent since the last call, as "<player>:<what>": close,
    // open <path>, play, or the PCM level set.
    std::vector<QString> commands() {
        std::vector<QString> out;
        for (const std::string &line : engine.log()) {
            for (size_t n = 0; n < ids.size(); ++n) {
                const std::string tag = " #" + std::to_string(ids[n]) + " ";
                const auto at = line.find(tag);
                if (line.rfind("send_", 0) != 0 || at == std::string::npos) {
                    continue;
                }
                const QStringList f =
                    QString::fromStdString(line.substr(at + tag.size())).split(' ');
                const QString who = n == 0 ? "1:" : "2:";
                const int code = f.at(0).toInt();
                if (code == KV_CMD_INPUT_CLOSE) {
                    out.push_back(who + "close");
                } else if (code == KV_CMD_INPUT_OPEN) {
                    out.push_back(who + "open " + f.at(1).mid(1).chopped(1));
                } else if (code == KV_CMD_PLAY) {
                    out.push_back(who + "play");
                } else if (code == KV_CMD_PAUSE) {
                    out.push_back(who + "pause");
                } else if (code == KV_CMD_SET_OUTPUT_VOLUME) {
                    out.push_back(who + f.at(2));
                }
            }
        }
        engine.reset();
        return out;
    }
    void startSong(TKelvraSpectrum &p, const QString &path, uint32_t duration) {
        changer->songOpened(path);
        changer->OnNotifyStreamDuration(&p, duration);
        changer->OnNotifyPlayerState(&p, KV_PLAYER_STATE_PLAYING);
    }
    // Song a (20 s) plays on the first player in `mode` up to `second`; what
    // was sent until then is dropped.
    void aPlaysUntil(PlayMode mode, int second) {
        changer->setMode(mode);
        startSong(one, "/m/a.mp3", 20);
        timeCodes(one, second, second);
        commands();
    }
    void timeCodes(TKelvraSpectrum &p, int from, int to) {
        for (int s = from; s <= to; ++s) {
            changer->OnNotifyInputTimecode(&p, 0, s / 60, s % 60);
            settle();
        }
    }
    // Runs the ramp to its end; the commands of each tick.
    std::vector<QString> ramp() {
        std::vector<QString> out;
        for (int guard = 0; timerOn && guard < 10000; ++guard) {
            changer->Timer5Timer();
            const auto c = commands();
            out.insert(out.end(), c.begin(), c.end());
        }
        return out;
    }

    velbrin::test::PrivateSettings settings;
    velbrin::test::EngineDouble engine;
    TKelvraSpectrum one, two;
    std::vector<int> ids;
    std::optional<SongChanger> changer;
    std::vector<QString> next{"/m/b.mp3"};
    size_t chosen = 0;
    std::vector<QString> wavNames, shownSongs, spoken, skipped;
    std::vector<int> shownLevels;
    std::vector<std::pair<SongChanger::Halt, bool>> halts;
    std::vector<std::function<void()>> deferred;
    bool timerOn = false;
    bool ducks = false; // the engine lowers the music under the DJ
};

std::vector<QString> tickLevels(const std::vector<int> &olds, const std::vector<int> &news) {
    std::vector<QString> out;
    for (size_t i = 0; i < olds.size(); ++i) {
        out.push_back("1:" + QString::number(olds[i]));
        out.push_back("2:" + QString::number(news[i]));
    }
    out.insert(out.end(), {"2:99", "1:0"}); // the last tick's final levels
    return out;
}

std::vector<int> steps(int from, int step, int count) {
    std::vector<int> v;
    for (int i = 0; i < count; ++i) {
        v.push_back(from + i * step);
    }
    return v;
}

TEST_F(SongChangerTest, OverlapCommandsAndLevels) {
    struct Case {
        const char *name;
        PlayMode mode;
        int overlap, minvol, duration, trigger;
        std::vector<int> olds, news;
    };
    const std::vector<Case> cases{
        {"studio 6/75", PlayMode::Studio, 6, 75, 20, 14, steps(95, -2, 12), steps(77, 2, 12)},
        {"live 5/0", PlayMode::Live, 5, 0, 20, 15, steps(81, -9, 10), steps(9, 9, 10)},
        {"minimum 99", PlayMode::Studio, 3, 99, 20, 17, std::vector(6, 99), std::vector(6, 99)},
        {"overlap 0", PlayMode::Live, 0, 75, 20, 20, {0}, {99}},
        {"overlap = song", PlayMode::Studio, 8, 75, 8, 0, steps(97, -1, 16), steps(76, 1, 16)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString suffix = playModeCaption(c.mode);
        velbrin::WriteIntegerSetting("DJ-Settings", "Overlap" + suffix, c.overlap);
        velbrin::WriteIntegerSetting("DJ-Settings", "MinVolume" + suffix, c.minvol);
        changer->setMode(c.mode);
        ASSERT_EQ(changer->KelvraSpectrum1(), &one);
        startSong(one, "/m/a.mp3", static_cast<uint32_t>(c.duration));
        timeCodes(one, 0, c.trigger - 1);
        EXPECT_TRUE(commands().empty()) << "nothing before the trigger second";
        // A second report within the trigger second starts nothing more.
        timeCodes(one, c.trigger, c.trigger);
        timeCodes(one, c.trigger, c.trigger);
        const int first = c.news.size() > 1 ? c.news.front() : 99;
        const std::vector<QString> start{"2:close", "2:" + QString::number(first),
                                         "2:open /m/b.mp3", "2:play"};
        EXPECT_EQ(commands(), start);
        EXPECT_EQ(changer->KelvraSpectrum1(), &two);
        EXPECT_EQ(changer->previousSongFile(), "/m/a.mp3");
        EXPECT_EQ(ramp(), tickLevels(c.olds, c.news));

        // Back to the first player for the next case.
        remake();
    }
}

TEST_F(SongChangerTest, AnOverlapLongerThanTheSongNeverStarts) {
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 9);
    changer->setMode(PlayMode::Studio);
    startSong(one, "/m/a.mp3", 8);
    timeCodes(one, 0, 8);
    EXPECT_TRUE(commands().empty());
    EXPECT_FALSE(changer->endOfStream(&one)) << "the end is handled as any end";
}

TEST_F(SongChangerTest, NormPreloadsFiveSecondsBeforeTheEndAndHandsOverAtIt) {
    changer->setMode(PlayMode::Norm);
    startSong(one, "/m/a.mp3", 20);
    timeCodes(one, 0, 15);
    timeCodes(one, 15, 15);
    EXPECT_EQ(commands(), (std::vector<QString>{"2:close", "2:99", "2:open /m/b.mp3"}));
    changer->OnNotifyStreamDuration(&two, 30);
    EXPECT_EQ(changer->songDuration(), 20) << "the preloaded song's duration is kept aside";
    EXPECT_TRUE(changer->endOfStream(&one));
    EXPECT_EQ(commands(), (std::vector<QString>{"2:play"}));
    EXPECT_EQ(changer->songDuration(), 30);
    EXPECT_EQ(changer->currentSongFile(), "/m/b.mp3");
    EXPECT_EQ(changer->previousSongFile(), "/m/a.mp3");
    // No Norm overlap stored: one tick, then full volume and silence; the
    // next song is at full level throughout.
    EXPECT_EQ(ramp(), (std::vector<QString>{"1:99", "2:99", "2:99", "1:0"}));
}

TEST_F(SongChangerTest, ASongChosenByTheUserDropsThePreloadOfTheSongItReplaced) {
    aPlaysUntil(PlayMode::Norm, 15);
    startSong(one, "/m/c.mp3", 20);
    EXPECT_FALSE(changer->endOfStream(&one)) << "the play order decides what follows";
    EXPECT_TRUE(commands().empty());
    // The new song preloads for itself.
    timeCodes(one, 15, 15);
    EXPECT_EQ(commands().size(), 3u);
    EXPECT_EQ(chosen, 2u);
}

TEST_F(SongChangerTest, ReportsOfThePlayerNoLongerCurrentAreIgnored) {
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 6);
    aPlaysUntil(PlayMode::Studio, 14);
    // The new player ended a very short song queued before it reported playing.
    EXPECT_TRUE(changer->endOfStream(&two));
    changer->OnNotifyPlayerState(&two, KV_PLAYER_STATE_PLAYING);
    EXPECT_TRUE(changer->endOfStream(&one)) << "the faded song's end";
    timeCodes(one, 14, 20);
    changer->OnNotifyStreamDuration(&one, 99);
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(changer->songDuration(), 20);
    EXPECT_FALSE(changer->endOfStream(&two)) << "the current song's own end";
    EXPECT_EQ(shownLevels, std::vector<int>{77}) << "the new song's opening level is shown";
}

TEST_F(SongChangerTest, InWavModeEachSongNamesTheFileOfItsOwnPlayer) {
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 4);
    changer->setMode(PlayMode::Studio);
    startSong(one, "/m/a.mp3", 20);
    timeCodes(one, 16, 16);
    EXPECT_EQ(wavNames, std::vector<QString>{"2:/m/b.mp3"});
}

TEST_F(SongChangerTest, ARefusedSongInAnAutomaticChangeIsSkippedAndReportedOnce) {
    using R = SongChanger::Refusal;
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 4);
    next = {"/m/bad.mp3", "/m/c.mp3"};
    aPlaysUntil(PlayMode::Studio, 16);
    EXPECT_EQ(changer->refused(&two, KV_CMD_INPUT_OPEN, "Cannot Open Input (bad)"), R::Skipped);
    EXPECT_EQ(changer->refused(&two, KV_CMD_PLAY, "Cannot Play Stream (bad)"), R::Stale);
    EXPECT_EQ(skipped, std::vector<QString>{"/m/bad.mp3: Cannot Open Input (bad)"});
    EXPECT_EQ(commands(), (std::vector<QString>{"2:open /m/c.mp3", "2:play"}));
    EXPECT_EQ(changer->currentSongFile(), "/m/c.mp3");
    // A song the user starts gets the dialog.
    startSong(two, "/m/d.mp3", 20);
    EXPECT_EQ(changer->refused(&two, KV_CMD_INPUT_OPEN, "Cannot Open Input (d)"), R::ForTheUser);
}

// Norm: the preload's refusal comes from the player that is not current, and
// the hand-over's from a Play with no open before it; each skips the song.
TEST_F(SongChangerTest, NormSkipsASongRefusedAtThePreloadOrTheHandOver) {
    using R = SongChanger::Refusal;
    next = {"/m/bad.mp3", "/m/c.mp3"};
    aPlaysUntil(PlayMode::Norm, 15);
    EXPECT_EQ(changer->refused(&two, KV_CMD_INPUT_OPEN, "no"), R::Skipped);
    settle();
    EXPECT_EQ(commands(), (std::vector<QString>{"2:close", "2:99", "2:open /m/c.mp3"}));
    EXPECT_TRUE(changer->endOfStream(&one));
    EXPECT_EQ(commands(), (std::vector<QString>{"2:play"}));
    EXPECT_EQ(changer->currentSongFile(), "/m/c.mp3");

    // The hand-over's Play refused: the next song starts on the same player.
    remake();
    next = {"/m/bad.mp3", "/m/c.mp3"};
    startSong(one, "/m/a.mp3", 20);
    timeCodes(one, 15, 15);
    ASSERT_TRUE(changer->endOfStream(&one));
    commands();
    EXPECT_EQ(changer->refused(&two, KV_CMD_PLAY, "no"), R::Skipped);
    EXPECT_EQ(commands(), (std::vector<QString>{"2:open /m/c.mp3", "2:play"}));
    EXPECT_EQ(skipped, (std::vector<QString>{"/m/bad.mp3: no", "/m/bad.mp3: no"}));
    EXPECT_TRUE(halts.empty());
}

TEST_F(SongChangerTest, WithNothingPlayableLeftTheChangeGivesUp) {
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 4);
    // Studio: the faded song is still heard, so it becomes current again at full level.
    next = {"/m/bad.mp3"};
    aPlaysUntil(PlayMode::Studio, 16);
    next.clear(); // nothing after the refused song
    changer->refused(&two, KV_CMD_INPUT_OPEN, "no");
    EXPECT_EQ(commands(), std::vector<QString>{"1:99"});
    EXPECT_EQ(changer->KelvraSpectrum1(), &one);
    EXPECT_EQ(changer->currentSongFile(), "/m/a.mp3");
    EXPECT_FALSE(timerOn);
    // The refused song's own Play, then one the user asks of the song heard.
    using R = SongChanger::Refusal;
    EXPECT_EQ(changer->refused(&two, KV_CMD_PLAY, "no"), R::Stale);
    EXPECT_EQ(changer->refused(&one, KV_CMD_PLAY, "no"), R::ForTheUser);
    // Norm, the preloaded song refused at its Play: nothing is heard any more.
    remake();
    changer->setMode(PlayMode::Norm);
    next = {"/m/bad.mp3"};
    startSong(one, "/m/a.mp3", 20);
    timeCodes(one, 15, 15);
    ASSERT_TRUE(changer->endOfStream(&one));
    next.clear();
    changer->refused(&two, KV_CMD_PLAY, "no");
    using H = SongChanger::Halt;
    EXPECT_EQ(halts, (std::vector<std::pair<H, bool>>{{H::NothingPlayable, true},
                                                      {H::NothingPlayable, false}}));
}

TEST_F(SongChangerTest, StopEndsACrossFadeAndPauseHoldsBothSongs) {
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 6);
    velbrin::WriteSetting("DJ-Settings", "DJ-text0", "That was %ARTIST%");
    velbrin::WriteBooleanSetting("DJ-Settings", "UseDJ", true);
    changer->setMode(PlayMode::Studio);
    startSong(one, "/m/a.mp3", 20);
    timeCodes(one, 14, 14);
    changer->OnNotifyPlayerState(&two, KV_PLAYER_STATE_PLAYING);
    for (int tick = 0; tick < 2; ++tick) {
        changer->Timer5Timer();
    }
    commands();
    changer->pause();
    EXPECT_FALSE(timerOn);
    EXPECT_EQ(commands(), std::vector<QString>{"1:pause"}) << "the fading song waits too";
    EXPECT_TRUE(changer->resume());
    EXPECT_TRUE(timerOn);
    EXPECT_EQ(commands(), std::vector<QString>{"1:play"});
    for (int tick = 0; tick < 3; ++tick) {
        changer->Timer5Timer();
    }
    ASSERT_EQ(spoken, std::vector<QString>{"That was Artist of /m/a.mp3"});
    commands();

    changer->stop();
    EXPECT_FALSE(timerOn);
    EXPECT_EQ(spoken.back(), "(silence)");
    changer->Timer5Timer(); // a tick already queued
    EXPECT_FALSE(changer->resume());
    EXPECT_TRUE(commands().empty()) << "no level after Stop";
    changer->beforePlay();
    EXPECT_EQ(commands(), std::vector<QString>{"2:99"}) << "the next start is at full level";

    // A Stop between the overlap's start and its continuation: no open, no play.
    remake();
    changer->setMode(PlayMode::Studio);
    startSong(one, "/m/a.mp3", 20);
    changer->OnNotifyInputTimecode(&one, 0, 0, 14);
    changer->stop();
    settle();
    EXPECT_EQ(commands(), (std::vector<QString>{"2:close", "2:77"}));
}

TEST_F(SongChangerTest, ALostSoundOutputHoldsTheRampWhereItWas) {
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 6);
    changer->setMode(PlayMode::Studio);
    startSong(one, "/m/a.mp3", 20);
    timeCodes(one, 14, 14);
    changer->OnNotifyPlayerState(&two, KV_PLAYER_STATE_PLAYING);
    commands();
    changer->Timer5Timer();
    const std::vector<QString> firstTick = commands();
    changer->holdForLostOutput(true);
    EXPECT_FALSE(timerOn);
    changer->Timer5Timer(); // a tick already queued
    EXPECT_TRUE(commands().empty()) << "no level while the songs are held";
    changer->holdForLostOutput(false);
    EXPECT_TRUE(timerOn);
    changer->Timer5Timer();
    const std::vector<QString> secondTick = commands();
    ASSERT_EQ(secondTick.size(), firstTick.size());
    EXPECT_NE(secondTick, firstTick) << "the ramp goes on from the next step";

    // Paused while held: Play resumes the ramp and the fading song.
    changer->holdForLostOutput(true);
    changer->pause();
    EXPECT_EQ(commands(), std::vector<QString>{"1:pause"});
    changer->holdForLostOutput(false);
    EXPECT_FALSE(timerOn) << "still paused";
    EXPECT_TRUE(changer->resume());
    EXPECT_TRUE(timerOn);
}

TEST_F(SongChangerTest, AModeChangedAfterTheNormPreloadStillCrossFades) {
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 3);
    changer->setMode(PlayMode::Norm);
    startSong(one, "/m/a.mp3", 20);
    timeCodes(one, 14, 15);
    commands();
    changer->setMode(PlayMode::Studio);
    timeCodes(one, 16, 17);
    const auto sent = commands();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), "2:play");
    EXPECT_EQ(changer->currentSongFile(), "/m/b.mp3") << "the preloaded song follows";
    EXPECT_EQ(chosen, 1u);
}

TEST_F(SongChangerTest, TheDjAnnouncesTheEndedSongOnceInsideTheRamp) {
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 6);
    velbrin::WriteSetting("DJ-Settings", "DJ-text0", "That was %ARTIST%");
    changer->setMode(PlayMode::Studio);
    startSong(one, "/m/a.mp3", 20);
    timeCodes(one, 14, 14);
    ramp();
    EXPECT_TRUE(spoken.empty()) << "\"UseDJ\" is off";

    velbrin::WriteBooleanSetting("DJ-Settings", "UseDJ", true);
    remake();
    changer->setMode(PlayMode::Studio);
    startSong(one, "/m/a.mp3", 20);
    timeCodes(one, 14, 14);
    for (int tick = 1; tick <= 5; ++tick) {
        EXPECT_EQ(spoken.size(), 0u) << tick;
        changer->Timer5Timer();
    }
    EXPECT_EQ(spoken, std::vector<QString>{"That was Artist of /m/a.mp3"});
    ramp();
    EXPECT_EQ(spoken.size(), 1u);
}

// Norm joins gapless songs without a dip, unless the DJ speaks and only the
// levels can lower the music under the voice.
TEST_F(SongChangerTest, NormKeepsFullLevelUnlessTheDjNeedsTheMusicLowered) {
    struct Case {
        const char *name;
        bool useDj, ducks;
        int level; // of the preloaded song, before and during the hand-over tick
        size_t spoken;
    };
    const Case cases[] = {
        {"no DJ", false, false, 99, 0},
        {"DJ over the engine's duck", true, true, 99, 1},
        {"DJ without a duck", true, false, 75, 1},
    };
    velbrin::WriteSetting("DJ-Settings", "DJ-text0", "That was %ARTIST%");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        velbrin::WriteBooleanSetting("DJ-Settings", "UseDJ", c.useDj);
        remake();
        ducks = c.ducks;
        spoken.clear();
        aPlaysUntil(PlayMode::Norm, 14);
        timeCodes(one, 15, 15);
        const QString level = "2:" + QString::number(c.level);
        EXPECT_EQ(commands(), (std::vector<QString>{"2:close", level, "2:open /m/b.mp3"}));
        changer->OnNotifyStreamDuration(&two, 30);
        ASSERT_TRUE(changer->endOfStream(&one));
        commands();
        EXPECT_EQ(ramp(), (std::vector<QString>{"1:99", level, "2:99", "1:0"}));
        EXPECT_EQ(spoken.size(), c.spoken) << "the DJ still speaks on its tick";
    }
}

// With an engine that finds where songs are heard.
class SongChangerQuietEnds : public SongChangerTest {
protected:
    void SetUp() override {
        engine.offerExtensions(KVDOUBLE_QUIET_ENDS);
        SongChangerTest::SetUp();
        // As the playback controller asks before each open.
        for (TKelvraSpectrum *p : {&one, &two}) {
            p->setQuietEndsSource([this] { return changer->quietEnds(); });
        }
    }
    // The quiet ends the second player was given before its open, or '?'.
    char quietEndsOfTheSecondOpen() {
        const std::string player = " #" + std::to_string(ids[1]);
        char last = '?';
        for (const std::string &line : engine.log()) {
            if (line.rfind("set_quiet_ends" + player + " ", 0) == 0) {
                last = line.back();
            } else if (line.rfind("send_S" + player + " ", 0) == 0) {
                return last;
            }
        }
        return '?';
    }
};

TEST_F(SongChangerQuietEnds, EachSongOpensWithTheQuietEndsOfItsModeAndSetting) {
    struct Case {
        PlayMode mode;
        bool skipSilence;
        char sent;
    };
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 4);
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapLive", 4);
    for (const Case c : {Case{PlayMode::Studio, true, '1'}, Case{PlayMode::Live, true, '1'},
                         Case{PlayMode::Studio, false, '0'}, Case{PlayMode::Norm, true, '0'}}) {
        SCOPED_TRACE(playModeCaption(c.mode).toStdString() + (c.skipSilence ? " on" : " off"));
        velbrin::WriteBooleanSetting("DJ-Settings", "SkipSilence", c.skipSilence);
        remake();
        changer->setMode(c.mode);
        startSong(one, "/m/a.mp3", 20);
        engine.reset();
        timeCodes(one, 15, 16); // Norm preloads at 15, the overlaps start at 16
        EXPECT_EQ(quietEndsOfTheSecondOpen(), c.sent);
    }
}

TEST_F(SongChangerQuietEnds, AnOverlapCountsBackFromTheAudibleEndEvenWhenItIsLearntLate) {
    struct Case {
        const char *name;
        int audibleEnd; // ms
        int learntAt, startsAt;
        std::vector<QString> firstTick;
    };
    const Case cases[] = {
        // Levels as a song heard for 13 s has them, 7 s before the end.
        {"ends in silence", 12700, 0, 9, {"1:93", "2:78"}},
        // Two ticks further into the ramp: the old song is gone by its audible end.
        {"learnt late", 12700, 11, 11, {"1:87", "2:84"}},
        {"heard to its end", 20000, 0, 16, {"1:93", "2:78"}},
    };
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 4);
    velbrin::WriteIntegerSetting("DJ-Settings", "MinVolumeStudio", 75);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        remake();
        changer->setMode(PlayMode::Studio);
        one.InputOpen("/m/a.mp3");
        startSong(one, "/m/a.mp3", 20);
        commands();
        for (int s = 0; s < c.startsAt; ++s) {
            if (s == c.learntAt) {
                engine.setAudibleEnd(engine.player(ids[0]), c.audibleEnd);
            }
            timeCodes(one, s, s);
        }
        EXPECT_TRUE(commands().empty()) << "nothing before the second";
        if (c.learntAt == c.startsAt) {
            engine.setAudibleEnd(engine.player(ids[0]), c.audibleEnd);
        }
        timeCodes(one, c.startsAt, c.startsAt);
        EXPECT_EQ(commands(),
                  (std::vector<QString>{"2:close", "2:78", "2:open /m/b.mp3", "2:play"}));
        changer->Timer5Timer();
        EXPECT_EQ(commands(), c.firstTick);
        // Back to the first player, with the engine forgetting the song.
        engine.setAudibleEnd(engine.player(ids[0]), -1);
    }
}

TEST_F(SongChangerQuietEnds, AnOverlapGivenUpIsNotStartedAgainInTheSilence) {
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 4);
    next = {"/m/bad.mp3"};
    changer->setMode(PlayMode::Studio);
    one.InputOpen("/m/a.mp3");
    engine.setAudibleEnd(engine.player(ids[0]), 12300);
    startSong(one, "/m/a.mp3", 20);
    timeCodes(one, 9, 9);
    next.clear();
    changer->refused(&two, KV_CMD_INPUT_OPEN, "no");
    ASSERT_EQ(changer->KelvraSpectrum1(), &one) << "the faded song plays on";
    commands();
    timeCodes(one, 10, 12);
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(chosen, 2u) << "the overlap's choice and the skip's, nothing more";
}

} // namespace

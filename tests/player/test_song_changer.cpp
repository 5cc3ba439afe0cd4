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

namespace {

class RecordingVolume : public VolumeDisplay {
public:
    void showLevels(std::optional<int> master, std::optional<int> pcm,
                    std::optional<int> balance) override {
        EXPECT_TRUE(UpdatingVolumeControls) << "a report must never be sent back";
        shown.push_back(QStringLiteral("%1/%2/%3")
                            .arg(master ? QString::number(*master) : "-")
                            .arg(pcm ? QString::number(*pcm) : "-")
                            .arg(balance ? QString::number(*balance) : "-"));
    }
    void setOutputAvailable(bool on) override { shown.push_back(on ? "enabled" : "disabled"); }
    std::vector<QString> shown;
};

class SongChangerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { velbrin::test::ensureCoreApplication(); }
    void SetUp() override {
        for (TKelvraSpectrum *p : {&one, &two}) {
            p->setKelvraPath(velbrin::test::doublePath());
            p->Init();
            ids.push_back(newestId());
        }
        SongChanger::Hooks h;
        h.chooseNextSong = [this] {
            ++chosen;
            return next.empty() ? QString() : next.at(std::min(chosen, next.size()) - 1);
        };
        h.chooseWavOutput = [this](TKelvraSpectrum &p, const QString &path) {
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
        h.drawDigit = [] { return 0; };
        h.reportSkipped = [this](const QString &text) { skipped.push_back(text); };
        h.songCount = [] { return 3; };
        h.volume = &volume;
        changer.emplace(one, two, h);
        engine.reset();
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
    void timeCodes(TKelvraSpectrum &p, int from, int to) {
        for (int s = from; s <= to; ++s) {
            changer->OnNotifyInputTimecode(&p, 0, s / 60, s % 60);
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
    RecordingVolume volume;
    std::optional<SongChanger> changer;
    std::vector<QString> next{"/m/b.mp3"};
    size_t chosen = 0;
    std::vector<QString> wavNames, shownSongs, spoken, skipped;
    bool timerOn = false;
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
        changer->mode = c.mode;
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
        EXPECT_EQ(changer->PreviousSongFile, "/m/a.mp3");
        EXPECT_EQ(ramp(), tickLevels(c.olds, c.news));

        // Back to the first player for the next case.
        changer->SwapPlayers();
        chosen = 0;
    }
}

TEST_F(SongChangerTest, AnOverlapLongerThanTheSongNeverStarts) {
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 9);
    changer->mode = PlayMode::Studio;
    startSong(one, "/m/a.mp3", 8);
    timeCodes(one, 0, 8);
    EXPECT_TRUE(commands().empty());
    EXPECT_FALSE(changer->endOfStream(&one)) << "the end is handled as any end";
}

TEST_F(SongChangerTest, NormPreloadsFiveSecondsBeforeTheEndAndHandsOverAtIt) {
    changer->mode = PlayMode::Norm;
    startSong(one, "/m/a.mp3", 20);
    timeCodes(one, 0, 15);
    timeCodes(one, 15, 15);
    EXPECT_EQ(commands(), (std::vector<QString>{"2:close", "2:75", "2:open /m/b.mp3"}));
    changer->OnNotifyStreamDuration(&two, 30);
    EXPECT_EQ(changer->SongDuration, 20) << "the preloaded song's duration is kept aside";
    EXPECT_TRUE(changer->endOfStream(&one));
    EXPECT_EQ(commands(), (std::vector<QString>{"2:play"}));
    EXPECT_EQ(changer->SongDuration, 30);
    EXPECT_EQ(changer->CurrentSongFile, "/m/b.mp3");
    EXPECT_EQ(changer->PreviousSongFile, "/m/a.mp3");
    // No Norm overlap stored: one tick, then full volume and silence.
    EXPECT_EQ(ramp(), (std::vector<QString>{"1:99", "2:75", "2:99", "1:0"}));
}

TEST_F(SongChangerTest, ASongChosenByTheUserDropsThePreloadOfTheSongItReplaced) {
    changer->mode = PlayMode::Norm;
    startSong(one, "/m/a.mp3", 20);
    timeCodes(one, 15, 15);
    commands();
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
    changer->mode = PlayMode::Studio;
    startSong(one, "/m/a.mp3", 20);
    timeCodes(one, 14, 14);
    commands();
    // The new player ended a very short song queued before it reported playing.
    EXPECT_TRUE(changer->endOfStream(&two));
    changer->OnNotifyPlayerState(&two, KV_PLAYER_STATE_PLAYING);
    EXPECT_TRUE(changer->endOfStream(&one)) << "the faded song's end";
    timeCodes(one, 14, 20);
    changer->OnNotifyStreamDuration(&one, 99);
    changer->OnNotifyOutputPcmLevel(&one, 12);
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(changer->SongDuration, 20);
    EXPECT_FALSE(changer->endOfStream(&two)) << "the current song's own end";
    changer->OnNotifyOutputVolume(&two, 90, 80, 50);
    changer->OnNotifyOutputState(&two, 0);
    EXPECT_EQ(volume.shown, (std::vector<QString>{"-/77/-", "90/80/50", "enabled"}));
    EXPECT_FALSE(UpdatingVolumeControls);
}

TEST_F(SongChangerTest, InWavModeEachSongNamesTheFileOfItsOwnPlayer) {
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 4);
    changer->mode = PlayMode::Studio;
    changer->WavFileOutput = true;
    startSong(one, "/m/a.mp3", 20);
    timeCodes(one, 16, 16);
    EXPECT_EQ(wavNames, std::vector<QString>{"2:/m/b.mp3"});
}

TEST_F(SongChangerTest, ARefusedSongInAnAutomaticChangeIsSkippedAndReportedOnce) {
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 4);
    changer->mode = PlayMode::Studio;
    next = {"/m/bad.mp3", "/m/c.mp3"};
    startSong(one, "/m/a.mp3", 20);
    timeCodes(one, 16, 16);
    commands();
    EXPECT_TRUE(changer->refused(&two, KV_CMD_INPUT_OPEN, "Cannot Open Input (bad)"));
    EXPECT_TRUE(changer->refused(&two, KV_CMD_PLAY, "Cannot Play Stream (bad)"));
    EXPECT_EQ(skipped, std::vector<QString>{"Cannot Open Input (bad)"});
    EXPECT_EQ(commands(), (std::vector<QString>{"2:open /m/c.mp3", "2:play"}));
    EXPECT_EQ(changer->CurrentSongFile, "/m/c.mp3");
    // A song the user starts gets the dialog.
    startSong(two, "/m/d.mp3", 20);
    EXPECT_FALSE(changer->refused(&two, KV_CMD_INPUT_OPEN, "Cannot Open Input (d)"));
}

TEST_F(SongChangerTest, TheDjAnnouncesTheEndedSongOnceInsideTheRamp) {
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 6);
    velbrin::WriteSetting("DJ-Settings", "DJ-text0", "That was %ARTIST%");
    changer->mode = PlayMode::Studio;
    startSong(one, "/m/a.mp3", 20);
    timeCodes(one, 14, 14);
    ramp();
    EXPECT_TRUE(spoken.empty()) << "\"UseDJ\" is off";

    velbrin::WriteBooleanSetting("DJ-Settings", "UseDJ", true);
    changer->SwapPlayers();
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

} // namespace

// The playback controller without a window, driving the engine test double.
#include "KelvraSpectrum.h"
#include "PlaybackController.h"
#include "engine_double.h"
#include "settings_store.h"
#include "song_library.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using velbrin::engine::TKelvraSpectrum;
using velbrin::player::PlaybackController;
using velbrin::test::doublePath;
using velbrin::test::EngineDouble;

namespace {

class Controller : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("VELBRIN_SETTINGS", dir.filePath("velbrin.ini").toLocal8Bit());
        PlaybackController::Options o;
        o.enginePath = doublePath();
        o.appDir = dir.path() + "/";
        c = std::make_unique<PlaybackController>(o);
        QObject::connect(c.get(), &PlaybackController::errorOccurred,
                         [this](const QString &text) { errors << text; });
        c->start();
        c->setLibrary(&songs, nullptr);
        engine.reset();
    }
    void TearDown() override { qunsetenv("VELBRIN_SETTINGS"); }

    QString song(const char *name) {
        const QString path = dir.filePath(QLatin1String(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(300, '\x55'));
        return path;
    }
    kv_player *handle(TKelvraSpectrum *p) {
        for (int id = 1; id < 1000; ++id) {
            if (kv_player *h = engine.player(id)) {
                handles.push_back(h);
            }
        }
        // The controller made three players, the song players first.
        const size_t n = handles.size();
        return handles.at(n - 3 +
                          (p == c->KelvraSpelare1()   ? 0
                           : p == c->KelvraSpelare2() ? 1
                                                      : 2));
    }
    void post(TKelvraSpectrum *p, KV_Message m) {
        engine.post(handle(p), m);
        QCoreApplication::processEvents();
    }
    static KV_Message state(int s) {
        KV_Message m{};
        m.Code = KV_NOTIFY_PLAYER_STATE;
        m.Data.State = static_cast<uint8_t>(s);
        return m;
    }
    // The engine refuses `command` and words the refusal, as it does.
    void refuse(uint8_t command) {
        KV_Message nack{};
        nack.Code = KV_NOTIFY_NACK;
        nack.Data.Nack = {command, 12};
        KV_Message error{};
        error.Code = KV_NOTIFY_ERROR;
        error.Data.Error = {0, 12, "Cannot open the file"};
        engine.post(handle(c->currentPlayer()), nack);
        engine.post(handle(c->currentPlayer()), error);
        QCoreApplication::processEvents();
    }
    // The codes sent so far, with their arguments, to one player.
    std::vector<std::string> sendsTo(TKelvraSpectrum *p) {
        handle(p);
        std::string tag;
        for (int id = 1; id < 1000; ++id) {
            if (engine.player(id) == handle(p)) {
                tag = " #" + std::to_string(id) + " ";
            }
        }
        std::vector<std::string> out;
        for (const auto &l : engine.log()) {
            if (const auto at = l.find(tag); l.rfind("send_", 0) == 0 && at != std::string::npos) {
                out.push_back(l.substr(at + tag.size()));
            }
        }
        return out;
    }

    QTemporaryDir dir;
    EngineDouble engine;
    velbrin::library::SongLibrary songs;
    std::unique_ptr<PlaybackController> c;
    std::vector<kv_player *> handles;
    QStringList errors;
};

} // namespace

TEST_F(Controller, PlayPauseAndStopReachTheRightPlayers) {
    const QString a = song("a.mp3");
    int started = 0;
    QObject::connect(c.get(), &PlaybackController::playStarted, [&] { ++started; });
    c->playFile(a);
    EXPECT_EQ(c->currentSongFile(), a);
    EXPECT_EQ(sendsTo(c->currentPlayer()).back(), "4");
    post(c->currentPlayer(), state(KV_PLAYER_STATE_PLAYING));
    EXPECT_TRUE(c->isPlaying());
    post(c->previousPlayer(), state(KV_PLAYER_STATE_STOPPED)); // not the current one
    EXPECT_TRUE(c->isPlaying());

    engine.reset();
    c->playPause();
    EXPECT_EQ(sendsTo(c->currentPlayer()), std::vector<std::string>{"5"});
    engine.reset();
    c->stop();
    const auto s = sendsTo(c->currentPlayer());
    EXPECT_EQ(s.front(), "6");
    EXPECT_EQ(s.back(), "7 0 0");
    EXPECT_EQ(sendsTo(c->previousPlayer()).front(), "6");
    EXPECT_EQ(started, 1);
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(Controller, EndOfSongInEveryMode) {
    const QStringList list{song("1.mp3"), song("2.mp3"), song("3.mp3")};
    c->addCommandLine(list);
    struct Case {
        bool shuffle, repeatAll, currentTrack;
        int playing;   // index of the song that ends
        int following; // index that plays afterwards, -1 for none, -2 for any
    };
    const Case cases[] = {
        {false, false, false, 0, 1}, {false, false, false, 2, -1}, {false, true, false, 2, 0},
        {false, false, true, 1, 1},  {true, false, false, 2, -2},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.playing);
        c->setRepeatAll(k.repeatAll);
        c->setCurrentTrack(k.currentTrack);
        c->setShuffle(k.shuffle); // starts a random song at once
        songs.list.select(k.playing);
        c->playFile(list[k.playing]);
        engine.reset();
        post(c->currentPlayer(), state(KV_PLAYER_STATE_EOS));
        const auto sent = sendsTo(c->currentPlayer());
        const bool played = std::find(sent.begin(), sent.end(), "4") != sent.end();
        EXPECT_EQ(played, k.following != -1);
        if (k.following >= 0) {
            EXPECT_EQ(c->currentSongFile(), list[k.following]);
        } else if (k.following == -1) {
            EXPECT_EQ(c->state(), PlaybackController::PlayState::EndOfSong);
        }
    }
}

TEST_F(Controller, NextAtTheEndOfTheListOnlyRefreshes) {
    const QStringList list{song("1.mp3"), song("2.mp3")};
    c->addCommandLine(list);
    c->next();
    ASSERT_EQ(c->currentSongFile(), list[1]);
    int refreshed = 0;
    QObject::connect(c.get(), &PlaybackController::selectionChanged, [&] { ++refreshed; });
    engine.reset();
    c->next();
    EXPECT_EQ(c->currentSongFile(), list[1]);
    EXPECT_TRUE(sendsTo(c->currentPlayer()).empty());
    EXPECT_EQ(refreshed, 1);
}

TEST_F(Controller, CommandLineAddsByTheDropRules) {
    const QString a = song("a.mp3");
    const QString b = song("b.mp3");
    const QString other = song("notes.txt");
    c->addCommandLine({QCoreApplication::applicationFilePath(), a, a, dir.filePath("missing.mp3"),
                       other, dir.filePath("missing-folder"), b, a});
    // Missing paths and other files add nothing; a name repeated right after
    // itself is added once, repeated later it is added again.
    EXPECT_EQ(songs.list.filenamelist(), (QStringList{a, b, a}));
    EXPECT_EQ(c->currentSongFile(), a); // the first song of an empty list starts
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(Controller, ARefusalAndItsWordingReachTheUserOnce) {
    refuse(KV_CMD_INPUT_OPEN);
    EXPECT_EQ(errors, QStringList{"Cannot Open Input (error 12)"});

    // A worded error of its own is shown; the probe's and the other player's are not.
    KV_Message error{};
    error.Code = KV_NOTIFY_ERROR;
    error.Data.Error = {0, 5, "Decoding stopped early"};
    post(c->KelvraPlayer3(), error);
    post(c->previousPlayer(), error);
    post(c->currentPlayer(), error);
    EXPECT_EQ(errors, (QStringList{"Cannot Open Input (error 12)", "Decoding stopped early"}));
}

// Shows what the song changer sends to the volume window.
class PcmShown : public velbrin::player::VolumeDisplay {
public:
    void showLevels(std::optional<int>, std::optional<int> pcm, std::optional<int>) override {
        if (pcm) {
            levels.push_back(*pcm);
        }
    }
    void setOutputAvailable(bool) override {}
    std::vector<int> levels;
};

KV_Message timeCode(int second) {
    KV_Message m{};
    m.Code = KV_NOTIFY_INPUT_TIMECODE;
    m.Data.TimeCode = {0, 0, static_cast<uint8_t>(second), 0};
    return m;
}

TEST_F(Controller, StudioTimeCodesStartTheOverlapAndTheSwapIsTheControllers) {
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 2);
    velbrin::WriteIntegerSetting("DJ-Settings", "MinVolumeStudio", 75);
    const QStringList list{song("a.mp3"), song("b.mp3")};
    c->addCommandLine(list);
    c->setOverlapMode(1);
    PcmShown volume;
    c->setVolumeDisplay(&volume);
    bool timer = false;
    QObject::connect(c.get(), &PlaybackController::songChangeTimer, [&](bool on) { timer = on; });
    std::vector<TKelvraSpectrum *> swaps;
    QObject::connect(c.get(), &PlaybackController::playersSwapped,
                     [&](TKelvraSpectrum *current, TKelvraSpectrum *previous) {
                         swaps.insert(swaps.end(), {current, previous});
                     });
    TKelvraSpectrum *first = c->currentPlayer();
    TKelvraSpectrum *other = c->previousPlayer();
    KV_Message duration{};
    duration.Code = KV_NOTIFY_STREAM_DURATION;
    duration.Data.Duration = 10;
    post(first, duration);
    post(first, state(KV_PLAYER_STATE_PLAYING));
    engine.reset();
    for (int s = 0; s <= 7; ++s) {
        post(first, timeCode(s));
    }
    EXPECT_TRUE(sendsTo(other).empty()) << "nothing before the overlap's second";

    // 10 - 8 = the overlap: the other player takes the next song at 75 + 6.
    post(first, timeCode(8));
    const auto code = [](int command) { return std::to_string(command); };
    EXPECT_EQ(
        sendsTo(other),
        (std::vector<std::string>{
            code(KV_CMD_INPUT_CLOSE), code(KV_CMD_SET_OUTPUT_VOLUME) + " -1 81 -1",
            code(KV_CMD_INPUT_OPEN) + " '" + list[1].toStdString() + "'", code(KV_CMD_PLAY)}));
    EXPECT_EQ(swaps, (std::vector<TKelvraSpectrum *>{other, first}));
    EXPECT_EQ(c->currentPlayer(), other);
    EXPECT_EQ(c->previousPlayer(), first);
    EXPECT_EQ(c->currentSongFile(), list[1]);
    EXPECT_EQ(c->previousSongFile(), list[0]);
    ASSERT_TRUE(timer);

    // The faded song's reports no longer count.
    post(first, timeCode(9));
    post(first, state(KV_PLAYER_STATE_EOS));
    EXPECT_EQ(c->timeCode(), 8u);
    EXPECT_EQ(c->currentSongFile(), list[1]);

    engine.reset();
    int ticks = 0;
    for (; timer && ticks < 100; ++ticks) {
        c->Timer5Timer();
    }
    EXPECT_EQ(ticks, 4);
    const std::string full = code(KV_CMD_SET_OUTPUT_VOLUME) + " -1 99 -1";
    EXPECT_EQ(sendsTo(other).back(), full);
    EXPECT_EQ(sendsTo(first).back(), code(KV_CMD_SET_OUTPUT_VOLUME) + " -1 0 -1");
    EXPECT_EQ(volume.levels, (std::vector<int>{81, 81, 87, 93, 99, 99}));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(Controller, ASongRefusedAfterTheEndOfTheLastIsSkippedAndSaidOnce) {
    const QStringList list{song("a.mp3"), song("bad.mp3"), song("c.mp3")};
    c->addCommandLine(list);
    QStringList skipped;
    QObject::connect(c.get(), &PlaybackController::songSkipped,
                     [&](const QString &text) { skipped << text; });
    post(c->currentPlayer(), state(KV_PLAYER_STATE_PLAYING));
    post(c->currentPlayer(), state(KV_PLAYER_STATE_EOS));
    ASSERT_EQ(c->currentSongFile(), list[1]);

    // The engine refuses the open, then the Play, each with its wording.
    engine.reset();
    refuse(KV_CMD_INPUT_OPEN);
    refuse(KV_CMD_PLAY);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('|').toStdString();
    ASSERT_EQ(skipped.size(), 1);
    EXPECT_TRUE(skipped[0].startsWith("bad.mp3 skipped: Cannot Open Input"))
        << skipped[0].toStdString();
    EXPECT_EQ(c->currentSongFile(), list[2]);
    EXPECT_EQ(sendsTo(c->currentPlayer()).back(), "4");

    // A song the user starts still gets the message box.
    c->playFile(list[1]);
    refuse(KV_CMD_INPUT_OPEN);
    EXPECT_EQ(errors.size(), 1);
    EXPECT_EQ(skipped.size(), 1);
}

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The playback controller without a window, driving the engine test double.
#include "KelvraSpectrum.h"
#include "PlaybackController.h"
#include "engine_double.h"
#include "recording_speech_voice.h"
#include "settings_store.h"
#include "song_library.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using velbrin::engine::TKelvraSpectrum;
using velbrin::player::OutputChoice;
using velbrin::player::PlaybackController;
using velbrin::test::doublePath;
using velbrin::test::EngineDouble;

namespace {

// The song players by their place: 0 and 1 take turns, 2 measures durations.
constexpr int kProbe = 2;

class Controller : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("VELBRIN_SETTINGS", dir.filePath("velbrin.ini").toLocal8Bit());
        make();
    }
    void TearDown() override { qunsetenv("VELBRIN_SETTINGS"); }
    void make(PlaybackController::Options o = {}) {
        o.enginePath = doublePath();
        o.appDir = dir.path() + "/";
        c = std::make_unique<PlaybackController>(o);
        swaps = 0;
        timer = false;
        QObject::connect(c.get(), &PlaybackController::errorOccurred,
                         [this](const QString &text) { errors << text; });
        QObject::connect(c.get(), &PlaybackController::statusNotice,
                         [this](const QString &text) { notices << text; });
        QObject::connect(c.get(), &PlaybackController::playersSwapped, [this] { ++swaps; });
        QObject::connect(c.get(), &PlaybackController::songChangeTimer,
                         [this](bool on) { timer = on; });
        c->start();
        c->setLibrary(&songs, nullptr);
        settle();
        handles.clear();
        ids.clear();
        for (int id = 1; id < 1000; ++id) {
            if (kv_player *h = engine.player(id)) {
                handles.push_back(h);
                ids.push_back(id);
            }
        }
        engine.reset();
    }
    // Runs what the controller queued: messages, continuations of a change.
    static void settle() {
        for (int pass = 0; pass < 5; ++pass) {
            QCoreApplication::processEvents();
        }
    }

    QString song(const char *name) {
        const QString path = dir.filePath(QLatin1String(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(300, '\x55'));
        return path;
    }
    // The current song player as the swaps it announced say.
    int current() const { return swaps % 2; }
    int other() const { return 1 - current(); }
    // The controller made three players, the song players first.
    kv_player *handle(int n) const { return handles.at(handles.size() - 3 + size_t(n)); }
    void post(int n, KV_Message m) {
        engine.post(handle(n), m);
        settle();
    }
    static KV_Message state(int s) {
        KV_Message m{};
        m.Code = KV_NOTIFY_PLAYER_STATE;
        m.Data.State = static_cast<uint8_t>(s);
        return m;
    }
    static KV_Message timeCode(int second) {
        KV_Message m{};
        m.Code = KV_NOTIFY_INPUT_TIMECODE;
        m.Data.TimeCode = {0, 0, static_cast<uint8_t>(second), 0};
        return m;
    }
    static KV_Message duration(uint32_t seconds) {
        KV_Message m{};
        m.Code = KV_NOTIFY_STREAM_DURATION;
        m.Data.Duration = seconds;
        return m;
    }
    // The engine refuses `command` on player `n` and words the refusal, as it does.
    void refuse(uint8_t command, int n) {
        KV_Message nack{};
        nack.Code = KV_NOTIFY_NACK;
        nack.Data.Nack = {command, 12};
        KV_Message error{};
        error.Code = KV_NOTIFY_ERROR;
        error.Data.Error = {0, 12, "Cannot open the file"};
        engine.post(handle(n), nack);
        engine.post(handle(n), error);
        settle();
    }
    void refuse(uint8_t command) { refuse(command, current()); }
    // The codes sent so far, with their arguments, to one player.
    std::vector<std::string> sendsTo(int n) const {
        const std::string tag = " #" + std::to_string(ids.at(ids.size() - 3 + size_t(n))) + " ";
        std::vector<std::string> out;
        for (const auto &l : engine.log()) {
            if (const auto at = l.find(tag); l.rfind("send_", 0) == 0 && at != std::string::npos) {
                out.push_back(l.substr(at + tag.size()));
            }
        }
        return out;
    }
    static std::string code(int command) { return std::to_string(command); }
    static std::string level(int pcm) {
        return code(KV_CMD_SET_OUTPUT_VOLUME) + " -1 " + std::to_string(pcm) + " -1";
    }
    // Plays `path` as the current song and reports its duration and start.
    void playing(const QString &path, uint32_t seconds) {
        c->playFile(path);
        post(current(), duration(seconds));
        post(current(), state(KV_PLAYER_STATE_PLAYING));
    }

    QTemporaryDir dir;
    EngineDouble engine;
    velbrin::library::SongLibrary songs;
    std::unique_ptr<PlaybackController> c;
    std::vector<kv_player *> handles;
    std::vector<int> ids;
    QStringList errors, notices;
    int swaps = 0;
    bool timer = false;
};

} // namespace

TEST_F(Controller, PlayPauseAndStopReachTheRightPlayers) {
    const QString a = song("a.mp3");
    int started = 0;
    QObject::connect(c.get(), &PlaybackController::playStarted, [&] { ++started; });
    c->playFile(a);
    EXPECT_EQ(c->currentSongFile(), a);
    EXPECT_EQ(sendsTo(current()).back(), "4");
    post(current(), state(KV_PLAYER_STATE_PLAYING));
    EXPECT_TRUE(c->isPlaying());
    post(other(), state(KV_PLAYER_STATE_STOPPED)); // not the current one
    EXPECT_TRUE(c->isPlaying());

    engine.reset();
    c->playPause();
    EXPECT_EQ(sendsTo(current()), std::vector<std::string>{"5"});
    engine.reset();
    c->stop();
    const auto s = sendsTo(current());
    EXPECT_EQ(s.front(), "6");
    EXPECT_EQ(s.back(), "7 0 0");
    EXPECT_EQ(sendsTo(other()).front(), "6");
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
        post(current(), state(KV_PLAYER_STATE_EOS));
        const auto sent = sendsTo(current());
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
    EXPECT_TRUE(sendsTo(current()).empty());
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
    post(kProbe, error);
    post(other(), error);
    post(current(), error);
    EXPECT_EQ(errors, (QStringList{"Cannot Open Input (error 12)", "Decoding stopped early"}));
}

TEST_F(Controller, StudioTimeCodesStartTheOverlapAndTheSwapIsTheControllers) {
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 2);
    velbrin::WriteIntegerSetting("DJ-Settings", "MinVolumeStudio", 75);
    const QStringList list{song("a.mp3"), song("b.mp3")};
    c->addCommandLine(list);
    c->setOverlapMode(1);
    std::vector<int> shown;
    QObject::connect(c.get(), &PlaybackController::levelsShown,
                     [&](std::optional<int>, std::optional<int> pcm, std::optional<int>) {
                         shown.push_back(pcm.value_or(-1));
                     });
    const int first = current();
    const int second = other();
    post(first, duration(10));
    post(first, state(KV_PLAYER_STATE_PLAYING));
    engine.reset();
    for (int s = 0; s <= 7; ++s) {
        post(first, timeCode(s));
    }
    EXPECT_TRUE(sendsTo(second).empty()) << "nothing before the overlap's second";

    // 10 - 8 = the overlap: the other player takes the next song at 75 + 6.
    post(first, timeCode(8));
    EXPECT_EQ(sendsTo(second), (std::vector<std::string>{code(KV_CMD_INPUT_CLOSE), level(81),
                                                         code(KV_CMD_INPUT_OPEN) + " '" +
                                                             list[1].toStdString() + "'",
                                                         code(KV_CMD_PLAY)}));
    EXPECT_EQ(swaps, 1);
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
    EXPECT_EQ(sendsTo(second).back(), level(99));
    EXPECT_EQ(sendsTo(first).back(), level(0));
    EXPECT_EQ(shown, (std::vector<int>{81, 81, 87, 93, 99, 99}));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(Controller, ASongRefusedAfterTheEndOfTheLastIsSkippedAndSaidOnce) {
    const QStringList list{song("a.mp3"), song("bad.mp3"), song("c.mp3")};
    c->addCommandLine(list);
    post(current(), state(KV_PLAYER_STATE_PLAYING));
    post(current(), state(KV_PLAYER_STATE_EOS));
    ASSERT_EQ(c->currentSongFile(), list[1]);

    // The engine refuses the open, then the Play, each with its wording.
    engine.reset();
    refuse(KV_CMD_INPUT_OPEN);
    refuse(KV_CMD_PLAY);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('|').toStdString();
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].startsWith("bad.mp3 skipped: Cannot Open Input"))
        << notices[0].toStdString();
    EXPECT_EQ(c->currentSongFile(), list[2]);
    EXPECT_EQ(sendsTo(current()).back(), "4");

    // A song the user starts still gets the message box.
    c->playFile(list[1]);
    refuse(KV_CMD_INPUT_OPEN);
    EXPECT_EQ(errors.size(), 1);
    EXPECT_EQ(notices.size(), 1);
}

TEST_F(Controller, NormHandsOverPastAnUnreadableSong) {
    const QStringList list{song("a.mp3"), song("b.mp3"), song("c.mp3")};
    c->addCommandLine(list);
    const int first = current();
    post(first, duration(20));
    post(first, state(KV_PLAYER_STATE_PLAYING));
    post(first, timeCode(15));
    // The preload of b is refused by the player that is not current.
    engine.reset();
    refuse(KV_CMD_INPUT_OPEN, other());
    EXPECT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices.value(0).startsWith("b.mp3 skipped: Cannot Open Input"));
    EXPECT_EQ(sendsTo(other()).back(),
              code(KV_CMD_INPUT_OPEN) + " '" + list[2].toStdString() + "'");
    post(first, state(KV_PLAYER_STATE_EOS));
    EXPECT_EQ(current(), 1 - first);
    EXPECT_EQ(c->currentSongFile(), list[2]);
    EXPECT_EQ(sendsTo(current()).back(), code(KV_CMD_PLAY));
    EXPECT_TRUE(errors.isEmpty()) << errors.join('|').toStdString();
}

TEST_F(Controller, WithNothingPlayableLeftPlayingStopsAndSaysSo) {
    const QStringList list{song("a.mp3"), song("bad.mp3")};
    c->addCommandLine(list);
    post(current(), state(KV_PLAYER_STATE_PLAYING));
    post(current(), state(KV_PLAYER_STATE_EOS));
    refuse(KV_CMD_INPUT_OPEN);
    refuse(KV_CMD_PLAY);
    EXPECT_EQ(c->state(), PlaybackController::PlayState::Stopped);
    EXPECT_EQ(notices.size(), 2);
    EXPECT_EQ(notices.value(1), "Stopped: no playable song left");
    EXPECT_TRUE(errors.isEmpty()) << errors.join('|').toStdString();
}

TEST_F(Controller, TheVoiceSpeaksIntoTheEnginesMixFromStartToShutDown) {
    auto voice = std::make_shared<velbrin::test::RecordingSpeechVoice>();
    PlaybackController::Options o;
    o.voice = voice;
    make(o);
    EXPECT_EQ(voice->output, nullptr) << "an engine without a speech mix";
    engine.offerExtensions(KVDOUBLE_SPEECH_MIX);
    make(o);
    ASSERT_NE(voice->output, nullptr);
    EXPECT_TRUE(c->speechInTheMix());
    c->setDuckDepth(20);
    EXPECT_EQ(engine.log(), std::vector<std::string>{"set_duck_depth 2000"});
    c->shutDown();
    EXPECT_EQ(voice->output, nullptr);
    settle();
}

TEST_F(Controller, StopEndsACrossFadeAndPauseHoldsBothSongs) {
    auto voice = std::make_shared<velbrin::test::RecordingSpeechVoice>();
    PlaybackController::Options o;
    o.voice = voice;
    make(o);
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 2);
    velbrin::WriteBooleanSetting("DJ-Settings", "UseDJ", true);
    velbrin::WriteSetting("DJ-Settings", "DJ-text0", "Next up");
    c->addCommandLine({song("a.mp3"), song("b.mp3")});
    c->setOverlapMode(1);
    const int first = current();
    post(first, duration(10));
    post(first, state(KV_PLAYER_STATE_PLAYING));
    post(first, timeCode(8));
    post(current(), state(KV_PLAYER_STATE_PLAYING));
    ASSERT_TRUE(timer);

    engine.reset();
    c->pause();
    EXPECT_FALSE(timer);
    EXPECT_EQ(sendsTo(current()), std::vector<std::string>{code(KV_CMD_PAUSE)});
    EXPECT_EQ(sendsTo(first), std::vector<std::string>{code(KV_CMD_PAUSE)});
    engine.reset();
    c->play();
    EXPECT_TRUE(timer);
    EXPECT_EQ(sendsTo(current()), std::vector<std::string>{code(KV_CMD_PLAY)});
    EXPECT_EQ(sendsTo(first), std::vector<std::string>{code(KV_CMD_PLAY)});

    for (int tick = 0; tick < 3; ++tick) {
        c->Timer5Timer();
    }
    ASSERT_EQ(voice->spoken(), std::vector<QString>{"Next up"});
    c->stop();
    EXPECT_FALSE(timer);
    EXPECT_EQ(voice->events.back(), "stop") << "the DJ stops with the music";
    engine.reset();
    c->Timer5Timer(); // a tick already on its way
    for (int n : {0, 1}) {
        for (const std::string &sent : sendsTo(n)) {
            EXPECT_NE(sent.rfind(code(KV_CMD_SET_OUTPUT_VOLUME), 0), 0u) << sent;
        }
    }
    c->play();
    EXPECT_EQ(sendsTo(current()), (std::vector<std::string>{level(99), code(KV_CMD_PLAY)}))
        << "the next start is at full level";
}

TEST_F(Controller, MakeWaveFileStaysInForceUntilTheUserChoosesAnOutput) {
    velbrin::WriteSetting("Settings", "WAVDir", dir.path());
    const QString a = song("a.mp3");
    const QString b = song("b.mp3");
    c->soundOutput().makeWaveFile();
    c->playFile(a);
    c->stop();
    engine.reset();
    c->playFile(b);
    const auto sent = sendsTo(current());
    const std::string wav = "49 'wav:" + dir.path().toStdString() + "/b.wav'";
    EXPECT_NE(std::find(sent.begin(), sent.end(), wav), sent.end());
    EXPECT_TRUE(c->soundOutput().wavFileOutput());

    engine.reset();
    c->soundOutput().choose(OutputChoice::WaveDriver);
    EXPECT_FALSE(c->soundOutput().wavFileOutput());
    for (int n : {0, 1}) {
        EXPECT_EQ(sendsTo(n), std::vector<std::string>{"49 '/dev/wave/0'"});
    }
}

TEST_F(Controller, AnAutomaticChangeNeverAsksForTheWavFolder) {
    velbrin::WriteSetting("Engine", "OutputModule", "3");
    QTemporaryDir wavDir;
    velbrin::WriteSetting("Settings", "WAVDir", wavDir.path());
    int asked = 0;
    PlaybackController::Options o;
    o.chooseWavFolder = [&asked] {
        ++asked;
        return QString();
    };
    make(o);
    c->addCommandLine({song("a.mp3"), song("b.mp3")});
    post(current(), state(KV_PLAYER_STATE_PLAYING));
    ASSERT_TRUE(wavDir.remove());
    post(current(), state(KV_PLAYER_STATE_EOS));
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(c->state(), PlaybackController::PlayState::Stopped);
    EXPECT_EQ(notices, QStringList{"Stopped: the folder for WAV files is missing"});
    // A song started by hand may ask.
    c->playFile(songs.list.path(0));
    EXPECT_EQ(asked, 1);
}

namespace {
// A dialog's own event loop, during which the user quits the player (the
// desktop's Quit, or closing the main window).
void quitInsideALoop(PlaybackController &c) {
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&c] { c.shutDown(); });
    QTimer::singleShot(30, &loop, &QEventLoop::quit);
    loop.exec();
}
} // namespace

TEST_F(Controller, QuitAtAnyMomentFreesThePlayersOnlyOnceNoHandlerUsesThem) {
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 2);
    const QStringList list{song("a.mp3"), song("b.mp3")};
    songs.dropFiles(list, false, QString());
    struct Moment {
        const char *name;
        std::function<void()> run;
    };
    const Moment moments[] = {
        {"in a notification handler",
         [&] {
             c->setOverlapMode(1);
             songs.list.select(0);
             playing(list[0], 10);
             // The time code that starts the overlap.
             QObject::connect(c.get(), &PlaybackController::timeCodeChanged, [&](uint32_t second) {
                 if (second == 8) {
                     c->shutDown();
                 }
             });
             engine.reset();
             post(current(), timeCode(8));
             EXPECT_EQ(sendsTo(other()), std::vector<std::string>{code(KV_CMD_STOP)})
                 << "nothing of the change after the quit";
         }},
        {"between the overlap's start and its continuation",
         [&] {
             c->setOverlapMode(1);
             songs.list.select(0);
             playing(list[0], 10);
             QObject::connect(c.get(), &PlaybackController::playersSwapped, [&] {
                 QMetaObject::invokeMethod(
                     c.get(), [&] { c->shutDown(); }, Qt::QueuedConnection);
             });
             engine.reset();
             post(current(), timeCode(8));
             for (const std::string &sent : sendsTo(current())) {
                 EXPECT_NE(sent.rfind(code(KV_CMD_INPUT_OPEN), 0), 0u) << "the change went on";
             }
         }},
        {"in the message box of a refusal",
         [&] {
             QObject::connect(c.get(), &PlaybackController::errorOccurred,
                              [&] { quitInsideALoop(*c); });
             c->playFile(list[0]);
             refuse(KV_CMD_INPUT_OPEN);
             refuse(KV_CMD_PLAY);
         }},
        {"in the WAV-folder question",
         [&] {
             PlaybackController::Options o;
             o.chooseWavFolder = [&] {
                 quitInsideALoop(*c);
                 return dir.path();
             };
             make(o);
             c->soundOutput().makeWaveFile();
             c->playFile(list[0]);
         }},
    };
    for (const Moment &m : moments) {
        SCOPED_TRACE(m.name);
        make();
        m.run();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        settle();
        EXPECT_TRUE(c->findChildren<TKelvraSpectrum *>().isEmpty()) << "the players are freed";
        c->play();
        c->stop();
        c->Timer5Timer();
    }
}

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

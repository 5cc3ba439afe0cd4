// The player on a private session bus: the program's windows and controller
// with the real engine, driven from outside the process with gdbus as the
// desktop's media controls would.
#include "Application.h"
#include "KelvraSpectrum.h"
#include "MprisService.h"
#include "PlaybackController.h"
#include "PlayerForm.h"
#include "ProgramWindows.h"
#include "fake_screen_saver.h"
#include "private_session_bus.h"
#include "recording_speech_voice.h"
#include "settings_store.h"
#include "sink_recorder.h"
#include "song_library.h"

#include <QAction>
#include <QCheckBox>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include <functional>

using velbrin::player::MprisService;
using velbrin::player::PlaybackController;
using State = PlaybackController::PlayState;

namespace {

const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

bool waitFor(const std::function<bool()> &done, int ms = 8000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

// Records the player's PropertiesChanged and Seeked signals as a client sees them.
class SignalLog : public QObject {
    Q_OBJECT
public:
    QStringList changed; // property names, in arrival order
    QList<qlonglong> seeked;
public slots:
    void onChanged(const QString &interface, const QVariantMap &properties, const QStringList &) {
        if (interface == kPlayer) {
            changed << properties.keys();
        }
    }
    void onSeeked(qlonglong position) { seeked << position; }
};

class MprisBus : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        bus = new velbrin::test::PrivateSessionBus;
        if (!bus->start()) {
            return;
        }
        // Before the program's first use of the session bus, which Qt keeps.
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus->address().toUtf8());
        media = new QTemporaryDir;
        first = makeSong("first", 8, 440, {"--tt", "First", "--ta", "Band", "--tl", "Album"});
        second = makeSong("second", 6, 660, {"--tt", "Second", "--ta", "Band"});
    }
    static void TearDownTestSuite() {
        delete std::exchange(bus, nullptr);
        delete std::exchange(media, nullptr);
    }
    static QString makeSong(const QString &name, int seconds, int hz, const QStringList &tag) {
        const QString wav = media->filePath(name + ".wav");
        const QString mp3 = media->filePath(name + ".mp3");
        QProcess::execute(QStringLiteral("sox"),
                          {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth",
                           QString::number(seconds), "sine", QString::number(hz), "vol", "0.3"});
        QProcess::execute(QStringLiteral("lame"),
                          QStringList{"--quiet", "-b", "128"} + tag + QStringList{wav, mp3});
        return QFileInfo::exists(mp3) ? mp3 : QString();
    }

    void SetUp() override {
        if (bus->address().isEmpty() || first.isEmpty() || second.isEmpty()) {
            GTEST_SKIP() << "needs dbus-daemon, sox and lame";
        }
        ASSERT_TRUE(dir.isValid());
        qputenv("VELBRIN_SETTINGS", dir.filePath("velbrin.ini").toLocal8Bit());
        // The private sound server when the test run has one; else the
        // engine's silent output, which keeps the sound card's pace.
        if (!velbrin::test::soundServerReachable()) {
            qputenv("KELVRA_OUTPUT", "null");
        }
        watcher = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(bus->address(), QStringLiteral("watcher")));
        ASSERT_TRUE(watcher->connect(QString(), MprisService::kObjectPath,
                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                     QStringLiteral("PropertiesChanged"), &log,
                                     SLOT(onChanged(QString, QVariantMap, QStringList))));
        ASSERT_TRUE(watcher->connect(QString(), MprisService::kObjectPath, kPlayer,
                                     QStringLiteral("Seeked"), &log, SLOT(onSeeked(qlonglong))));
    }
    void TearDown() override {
        windows = {};
        watcher.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
        qunsetenv("VELBRIN_SETTINGS");
        qunsetenv("KELVRA_OUTPUT");
    }

    // The program's windows, as the program makes them, playing the two songs.
    void startPlayer() {
        velbrin::player::TPlayerForm::Options o;
        o.enginePath = VELBRIN_ENGINE;
        windows = velbrin::player::createProgramWindows(o);
        controller = windows.form->controller();
        controller->addCommandLine({first, second});
        ASSERT_TRUE(waitFor([&] { return controller->state() == State::Playing; }));
        ASSERT_TRUE(waitFor([&] { return controller->duration() == 8; }));
    }

    // gdbus against the player; its answer as gdbus prints it.
    QString gdbus(const QStringList &args) {
        QProcess p;
        p.start(QStringLiteral("gdbus"),
                QStringList{"call", "--session", "--dest", MprisService::kServiceName,
                            "--object-path", MprisService::kObjectPath} +
                    args);
        // The service answers on this thread, so the loop turns while gdbus waits.
        EXPECT_TRUE(waitFor([&] { return p.state() == QProcess::NotRunning; }, 10000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }
    QString call(const QString &method, const QStringList &args = {}) {
        return gdbus(QStringList{"--method", kPlayer + "." + method} + args);
    }
    QString get(const QString &interface, const QString &property) {
        return gdbus({"--method", "org.freedesktop.DBus.Properties.Get", interface, property});
    }
    QString trackId() {
        const QString metadata = get(kPlayer, "Metadata");
        const qsizetype at = metadata.indexOf("objectpath '") + 12;
        return metadata.mid(at, metadata.indexOf('\'', at) - at);
    }

    static inline velbrin::test::PrivateSessionBus *bus = nullptr;
    static inline QTemporaryDir *media = nullptr;
    static inline QString first, second;
    QTemporaryDir dir;
    velbrin::player::ProgramWindows windows;
    PlaybackController *controller = nullptr;
    std::unique_ptr<QDBusConnection> watcher;
    SignalLog log;
};

TEST_F(MprisBus, TheRootInterfaceNamesRaisesAndQuitsThePlayer) {
    startPlayer();
    ASSERT_TRUE(windows.mpris->isRegistered());
    const QString all = gdbus({"--method", "org.freedesktop.DBus.Properties.GetAll", kRoot});
    for (const char *expected :
         {"'Identity': <'Velbrin MP3 Player'>", "'DesktopEntry': <'org.odalrin.Velbrin'>",
          "'CanQuit': <true>", "'CanRaise': <true>", "'HasTrackList': <false>",
          "'SupportedUriSchemes': <['file']>"}) {
        EXPECT_TRUE(all.contains(QLatin1String(expected)))
            << expected << " in " << all.toStdString();
    }
    ASSERT_FALSE(windows.form->isVisible());
    gdbus({"--method", kRoot + ".Raise"});
    EXPECT_TRUE(windows.form->isVisible());
    gdbus({"--method", kRoot + ".Quit"});
    EXPECT_TRUE(waitFor([&] { return !windows.form->isVisible(); }));
    EXPECT_TRUE(waitFor([&] {
        return controller->findChildren<velbrin::engine::TKelvraSpectrum *>().isEmpty();
    })) << "closing stopped and freed the players";
}

TEST_F(MprisBus, CommandsReachTheEngineAndPlaybackStatusFollows) {
    startPlayer();
    const struct {
        const char *method;
        State state;
        const char *status;
    } steps[] = {
        {"PlayPause", State::Paused, "Paused"}, {"PlayPause", State::Playing, "Playing"},
        {"Pause", State::Paused, "Paused"},     {"Play", State::Playing, "Playing"},
        {"Stop", State::Stopped, "Stopped"},    {"PlayPause", State::Playing, "Playing"},
    };
    for (const auto &step : steps) {
        call(QLatin1String(step.method));
        EXPECT_TRUE(waitFor([&] { return controller->state() == step.state; })) << step.method;
        EXPECT_EQ(get(kPlayer, "PlaybackStatus"), QStringLiteral("(<'%1'>,)").arg(step.status))
            << step.method;
    }
    EXPECT_TRUE(waitFor([&] { return log.changed.count("PlaybackStatus") >= 6; }))
        << log.changed.join(' ').toStdString();
}

TEST_F(MprisBus, NextAndPreviousChangeTheSongAndMetadataFollows) {
    startPlayer();
    const QString metadata = get(kPlayer, "Metadata");
    for (const char *expected : {"'xesam:title': <'First'>", "'xesam:artist': <['Band']>",
                                 "'xesam:album': <'Album'>", "'mpris:length': <int64 8000000>",
                                 "'mpris:trackid': <objectpath '/org/velbrin/track/t"}) {
        EXPECT_TRUE(metadata.contains(QLatin1String(expected)))
            << expected << " in " << metadata.toStdString();
    }
    const QString firstId = trackId();
    log.changed.clear();
    call("Next");
    ASSERT_TRUE(waitFor([&] { return controller->currentSongFile() == second; }));
    ASSERT_TRUE(waitFor([&] { return controller->duration() == 6; }));
    EXPECT_TRUE(waitFor([&] { return log.changed.contains("Metadata"); }));
    const QString next = get(kPlayer, "Metadata");
    EXPECT_TRUE(next.contains("'xesam:title': <'Second'>")) << next.toStdString();
    EXPECT_TRUE(next.contains("'mpris:length': <int64 6000000>")) << next.toStdString();
    EXPECT_FALSE(next.contains("xesam:album")) << "an empty field is left out";
    const QString secondId = trackId();
    EXPECT_NE(secondId, firstId);
    call("Previous");
    EXPECT_TRUE(waitFor([&] { return controller->currentSongFile() == first; }));
    EXPECT_TRUE(waitFor([&] { return trackId() != secondId; }));
    EXPECT_NE(trackId(), firstId) << "the first song opened again is a new track";
}

TEST_F(MprisBus, CanGoNextEndsWithTheListUnlessAllSongsIsTicked) {
    startPlayer();
    EXPECT_EQ(get(kPlayer, "CanGoNext"), "(<true>,)");
    EXPECT_EQ(get(kPlayer, "CanGoPrevious"), "(<false>,)");
    EXPECT_EQ(get(kPlayer, "CanPause"), "(<true>,)");
    call("Next");
    ASSERT_TRUE(waitFor([&] { return controller->currentSongFile() == second; }));
    EXPECT_TRUE(waitFor([&] { return log.changed.contains("CanGoNext"); }));
    EXPECT_EQ(get(kPlayer, "CanGoNext"), "(<false>,)");
    EXPECT_EQ(get(kPlayer, "CanGoPrevious"), "(<true>,)");
    log.changed.clear();
    windows.form->checkbox1->click(); // "All songs"
    EXPECT_TRUE(waitFor([&] { return log.changed.contains("CanGoNext"); }));
    EXPECT_EQ(get(kPlayer, "CanGoNext"), "(<true>,)");
    call("Next");
    EXPECT_TRUE(waitFor([&] { return controller->currentSongFile() == first; }))
        << "Next on the last song plays the first";
}

TEST_F(MprisBus, SeekAndSetPositionMoveThePlayer) {
    startPlayer();
    // Far enough in that a clock counting from the start, not from the seek, shows.
    ASSERT_TRUE(waitFor([&] { return controller->timeCode() >= 2; }));
    std::vector<uint32_t> codes;
    QObject::connect(controller, &PlaybackController::timeCodeChanged, windows.form.get(),
                     [&](uint32_t seconds) { codes.push_back(seconds); });
    call("Seek", {"2000000"});
    EXPECT_TRUE(waitFor([&] { return !codes.empty() && codes.back() >= 4; }));
    EXPECT_LE(codes.empty() ? 0 : codes.back(), 5u) << "the time code counts from the seek";
    EXPECT_TRUE(waitFor([&] { return !log.seeked.isEmpty(); }));
    EXPECT_GE(log.seeked.value(0), 4'000'000);
    const qlonglong position = get(kPlayer, "Position").section(' ', 1).chopped(3).toLongLong();
    EXPECT_GE(position, 4'000'000);

    call("SetPosition", {"/org/velbrin/track/tnot", "1000000"});
    call("SetPosition", {trackId(), "1000000"});
    EXPECT_TRUE(waitFor([&] { return controller->timeCode() <= 2; }))
        << "went back to 1 s, not ignored as the wrong track was";

    // The bus may bring the Seeked of that seek after the time code; it is
    // not the next one's.
    EXPECT_TRUE(waitFor([&] { return log.seeked.contains(1'000'000); }));
    log.seeked.clear();
    controller->seekToSeconds(6); // as the window's slider does
    EXPECT_TRUE(waitFor([&] { return !log.seeked.isEmpty(); }));
    EXPECT_EQ(log.seeked.value(0), 6'000'000);

    call("Seek", {"60000000"});
    EXPECT_TRUE(waitFor([&] { return controller->currentSongFile() == second; }))
        << "past the end is the next song";
}

TEST_F(MprisBus, VolumeSetsTheVolumeLevel) {
    startPlayer();
    gdbus({"--method", "org.freedesktop.DBus.Properties.Set", kPlayer, "Volume", "<0.5>"});
    EXPECT_TRUE(waitFor([&] { return controller->levels().pcm == 50; }));
    EXPECT_EQ(controller->levels().master, 99) << "the master level stays";
    EXPECT_TRUE(get(kPlayer, "Volume").startsWith("(<0.505"))
        << get(kPlayer, "Volume").toStdString();
    EXPECT_TRUE(waitFor([&] { return log.changed.contains("Volume"); }));
}

TEST_F(MprisBus, LoopStatusAndShuffleAreThePlayModes) {
    startPlayer();
    using Modes = velbrin::player::PlayModes;
    const struct {
        const char *property, *value;
        bool Modes::*mode;
        bool on;
    } steps[] = {{"LoopStatus", "<'Track'>", &Modes::currentTrack, true},
                 {"LoopStatus", "<'Playlist'>", &Modes::repeatAll, true},
                 {"LoopStatus", "<'Playlist'>", &Modes::currentTrack, false},
                 {"LoopStatus", "<'None'>", &Modes::repeatAll, false},
                 {"Shuffle", "<true>", &Modes::shuffle, true}};
    for (const auto &step : steps) {
        gdbus({"--method", "org.freedesktop.DBus.Properties.Set", kPlayer, step.property,
               step.value});
        EXPECT_EQ(controller->playModes().*step.mode, step.on) << step.property << step.value;
        EXPECT_EQ(get(kPlayer, step.property), QStringLiteral("(%1,)").arg(step.value));
    }
    EXPECT_TRUE(waitFor([&] { return log.changed.contains("LoopStatus"); }));
}

TEST_F(MprisBus, ANameTakenByAnotherInstanceLeavesThePlayerAsItWas) {
    QDBusConnection other = QDBusConnection::connectToBus(bus->address(), QStringLiteral("other"));
    ASSERT_TRUE(other.registerService(MprisService::kServiceName));
    startPlayer();
    EXPECT_FALSE(windows.mpris->isRegistered());
    EXPECT_EQ(controller->state(), State::Playing);
    EXPECT_FALSE(windows.mpris->registerOn(QDBusConnection(QStringLiteral("no bus"))));
    QDBusConnection::disconnectFromBus(QStringLiteral("other"));
}

// The menu's screen-saver items reach the desktop's inhibit service on the
// same session bus.
TEST_F(MprisBus, TheScreensaverMenuHoldsAndReleasesThroughTheDesktop) {
    velbrin::test::ScreenSaverService service;
    ASSERT_TRUE(service.offer(bus->address()));
    startPlayer();
    auto *on = windows.form->findChild<QAction *>(QStringLiteral("ScreensaverOn"));
    auto *off = windows.form->findChild<QAction *>(QStringLiteral("ScreensaverOff"));
    ASSERT_TRUE(on && off);
    EXPECT_TRUE(on->isChecked());
    off->trigger();
    EXPECT_TRUE(off->isChecked());
    EXPECT_FALSE(on->isChecked());
    EXPECT_FALSE(windows.form->fScreenSaverActive);
    on->trigger();
    EXPECT_TRUE(windows.form->fScreenSaverActive);
    const QString app = QCoreApplication::applicationName();
    EXPECT_EQ(service.calls(), (QStringList{QStringLiteral("Inhibit %1 Playing music").arg(app),
                                            QStringLiteral("UnInhibit 77")}));
}

// A song tagged only in ID3v2 by a current tagger, with a Cyrillic title far
// longer than ID3v1 holds and a cover: the window, the list, the desktop and
// the DJ all have it whole.
TEST_F(MprisBus, AnId3v2OnlySongIsShownWholeEverywhereAndAnnounced) {
    const QString title = QString::fromUtf8("Звезда по имени Солнце и другие песни о городе");
    const QString song = makeSong("cyrillic", 5, 440,
                                  {"--id3v2-only", "--tt", title, "--ta", QString::fromUtf8("Кино"),
                                   "--tl", QString::fromUtf8("Группа крови")});
    ASSERT_EQ(
        QProcess::execute("/usr/bin/python3",
                          {"-c",
                           "import sys\nfrom mutagen.id3 import ID3, APIC\nt = ID3(sys.argv[1])\n"
                           "t.add(APIC(encoding=0, mime='image/png', type=3, desc='',"
                           " data=b'\\x89PNGcover'))\nt.save(sys.argv[1], v2_version=3)\n",
                           song}),
        0);
    const QString next =
        makeSong("next", 6, 660, {"--id3v2-only", "--tt", "Next", "--ta", "Band", "--tl", "Album"});
    velbrin::WriteSetting("DJ-Settings", "UseDJ", "-1");
    velbrin::WriteSetting("DJ-Settings", "DJ-text0",
                          "That was %ARTIST% playing %SONGTITLE% from the album %ALBUM%");
    velbrin::WriteSetting("DJ-Settings", "OverlapStudio", "3");
    velbrin::WriteSetting("Settings", "PlayMode", "Studio");
    velbrin::player::TPlayerForm::Options o;
    o.enginePath = VELBRIN_ENGINE;
    auto voice = std::make_shared<velbrin::test::RecordingSpeechVoice>();
    windows = velbrin::player::createProgramWindows(o, voice);
    controller = windows.form->controller();
    controller->addCommandLine({song, next});
    ASSERT_TRUE(waitFor([&] { return controller->state() == State::Playing; }));

    EXPECT_EQ(controller->nowPlaying().currentTitleText, title + "\r\n");
    EXPECT_EQ(controller->nowPlaying().artist, QString::fromUtf8("Кино"));
    EXPECT_EQ(controller->library()->list.displayText(0),
              QString::fromUtf8("Кино, Группа крови, ") + title);
    const QString metadata = get(kPlayer, "Metadata");
    EXPECT_TRUE(metadata.contains("'xesam:title': <'" + title + "'>")) << metadata.toStdString();
    const qsizetype art = metadata.indexOf("'mpris:artUrl': <'file://");
    ASSERT_GE(art, 0) << metadata.toStdString();
    const QString artFile = QUrl(metadata.mid(art + 18).section('\'', 0, 0)).toLocalFile();
    QFile picture(artFile);
    ASSERT_TRUE(picture.open(QIODevice::ReadOnly)) << artFile.toStdString();
    EXPECT_EQ(picture.readAll(), QByteArray("\x89PNGcover"));

    ASSERT_TRUE(waitFor([&] { return !voice->spoken().empty(); }, 15000));
    EXPECT_EQ(voice->spoken().front(), QString::fromUtf8("That was Кино playing ") + title +
                                           QString::fromUtf8(" from the album Группа крови"));
}

} // namespace

#include "test_mpris_bus.moc"

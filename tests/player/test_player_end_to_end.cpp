// The program itself with the real engine: a song given on the command line is
// written to a WAV file, and to "lastplay.txt" ten seconds after it started.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

namespace {

bool run(const QString &program, const QStringList &args) {
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Frames of a 16-bit stereo WAV file, from its header.
qint64 wavFrames(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray all = f.readAll();
    const qsizetype data = all.indexOf("data");
    if (data < 0 || data + 8 > all.size()) {
        return -1;
    }
    quint32 size = 0;
    std::memcpy(&size, all.constData() + data + 4, 4);
    return static_cast<qint64>(size) / 4;
}

// A program folder of our own holding the player, the engine and its modules.
QString installProgram(const QTemporaryDir &dir) {
    const QDir bin(QStringLiteral(VELBRIN_BIN_DIR));
    const QString appDir = dir.filePath("app");
    QDir().mkpath(appDir);
    for (const QString &name :
         bin.entryList({"velbrin", "libkelvra.so", "libkv_*.so"}, QDir::Files)) {
        QFile::copy(bin.filePath(name), appDir + "/" + name);
        QFile::setPermissions(appDir + "/" + name, QFile::permissions(bin.filePath(name)));
    }
    return appDir;
}

bool makeSong(const QString &mp3, double seconds, int frequency) {
    const QString wav = mp3 + ".src.wav";
    return run(QStandardPaths::findExecutable("sox"),
               {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", QString::number(seconds),
                "sine", QString::number(frequency), "vol", "0.5"}) &&
           run(QStandardPaths::findExecutable("lame"), {"--quiet", "-b", "128", wav, mp3});
}

} // namespace

TEST(PlayerEndToEnd, SongFromTheCommandLineIsWrittenToWavAndLogged) {
    if (QStandardPaths::findExecutable("sox").isEmpty() ||
        QStandardPaths::findExecutable("lame").isEmpty()) {
        GTEST_SKIP() << "sox and lame are needed to make the song";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // The program folder must be one of our own: "lastplay.txt" is written there.
    const QString appDir = installProgram(dir);
    const QString song = dir.filePath("tone.mp3");
    ASSERT_TRUE(makeSong(song, 3, 440));
    const QString out = dir.filePath("out");
    ASSERT_TRUE(QDir().mkpath(out));
    {
        QFile ini(dir.filePath("velbrin.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(
            QStringLiteral("[Engine]\nOutputModule=3\n[Settings]\nWAVDir=%1\n").arg(out).toUtf8());
    }

    QProcess player;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VELBRIN_SETTINGS", dir.filePath("velbrin.ini"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("VELBRIN_QUIT_AFTER", "11500");
    env.insert("XDG_RUNTIME_DIR", dir.path());
    player.setProcessEnvironment(env);
    player.start(appDir + "/velbrin", {song});
    ASSERT_TRUE(player.waitForFinished(40000));
    EXPECT_EQ(player.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(player.exitCode(), 0) << player.readAllStandardError().toStdString();

    EXPECT_EQ(wavFrames(out + "/tone.wav"), 3 * 44100);
    QFile log(appDir + "/lastplay.txt");
    ASSERT_TRUE(log.open(QIODevice::ReadOnly)) << "lastplay.txt was not written";
    EXPECT_EQ(log.readAll(), song.toLocal8Bit() + "\r\n");
}

TEST(PlayerEndToEnd, AFolderPlaysInOrderIntoWavFilesAndWrapsWithAllSongs) {
    if (QStandardPaths::findExecutable("sox").isEmpty() ||
        QStandardPaths::findExecutable("lame").isEmpty()) {
        GTEST_SKIP() << "sox and lame are needed to make the songs";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString appDir = installProgram(dir);
    const QString music = dir.filePath("music");
    ASSERT_TRUE(QDir().mkpath(music));
    const QStringList names{"01 first", "02 second", "03 third"};
    for (int i = 0; i < names.size(); ++i) {
        ASSERT_TRUE(makeSong(music + "/" + names[i] + ".mp3", 1.0 + 0.5 * i, 440 + 110 * i));
        QFile::remove(music + "/" + names[i] + ".mp3.src.wav");
    }
    const QString out = dir.filePath("out");
    ASSERT_TRUE(QDir().mkpath(out));
    // Plays the folder with the given "All songs" setting; returns the songs in
    // the order they were opened.
    auto play = [&](bool repeatAll) {
        QFile ini(dir.filePath("velbrin.ini"));
        EXPECT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(QStringLiteral("[Engine]\nOutputModule=3\n[Settings]\nWAVDir=%1\nRepeatAll=%2\n")
                      .arg(out, repeatAll ? "-1" : "0")
                      .toUtf8());
        ini.close();
        QFile::remove(dir.filePath("trace.txt"));
        QProcess player;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VELBRIN_SETTINGS", dir.filePath("velbrin.ini"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("VELBRIN_QUIT_AFTER", "3000");
        env.insert("KELVRA_TRACE", dir.filePath("trace.txt"));
        env.insert("XDG_RUNTIME_DIR", dir.path());
        player.setProcessEnvironment(env);
        player.start(appDir + "/velbrin", {music});
        EXPECT_TRUE(player.waitForFinished(30000));
        EXPECT_EQ(player.exitCode(), 0) << player.readAllStandardError().toStdString();
        QFile trace(dir.filePath("trace.txt"));
        QStringList opened;
        if (trace.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : trace.readAll().split('\n')) {
                if (!line.contains(" command 8 ")) {
                    continue;
                }
                for (const QString &n : names) {
                    if (line.contains(n.toUtf8())) {
                        opened << n;
                    }
                }
            }
        }
        return opened;
    };

    // In order, each song into its own WAV file, and nothing after the last.
    EXPECT_EQ(play(false), names);
    for (int i = 0; i < names.size(); ++i) {
        EXPECT_EQ(wavFrames(out + "/" + names[i] + ".wav"),
                  static_cast<qint64>((1.0 + 0.5 * i) * 44100))
            << names[i].toStdString();
    }
    // With "All songs" the first song follows the last.
    const QStringList wrapped = play(true);
    ASSERT_GE(wrapped.size(), 4);
    EXPECT_EQ(wrapped.mid(0, 4), (QStringList{names[0], names[1], names[2], names[0]}));
}

namespace {

// RMS level in dB of the left channel of `wav` between `low` and `high` Hz.
double bandLevel(const QString &wav, int low, int high) {
    QProcess sox;
    sox.start(
        QStandardPaths::findExecutable("sox"),
        {wav, "-n", "remix", "1", "sinc", QStringLiteral("%1-%2").arg(low).arg(high), "stat"});
    if (!sox.waitForFinished(60000)) {
        return -1000;
    }
    const QString out = QString::fromLocal8Bit(sox.readAllStandardError());
    for (const QString &line : out.split('\n')) {
        if (line.startsWith("RMS     amplitude:")) {
            return 20.0 * std::log10(line.section(':', 1).trimmed().toDouble());
        }
    }
    return -1000;
}

// Plays `song` once through the program into a WAV file in `out`, with the
// equalizer settings given.
void renderThroughProgram(const QTemporaryDir &dir, const QString &appDir, const QString &song,
                          const QString &out, const QString &equalizer) {
    ASSERT_TRUE(QDir().mkpath(out));
    const QString ini = out + ".ini";
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[Engine]\nOutputModule=3\n[Settings]\nWAVDir=%1\n[Equalizer]\n%2")
                   .arg(out, equalizer)
                   .toUtf8());
    file.close();
    QProcess player;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VELBRIN_SETTINGS", ini);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("VELBRIN_QUIT_AFTER", "6000");
    env.insert("XDG_RUNTIME_DIR", dir.path());
    player.setProcessEnvironment(env);
    player.start(appDir + "/velbrin", {song});
    ASSERT_TRUE(player.waitForFinished(40000));
    EXPECT_EQ(player.exitCode(), 0) << player.readAllStandardError().toStdString();
}

} // namespace

TEST(PlayerEndToEnd, StoredEqualizerRaisesTheBandsItsSliderDrives) {
    if (QStandardPaths::findExecutable("sox").isEmpty() ||
        QStandardPaths::findExecutable("lame").isEmpty()) {
        GTEST_SKIP() << "sox and lame are needed to make the song";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString appDir = installProgram(dir);
    const QString song = dir.filePath("noise.mp3");
    ASSERT_TRUE(run(QStandardPaths::findExecutable("sox"),
                    {"-n", "-r", "44100", "-c", "2", "-b", "16", song + ".wav", "synth", "3",
                     "whitenoise", "vol", "0.2"}));
    ASSERT_TRUE(run(QStandardPaths::findExecutable("lame"),
                    {"--quiet", "-b", "320", "--lowpass", "20", song + ".wav", song}));

    // The 15th slider (band number 25) at the top drives engine bands 20..25,
    // 13.8 to 17.9 kHz at 44.1 kHz; the volume window sends it at start.
    renderThroughProgram(dir, appDir, song, dir.filePath("flat"), "Enabled=0\nBarnr25=-80\n");
    renderThroughProgram(dir, appDir, song, dir.filePath("raised"), "Enabled=1\nBarnr25=-80\n");
    const QString flat = dir.filePath("flat/noise.wav");
    const QString raised = dir.filePath("raised/noise.wav");
    ASSERT_GT(wavFrames(flat), 44100);
    ASSERT_GT(wavFrames(raised), 44100);
    const double inside = bandLevel(raised, 14500, 17000) - bandLevel(flat, 14500, 17000);
    const double outside = bandLevel(raised, 1000, 8000) - bandLevel(flat, 1000, 8000);
    RecordProperty("raised_dB_14k5_17k", std::to_string(inside));
    RecordProperty("raised_dB_1k_8k", std::to_string(outside));
    EXPECT_NEAR(inside, 8.0, 1.0);
    EXPECT_NEAR(outside, 0.0, 0.3);
}

namespace {

// xdotool's answer, or an empty text when it failed (no such window yet).
QString xdotool(const QStringList &args) {
    QProcess p;
    p.start(QStandardPaths::findExecutable("xdotool"), args);
    p.waitForFinished(10000);
    return p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()).trimmed() : QString();
}

// The first window whose title holds `title`, waited for up to `ms`.
QString windowTitled(const QString &title, int ms = 15000) {
    QElapsedTimer clock;
    clock.start();
    do {
        const QString ids = xdotool({"search", "--name", title});
        if (!ids.isEmpty()) {
            return ids.section('\n', 0, 0);
        }
        QThread::msleep(100);
    } while (clock.elapsed() < ms);
    return {};
}

} // namespace

// With "Always listen" the preset's keys belong to the player wherever the
// user types: N pressed while another program's window has the focus plays
// the next song.
TEST(PlayerEndToEnd, AlwaysListenTakesItsKeysFromAnyWindow) {
    if (qEnvironmentVariable("DISPLAY").isEmpty() ||
        QStandardPaths::findExecutable("xdotool").isEmpty() ||
        QStandardPaths::findExecutable("xmessage").isEmpty() ||
        QStandardPaths::findExecutable("lame").isEmpty()) {
        GTEST_SKIP() << "needs an X display, xdotool, xmessage, sox and lame";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString appDir = installProgram(dir);
    QStringList songs;
    for (const char *title : {"Hotkey One", "Hotkey Two"}) {
        const QString mp3 = dir.filePath(QString::fromLatin1(title).replace(' ', '_') + ".mp3");
        ASSERT_TRUE(makeSong(mp3, 30, 440));
        ASSERT_TRUE(run(QStandardPaths::findExecutable("lame"),
                        {"--quiet", "-b", "128", "--tt", title, mp3 + ".src.wav", mp3}));
        songs << mp3;
    }
    QFile ini(dir.filePath("velbrin.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[KeyMappings]\nDefault=0\nAlwaysListen=-1\n");
    ini.close();

    QProcess player;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VELBRIN_SETTINGS", ini.fileName());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("KELVRA_OUTPUT", "null");
    env.insert("VELBRIN_QUIT_AFTER", "40000");
    env.insert("XDG_RUNTIME_DIR", dir.path());
    player.setProcessEnvironment(env);
    player.start(appDir + "/velbrin", songs);
    ASSERT_FALSE(windowTitled("Hotkey One").isEmpty()) << "the first song never played";

    QProcess other;
    other.start(QStandardPaths::findExecutable("xmessage"),
                {"-title", "Another program", "Type here"});
    const QString otherWindow = windowTitled("Another program");
    ASSERT_FALSE(otherWindow.isEmpty());
    xdotool({"windowfocus", "--sync", otherWindow});
    EXPECT_EQ(xdotool({"getwindowfocus"}), otherWindow);
    xdotool({"key", "n"});
    EXPECT_FALSE(windowTitled("Hotkey Two", 10000).isEmpty()) << "N did not reach the player";

    other.kill();
    other.waitForFinished();
    player.terminate();
    EXPECT_TRUE(player.waitForFinished(15000));
}

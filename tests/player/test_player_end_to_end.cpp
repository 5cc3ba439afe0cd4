// The program itself with the real engine: a song given on the command line is
// written to a WAV file, and to "lastplay.txt" ten seconds after it started.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
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

} // namespace

TEST(PlayerEndToEnd, SongFromTheCommandLineIsWrittenToWavAndLogged) {
    const QString sox = QStandardPaths::findExecutable("sox");
    const QString lame = QStandardPaths::findExecutable("lame");
    if (sox.isEmpty() || lame.isEmpty()) {
        GTEST_SKIP() << "sox and lame are needed to make the song";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // The program folder must be one of our own: "lastplay.txt" is written there.
    const QDir bin(QStringLiteral(VELBRIN_BIN_DIR));
    const QString appDir = dir.filePath("app");
    ASSERT_TRUE(QDir().mkpath(appDir));
    for (const QString &name :
         bin.entryList({"velbrin", "libkelvra.so", "libkv_*.so"}, QDir::Files)) {
        ASSERT_TRUE(QFile::copy(bin.filePath(name), appDir + "/" + name)) << name.toStdString();
        QFile::setPermissions(appDir + "/" + name, QFile::permissions(bin.filePath(name)));
    }

    const QString wav = dir.filePath("tone.wav");
    const QString song = dir.filePath("tone.mp3");
    ASSERT_TRUE(run(sox, {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "3", "sine",
                          "440", "vol", "0.5"}));
    ASSERT_TRUE(run(lame, {"--quiet", "-b", "128", "--tt", "End to end", wav, song}));
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

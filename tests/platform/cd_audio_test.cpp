// The CD device on a generated three-track image: its table of contents,
// moving between tracks, playing to the end and the sound reaching a server.
#include "cd_audio.h"
#include "cd_image.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

// The sound server libraries keep a few allocations of their own until the
// process ends; only the sanitizer build consults this.
extern "C" const char *__lsan_default_suppressions();
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libSDL2-2.0.so\nleak:libpulse.so\nleak:libpulsecommon\nleak:libdbus-1.so\n";
}

using velbrin::platform::CdAudioDevice;
using velbrin::platform::CdError;
using Mode = CdAudioDevice::Mode;

namespace {

uint32_t tmsf(int t, int m, int s, int f) {
    return static_cast<uint32_t>(t | m << 8 | s << 16 | f << 24);
}
uint32_t msf(int m, int s, int f) {
    return static_cast<uint32_t>(m | s << 8 | f << 16);
}

class CdDevice : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        image = velbrin::test::writeCdImage(dir.path());
        qputenv("SDL_AUDIODRIVER", "dummy");
    }
    void TearDown() override { qunsetenv("SDL_AUDIODRIVER"); }

    // Runs queued notifications until `done` or the time is up.
    static bool waitFor(const std::function<bool()> &done, int ms) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(10);
        }
        return done();
    }

    QTemporaryDir dir;
    QString image;
};

} // namespace

TEST_F(CdDevice, ImageReportsTracksAndLengths) {
    CdAudioDevice cd;
    cd.open(image);
    EXPECT_TRUE(cd.isImage());
    EXPECT_EQ(cd.trackCount(), 3);
    EXPECT_EQ(cd.discLength(), msf(0, 7, 5));
    EXPECT_EQ(cd.trackLength(1), msf(0, 2, 30));
    EXPECT_EQ(cd.trackLength(2), msf(0, 3, 10));
    EXPECT_EQ(cd.trackLength(3), msf(0, 1, 40));
    EXPECT_THROW(cd.trackLength(4), CdError);
    EXPECT_EQ(cd.position(), tmsf(1, 0, 0, 0));
    EXPECT_EQ(cd.mode(), Mode::Stopped);
}

TEST_F(CdDevice, OpenFailuresAreErrorsWithAText) {
    CdAudioDevice cd;
    const QString notADisc = dir.filePath(QStringLiteral("notes.txt"));
    QFile f(notADisc);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("just words\n");
    f.close();
    for (const QString &name :
         {dir.filePath(QStringLiteral("missing.cue")), notADisc, QStringLiteral("E"), QString()}) {
        try {
            cd.open(name);
            ADD_FAILURE() << "opened " << name.toStdString();
        } catch (const CdError &e) {
            EXPECT_GT(std::strlen(e.what()), 0u);
        }
        EXPECT_FALSE(cd.isOpen());
        EXPECT_EQ(cd.mode(), Mode::NotReady);
    }
    EXPECT_THROW(cd.play(), CdError);
}

TEST_F(CdDevice, NextPreviousRewindAndNoEjectOfImages) {
    CdAudioDevice cd;
    cd.open(image);
    cd.next();
    EXPECT_EQ(cd.position(), tmsf(2, 0, 0, 0));
    cd.next();
    cd.next();
    EXPECT_EQ(cd.position(), tmsf(3, 0, 0, 0)) << "the last track has no next";
    cd.previous();
    EXPECT_EQ(cd.position(), tmsf(2, 0, 0, 0)) << "at a track's start: the previous track";
    cd.rewind();
    EXPECT_EQ(cd.position(), tmsf(1, 0, 0, 0));
    cd.eject();
    EXPECT_TRUE(cd.isOpen());
    EXPECT_EQ(cd.mode(), Mode::Stopped);
}

TEST_F(CdDevice, PausingHoldsThePositionAndTheDiscEndsStopped) {
    CdAudioDevice cd;
    int notifications = 0;
    QObject::connect(&cd, &CdAudioDevice::notify, [&] { ++notifications; });
    cd.open(image);
    cd.next();
    cd.next();
    cd.play();
    EXPECT_EQ(cd.mode(), Mode::Playing);
    QThread::msleep(300);
    cd.pause();
    const uint32_t held = cd.position();
    EXPECT_NE(held, tmsf(3, 0, 0, 0)) << "it played";
    QThread::msleep(300);
    EXPECT_EQ(cd.position(), held);
    EXPECT_EQ(cd.mode(), Mode::Paused);
    cd.play();
    notifications = 0;
    ASSERT_TRUE(waitFor([&] { return cd.mode() == Mode::Stopped; }, 5000));
    EXPECT_EQ(cd.position(), tmsf(3, 0, 1, 40)) << "the end of the last track";
    EXPECT_TRUE(waitFor([&] { return notifications > 0; }, 1000)) << "the end is announced";
}

// A scratched disc can keep the error-correcting reader in one read for
// seconds; the window's commands never wait for it, and each reader left
// behind ends on its own and frees its disc.
TEST_F(CdDevice, CommandsReturnWhileTheReaderSitsInASlowRead) {
    using Command = std::function<void(std::unique_ptr<CdAudioDevice> &)>;
    const std::pair<const char *, Command> commands[] = {
        {"close", [](auto &cd) { cd->close(); }},
        {"open another", [&](auto &cd) { cd->open(image); }},
        {"eject", [](auto &cd) { cd->eject(); }},
        {"destroy", [](auto &cd) { cd.reset(); }},
    };
    CdAudioDevice::setReadDelayForTesting(std::chrono::seconds(3));
    for (const auto &[name, command] : commands) {
        auto cd = std::make_unique<CdAudioDevice>();
        cd->open(image);
        cd->play();
        QThread::msleep(100); // the reader is in its first read now
        QElapsedTimer took;
        took.start();
        command(cd);
        EXPECT_LT(took.elapsed(), 1000) << name;
    }
    CdAudioDevice::setReadDelayForTesting(std::chrono::milliseconds(0));
    EXPECT_TRUE(waitFor([] { return CdAudioDevice::readersRunning() == 0; }, 10000));
}

TEST_F(CdDevice, TrackTwoReachesTheSoundServer) {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER") ||
        QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty()) {
        GTEST_SKIP() << "no private PulseAudio (PULSE_SERVER unset) or no parec";
    }
    qputenv("SDL_AUDIODRIVER", "pulseaudio");
    const QString raw = dir.filePath(QStringLiteral("heard.raw"));
    QProcess recorder;
    recorder.start(QStringLiteral("parec"),
                   {QStringLiteral("-d"), QStringLiteral("null.monitor"),
                    QStringLiteral("--latency-msec=20"), QStringLiteral("--format=s16le"),
                    QStringLiteral("--rate=44100"), QStringLiteral("--channels=2"),
                    QStringLiteral("--raw"), raw});
    ASSERT_TRUE(recorder.waitForStarted());
    QThread::msleep(300);
    {
        CdAudioDevice cd;
        cd.open(image);
        cd.next();
        cd.play();
        QThread::msleep(2500);
        cd.stop();
        QThread::msleep(500); // a fresh null sink renders late
    }
    recorder.terminate();
    recorder.waitForFinished();

    QFile file(raw);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    std::vector<int16_t> samples(static_cast<size_t>(bytes.size()) / 2);
    if (!samples.empty()) {
        std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
    }
    size_t first = samples.size();
    size_t last = 0;
    for (size_t i = 0; i < samples.size(); i += 2) {
        if (std::abs(samples[i]) > 8000) {
            first = std::min(first, i);
            last = i;
        }
    }
    ASSERT_LT(first + 44100, last) << "more than half a second of tone arrived";
    int crossings = 0;
    for (size_t i = first + 2; i <= last; i += 2) {
        crossings += (samples[i - 2] < 0) != (samples[i] < 0) ? 1 : 0;
    }
    const double seconds = static_cast<double>(last - first) / 2.0 / 44100.0;
    EXPECT_NEAR(crossings / 2.0 / seconds, 1000.0, 20.0) << "track 2's tone, not 440 or 1500 Hz";
}

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

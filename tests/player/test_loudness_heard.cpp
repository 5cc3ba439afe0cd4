// Loudness matching heard at the private sound server: a song mastered 12 dB
// louder than another plays as loud as it with "Loudness" at "Track", and
// 12 dB louder with it "Off". The songs carry ReplayGain tags, as a tagger
// writes them from the program's own measurement.
#include "PlaybackController.h"
#include "loudness.h"
#include "settings_store.h"
#include "sink_recorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using velbrin::player::PlaybackController;
using State = PlaybackController::PlayState;

namespace {

bool waitFor(const std::function<bool()> &done, int ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

QString taggedNoise(const QTemporaryDir &dir, const QString &name, const QString &volume) {
    const QString wav = dir.filePath(name + ".wav");
    const QString mp3 = dir.filePath(name + ".mp3");
    // The same noise (-R) at two levels; no ReplayGain from the encoder.
    QProcess::execute("sox", {"-R", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "3",
                              "pinknoise", "vol", volume});
    QProcess::execute("lame", {"--quiet", "-b", "192", "--noreplaygain", wav, mp3});
    const std::atomic<bool> running{false};
    const auto m = velbrin::library::measureLoudness(mp3, running);
    if (!m || !m->integratedLufs) {
        return {};
    }
    const QString gain =
        QString::number(velbrin::library::kReferenceLufs - *m->integratedLufs, 'f', 2);
    const QString peak = QString::number(m->truePeak, 'f', 6);
    const int tagged = QProcess::execute(
        "/usr/bin/python3",
        {"-c",
         "import sys\nfrom mutagen.id3 import ID3, TXXX\nt = ID3()\n"
         "t.add(TXXX(encoding=3, desc='REPLAYGAIN_TRACK_GAIN', text=[sys.argv[2] + ' dB']))\n"
         "t.add(TXXX(encoding=3, desc='REPLAYGAIN_TRACK_PEAK', text=[sys.argv[3]]))\n"
         "t.save(sys.argv[1], v2_version=3)\n",
         mp3, gain, peak});
    return tagged == 0 ? mp3 : QString();
}

TEST(LoudnessHeard, TwelveDecibelsApartPlayAlikeWithLoudnessOn) {
    if (!velbrin::test::soundServerReachable()) {
        GTEST_SKIP() << "no private PulseAudio";
    }
    QTemporaryDir dir;
    qputenv("VELBRIN_SETTINGS", dir.filePath("velbrin.ini").toLocal8Bit());
    qunsetenv("KELVRA_OUTPUT");
    const QString quiet = taggedNoise(dir, "quiet", "-20dB");
    const QString loud = taggedNoise(dir, "loud", "-8dB");
    ASSERT_FALSE(quiet.isEmpty() || loud.isEmpty()) << "needs sox, lame and mutagen";

    PlaybackController::Options o;
    o.enginePath = VELBRIN_ENGINE;
    o.appDir = dir.path() + "/";
    PlaybackController c(o);
    c.start();
    const auto heard = [&](const QString &setting) {
        velbrin::WriteSetting("Engine", "Loudness", setting);
        velbrin::test::SinkRecorder recorder(dir.filePath(setting + ".raw").toStdString());
        for (const QString &song : {quiet, loud}) {
            c.playFile(song);
            EXPECT_TRUE(waitFor([&] { return c.state() == State::Playing; }));
            EXPECT_TRUE(waitFor([&] { return c.state() != State::Playing; }));
            waitFor([] { return false; }, 600);
        }
        return velbrin::test::stretchLevels(recorder.stopAndReadLeft(), -50.0, 44100);
    };
    const std::vector<double> matched = heard("Track");
    const std::vector<double> raw = heard("Off");
    ASSERT_EQ(matched.size(), 2u);
    ASSERT_EQ(raw.size(), 2u);
    std::printf("heard with Loudness Track: %.2f and %.2f dB; Off: %.2f and %.2f dB\n", matched[0],
                matched[1], raw[0], raw[1]);
    EXPECT_NEAR(matched[1] - matched[0], 0.0, 1.0);
    EXPECT_NEAR(raw[1] - raw[0], 12.0, 1.0);
    qunsetenv("VELBRIN_SETTINGS");
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The main window's spectrum with the real engine: a 2 kHz song shows its
// peak in the band of 2 kHz.
#include "LiveSpectrum.h"
#include "PlaybackController.h"
#include "SpectrumView.h"
#include "sink_recorder.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using velbrin::player::BandForFrequency;
using velbrin::player::LiveSpectrum;
using velbrin::player::PeakBand;
using velbrin::player::PlaybackController;
using velbrin::player::SpectrumView;

TEST(LiveSpectrumHeard, TwoKilohertzPeaksInItsBand) {
    const QString sox = QStandardPaths::findExecutable("sox");
    const QString lame = QStandardPaths::findExecutable("lame");
    if (sox.isEmpty() || lame.isEmpty()) {
        GTEST_SKIP() << "sox and lame are needed to make the song";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString wav = dir.filePath("tone.wav");
    const QString song = dir.filePath("tone.mp3");
    ASSERT_EQ(QProcess::execute(sox, {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "6",
                                      "sine", "2000", "vol", "0.5"}),
              0);
    ASSERT_EQ(QProcess::execute(lame, {"--quiet", "-b", "128", wav, song}), 0);
    qputenv("VELBRIN_SETTINGS", dir.filePath("velbrin.ini").toLocal8Bit());
    // Heard on the private sound server when the test command runs one; the
    // silent output feeds the spectrum the same way otherwise.
    if (!velbrin::test::soundServerReachable()) {
        qputenv("KELVRA_OUTPUT", "null");
    }

    PlaybackController::Options o;
    o.enginePath = KELVRA_ENGINE_PATH;
    o.appDir = dir.path() + "/";
    PlaybackController controller(o);
    QString error;
    QObject::connect(&controller, &PlaybackController::errorOccurred,
                     [&error](const QString &text) { error = text; });
    controller.start();
    SpectrumView view;
    view.resize(128, 40);
    view.show();
    LiveSpectrum live(&controller, &view);
    controller.playFile(song);

    const int band = BandForFrequency(2000.0, 44100);
    for (int i = 0; i < 100 && (view.shownBands()[static_cast<size_t>(band)] < 100); ++i) {
        QTest::qWait(SpectrumView::kFrameMs);
    }
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_TRUE(view.isRunning());
    // Half a second of frames: the peak stays where the tone is.
    for (int frame = 0; frame < 12; ++frame) {
        QTest::qWait(SpectrumView::kFrameMs);
        ASSERT_EQ(PeakBand(view.shownBands()), band) << "frame " << frame;
    }
    live.shutDown();
    controller.shutDown();
    qunsetenv("KELVRA_OUTPUT");
    qunsetenv("VELBRIN_SETTINGS");
}

// The recorder window records the private sound server's default input (the
// null sink's monitor) while a tone plays into the sink.
#include "TRecorderForm.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "wav_file.h"

namespace {

bool soundServer() {
    return QProcess::execute(
               QStringLiteral("sh"),
               {QStringLiteral("-c"), QStringLiteral("pactl info >/dev/null 2>&1")}) == 0;
}

TEST(Recorder, RecordsTheMonitorIntoAValidWav) {
    if (!soundServer())
        GTEST_SKIP() << "no sound server";
    QTemporaryDir dir;
    const QString tone = dir.filePath(QStringLiteral("tone.wav"));
    ASSERT_EQ(
        QProcess::execute(QStringLiteral("sox"),
                          {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                           QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-b"),
                           QStringLiteral("16"), tone, QStringLiteral("synth"), QStringLiteral("6"),
                           QStringLiteral("sine"), QStringLiteral("1000"), QStringLiteral("vol"),
                           QStringLiteral("0.5")}),
        0);
    // The null sink is the only sink, so its monitor is the default input.
    ASSERT_EQ(QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("set-default-source"),
                                                          QStringLiteral("null.monitor")}),
              0);
    QProcess player;
    player.start(QStringLiteral("paplay"), {QStringLiteral("-d"), QStringLiteral("null"), tone});
    ASSERT_TRUE(player.waitForStarted());
    QTest::qWait(500);

    velbrin::tools::TRecorderForm form;
    // A failure's message box must not hold the test up.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget *box = QApplication::activeModalWidget())
            box->close();
    });
    closer.start(100);
    const QString out = dir.filePath(QStringLiteral("take.wav"));
    form.FileNameEdit->setText(out);
    form.RecordButton->click();
    ASSERT_TRUE(form.recording());
    EXPECT_FALSE(form.RecordButton->isEnabled());
    QTest::qWait(4000);
    form.StopButton->click();
    EXPECT_FALSE(form.recording());
    player.kill();
    player.waitForFinished();

    std::string error;
    const auto take = velbrin::tools::readWav(out.toStdString(), error);
    ASSERT_TRUE(take) << error;
    EXPECT_EQ(take->rate, 44100u);
    EXPECT_EQ(take->channels, 2);
    EXPECT_GT(take->frames(), 44100u); // over a second of the four
    double sum = 0;
    for (int16_t s : take->samples)
        sum += double(s) * s;
    EXPECT_GT(std::sqrt(sum / double(take->samples.size())), 3000.0); // the tone, not silence
}

TEST(Recorder, UnwritableFileIsReported) {
    velbrin::tools::TRecorderForm form;
    form.FileNameEdit->setText(QStringLiteral("/nonexistent-folder/take.wav"));
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget *box = QApplication::activeModalWidget())
            box->close();
    });
    closer.start(100);
    form.RecordButton->click();
    EXPECT_FALSE(form.recording());
    EXPECT_TRUE(form.StatusLabel->text().contains(QStringLiteral("cannot be created")));
}

} // namespace

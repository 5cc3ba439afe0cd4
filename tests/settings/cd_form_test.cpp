// The CD player window on Qt's offscreen platform, playing a generated image.
#include "TCdform.h"
#include "cd_image.h"
#include "settings_store.h"
#include "settings_test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstdio>

using velbrin::ReadSetting;
using velbrin::WriteSetting;
using velbrin::platform::CdAudioDevice;
using velbrin::settings::TCdform;

namespace {

class CdForm : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("VELBRIN_SETTINGS", dir.filePath(QStringLiteral("velbrin.ini")).toLocal8Bit());
        qputenv("SDL_AUDIODRIVER", "dummy");
        image = velbrin::test::writeCdImage(dir.path());
    }
    void TearDown() override {
        qunsetenv("VELBRIN_SETTINGS");
        qunsetenv("SDL_AUDIODRIVER");
    }

    static bool waitFor(const std::function<bool()> &done, int ms) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms) {
            QTest::qWait(20);
        }
        return done();
    }

    // The text of the next modal message box, which is then closed.
    static QString answerNextMessage(const std::function<void()> &action) {
        QString text;
        QTimer::singleShot(0, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                text = box->text();
                box->accept();
            }
        });
        action();
        return text;
    }

    QTemporaryDir dir;
    QString image;
};

} // namespace

TEST_F(CdForm, StoredDriveLetterOpensByTheLetterAndAFailureSaysWhere) {
    WriteSetting(QStringLiteral("CD-Player"), QStringLiteral("DefaultDrive"),
                 QStringLiteral("E:\\"));
    TCdform form;
    const QString text = answerNextMessage([&] { form.showCdPlayer(); });
    EXPECT_TRUE(text.startsWith(QStringLiteral(
        "The following error occurred while trying to play the CD in drive E:\\: \n\n")))
        << text.toStdString();
    EXPECT_GT(text.size(), 80) << "the device's own reason follows";
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_FALSE(form.btPlay->isEnabled());
}

TEST_F(CdForm, NothingStoredOpensNothing) {
    TCdform form;
    const QString text = answerNextMessage([&] { form.showCdPlayer(); });
    EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(form.Label3->text(), QStringLiteral("00"));
    EXPECT_FALSE(form.device().isOpen());
}

TEST_F(CdForm, ChosenImageIsStoredAndShownInEachDisplayMode) {
    TCdform form;
    form.show();
    form.chooseDrive(image);
    EXPECT_EQ(ReadSetting(QStringLiteral("CD-Player"), QStringLiteral("DefaultDrive")), image);
    EXPECT_EQ(form.Label3->text(), QStringLiteral("3"));
    EXPECT_EQ(form.Label5->text(), QStringLiteral("1"));
    EXPECT_TRUE(form.Timer1->isActive());
    EXPECT_EQ(form.Label7->text(), QStringLiteral("00:07")) << "disc length";
    QTest::mouseClick(form.btNext, Qt::LeftButton);
    EXPECT_EQ(form.Label5->text(), QStringLiteral("2"));
    const char *expected[] = {"00:00", "00:03", "00:07"}; // position, track, disc again
    for (const char *text : expected) {
        QTest::mouseClick(form.Label6, Qt::LeftButton);
        EXPECT_EQ(form.Label7->text(), QString::fromLatin1(text));
    }
    EXPECT_EQ(form.displayMode(), 1);
    EXPECT_TRUE(
        waitFor([&] { return form.windowTitle().endsWith(QStringLiteral(": Stopped")); }, 1000))
        << form.windowTitle().toStdString();
}

TEST_F(CdForm, StopFreezesTheDisplayUntilTheDriveIsOpenedAgain) {
    TCdform form;
    form.show();
    form.chooseDrive(image);
    form.Label6Click(); // position within the track
    QTest::mouseClick(form.btPlay, Qt::LeftButton);
    QTest::mouseClick(form.btStop, Qt::LeftButton);
    EXPECT_FALSE(form.Timer1->isActive());
    const QString frozen = form.Label7->text();
    QTest::mouseClick(form.btPlay, Qt::LeftButton);
    QTest::qWait(2200);
    EXPECT_EQ(form.Label7->text(), frozen);
    form.chooseDrive(image);
    EXPECT_TRUE(waitFor([&] { return form.Label7->text() != frozen; }, 2000));
}

// Each showing reads the stored drive afresh: a disc still playing there goes
// on undisturbed, a changed disc shows its own tracks.
TEST_F(CdForm, ShowingAgainKeepsThePlayingDiscAndReadsAChangedOne) {
    WriteSetting(QStringLiteral("CD-Player"), QStringLiteral("DefaultDrive"), image);
    TCdform form;
    form.showCdPlayer();
    ASSERT_EQ(form.Label3->text(), QStringLiteral("3"));
    QTest::mouseClick(form.btNext, Qt::LeftButton);
    QTest::mouseClick(form.btPlay, Qt::LeftButton);
    form.hide();
    form.showCdPlayer();
    EXPECT_EQ(form.device().mode(), CdAudioDevice::Mode::Playing);
    EXPECT_EQ(form.Label5->text(), QStringLiteral("2"));

    // Another disc in the drive: the new image takes the old one's place, as
    // a whole, while the old one is still being read.
    QTemporaryDir other;
    const velbrin::test::CdTrackTone tones[] = {{660.0, 75}, {880.0, 2 * 75}};
    velbrin::test::writeCdImage(other.path(), tones);
    for (const char *name : {"audio.bin", "audio.cue"}) {
        ASSERT_EQ(std::rename(QFile::encodeName(other.filePath(name)).constData(),
                              QFile::encodeName(dir.filePath(name)).constData()),
                  0);
    }
    form.hide();
    form.showCdPlayer();
    EXPECT_EQ(form.Label3->text(), QStringLiteral("2"));
    EXPECT_EQ(form.Label5->text(), QStringLiteral("1"));
    EXPECT_EQ(form.Label7->text(), QStringLiteral("00:03")) << "the new disc's length";
    EXPECT_EQ(form.device().mode(), CdAudioDevice::Mode::Stopped);
}

TEST_F(CdForm, EndOfDiscRewindsAndPlaysAgainOnlyWithRepeat) {
    for (bool repeat : {false, true}) {
        TCdform form;
        form.show();
        form.chooseDrive(image);
        form.CheckBox1->setChecked(repeat);
        QTest::mouseClick(form.btNext, Qt::LeftButton);
        QTest::mouseClick(form.btNext, Qt::LeftButton);
        QTest::mouseClick(form.btPlay, Qt::LeftButton);
        ASSERT_EQ(form.Label5->text(), QStringLiteral("3"));
        ASSERT_TRUE(waitFor([&] { return form.Label5->text() == QStringLiteral("1"); }, 5000))
            << "rewound after the last track, repeat " << repeat;
        const auto expected = repeat ? CdAudioDevice::Mode::Playing : CdAudioDevice::Mode::Stopped;
        EXPECT_EQ(form.device().mode(), expected);
    }
}

// The store shared by running processes: a writer killed at any moment leaves
// a whole file, and concurrent writers keep each other's values.
#include "settings_store.h"
#include "settings_test_support.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>

#include <gtest/gtest.h>

using namespace velbrin;

namespace {

class SettingsStoreProcesses : public StoreFixture {
protected:
    static QString writerValue(const QString &prefix, int i, int length) {
        return QStringLiteral("%1-%2")
            .arg(prefix)
            .arg(i, 6, 10, QChar(u'0'))
            .leftJustified(length, QChar(u'.'));
    }

    static void startWriter(QProcess &process, const QString &prefix, int count, int keys,
                            int length) {
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QStringLiteral(VELBRIN_SETTINGS_WRITER),
                      {QStringLiteral("Load"), prefix, QString::number(count),
                       QString::number(keys), QString::number(length)});
        ASSERT_TRUE(process.waitForStarted(10000)) << process.errorString().toStdString();
    }
};

TEST_F(SettingsStoreProcesses, WriterKilledAtAnyMomentLeavesAWholeFile) {
    // A large file makes every write take long enough to be interrupted.
    constexpr int kKeys = 200;
    constexpr int kLength = 1000;
    for (int i = 0; i < kKeys; ++i) {
        ASSERT_TRUE(WriteSetting(QStringLiteral("Load"), QStringLiteral("K%1").arg(i),
                                 writerValue(QStringLiteral("K"), i, kLength)));
    }
    const QRegularExpression whole(QStringLiteral("^K-\\d{6}\\.+$"));
    auto *random = QRandomGenerator::global();

    for (int round = 0; round < 12; ++round) {
        QProcess writer;
        startWriter(writer, QStringLiteral("K"), 0, kKeys, kLength);
        QThread::msleep(random->bounded(40, 120));
        writer.kill();
        ASSERT_TRUE(writer.waitForFinished(10000));

        const QSettings plain(path(), QSettings::IniFormat);
        ASSERT_EQ(plain.status(), QSettings::NoError) << "round " << round;
        for (int i = 0; i < kKeys; ++i) {
            const QString value = ReadSetting(QStringLiteral("Load"), QStringLiteral("K%1").arg(i));
            ASSERT_EQ(value.size(), kLength) << "round " << round << " key " << i;
            ASSERT_TRUE(whole.match(value).hasMatch()) << value.left(40).toStdString();
        }
    }
    // Whatever the killed writers left behind does not block the next write.
    ASSERT_TRUE(WriteSetting(QStringLiteral("Load"), QStringLiteral("After"), "done"));
    EXPECT_EQ(ReadSetting(QStringLiteral("Load"), QStringLiteral("After")), "done");
}

TEST_F(SettingsStoreProcesses, LockFileOfAWriterKilledBeforeNamingItselfDoesNotStallWrites) {
    ASSERT_TRUE(WriteSetting(QStringLiteral("Load"), QStringLiteral("Before"), "1"));
    {
        QFile abandoned(path() + QStringLiteral(".lock"));
        ASSERT_TRUE(abandoned.open(QIODevice::WriteOnly)); // empty: no process named
    }
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(WriteSetting(QStringLiteral("Load"), QStringLiteral("After"), "2"));
    // Left alone, such a file blocks writers for 30 s before it counts as stale.
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_EQ(ReadSetting(QStringLiteral("Load"), QStringLiteral("After")), "2");
}

TEST_F(SettingsStoreProcesses, ConcurrentWritersKeepEachOthersValues) {
    // Each writer rewrites its own ten names over and over with texts of one
    // length, so many writes leave the file at the same size: the case where
    // a writer working from an outdated copy would go unnoticed.
    constexpr int kCount = 300;
    constexpr int kKeys = 10;
    constexpr int kLength = 12;
    QProcess first;
    QProcess second;
    startWriter(first, QStringLiteral("A"), kCount, kKeys, kLength);
    startWriter(second, QStringLiteral("B"), kCount, kKeys, kLength);
    ASSERT_TRUE(first.waitForFinished(120000));
    ASSERT_TRUE(second.waitForFinished(120000));
    ASSERT_EQ(first.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(first.exitCode(), 0) << "a write of the first writer failed";
    ASSERT_EQ(second.exitCode(), 0) << "a write of the second writer failed";

    for (const QString &prefix : {QStringLiteral("A"), QStringLiteral("B")}) {
        for (int k = 0; k < kKeys; ++k) {
            const int last = kCount - kKeys + k;
            EXPECT_EQ(ReadSetting(QStringLiteral("Load"), prefix + QString::number(k)),
                      writerValue(prefix, last, kLength));
        }
    }
}

} // namespace

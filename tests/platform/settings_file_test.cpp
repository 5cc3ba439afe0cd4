#include "settings_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

using namespace velbrin::platform;

inline void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

// Writes in memory follow each other within one tick of the file system's
// clock, which is where a file rewritten to the same size looks unchanged.
QString memoryFolderTemplate() {
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    if (shm.isDir() && shm.isWritable())
        return QStringLiteral("/dev/shm/velbrin-test-XXXXXX");
    return QDir::tempPath() + QStringLiteral("/velbrin-test-XXXXXX");
}

class PlatformSettingsFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QString path() const { return dir_.filePath("store/velbrin.ini"); }

    void writeRaw(const QByteArray &content) const {
        QDir().mkpath(QFileInfo(path()).absolutePath());
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QTemporaryDir dir_{memoryFolderTemplate()};
};

TEST_F(PlatformSettingsFile, MissingAndEmptyValuesAreToldApart) {
    SettingsFile file(path());
    EXPECT_FALSE(file.read("Engine", "Pitch").has_value());
    ASSERT_TRUE(file.write("Engine", "Pitch", ""));
    ASSERT_TRUE(file.read("Engine", "Pitch").has_value());
    EXPECT_EQ(*file.read("Engine", "Pitch"), "");
    EXPECT_FALSE(file.read("Engine", "Priority").has_value());
    EXPECT_FALSE(file.read("Other", "Pitch").has_value());
}

TEST_F(PlatformSettingsFile, EveryWriteMovesTheFileTimeForward) {
    // Writes of one size follow each other faster than the file system's
    // clock ticks; each must still leave a time no earlier copy was read at.
    SettingsFile file(path());
    qint64 previous = 0;
    for (int i = 0; i < 25; ++i) {
        ASSERT_TRUE(file.write("Equalizer", "Barnr1", QString::number(10 + i % 10)));
        const qint64 stamp = QFileInfo(path()).lastModified().toMSecsSinceEpoch();
        ASSERT_GT(stamp, previous) << "write " << i;
        previous = stamp;
    }
}

TEST_F(PlatformSettingsFile, ForgedTaggedValuesDoNotUpsetReading) {
    // Tagged values are deserialised by Qt; a forged one with a huge element
    // count must neither crash nor allocate without bound.
    writeRaw("[S]\nv=@Variant(\\0\\0\\0\\v\\0\\xff\\xff\\xff\\xf0)\n"
             "w=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\0\\x5ZZZZ)\nx=@DateTime(junk)\nplain=ok\n");
    SettingsFile file(path());
    EXPECT_EQ(file.read("S", "plain").value_or("missing"), "ok");
    EXPECT_EQ(file.read("S", "v").value_or("missing"), "");
    EXPECT_FALSE(file.read("S", "w").has_value()) << "a value of no known type is no value";
    (void)file.read("S", "x");
}

TEST_F(PlatformSettingsFile, PathComesFromTheEnvironmentWhenSet) {
    const QByteArray saved = qgetenv("VELBRIN_SETTINGS");
    const bool had = qEnvironmentVariableIsSet("VELBRIN_SETTINGS");
    qputenv("VELBRIN_SETTINGS", "/some/where/else.ini");
    const QString chosen = settingsFilePath();
    qputenv("VELBRIN_SETTINGS", "");
    const QString fallback = settingsFilePath();
    had ? qputenv("VELBRIN_SETTINGS", saved) : qunsetenv("VELBRIN_SETTINGS");
    EXPECT_EQ(chosen, "/some/where/else.ini");
    EXPECT_TRUE(fallback.endsWith("/velbrin/velbrin.ini")) << fallback.toStdString();
}

} // namespace

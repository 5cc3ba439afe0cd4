#include "settings_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

QString memoryFolderTemplate() {
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    if (shm.isDir() && shm.isWritable())
        return QStringLiteral("/dev/shm/velbrin-test-XXXXXX");
    return QDir::tempPath() + QStringLiteral("/velbrin-test-XXXXXX");
}

void StoreFixture::SetUp() {
    ASSERT_TRUE(dir_.isValid());
    path_ = dir_.filePath(QStringLiteral("config/velbrin.ini"));
    hadVariable_ = qEnvironmentVariableIsSet("VELBRIN_SETTINGS");
    savedVariable_ = qgetenv("VELBRIN_SETTINGS");
    qputenv("VELBRIN_SETTINGS", QFile::encodeName(path_));
}

void StoreFixture::TearDown() {
    if (hadVariable_)
        qputenv("VELBRIN_SETTINGS", savedVariable_);
    else
        qunsetenv("VELBRIN_SETTINGS");
}

QString StoreFixture::folder() const {
    return QFileInfo(path_).absolutePath();
}

bool StoreFixture::fileExists() const {
    return QFileInfo::exists(path_);
}

QByteArray StoreFixture::rawFile() const {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void StoreFixture::writeRawFile(const QByteArray &content) const {
    QDir().mkpath(folder());
    QFile file(path_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(content), content.size());
}

QString StoreFixture::plainQSettingsValue(const QString &key) const {
    const QSettings settings(path_, QSettings::IniFormat);
    return settings.value(key).toString();
}

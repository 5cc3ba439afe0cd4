#include "settings_store.h"

#include "settings_file.h"

#include <QtGlobal>

#include <cmath>

namespace velbrin {

namespace {

bool withinLimit(const QString &text) {
    return text.size() <= kSettingTextLimit;
}

} // namespace

QString ReadSetting(const QString &section, const QString &name) {
    if (!withinLimit(section) || !withinLimit(name))
        return {};
    const auto stored = platform::SettingsFile(platform::settingsFilePath()).read(section, name);
    if (!stored)
        return {};
    // The value ends at its first null character, as a registry string does.
    QString text = stored->left(stored->indexOf(QChar(u'\0')));
    if (!withinLimit(text))
        return {};
    return text;
}

bool WriteSetting(const QString &section, const QString &name, const QString &text) {
    // Refused rather than cut: a cut text would be stored as if it were whole.
    if (!withinLimit(section) || !withinLimit(name) || !withinLimit(text)) {
        qWarning("settings: %s/%s not written: longer than %lld characters",
                 qUtf8Printable(section.left(64)), qUtf8Printable(name.left(64)),
                 static_cast<long long>(kSettingTextLimit));
        return false;
    }
    return platform::SettingsFile(platform::settingsFilePath()).write(section, name, text);
}

int ParseIntegerSetting(const QString &text, int defaultValue) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? value : defaultValue;
}

int ReadIntegerSetting(const QString &section, const QString &name, int defaultValue) {
    return ParseIntegerSetting(ReadSetting(section, name), defaultValue);
}

bool WriteIntegerSetting(const QString &section, const QString &name, int value) {
    return WriteSetting(section, name, QString::number(value));
}

bool ParseBooleanSetting(const QString &text, bool defaultValue) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    // Integers first: a long run of digits is still a number, and non-zero.
    const qlonglong integer = trimmed.toLongLong(&ok, 10);
    if (ok)
        return integer != 0;
    const double number = trimmed.toDouble(&ok);
    if (ok && std::isfinite(number))
        return number != 0.0;
    if (trimmed.compare(u"true", Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(u"false", Qt::CaseInsensitive) == 0)
        return false;
    return defaultValue;
}

bool ReadBooleanSetting(const QString &section, const QString &name, bool defaultValue) {
    return ParseBooleanSetting(ReadSetting(section, name), defaultValue);
}

bool WriteBooleanSetting(const QString &section, const QString &name, bool value) {
    return WriteSetting(section, name, value ? QStringLiteral("-1") : QStringLiteral("0"));
}

int SettingsStore::readInteger(const QString &section, const QString &name,
                               int defaultValue) const {
    return ParseIntegerSetting(read(section, name), defaultValue);
}

bool SettingsStore::readBoolean(const QString &section, const QString &name,
                                bool defaultValue) const {
    return ParseBooleanSetting(read(section, name), defaultValue);
}

bool SettingsStore::writeInteger(const QString &section, const QString &name, int value) {
    return write(section, name, QString::number(value));
}

bool SettingsStore::writeBoolean(const QString &section, const QString &name, bool value) {
    return write(section, name, value ? QStringLiteral("-1") : QStringLiteral("0"));
}

SettingsStore &ProgramSettings() {
    class FileStore final : public SettingsStore {
    public:
        QString read(const QString &section, const QString &name) const override {
            return ReadSetting(section, name);
        }
        bool write(const QString &section, const QString &name, const QString &text) override {
            return WriteSetting(section, name, text);
        }
    };
    static FileStore store;
    return store;
}

} // namespace velbrin

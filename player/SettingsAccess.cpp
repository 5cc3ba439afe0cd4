#include "SettingsAccess.h"

#include "KelvraSpectrum.h"

#include <QMessageBox>
#include <QSettings>

// Interim store until the shared settings store lands.
namespace velbrin::player {
namespace {
QSettings store() {
    const QByteArray path = qgetenv("VELBRIN_SETTINGS");
    return QSettings(QString::fromLocal8Bit(path), QSettings::IniFormat);
}
} // namespace

QString readSetting(const QString &section, const QString &name) {
    return store().value(section + QLatin1Char('/') + name).toString();
}
void writeSetting(const QString &section, const QString &name, const QString &text) {
    auto s = store();
    s.setValue(section + QLatin1Char('/') + name, text);
    s.sync();
}
int readInteger(const QString &section, const QString &name, int fallback) {
    bool ok = false;
    const int v = readSetting(section, name).toInt(&ok);
    return ok ? v : fallback;
}
bool readBoolean(const QString &section, const QString &name, bool fallback) {
    const QString t = readSetting(section, name);
    bool ok = false;
    const int v = t.toInt(&ok);
    if (ok) {
        return v != 0;
    }
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) {
        return false;
    }
    return fallback;
}
void writeBoolean(const QString &section, const QString &name, bool value) {
    writeSetting(section, name, value ? QStringLiteral("-1") : QStringLiteral("0"));
}
void showInformation(const QString &text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Information"), text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
void showEngineError(const QString &text, int code, engine::TKelvraSpectrum &engine) {
    const QString message =
        text + QStringLiteral(" (") + QString::fromLocal8Bit(engine.ErrorString(code)) + ")";
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), message, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
} // namespace velbrin::player

#include "SettingsAccess.h"

#include "KelvraSpectrum.h"
#include "message_helpers.h"
#include "settings_store.h"

namespace velbrin::player {

QString readSetting(const QString &section, const QString &name) {
    return ReadSetting(section, name);
}
void writeSetting(const QString &section, const QString &name, const QString &text) {
    WriteSetting(section, name, text);
}
int readInteger(const QString &section, const QString &name, int fallback) {
    return ReadIntegerSetting(section, name, fallback);
}
bool readBoolean(const QString &section, const QString &name, bool fallback) {
    return ReadBooleanSetting(section, name, fallback);
}
void writeBoolean(const QString &section, const QString &name, bool value) {
    WriteBooleanSetting(section, name, value);
}
void showInformation(const QString &text) {
    ShowInformation(text);
}
void showEngineError(const QString &text, int code, engine::TKelvraSpectrum &engine) {
    ShowEngineError(text, code,
                    [&engine](int c) { return QString::fromLocal8Bit(engine.ErrorString(c)); });
}

} // namespace velbrin::player

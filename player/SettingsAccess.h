#pragma once

// The main window's way to the settings store and the shared message helpers.

#include <QString>

class QWidget;

namespace velbrin::engine {
class TKelvraSpectrum;
}

namespace velbrin::player {

QString readSetting(const QString &section, const QString &name);
void writeSetting(const QString &section, const QString &name, const QString &text);
int readInteger(const QString &section, const QString &name, int fallback);
bool readBoolean(const QString &section, const QString &name, bool fallback);
void writeBoolean(const QString &section, const QString &name, bool value);

void showInformation(const QString &text);
// text + " (" + the engine's text for code + ")".
void showEngineError(const QString &text, int code, engine::TKelvraSpectrum &engine);

} // namespace velbrin::player

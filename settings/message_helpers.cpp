#include "message_helpers.h"

#include "message_box.h"

namespace velbrin {

void ShowInformation(const QString &text) {
    platform::showModalMessage(platform::MessageIcon::Warning, QStringLiteral("Information"), text);
}

void ShowEngineError(const QString &text, int code, const EngineErrorText &errorString) {
    // The engine's text is fetched before the box exists, so a failing engine
    // raises its error without leaving a half-built box behind.
    const QString message = EngineErrorMessage(text, code, errorString);
    platform::showModalMessage(platform::MessageIcon::Error, QStringLiteral("Error"), message);
}

} // namespace velbrin

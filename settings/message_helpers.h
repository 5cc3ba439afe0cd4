#pragma once

#include "shared_helpers.h"

#include <QString>

namespace velbrin {

// A modal box with the whole text, the caption "Information", a warning icon
// and an OK button.
void ShowInformation(const QString &text);

// A modal error box with one OK button whose message is EngineErrorMessage().
void ShowEngineError(const QString &text, int code, const EngineErrorText &errorString);

} // namespace velbrin

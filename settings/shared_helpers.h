#pragma once

#include "process.h"
#include "speech.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace velbrin {

// The engine's wording of one of its error codes (the engine component's
// error-string operation).
using EngineErrorText = std::function<QString(int code)>;

// "text (engine's text for code)"; an unset `errorString` gives empty
// parentheses. Exceptions of `errorString` reach the caller.
QString EngineErrorMessage(const QString &text, int code, const EngineErrorText &errorString);

// The program's one speech voice, used on the user-interface thread only.
// Until one is installed (or after a null one is) the program has a voice that
// cannot speak, so `SpeechAvailable` is false.
void SetSpeechVoice(std::shared_ptr<platform::SpeechVoice> voice);
platform::SpeechVoice &CurrentSpeechVoice();
bool SpeechAvailable();

// The text as it is spoken: every "-", ":", "\" and "|" becomes a blank, so
// that paths and separators are not read out.
QString SpeechTextFor(const QString &text);

// Hands the text to the voice to be spoken after anything still being spoken;
// returns at once. Does nothing when speech is not available.
void SpeakText(const QString &text);

// Starts the program and waits for it; see platform::runAndWait.
int RunAndWait(const QString &program, const QStringList &arguments,
               platform::WindowShowMode showMode = platform::WindowShowMode::Normal);

} // namespace velbrin

#include "shared_helpers.h"

namespace velbrin {

namespace {

std::shared_ptr<platform::SpeechVoice> &installedVoice() {
    static std::shared_ptr<platform::SpeechVoice> voice =
        std::make_shared<platform::NoSpeechVoice>();
    return voice;
}

} // namespace

QString EngineErrorMessage(const QString &text, int code, const EngineErrorText &errorString) {
    const QString engineText = errorString ? errorString(code) : QString();
    return text + QStringLiteral(" (") + engineText + QStringLiteral(")");
}

void SetSpeechVoice(std::shared_ptr<platform::SpeechVoice> voice) {
    installedVoice() = voice ? std::move(voice) : std::make_shared<platform::NoSpeechVoice>();
}

platform::SpeechVoice &CurrentSpeechVoice() {
    return *installedVoice();
}

bool SpeechAvailable() {
    return CurrentSpeechVoice().available();
}

QString SpeechTextFor(const QString &text) {
    QString spoken = text;
    for (QChar &c : spoken) {
        if (c == u'-' || c == u':' || c == u'\\' || c == u'|')
            c = u' ';
    }
    return spoken;
}

void SpeakText(const QString &text) {
    if (!SpeechAvailable())
        return;
    CurrentSpeechVoice().speak(SpeechTextFor(text));
}

int RunAndWait(const QString &program, const QStringList &arguments,
               platform::WindowShowMode showMode) {
    return platform::runAndWait(program, arguments, showMode);
}

} // namespace velbrin

#pragma once

#include <QString>

namespace velbrin::platform {

// The program's text-to-speech voice. Used on the user-interface thread only.
class SpeechVoice {
public:
    virtual ~SpeechVoice() = default;

    // Whether voices could be found and the voice can speak.
    virtual bool available() const = 0;

    // Returns at once; the text is spoken after whatever is being spoken now.
    virtual void speak(const QString &text) = 0;
};

// What the program has until a real voice is installed: it cannot speak.
class NoSpeechVoice final : public SpeechVoice {
public:
    bool available() const override { return false; }
    void speak(const QString &) override {}
};

} // namespace velbrin::platform

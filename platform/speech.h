#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace velbrin::platform {

// Somewhere a voice can hand its sound instead of playing it itself: the mix
// the songs play in, where the music is lowered under the voice. May be
// called from any thread.
class SpeechOutput {
public:
    virtual ~SpeechOutput() = default;

    // Appends `frames` of mono 16-bit speech at `rate` Hz. False when it was
    // not taken (no mix runs now, or nothing to take): the voice plays it
    // itself then.
    virtual bool write(const int16_t *samples, size_t frames, int rate) = 0;
    // Drops what has been taken and not heard yet.
    virtual void clear() = 0;
    // Milliseconds of speech taken and not heard yet.
    virtual int pendingMilliseconds() const = 0;
};

// The program's text-to-speech voice. Used on the user-interface thread only.
class SpeechVoice {
public:
    virtual ~SpeechVoice() = default;

    // Whether voices could be found and the voice can speak.
    virtual bool available() const = 0;

    // The descriptions of the installed voices, in the speech engine's order.
    virtual QStringList voices() const = 0;

    // Speaks later texts with voice `index` of voices(); false (and no change)
    // for an index outside the list.
    virtual bool setVoice(int index) = 0;

    // -10 (slowest) to 10 (fastest), 0 being the engine's normal rate; values
    // outside are taken as the nearer end. Applies to texts handed over later.
    virtual void setRate(int rate) = 0;

    // Ends what is being spoken and drops what is waiting.
    virtual void stop() = 0;

    // Returns at once; the text is spoken after whatever is being spoken now.
    // The text is plain text: markup in it is read out, never obeyed.
    virtual void speak(const QString &text) = 0;

    // Where later speech goes first; null (the default) plays it only as the
    // voice does itself. A voice that has no sound of its own to hand over
    // ignores it.
    virtual void setOutput(std::shared_ptr<SpeechOutput>) {}
};

// What the program has until a real voice is installed: it cannot speak.
class NoSpeechVoice final : public SpeechVoice {
public:
    bool available() const override { return false; }
    QStringList voices() const override { return {}; }
    bool setVoice(int) override { return false; }
    void setRate(int) override {}
    void stop() override {}
    void speak(const QString &) override {}
};

} // namespace velbrin::platform

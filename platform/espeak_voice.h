#pragma once

#include "speech.h"

#include <memory>

namespace velbrin::platform {

// The speech voice of this platform: the espeak-ng synthesiser, played through
// SDL's audio device to the sound server as a stream of its own, so it is
// heard over the music and mixed by the server.
//
// The device is open only while there is speech to play: an open device
// streams silence to the sound server, which then cannot rest.
//
// With an output set (the songs' mix), each text's sound is handed to it
// first, so the music is lowered under the voice; what the output does not
// take is played through the device as without one.
//
// Threads: the public operations run on the user-interface thread and only
// queue work. One worker thread owns the synthesiser: it makes each queued
// text's sound in order, hands it to the output or opens the device when it
// is closed and appends the sound to the device's queue, which SDL's own
// thread plays; once that queue has been heard and nothing more waits, the
// worker closes the device. The text queue, the stop generation, the voice
// settings and the output are shared under one mutex, which also covers
// handing sound to the output, appending to and clearing the device's queue
// and clearing the output; nothing else is shared. The output never calls
// back, so nothing is taken under it in the other order.
class EspeakVoice final : public SpeechVoice {
public:
    // A voice that speaks when the synthesiser starts, has voices and the
    // sound device opens; otherwise one whose available() is false.
    // The synthesiser is one per process: a second live instance is never
    // available.
    static std::unique_ptr<EspeakVoice> create();
    ~EspeakVoice() override;

    bool available() const override;
    QStringList voices() const override;
    bool setVoice(int index) override;
    void setRate(int rate) override;
    void stop() override;
    void speak(const QString &text) override;
    void setOutput(std::shared_ptr<SpeechOutput> output) override;

    // Whether something is being spoken or waits to be, here or in the
    // output (for tests and the end of the program).
    bool busy() const;

    // The words per minute a slider rate stands for: 175 at 0, three times
    // slower or faster at the ends, within what the synthesiser accepts.
    static int wordsPerMinute(int rate);

    struct Impl;

private:
    EspeakVoice();
    std::unique_ptr<Impl> impl_;
};

} // namespace velbrin::platform

#pragma once

#include "kelvra_interface.h"
#include "speech.h"

#include <memory>
#include <string>

namespace velbrin::platform {
class DynamicLibrary;
}

namespace velbrin::engine {

// The DJ's voice into the songs' mix, through the engine's "speech_mix"
// extension: the engine lowers the music under the voice (the duck) and
// keeps the sum within full scale. Speech the engine does not take (no sound
// device mix runs, e.g. songs going into WAV files) is left to the voice.
//
// Threads: every operation may run on any thread; the engine's functions act
// at once and guard themselves, and the table never changes once bound.
class KelvraSpeechOutput final : public platform::SpeechOutput {
public:
    // The output of the engine library named `libraryPath` (resolved like
    // the component's path); null when the library does not load or offers
    // no speech mix.
    static std::shared_ptr<KelvraSpeechOutput> bind(const std::string &libraryPath);
    ~KelvraSpeechOutput() override;
    KelvraSpeechOutput(const KelvraSpeechOutput &) = delete;
    KelvraSpeechOutput &operator=(const KelvraSpeechOutput &) = delete;

    bool write(const int16_t *samples, size_t frames, int rate) override;
    void clear() override;
    int pendingMilliseconds() const override;

    // How far the music is lowered under the voice, in decibels, kept within
    // 0 (the music is left alone) and 24; for every mix, now and later.
    void setDuckDepth(int decibels);

private:
    KelvraSpeechOutput(std::unique_ptr<platform::DynamicLibrary> library,
                       const kv_speech_mix_extension &mix);

    // Held so the table stays valid.
    std::unique_ptr<platform::DynamicLibrary> library_;
    const kv_speech_mix_extension &mix_;
};

} // namespace velbrin::engine

#pragma once

#include <cstdint>

namespace kelvra {

// The level settings of one player: what the volume, mute and channel
// commands asked for.
struct LevelSettings {
    int master = 99;  // 0..99
    int pcm = 99;     // 0..99
    int balance = 50; // 0..99, 50 centred
    bool muted = false;
    int channelMode = 0; // kv_channel_mode
};

// Applies levels to interleaved 16-bit audio with every gain change spread
// over a short linear ramp, so stepped fades do not click. Not thread-safe:
// each instance is driven by the one thread that renders its audio.
class LevelRamp {
public:
    void setTarget(const LevelSettings &settings);
    // Extra gain (0..1) multiplied in, used to fade a stream in or out when
    // it starts or stops mid-song. Ramped like the levels.
    void setRunTarget(float gain) { runTarget_ = gain; }
    void jumpRunGain(float gain) { runGain_ = runTarget_ = gain; }
    void jumpLevels() {
        left_ = targetLeft_;
        right_ = targetRight_;
    }
    bool runSettled() const { return runGain_ == runTarget_; }
    float runGain() const { return runGain_; }

    void apply(int16_t *samples, uint32_t frames, uint32_t channels, uint32_t rate);
    bool identity() const;

    // Amplitude of a level 0..99: a square law, close to how loud a level
    // sounds, with 99 exactly unity and 0 silence.
    static float levelGain(int level);

private:
    float targetLeft_ = 1.0f, targetRight_ = 1.0f;
    float left_ = 1.0f, right_ = 1.0f;
    float runTarget_ = 1.0f, runGain_ = 1.0f;
    int channelMode_ = 0;
    bool started_ = false;
};

} // namespace kelvra

#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvra {

// The peak limiter on a mix's sum. Audio goes through a delay of
// `lookAheadFrames`; the gain is lowered ahead of a peak so that the peak
// leaves at -1 dBFS, and comes back slowly afterwards, which keeps music from
// pumping. Below the threshold with the gain recovered it is a plain delay:
// the samples leave exactly as they came.
//
// Not thread-safe: driven by the one thread that mixes.
class Limiter {
public:
    // Full scale is 32768; the threshold sits 1 dB below it.
    static constexpr float kThreshold = 29204.0f;

    explicit Limiter(uint32_t rate = 44100);
    void setRate(uint32_t rate);
    uint32_t lookAheadFrames() const { return lookAhead_; }

    // Stereo interleaved, in place: `frames` in, `frames` out (delayed). Every
    // output sample lies within full scale.
    void process(float *samples, size_t frames);
    // Nothing waits in the delay and the gain is at unity.
    bool idle() const;
    float gain() const { return gain_; }

private:
    static float peakOf(const float *samples, size_t count);
    void processFrame(float &left, float &right);
    void pushNeed(float need);

    uint32_t lookAhead_ = 0;
    float attack_ = 0.0f;  // per-frame share of the way down
    float release_ = 0.0f; // per-frame share of the way back up
    float gain_ = 1.0f;
    // The delay line: stereo frames, and each frame's own required gain.
    std::vector<float> delay_;
    std::vector<float> need_;
    size_t at_ = 0;
    std::vector<float> scratch_;
    // The window minimum of the required gains, kept as a monotonic queue of
    // (frame number, need) pairs.
    // A ring of lookAhead + 1 entries: oldest at minHead_, minCount_ of them.
    std::vector<uint64_t> minFrame_;
    std::vector<float> minNeed_;
    size_t minHead_ = 0;
    size_t minCount_ = 0;
    uint64_t frame_ = 0;
    uint64_t reducedUntil_ = 0; // a need below 1 lies in the window before this frame
    uint64_t audioUntil_ = 0;   // a non-zero sample lies in the delay before this frame
};

// The music's gain under the DJ's voice, in decibels: it falls to minus the
// depth in kAttack, and rises back to 0 in kRelease once the voice is done.
// Not thread-safe: driven by the one thread that mixes.
class Ducker {
public:
    static constexpr double kAttackSeconds = 0.05;
    static constexpr double kReleaseSeconds = 0.5;

    void setDepth(double decibels) { depth_ = decibels; }
    double depth() const { return depth_; }
    // Moves on by `frames` towards minus the depth (`speaking`) or 0.
    void advance(bool speaking, size_t frames, uint32_t rate);
    // The factor the music is multiplied by now.
    float gain() const;
    // The duck is as deep as the depth asks (or there is no depth).
    bool down() const { return depth_ <= 0.0 || decibels_ <= -depth_ + 1e-6; }
    bool up() const { return decibels_ >= 0.0; }
    double decibels() const { return decibels_; }

private:
    double depth_ = 12.0;
    double decibels_ = 0.0;
};

} // namespace kelvra

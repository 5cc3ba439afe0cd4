#pragma once

#include <array>
#include <cstdint>

namespace kelvra {

// The spectrum analyser behind the fft_analyzer_* exports.
//
// Input: up to 128 samples (signed 16-bit, one channel), zero-padded. Output:
// band i (0..63) is bin i+1 of a 128-point Hann-windowed transform, so band
// i is centred on (i+1) * rate / 128 Hz. Each value is 0..255, linear in
// decibels: 0 is -80 dB or less below a full-scale sine, 255 a full-scale
// sine (about 3.19 steps per dB). Asked for fewer bands, each band reports
// the loudest of the bins it covers.
class Analyzer {
public:
    static constexpr int kPoints = 128;
    static constexpr int kBands = 64;

    void setSamples(const int16_t *samples, int32_t count);
    // `count` frames of `channels` interleaved channels, averaged to one
    // channel and stretched or squeezed onto the 128 points.
    void interpolate(const void *samples, int32_t count, int32_t channels, bool isSigned);
    void spectrum(uint8_t *out, int32_t bands) const;

private:
    std::array<float, kPoints> samples_{};
};

} // namespace kelvra

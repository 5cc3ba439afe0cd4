#pragma once

// A plain, scalar model of the conversion with extended-precision sums, written
// from the kernel rule alone, to hold the library's vectorised paths against.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace resampler_test {

// Taps per wing for a rate pair, in single precision as the filter keeps its ratio.
std::size_t taps_for(uint32_t in_rate, uint32_t out_rate);

// Input frames per block: 50 ms rounded up to whole periods of the rate pair,
// doubled until one write of `write_samples` fits.
std::size_t block_frames_for(uint32_t in_rate, uint32_t out_rate, uint32_t channels,
                             std::size_t write_samples);

// Output of the first `blocks` whole blocks for an interleaved input.
std::vector<int16_t> reference_convert(const std::vector<int16_t> &input, uint32_t channels,
                                       uint32_t in_rate, uint32_t out_rate,
                                       std::size_t block_frames, std::size_t blocks);

// Unrounded output values (before the 16-bit conversion) of the same model.
std::vector<float> reference_values(const std::vector<int16_t> &input, uint32_t channels,
                                    uint32_t in_rate, uint32_t out_rate, std::size_t block_frames,
                                    std::size_t blocks);

} // namespace resampler_test

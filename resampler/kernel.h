#pragma once

#include <cstddef>
#include <span>

namespace velbrin::resampler {

// The low-pass kernel shared by every instance: one wing of a Kaiser-windowed
// sinc, sampled 256 times per input sample. Each entry is stored as a pair
// (value, difference to the next value) so that linear interpolation needs a
// single table read.
inline constexpr std::size_t kKernelEntries = 4033;
inline constexpr std::size_t kEntriesPerSample = 256;
inline constexpr int kLastEntry = static_cast<int>(kKernelEntries) - 1;

// The table as 2 * kKernelEntries floats, built once on first use.
std::span<const float> kernel_table();

// The kernel at a distance of x input samples (0 <= x, 256x within the table).
inline float kernel_at(std::span<const float> table, float x, int entry) {
    const float position = 256.0f * x;
    const auto index = static_cast<std::size_t>(entry) * 2;
    return table[index] + table[index + 1] * (position - static_cast<float>(entry));
}

} // namespace velbrin::resampler

#pragma once

#include <cstddef>
#include <cstdint>

namespace velbrin::resampler {

// One block of output: every output frame i is the inner product of its own
// coefficient window (coefficients + i * window floats) with `window`
// consecutive input frames of each channel plane, starting at frame starts[i].
// The window is a multiple of 16 floats, zero-padded, and the planes are
// readable up to starts[frames - 1] + window.
struct BlockJob {
    const float *coefficients = nullptr;
    const std::uint32_t *starts = nullptr;
    std::size_t frames = 0;
    std::size_t window = 0;
    const float *planes[2] = {nullptr, nullptr};
    std::uint32_t channels = 1;
    float *output = nullptr; // frames * channels floats, interleaved
};

using ConvolveFn = void (*)(const BlockJob &job);
// Rounds to the nearest integer (ties to even) and clamps to 16 bits. The
// destination may be unaligned.
using ToPcmFn = void (*)(const float *source, void *destination, std::size_t count);

struct Kernels {
    ConvolveFn convolve;
    ToPcmFn to_pcm16;
    const char *name;
};

Kernels generic_kernels();
#if defined(__x86_64__)
Kernels avx2_kernels();
Kernels avx512_kernels();
#endif

// The fastest set the processor supports, limited by VELBRIN_RESAMPLER_ISA
// ("generic", "avx2" or "avx512") when that is set.
Kernels select_kernels();

} // namespace velbrin::resampler

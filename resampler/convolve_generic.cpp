#include "convolve.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace velbrin::resampler {
namespace {

void convolve_generic(const BlockJob &job) {
    for (std::size_t i = 0; i < job.frames; ++i) {
        const float *coefficients = job.coefficients + i * job.window;
        for (std::uint32_t ch = 0; ch < job.channels; ++ch) {
            const float *input = job.planes[ch] + job.starts[i];
            // Eight partial sums let the compiler vectorise without reassociating.
            float partial[8] = {};
            for (std::size_t k = 0; k < job.window; k += 8) {
                for (std::size_t lane = 0; lane < 8; ++lane) {
                    partial[lane] += coefficients[k + lane] * input[k + lane];
                }
            }
            float sum = 0.0f;
            for (float value : partial) {
                sum += value;
            }
            job.output[i * job.channels + ch] = sum;
        }
    }
}

void to_pcm16_generic(const float *source, void *destination, std::size_t count) {
    auto *bytes = static_cast<unsigned char *>(destination);
    for (std::size_t i = 0; i < count; ++i) {
        const float clamped = std::clamp(source[i], -32768.0f, 32767.0f);
        const auto sample = static_cast<std::int16_t>(std::lrint(clamped));
        std::memcpy(bytes + 2 * i, &sample, sizeof sample);
    }
}

} // namespace

Kernels generic_kernels() {
    return {convolve_generic, to_pcm16_generic, "generic"};
}

Kernels select_kernels() {
    const char *limit = std::getenv("VELBRIN_RESAMPLER_ISA");
    const std::string_view wanted = limit != nullptr ? limit : "";
    if (wanted == "generic") {
        return generic_kernels();
    }
#if defined(__x86_64__)
    __builtin_cpu_init();
    const bool has_avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    const bool has_avx512 = has_avx2 && __builtin_cpu_supports("avx512f");
    if (has_avx512 && wanted != "avx2") {
        return avx512_kernels();
    }
    if (has_avx2) {
        return avx2_kernels();
    }
#endif
    return generic_kernels();
}

} // namespace velbrin::resampler

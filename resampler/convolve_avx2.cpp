// Built with -mavx2 -mfma; called only when the processor has both.
#include "convolve.h"
#include "convolve_x86.h"

namespace velbrin::resampler {
namespace {

using x86::horizontal_sum;
using x86::horizontal_sums;

// Four stereo frames at a time: eight independent accumulators hide the FMA
// latency, and the coefficient load is shared by both channels.
void convolve_stereo(const BlockJob &job) {
    const std::size_t window = job.window;
    std::size_t i = 0;
    for (; i + 4 <= job.frames; i += 4) {
        __m256 acc[8];
#pragma GCC unroll 8
        for (auto &a : acc) {
            a = _mm256_setzero_ps();
        }
        const float *coefficients = job.coefficients + i * window;
        const float *left[4];
        const float *right[4];
#pragma GCC unroll 4
        for (std::size_t f = 0; f < 4; ++f) {
            left[f] = job.planes[0] + job.starts[i + f];
            right[f] = job.planes[1] + job.starts[i + f];
        }
        for (std::size_t k = 0; k < window; k += 8) {
#pragma GCC unroll 4
            for (std::size_t f = 0; f < 4; ++f) {
                const __m256 c = _mm256_loadu_ps(coefficients + f * window + k);
                acc[2 * f] = _mm256_fmadd_ps(c, _mm256_loadu_ps(left[f] + k), acc[2 * f]);
                acc[2 * f + 1] = _mm256_fmadd_ps(c, _mm256_loadu_ps(right[f] + k), acc[2 * f + 1]);
            }
        }
        _mm256_storeu_ps(job.output + 2 * i, horizontal_sums(acc));
    }
    for (; i < job.frames; ++i) {
        const float *coefficients = job.coefficients + i * window;
        const float *left = job.planes[0] + job.starts[i];
        const float *right = job.planes[1] + job.starts[i];
        __m256 l = _mm256_setzero_ps();
        __m256 r = _mm256_setzero_ps();
        for (std::size_t k = 0; k < window; k += 8) {
            const __m256 c = _mm256_loadu_ps(coefficients + k);
            l = _mm256_fmadd_ps(c, _mm256_loadu_ps(left + k), l);
            r = _mm256_fmadd_ps(c, _mm256_loadu_ps(right + k), r);
        }
        job.output[2 * i] = horizontal_sum(l);
        job.output[2 * i + 1] = horizontal_sum(r);
    }
}

void convolve_mono(const BlockJob &job) {
    const std::size_t window = job.window;
    std::size_t i = 0;
    for (; i + 8 <= job.frames; i += 8) {
        __m256 acc[8];
#pragma GCC unroll 8
        for (auto &a : acc) {
            a = _mm256_setzero_ps();
        }
        const float *coefficients = job.coefficients + i * window;
        for (std::size_t k = 0; k < window; k += 8) {
#pragma GCC unroll 8
            for (std::size_t f = 0; f < 8; ++f) {
                acc[f] =
                    _mm256_fmadd_ps(_mm256_loadu_ps(coefficients + f * window + k),
                                    _mm256_loadu_ps(job.planes[0] + job.starts[i + f] + k), acc[f]);
            }
        }
        _mm256_storeu_ps(job.output + i, horizontal_sums(acc));
    }
    for (; i < job.frames; ++i) {
        const float *coefficients = job.coefficients + i * window;
        const float *input = job.planes[0] + job.starts[i];
        __m256 sum = _mm256_setzero_ps();
        for (std::size_t k = 0; k < window; k += 8) {
            sum =
                _mm256_fmadd_ps(_mm256_loadu_ps(coefficients + k), _mm256_loadu_ps(input + k), sum);
        }
        job.output[i] = horizontal_sum(sum);
    }
}

void convolve_avx2(const BlockJob &job) {
    if (job.channels == 2) {
        convolve_stereo(job);
    } else {
        convolve_mono(job);
    }
}

} // namespace

Kernels avx2_kernels() {
    return {convolve_avx2, x86::to_pcm16, "avx2"};
}

} // namespace velbrin::resampler

// Built with -mavx512f -mavx2 -mfma; called only when the processor has them.
#include "convolve.h"
#include "convolve_x86.h"

namespace velbrin::resampler {
namespace {

using x86::horizontal_sum;
using x86::horizontal_sums;

inline __m256 fold(__m512 a) {
    return _mm256_add_ps(_mm512_castps512_ps256(a),
                         _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(a), 1)));
}

void convolve_stereo(const BlockJob &job) {
    const std::size_t window = job.window;
    std::size_t i = 0;
    for (; i + 4 <= job.frames; i += 4) {
        __m512 acc[8];
#pragma GCC unroll 8
        for (auto &a : acc) {
            a = _mm512_setzero_ps();
        }
        const float *coefficients = job.coefficients + i * window;
        const float *left[4];
        const float *right[4];
#pragma GCC unroll 4
        for (std::size_t f = 0; f < 4; ++f) {
            left[f] = job.planes[0] + job.starts[i + f];
            right[f] = job.planes[1] + job.starts[i + f];
        }
        for (std::size_t k = 0; k < window; k += 16) {
#pragma GCC unroll 4
            for (std::size_t f = 0; f < 4; ++f) {
                const __m512 c = _mm512_loadu_ps(coefficients + f * window + k);
                acc[2 * f] = _mm512_fmadd_ps(c, _mm512_loadu_ps(left[f] + k), acc[2 * f]);
                acc[2 * f + 1] = _mm512_fmadd_ps(c, _mm512_loadu_ps(right[f] + k), acc[2 * f + 1]);
            }
        }
        const __m256 folded[8] = {fold(acc[0]), fold(acc[1]), fold(acc[2]), fold(acc[3]),
                                  fold(acc[4]), fold(acc[5]), fold(acc[6]), fold(acc[7])};
        _mm256_storeu_ps(job.output + 2 * i, horizontal_sums(folded));
    }
    for (; i < job.frames; ++i) {
        const float *coefficients = job.coefficients + i * window;
        const float *left = job.planes[0] + job.starts[i];
        const float *right = job.planes[1] + job.starts[i];
        __m512 l = _mm512_setzero_ps();
        __m512 r = _mm512_setzero_ps();
        for (std::size_t k = 0; k < window; k += 16) {
            const __m512 c = _mm512_loadu_ps(coefficients + k);
            l = _mm512_fmadd_ps(c, _mm512_loadu_ps(left + k), l);
            r = _mm512_fmadd_ps(c, _mm512_loadu_ps(right + k), r);
        }
        job.output[2 * i] = horizontal_sum(fold(l));
        job.output[2 * i + 1] = horizontal_sum(fold(r));
    }
}

void convolve_mono(const BlockJob &job) {
    const std::size_t window = job.window;
    std::size_t i = 0;
    for (; i + 8 <= job.frames; i += 8) {
        __m512 acc[8];
#pragma GCC unroll 8
        for (auto &a : acc) {
            a = _mm512_setzero_ps();
        }
        const float *coefficients = job.coefficients + i * window;
        for (std::size_t k = 0; k < window; k += 16) {
#pragma GCC unroll 8
            for (std::size_t f = 0; f < 8; ++f) {
                acc[f] =
                    _mm512_fmadd_ps(_mm512_loadu_ps(coefficients + f * window + k),
                                    _mm512_loadu_ps(job.planes[0] + job.starts[i + f] + k), acc[f]);
            }
        }
        const __m256 folded[8] = {fold(acc[0]), fold(acc[1]), fold(acc[2]), fold(acc[3]),
                                  fold(acc[4]), fold(acc[5]), fold(acc[6]), fold(acc[7])};
        _mm256_storeu_ps(job.output + i, horizontal_sums(folded));
    }
    for (; i < job.frames; ++i) {
        const float *coefficients = job.coefficients + i * window;
        const float *input = job.planes[0] + job.starts[i];
        __m512 sum = _mm512_setzero_ps();
        for (std::size_t k = 0; k < window; k += 16) {
            sum =
                _mm512_fmadd_ps(_mm512_loadu_ps(coefficients + k), _mm512_loadu_ps(input + k), sum);
        }
        job.output[i] = horizontal_sum(fold(sum));
    }
}

void convolve_avx512(const BlockJob &job) {
    if (job.channels == 2) {
        convolve_stereo(job);
    } else {
        convolve_mono(job);
    }
}

} // namespace

Kernels avx512_kernels() {
    return {convolve_avx512, x86::to_pcm16, "avx512"};
}

} // namespace velbrin::resampler

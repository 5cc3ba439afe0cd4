#pragma once

// Pieces shared by the AVX2 and AVX-512 translation units; each includes this
// file after its own target flags are in force.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

// Internal linkage on purpose: each including unit is compiled for another
// instruction set, and the linker must never merge their copies.
namespace velbrin::resampler::x86 {
namespace {

// Eight vectors in, their eight horizontal sums out, in order.
inline __m256 horizontal_sums(const __m256 (&a)[8]) {
    const __m256 t0 = _mm256_hadd_ps(a[0], a[1]);
    const __m256 t1 = _mm256_hadd_ps(a[2], a[3]);
    const __m256 t2 = _mm256_hadd_ps(a[4], a[5]);
    const __m256 t3 = _mm256_hadd_ps(a[6], a[7]);
    const __m256 u0 = _mm256_hadd_ps(t0, t1);
    const __m256 u1 = _mm256_hadd_ps(t2, t3);
    return _mm256_add_ps(_mm256_permute2f128_ps(u0, u1, 0x20),
                         _mm256_permute2f128_ps(u0, u1, 0x31));
}

inline float horizontal_sum(__m256 a) {
    __m128 s = _mm_add_ps(_mm256_castps256_ps128(a), _mm256_extractf128_ps(a, 1));
    s = _mm_add_ps(s, _mm_movehl_ps(s, s));
    s = _mm_add_ss(s, _mm_movehdup_ps(s));
    return _mm_cvtss_f32(s);
}

inline void to_pcm16(const float *source, void *destination, std::size_t count) {
    auto *bytes = static_cast<unsigned char *>(destination);
    const __m256 low = _mm256_set1_ps(-32768.0f);
    const __m256 high = _mm256_set1_ps(32767.0f);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        // The conversion rounds to nearest even under the default rounding mode.
        const __m256i a = _mm256_cvtps_epi32(
            _mm256_min_ps(_mm256_max_ps(_mm256_loadu_ps(source + i), low), high));
        const __m256i b = _mm256_cvtps_epi32(
            _mm256_min_ps(_mm256_max_ps(_mm256_loadu_ps(source + i + 8), low), high));
        // The pack works per 128-bit lane; the permutation restores sample order.
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(bytes + 2 * i), packed);
    }
    for (; i < count; ++i) {
        const __m128 clamped = _mm_min_ss(_mm_max_ss(_mm_set_ss(source[i]), _mm_set_ss(-32768.0f)),
                                          _mm_set_ss(32767.0f));
        const auto sample = static_cast<std::int16_t>(_mm_cvtss_si32(clamped));
        std::memcpy(bytes + 2 * i, &sample, sizeof sample);
    }
}

} // namespace
} // namespace velbrin::resampler::x86

#include "kernel.h"

#include <array>
#include <cmath>
#include <numbers>

namespace velbrin::resampler {
namespace {

constexpr long double kGain = 0.9L;
constexpr long double kCutoff = 0.86168L;
constexpr long double kKaiserBeta = 8.83L;
// The window reaches zero here; the last 29 entries lie beyond it.
constexpr long double kWindowEnd = 4003.0L;

// The modified Bessel function I0 written as a series in z squared. For a
// negative argument the same series gives J0(|z|), which continues the window
// analytically past its end instead of taking the root of a negative number.
long double bessel_i0_of_square(long double z_squared) {
    long double sum = 1.0L;
    long double term = 1.0L;
    for (int m = 1; m < 200; ++m) {
        term *= z_squared / (4.0L * m * m);
        sum += term;
        if (std::fabs(term) < 1e-22L * std::fabs(sum)) {
            break;
        }
    }
    return sum;
}

long double kernel_value(std::size_t k) {
    const long double x = kCutoff * static_cast<long double>(k) / kEntriesPerSample;
    const long double pi_x = std::numbers::pi_v<long double> * x;
    const long double sinc = k == 0 ? 1.0L : std::sin(pi_x) / pi_x;
    const long double t = static_cast<long double>(k) / kWindowEnd;
    const long double window = bessel_i0_of_square(kKaiserBeta * kKaiserBeta * (1.0L - t * t)) /
                               bessel_i0_of_square(kKaiserBeta * kKaiserBeta);
    return kGain * kCutoff * sinc * window;
}

std::array<float, 2 * kKernelEntries> build_table() {
    std::array<long double, kKernelEntries> values{};
    for (std::size_t k = 0; k < kKernelEntries; ++k) {
        values[k] = kernel_value(k);
    }
    std::array<float, 2 * kKernelEntries> table{};
    for (std::size_t k = 0; k < kKernelEntries; ++k) {
        // The last pair has no successor and repeats the previous difference.
        const long double difference =
            k + 1 < kKernelEntries ? values[k + 1] - values[k] : values[k] - values[k - 1];
        table[2 * k] = static_cast<float>(values[k]);
        table[2 * k + 1] = static_cast<float>(difference);
    }
    return table;
}

} // namespace

std::span<const float> kernel_table() {
    static const std::array<float, 2 *kKernelEntries> table = build_table();
    return table;
}

} // namespace velbrin::resampler

#include "analyzer.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace kelvra {

void Analyzer::setSamples(const int16_t *samples, int32_t count) {
    samples_.fill(0.0f);
    if (samples == nullptr || count <= 0)
        return;
    const int n = std::min(count, kPoints);
    for (int i = 0; i < n; ++i)
        samples_[static_cast<size_t>(i)] = samples[i];
}

void Analyzer::interpolate(const void *samples, int32_t count, int32_t channels, bool isSigned) {
    samples_.fill(0.0f);
    if (samples == nullptr || count <= 0 || channels <= 0)
        return;
    const auto *raw = static_cast<const uint16_t *>(samples);
    auto frameValue = [&](int32_t frame) {
        float sum = 0.0f;
        for (int32_t c = 0; c < channels; ++c) {
            const uint16_t v = raw[static_cast<size_t>(frame) * static_cast<size_t>(channels) +
                                   static_cast<size_t>(c)];
            sum += isSigned ? static_cast<float>(static_cast<int16_t>(v))
                            : static_cast<float>(v) - 32768.0f;
        }
        return sum / static_cast<float>(channels);
    };
    for (int i = 0; i < kPoints; ++i) {
        const double position =
            count == 1 ? 0.0 : static_cast<double>(i) * (count - 1) / (kPoints - 1);
        const auto left = static_cast<int32_t>(position);
        const int32_t right = std::min(left + 1, count - 1);
        const auto t = static_cast<float>(position - left);
        samples_[static_cast<size_t>(i)] = frameValue(left) * (1.0f - t) + frameValue(right) * t;
    }
}

namespace {

// What every transform of 128 points shares, worked out once: the window, the
// twiddle factors and the bit-reversed order.
struct Tables {
    std::array<double, Analyzer::kPoints> window{};
    std::array<double, Analyzer::kPoints / 2> cosine{};
    std::array<double, Analyzer::kPoints / 2> sine{};
    std::array<uint8_t, Analyzer::kPoints> reversed{};
};

const Tables &tables() {
    static const Tables t = [] {
        Tables made;
        constexpr int n = Analyzer::kPoints;
        for (int i = 0; i < n; ++i)
            made.window[static_cast<size_t>(i)] =
                0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / n);
        for (int k = 0; k < n / 2; ++k) {
            const std::complex<double> w = std::polar(1.0, -2.0 * std::numbers::pi * k / n);
            made.cosine[static_cast<size_t>(k)] = w.real();
            made.sine[static_cast<size_t>(k)] = w.imag();
        }
        for (size_t i = 1, j = 0; i < static_cast<size_t>(n); ++i) {
            size_t bit = static_cast<size_t>(n) >> 1;
            for (; (j & bit) != 0; bit >>= 1)
                j ^= bit;
            j ^= bit;
            made.reversed[i] = static_cast<uint8_t>(j);
        }
        return made;
    }();
    return t;
}

} // namespace

void Analyzer::spectrum(uint8_t *out, int32_t bands) const {
    if (out == nullptr || bands <= 0)
        return;
    bands = std::min(bands, kBands);
    const Tables &t = tables();
    // Iterative radix-2 transform of the windowed block, in bit-reversed
    // order; real and imaginary parts apart, as complex arithmetic would
    // check every product for infinities.
    std::array<double, kPoints> re;
    std::array<double, kPoints> im{};
    for (size_t i = 0; i < re.size(); ++i)
        re[t.reversed[i]] = samples_[i] * t.window[i];
    for (size_t length = 2; length <= re.size(); length <<= 1) {
        const size_t half = length / 2;
        const size_t stride = re.size() / length;
        for (size_t start = 0; start < re.size(); start += length) {
            for (size_t k = 0; k < half; ++k) {
                const size_t a = start + k;
                const size_t b = a + half;
                const double wr = t.cosine[k * stride];
                const double wi = t.sine[k * stride];
                const double br = re[b] * wr - im[b] * wi;
                const double bi = re[b] * wi + im[b] * wr;
                re[b] = re[a] - br;
                im[b] = im[a] - bi;
                re[a] += br;
                im[a] += bi;
            }
        }
    }
    std::array<uint8_t, kBands> values{};
    for (int bin = 0; bin < kBands; ++bin) {
        // A full-scale sine centred on a bin gives |X| = 32768 * N / 4.
        constexpr double kScale = 4.0 / kPoints / 32768.0;
        const auto at = static_cast<size_t>(bin + 1);
        const double power = (re[at] * re[at] + im[at] * im[at]) * kScale * kScale;
        const double db = 10.0 * std::log10(std::max(power, 1e-18));
        const double scaled = (db + 80.0) * 255.0 / 80.0;
        values[static_cast<size_t>(bin)] =
            static_cast<uint8_t>(std::lround(std::clamp(scaled, 0.0, 255.0)));
    }
    for (int b = 0; b < bands; ++b) {
        const int first = b * kBands / bands;
        const int last = std::max(first + 1, (b + 1) * kBands / bands);
        out[b] = *std::max_element(values.begin() + first, values.begin() + last);
    }
}

} // namespace kelvra

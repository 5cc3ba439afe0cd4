#include "analyzer.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

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

void Analyzer::spectrum(uint8_t *out, int32_t bands) const {
    if (out == nullptr || bands <= 0)
        return;
    bands = std::min(bands, kBands);
    // Iterative radix-2 transform of the windowed block.
    std::vector<std::complex<double>> x(kPoints);
    for (int i = 0; i < kPoints; ++i) {
        const double window = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / kPoints);
        x[static_cast<size_t>(i)] = samples_[static_cast<size_t>(i)] * window;
    }
    for (size_t i = 1, j = 0; i < x.size(); ++i) {
        size_t bit = x.size() >> 1;
        for (; (j & bit) != 0; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(x[i], x[j]);
    }
    for (size_t length = 2; length <= x.size(); length <<= 1) {
        const double angle = -2.0 * std::numbers::pi / static_cast<double>(length);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t start = 0; start < x.size(); start += length) {
            std::complex<double> w(1.0, 0.0);
            for (size_t k = 0; k < length / 2; ++k) {
                const auto a = x[start + k];
                const auto b = x[start + k + length / 2] * w;
                x[start + k] = a + b;
                x[start + k + length / 2] = a - b;
                w *= step;
            }
        }
    }
    std::array<uint8_t, kBands> values{};
    for (int bin = 0; bin < kBands; ++bin) {
        // A full-scale sine centred on a bin gives |X| = 32768 * N / 4.
        const double amplitude =
            std::abs(x[static_cast<size_t>(bin + 1)]) * 4.0 / kPoints / 32768.0;
        const double db = 20.0 * std::log10(std::max(amplitude, 1e-9));
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

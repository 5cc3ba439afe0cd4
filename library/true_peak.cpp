#include "true_peak.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace velbrin::library {

namespace {

struct Interpolator {
    // coefficients[p - 1][k]: the point p / 4 of the way from sample 5 to
    // sample 6 of a window of twelve.
    std::array<std::array<float, 12>, 3> coefficients{};
    float largestGain = 1.0f;

    Interpolator() {
        for (int p = 1; p < 4; ++p) {
            const double fraction = p / 4.0;
            double sum = 0;
            std::array<double, 12> c{};
            for (int k = 0; k < 12; ++k) {
                const double t = (k - 5) - fraction; // distance from the point
                const double sinc = std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
                const double window = 0.5 * (1.0 + std::cos(std::numbers::pi * t / 6.5));
                c[static_cast<size_t>(k)] = sinc * window;
                sum += c[static_cast<size_t>(k)];
            }
            double gain = 0;
            for (int k = 0; k < 12; ++k) {
                const double v = c[static_cast<size_t>(k)] / sum;
                coefficients[static_cast<size_t>(p - 1)][static_cast<size_t>(k)] =
                    static_cast<float>(v);
                gain += std::abs(v);
            }
            largestGain = std::max(largestGain, static_cast<float>(gain));
        }
    }
};

const Interpolator &interpolator() {
    static const Interpolator i;
    return i;
}

} // namespace

TruePeakMeter::TruePeakMeter(int channels)
    : channels_(std::max(channels, 1)), history_(static_cast<size_t>(channels_ * kTaps * 2), 0.0f),
      lastLoud_(static_cast<size_t>(channels_), -1000) {}

void TruePeakMeter::push(int channel, float sample) {
    const Interpolator &in = interpolator();
    // Each sample is stored twice, so the window of the last twelve is always
    // one contiguous stretch.
    float *ring = history_.data() + channel * kTaps * 2;
    const auto slot = static_cast<int>(index_ % kTaps);
    ring[slot] = ring[slot + kTaps] = sample;
    const float *h = ring + slot + 1;
    const float level = std::abs(sample);
    peak_ = std::max(peak_, level);
    long &loud = lastLoud_[static_cast<size_t>(channel)];
    if (level * in.largestGain > peak_) {
        loud = index_;
    }
    // The window now ends at this sample: the points between its samples 5
    // and 6 can beat the peak only if one of its samples could.
    if (loud <= index_ - kTaps) {
        return;
    }
    for (const auto &c : in.coefficients) {
        float v = 0;
        for (int k = 0; k < kTaps; ++k) {
            v += c[static_cast<size_t>(k)] * h[k];
        }
        peak_ = std::max(peak_, std::abs(v));
    }
}

void TruePeakMeter::add(const float *frames, size_t count) {
    for (size_t f = 0; f < count; ++f) {
        for (int c = 0; c < channels_; ++c) {
            push(c, frames[f * static_cast<size_t>(channels_) + static_cast<size_t>(c)]);
        }
        ++index_;
    }
}

double TruePeakMeter::peak() {
    if (!finished_) {
        finished_ = true;
        const std::vector<float> silence(static_cast<size_t>(channels_ * kTaps / 2), 0.0f);
        add(silence.data(), kTaps / 2);
    }
    return peak_;
}

} // namespace velbrin::library

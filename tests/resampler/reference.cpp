#include "reference.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <numeric>

namespace resampler_test {
namespace {

constexpr int kEntries = 4033;

long double bessel_i0(long double z_squared) {
    long double sum = 1, term = 1;
    for (int m = 1; m < 300; ++m) {
        term *= z_squared / (4.0L * m * m);
        sum += term;
    }
    return sum;
}

// value(k) = 0.9 f sinc(f k / 256) w(k), w a Kaiser window (beta 8.83) that
// ends at k = 4003 and continues analytically beyond it.
const std::array<float, 2 * kEntries> &table() {
    static const auto built = [] {
        std::array<long double, kEntries> v{};
        const long double f = 0.86168L;
        for (int k = 0; k < kEntries; ++k) {
            const long double x = std::numbers::pi_v<long double> * f * k / 256.0L;
            const long double sinc = k == 0 ? 1.0L : std::sin(x) / x;
            const long double t = k / 4003.0L;
            v[static_cast<std::size_t>(k)] =
                0.9L * f * sinc * bessel_i0(8.83L * 8.83L * (1 - t * t)) / bessel_i0(8.83L * 8.83L);
        }
        std::array<float, 2 * kEntries> t{};
        for (std::size_t k = 0; k < kEntries; ++k) {
            t[2 * k] = static_cast<float>(v[k]);
            t[2 * k + 1] = static_cast<float>(k + 1 < kEntries ? v[k + 1] - v[k] : v[k] - v[k - 1]);
        }
        return t;
    }();
    return built;
}

float kernel(float x) {
    const float position = 256.0f * x;
    const auto e = static_cast<std::size_t>(static_cast<int>(position));
    return table()[2 * e] + table()[2 * e + 1] * (position - static_cast<float>(e));
}

} // namespace

std::size_t taps_for(uint32_t in_rate, uint32_t out_rate) {
    const float r = static_cast<float>(static_cast<double>(out_rate) / in_rate);
    return static_cast<std::size_t>(10 -
                                    static_cast<int>(32.0f * std::max(1.0f, 1.0f / r) * -0.5f));
}

std::size_t block_frames_for(uint32_t in_rate, uint32_t out_rate, uint32_t channels,
                             std::size_t write_samples) {
    const std::size_t period = in_rate / std::gcd(in_rate, out_rate);
    std::size_t frames = (in_rate / 20 + period - 1) / period * period;
    while (frames * channels < write_samples) {
        frames *= 2;
    }
    return frames;
}

std::vector<float> reference_values(const std::vector<int16_t> &input, uint32_t channels,
                                    uint32_t in_rate, uint32_t out_rate, std::size_t block_frames,
                                    std::size_t blocks) {
    const float r = static_cast<float>(static_cast<double>(out_rate) / in_rate);
    const float step = std::min(r, 1.0f);
    const auto taps = static_cast<long>(taps_for(in_rate, out_rate));
    const std::size_t out_frames = block_frames * out_rate / in_rate;
    const long input_frames = static_cast<long>(input.size() / channels);
    auto sample = [&](long frame, uint32_t ch) -> long double {
        // The stream is preceded by silence: the first block's history.
        return frame < 0 || frame >= input_frames
                   ? 0.0L
                   : input[static_cast<std::size_t>(frame) * channels + ch];
    };
    std::vector<float> out;
    for (std::size_t block = 0; block < blocks; ++block) {
        for (std::size_t i = 0; i < out_frames; ++i) {
            const float exact = static_cast<float>(i) / r;
            long c = static_cast<long>(exact + 1e-8f);
            float b = exact - static_cast<float>(c);
            if ((1.0f - b) * step < 0.00001f) {
                ++c;
                b = 0.0f;
            }
            // Centre of the frame in stream frames: the block's start, lagging T.
            const long centre = static_cast<long>(block * block_frames) + c - taps;
            for (uint32_t ch = 0; ch < channels; ++ch) {
                long double sum = 0;
                for (long j = 0; j < taps; ++j) {
                    const float x = step * (b + static_cast<float>(j));
                    if (static_cast<int>(256.0f * x) > kEntries - 1) {
                        break;
                    }
                    sum += static_cast<long double>(step * kernel(x)) * sample(centre - j, ch);
                }
                for (long j = 0; j < taps; ++j) {
                    const float x = step * ((1.0f - b) + static_cast<float>(j));
                    if (static_cast<int>(256.0f * x) > kEntries - 2) {
                        break;
                    }
                    sum += static_cast<long double>(step * kernel(x)) * sample(centre + 1 + j, ch);
                }
                out.push_back(static_cast<float>(sum));
            }
        }
    }
    return out;
}

std::vector<int16_t> reference_convert(const std::vector<int16_t> &input, uint32_t channels,
                                       uint32_t in_rate, uint32_t out_rate,
                                       std::size_t block_frames, std::size_t blocks) {
    std::vector<int16_t> out;
    for (float v : reference_values(input, channels, in_rate, out_rate, block_frames, blocks)) {
        // Round half to even (the default rounding mode), then clamp.
        out.push_back(static_cast<int16_t>(std::clamp(std::nearbyint(v), -32768.0f, 32767.0f)));
    }
    return out;
}

} // namespace resampler_test

// What the conversion sounds like: agreement with the extended-precision model
// on every instruction-set path, and the distortion of a converted sine.

#include "harness.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <random>
#include <string>

namespace resampler_test {
namespace {

// Selects the instruction-set path for instances created while it lives.
class IsaLimit {
public:
    explicit IsaLimit(const char *name) { setenv("VELBRIN_RESAMPLER_ISA", name, 1); }
    ~IsaLimit() { unsetenv("VELBRIN_RESAMPLER_ISA"); }
    IsaLimit(const IsaLimit &) = delete;
    IsaLimit &operator=(const IsaLimit &) = delete;
};

struct Conversion {
    uint32_t in;
    uint32_t out;
    uint32_t channels;
    std::size_t piece; // samples per write
};

std::string name_of(const Conversion &c) {
    return std::to_string(c.in) + "->" + std::to_string(c.out) + " x" + std::to_string(c.channels);
}

class ResamplerPaths : public ::testing::TestWithParam<const char *> {};

// Full-scale noise and a swept tone through every path; each 16-bit output
// sample may differ from the model by at most one step.
TEST_P(ResamplerPaths, MatchExtendedPrecisionWithinOneStep) {
    IsaLimit limit(GetParam());
    std::mt19937 gen(11);
    std::uniform_int_distribution<int> dist(-32768, 32767);
    for (const Conversion c : {Conversion{44100, 48000, 2, 4608}, Conversion{48000, 44100, 2, 4608},
                               Conversion{44100, 22050, 2, 2304}, Conversion{22050, 48000, 1, 1152},
                               Conversion{8000, 48000, 1, 1000}, Conversion{96000, 44100, 2, 4608},
                               Conversion{11025, 44100, 2, 2304}, Conversion{32000, 44100, 1, 1000},
                               Conversion{44100, 48000, 2, 16384}}) {
        StandInHost host;
        host.values["OUTPUT.RESAMPLER.RATE"] = static_cast<int32_t>(c.out);
        Filter filter(&host);
        const std::size_t frames = c.in / 2;
        std::vector<int16_t> input(frames * c.channels);
        for (std::size_t i = 0; i < input.size(); ++i) {
            // Noise in the first half, a sweep in the second.
            const double t = static_cast<double>(i / c.channels) / c.in;
            input[i] = i < input.size() / 2
                           ? static_cast<int16_t>(dist(gen))
                           : static_cast<int16_t>(std::lround(
                                 30000 * std::sin(2 * std::numbers::pi * 2000 * t * t * c.in / 8)));
        }
        write_in_pieces(filter, input, c.piece, c.channels, c.in);
        const std::size_t block = block_frames_for(c.in, c.out, c.channels, c.piece);
        const std::size_t out_block = block * c.out / c.in * c.channels;
        const std::size_t blocks = filter.next.samples.size() / out_block;
        ASSERT_GE(blocks, 2u) << name_of(c);
        ASSERT_EQ(filter.next.samples.size(), blocks * out_block) << name_of(c);
        const auto expected = reference_convert(input, c.channels, c.in, c.out, block, blocks);
        std::size_t off = 0;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            if (std::abs(filter.next.samples[i] - expected[i]) > 1) {
                ++off;
            }
        }
        EXPECT_EQ(off, 0u) << name_of(c) << " on " << GetParam();
    }
}

INSTANTIATE_TEST_SUITE_P(ResamplerIsa, ResamplerPaths,
                         ::testing::Values("generic", "avx2", "avx512"),
                         [](const auto &param_info) { return std::string(param_info.param); });

struct SineFit {
    double amplitude; // of the fitted 1 kHz component
    double thd_n_db;  // everything else relative to it
    double other_rms; // the other channel
};

// Least-squares fit of a 1 kHz sine (with offset) to one channel; the rest is
// distortion and noise.
SineFit fit_sine(const std::vector<int16_t> &v, uint32_t channels, uint32_t rate,
                 std::size_t skip_frames, std::size_t frames) {
    double ss = 0, sc = 0, cc = 0, s1 = 0, c1 = 0, ys = 0, yc = 0, y1 = 0;
    const double n = static_cast<double>(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t =
            2 * std::numbers::pi * 1000.0 * static_cast<double>(skip_frames + i) / rate;
        const double s = std::sin(t), c = std::cos(t);
        const double y = v[(skip_frames + i) * channels];
        ss += s * s, sc += s * c, cc += c * c, s1 += s, c1 += c;
        ys += y * s, yc += y * c, y1 += y;
    }
    // Solve the 3x3 normal equations by Cramer's rule.
    const double m[3][3] = {{ss, sc, s1}, {sc, cc, c1}, {s1, c1, n}};
    const double r[3] = {ys, yc, y1};
    auto det = [](const double a[3][3]) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
               a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    double coef[3];
    const double d = det(m);
    for (int k = 0; k < 3; ++k) {
        double a[3][3];
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                a[i][j] = j == k ? r[i] : m[i][j];
            }
        }
        coef[k] = det(a) / d;
    }
    double residual = 0, other = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t =
            2 * std::numbers::pi * 1000.0 * static_cast<double>(skip_frames + i) / rate;
        const double fitted = coef[0] * std::sin(t) + coef[1] * std::cos(t) + coef[2];
        const double e = v[(skip_frames + i) * channels] - fitted;
        residual += e * e;
        if (channels == 2) {
            const double o = v[(skip_frames + i) * channels + 1];
            other += o * o;
        }
    }
    const double amplitude = std::hypot(coef[0], coef[1]);
    const double signal_rms = amplitude / std::sqrt(2.0);
    return {amplitude, 20 * std::log10(std::sqrt(residual / n) / signal_rms), std::sqrt(other / n)};
}

TEST(ResamplerQuality, SineKeepsFrequencyLevelChannelAndPurity) {
    const double amplitude = 32767.0 * std::pow(10.0, -1.0 / 20);
    for (const Conversion c : {Conversion{44100, 48000, 2, 4608}, Conversion{48000, 44100, 2, 4608},
                               Conversion{44100, 22050, 2, 4608}}) {
        StandInHost host;
        host.values["OUTPUT.RESAMPLER.RATE"] = static_cast<int32_t>(c.out);
        Filter filter(&host);
        filter.format(c.in);
        std::vector<int16_t> input(c.in * 2, 0); // one second, right channel silent
        for (std::size_t i = 0; i < c.in; ++i) {
            input[2 * i] = static_cast<int16_t>(
                std::lround(amplitude * std::sin(2 * std::numbers::pi * 1000.0 *
                                                 static_cast<double>(i) / c.in)));
        }
        write_in_pieces(filter, input, c.piece, 2, c.in);
        const std::size_t frames = filter.next.samples.size() / 2;
        ASSERT_GT(frames, c.out / 2) << name_of(c);
        // The output lags by T input frames; fit after the start-up, where the
        // model sine's phase is free anyway.
        const std::size_t skip = c.out / 10;
        const SineFit fit = fit_sine(filter.next.samples, 2, c.out, skip, frames - skip);
        const double level_db = 20 * std::log10(fit.amplitude / (0.9 * amplitude));
        EXPECT_LT(std::abs(level_db), 1.0) << name_of(c);
        EXPECT_LT(fit.thd_n_db, -85.0) << name_of(c);
        EXPECT_EQ(fit.other_rms, 0.0) << name_of(c);
        RecordProperty(name_of(c) + " THD+N dB", std::to_string(fit.thd_n_db));
        // A fit at the wrong frequency leaves the sine in the residual, so the
        // bound above also holds the frequency; check it directly as well.
        const SineFit off =
            fit_sine(filter.next.samples, 2, c.out + c.out / 1000, skip, frames - skip);
        EXPECT_GT(off.thd_n_db, -20.0) << name_of(c);
    }
}

} // namespace
} // namespace resampler_test

// Block sizes, chunking, rounding and clamping, drain and reset, and the faults
// the plain block scheme would have: each checked against the scalar model.

#include "harness.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <random>

namespace resampler_test {
namespace {

std::vector<int16_t> noise(std::size_t count, unsigned seed, int amplitude = 20000) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> dist(-amplitude, amplitude);
    std::vector<int16_t> v(count);
    for (auto &s : v) {
        s = static_cast<int16_t>(dist(gen));
    }
    return v;
}

// A 1 kHz sine in the left channel (or the only one), silence in the right.
std::vector<int16_t> sine(std::size_t frames, uint32_t channels, uint32_t rate, double amplitude,
                          double frequency = 1000.0) {
    std::vector<int16_t> v(frames * channels, 0);
    for (std::size_t i = 0; i < frames; ++i) {
        v[i * channels] =
            static_cast<int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * frequency *
                                                                  static_cast<double>(i) / rate)));
    }
    return v;
}

std::size_t max_difference(const std::vector<int16_t> &a, const std::vector<int16_t> &b) {
    std::size_t worst = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        worst = std::max<std::size_t>(worst, static_cast<std::size_t>(std::abs(a[i] - b[i])));
    }
    return worst;
}

std::vector<int16_t> prefix(const std::vector<int16_t> &v, std::size_t count) {
    return {v.begin(), v.begin() + static_cast<std::ptrdiff_t>(std::min(count, v.size()))};
}

// Frequency from rising zero crossings of one channel. A crossing counts only
// after the signal has been well below zero, so start-up ripples do not.
double frequency_of(const std::vector<int16_t> &v, uint32_t channels, uint32_t rate) {
    std::vector<double> crossings;
    bool armed = false;
    for (std::size_t i = channels; i < v.size(); i += channels) {
        const int a = v[i - channels];
        const int b = v[i];
        armed = armed || a < -5000;
        if (armed && a < 0 && b >= 0) {
            crossings.push_back(static_cast<double>(i / channels) - 1.0 +
                                static_cast<double>(-a) / (b - a));
            armed = false;
        }
    }
    if (crossings.size() < 3) {
        return 0.0;
    }
    return (static_cast<double>(crossings.size()) - 1) * rate /
           (crossings.back() - crossings.front());
}

TEST(ResamplerBlocks, StereoFrom44100To48000ComesInBlocksOf2205Frames) {
    Filter filter;
    filter.format(44100);
    const auto input = noise(4410 * 4, 1);
    // 104 history floats plus 4410 fill the block exactly: nothing yet.
    ASSERT_EQ(filter.write(prefix(input, 4410), 2, 44100), 0);
    EXPECT_TRUE(filter.next.deliveries.empty());
    for (std::size_t block = 1; block < 4; ++block) {
        std::vector<int16_t> part(input.begin() + static_cast<std::ptrdiff_t>(4410 * block),
                                  input.begin() + static_cast<std::ptrdiff_t>(4410 * (block + 1)));
        const std::size_t before = filter.next.deliveries.size();
        ASSERT_EQ(filter.write(part, 2, 44100), 0);
        // 2400 output frames per block: one chunk of 4096 bytes and the rest
        // in whole samples (the computed 5505 would end in half a sample).
        ASSERT_EQ(filter.next.deliveries.size(), before + 2);
        EXPECT_EQ(filter.next.deliveries[before].size_bytes, 4096u);
        EXPECT_EQ(filter.next.deliveries[before + 1].size_bytes, 5504u);
        for (std::size_t k = before; k < before + 2; ++k) {
            EXPECT_EQ(filter.next.deliveries[k].rate, 48000u);
            EXPECT_EQ(filter.next.deliveries[k].channels, 2u);
            EXPECT_EQ(filter.next.deliveries[k].sample_width, 16u);
        }
    }
    ASSERT_EQ(filter.next.samples.size(), 3u * 4800);
    const auto expected = reference_convert(input, 2, 44100, 48000, 2205, 3);
    EXPECT_LE(max_difference(filter.next.samples, expected), 1u);
}

TEST(ResamplerBlocks, NoOutputUntilASampleArrivesBeyondAFullBlock) {
    Filter filter;
    // Mono at 32000 Hz: 1600 frames per block, history 52 floats.
    const auto input = noise(1600, 2);
    write_in_pieces(filter, input, 100, 1, 32000);
    EXPECT_TRUE(filter.next.deliveries.empty());
    ASSERT_EQ(filter.write({0}, 1, 32000), 0);
    EXPECT_EQ(filter.next.samples.size(), 2400u);
    // The block's output lags by T = 26 input frames of the silent history.
    const auto expected = reference_convert(input, 1, 32000, 48000, 1600, 1);
    EXPECT_LE(max_difference(filter.next.samples, expected), 1u);
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(filter.next.samples[i], 0) << i;
    }
}

// After a set-up without input, the collected floats are the history alone, so
// a drain delivers trunc(H r + 0.5) floats, in whole frames: this shows T.
TEST(ResamplerBlocks, DrainLengthFollowsTheTaps) {
    struct Case {
        uint32_t in, out, channels;
        std::size_t taps, bytes;
    };
    for (const Case c : {Case{44100, 48000, 2, 26, 224}, Case{48000, 44100, 2, 27, 196},
                         Case{44100, 22050, 2, 42, 168}, Case{44100, 48000, 1, 26, 114}}) {
        StandInHost host;
        host.values["OUTPUT.RESAMPLER.RATE"] = static_cast<int32_t>(c.out);
        Filter filter(&host);
        filter.format(c.in, c.channels);
        ASSERT_EQ(filter.write(std::vector<int16_t>{}, c.channels, c.in), 0);
        filter.control(KV_CONTROL_DRAIN);
        EXPECT_EQ(filter.next.delivered_bytes(), c.bytes) << c.in << " to " << c.out;
        for (const auto &d : filter.next.deliveries) {
            EXPECT_EQ(d.sample_width, 2u);
            EXPECT_EQ(d.rate, c.out);
        }
        // Drained after the deliveries, then passed on.
        EXPECT_EQ(filter.next.control_flags.back(), KV_CONTROL_DRAIN);
    }
}

TEST(ResamplerBlocks, DrainFlushesCollectedInputAndTheLag) {
    Filter filter;
    const auto input = noise(2 * 1000, 3);
    ASSERT_EQ(filter.write(input, 2, 44100), 0);
    filter.control(KV_CONTROL_DRAIN);
    // (104 + 2000) floats at 48000/44100: 2290.0 floats, 1145 frames.
    ASSERT_EQ(filter.next.samples.size(), 2290u);
    const auto expected = reference_convert(input, 2, 44100, 48000, 2205, 1);
    EXPECT_LE(max_difference(filter.next.samples, prefix(expected, 2290)), 1u);
    // The drained input is spent: the stream carries on without repeating it.
    filter.next.clear();
    write_in_pieces(filter, std::vector<int16_t>(4410 * 2, 0), 4410, 2, 44100);
    ASSERT_FALSE(filter.next.samples.empty());
    EXPECT_TRUE(std::all_of(filter.next.samples.begin(), filter.next.samples.end(),
                            [](int16_t s) { return s == 0; }));
}

TEST(ResamplerBlocks, DrainOfANearlyFullBlockDeliversEveryCollectedFrame) {
    // The collected input reaches past what one block computes.
    Filter filter;
    const auto input = noise(4410, 4);
    ASSERT_EQ(filter.write(input, 2, 44100), 0);
    filter.control(KV_CONTROL_DRAIN);
    const std::size_t floats =
        static_cast<std::size_t>((104.0f + 4410.0f) * (48000.0f / 44100.0f) + 0.5f) / 2 * 2;
    ASSERT_EQ(filter.next.samples.size(), floats);
    auto padded = input;
    padded.resize(4410 * 3, 0);
    const auto expected = reference_convert(padded, 2, 44100, 48000, 2205, 2);
    EXPECT_LE(max_difference(filter.next.samples, prefix(expected, floats)), 1u);
}

TEST(ResamplerBlocks, DrainBeforeAnySetUpDeliversNothing) {
    Filter filter;
    filter.format(44100);
    EXPECT_EQ(filter.control(KV_CONTROL_DRAIN), 0);
    EXPECT_TRUE(filter.next.deliveries.empty());
    EXPECT_EQ(filter.next.control_flags.back(), KV_CONTROL_DRAIN);
}

TEST(ResamplerBlocks, DrainInMode1AnnouncesTheInputRate) {
    StandInHost host;
    host.values["OUTPUT.RESAMPLER.MODE"] = 1;
    Filter filter(&host);
    filter.format(44100);
    ASSERT_EQ(filter.write(noise(1000, 5), 2, 44100), 0);
    filter.control(KV_CONTROL_DRAIN);
    ASSERT_FALSE(filter.next.deliveries.empty());
    EXPECT_EQ(filter.next.deliveries[0].rate, 44100u);
}

TEST(ResamplerBlocks, ResetSilencesWhatWasCollected) {
    for (bool reset : {false, true}) {
        Filter filter;
        filter.format(44100);
        ASSERT_EQ(filter.write(noise(4000, 6), 2, 44100), 0);
        if (reset) {
            filter.control(KV_CONTROL_RESET);
        }
        write_in_pieces(filter, std::vector<int16_t>(4410, 0), 4410, 2, 44100);
        ASSERT_EQ(filter.next.samples.size(), 4800u);
        const bool silent = std::all_of(filter.next.samples.begin(), filter.next.samples.end(),
                                        [](int16_t s) { return s == 0; });
        EXPECT_EQ(silent, reset);
    }
}

TEST(ResamplerBlocks, OutputIsClampedTo16Bits) {
    // An input that matches the sign of every tap around one output frame
    // drives that frame far past full scale.
    const std::size_t frames = 2205 * 2;
    std::vector<int16_t> impulse(frames, 0);
    impulse[1000] = 1;
    const auto response = reference_values(impulse, 1, 44100, 48000, 2205, 1);
    const std::size_t peak = static_cast<std::size_t>(
        std::distance(response.begin(), std::max_element(response.begin(), response.end())));
    std::vector<int16_t> input(frames, 0);
    // The tap each input frame near the peak meets in that output frame.
    for (long d = -20; d <= 20; ++d) {
        std::vector<int16_t> one(frames, 0);
        one[static_cast<std::size_t>(1000 + d)] = 1;
        const float tap = reference_values(one, 1, 44100, 48000, 2205, 1)[peak];
        input[static_cast<std::size_t>(1000 + d)] = tap > 0 ? 32767 : (tap < 0 ? -32768 : 0);
    }
    for (int sign : {1, -1}) {
        std::vector<int16_t> signed_input = input;
        for (auto &s : signed_input) {
            s = static_cast<int16_t>(sign > 0 ? s : (s == -32768 ? 32767 : -s));
        }
        const float value = reference_values(signed_input, 1, 44100, 48000, 2205, 1)[peak];
        EXPECT_GT(std::abs(value), 40000.0f);
        Filter filter;
        write_in_pieces(filter, signed_input, 2205, 1, 44100);
        ASSERT_GT(filter.next.samples.size(), peak);
        EXPECT_EQ(filter.next.samples[peak], sign > 0 ? 32767 : -32768);
    }
}

// With a single non-zero input sample every output value is one rounded
// product, so exact halves can be found and their rounding checked.
TEST(ResamplerBlocks, HalvesRoundToEven) {
    std::vector<int16_t> one(2205 * 2, 0);
    one[600] = 1;
    const auto taps = reference_values(one, 1, 44100, 48000, 2205, 1);
    int found_even = 0;
    int found_odd = 0;
    for (std::size_t frame = 600; frame < 700 && (found_even == 0 || found_odd == 0); ++frame) {
        const float tap = taps[frame];
        for (int v = 1; v <= 32767; ++v) {
            const auto product = static_cast<float>(static_cast<double>(tap) * v);
            const float whole = std::floor(product);
            if (product - whole != 0.5f || std::abs(product) > 30000.0f) {
                continue;
            }
            const bool even = std::fmod(whole, 2.0f) == 0.0f;
            if ((even && found_even > 0) || (!even && found_odd > 0)) {
                continue;
            }
            std::vector<int16_t> input(2205 * 2, 0);
            input[600] = static_cast<int16_t>(v);
            Filter filter;
            write_in_pieces(filter, input, 2205, 1, 44100);
            ASSERT_GT(filter.next.samples.size(), frame);
            // 2.5 becomes 2, 3.5 becomes 4.
            const float expected = even ? whole : whole + 1.0f;
            EXPECT_EQ(filter.next.samples[frame], static_cast<int16_t>(expected))
                << product << " at frame " << frame;
            (even ? found_even : found_odd) += 1;
            break;
        }
    }
    EXPECT_GT(found_even, 0);
    EXPECT_GT(found_odd, 0);
}

// Stereo 44100 to 22050 Hz: 2205 input frames per 50 ms would give half an
// output frame per block. The left/right order and the output grid must hold.
TEST(ResamplerMended, HalvingStereoKeepsChannelsAndTheGrid) {
    StandInHost host;
    host.values["OUTPUT.RESAMPLER.RATE"] = 22050;
    Filter filter(&host);
    const auto input = sine(44100, 2, 44100, 20000.0);
    write_in_pieces(filter, input, 4410, 2, 44100);
    const auto &out = filter.next.samples;
    ASSERT_GT(out.size(), 30000u);
    for (const auto &d : filter.next.deliveries) {
        EXPECT_EQ(d.size_bytes % 4, 0u);
    }
    for (std::size_t i = 1; i < out.size(); i += 2) {
        ASSERT_EQ(out[i], 0) << "right channel at " << i;
    }
    const std::size_t block = block_frames_for(44100, 22050, 2, 4410);
    const auto expected = reference_convert(input, 2, 44100, 22050, block, out.size() / (block));
    EXPECT_LE(max_difference(out, expected), 1u);
    EXPECT_NEAR(frequency_of(out, 2, 22050), 1000.0, 0.5);
}

// At 1000000 to 1000005 Hz the second output frame of every block lies 5e-6
// input samples before the next input sample. That sample must carry the
// frame, not be passed over for the one after it.
TEST(ResamplerMended, AFrameJustShortOfAnInputSampleIsCentredOnIt) {
    StandInHost host;
    host.values["OUTPUT.RESAMPLER.RATE"] = 1000005;
    Filter filter(&host);
    // Blocks are 200000 frames here; steady input through three of them.
    write_in_pieces(filter, std::vector<int16_t>(600001, 10000), 50000, 1, 1000000);
    ASSERT_EQ(filter.next.samples.size(), 3u * 200001);
    int16_t low = 32767;
    int16_t high = -32768;
    for (std::size_t i = 200001; i < 3 * 200001; ++i) {
        low = std::min(low, filter.next.samples[i]);
        high = std::max(high, filter.next.samples[i]);
    }
    EXPECT_NEAR(low, 9000, 90);
    EXPECT_NEAR(high, 9000, 90);
}

TEST(ResamplerMended, OddChunkSizesNeitherLoseNorShiftSamples) {
    // 22050 to 48000 Hz stereo: 1176 input frames per block give 2560 output
    // frames; every chunk must carry whole frames and follow on exactly.
    const auto input = noise(2 * 22050, 7);
    Filter filter;
    write_in_pieces(filter, input, 1152, 2, 22050);
    for (const auto &d : filter.next.deliveries) {
        EXPECT_EQ(d.size_bytes % 4, 0u) << d.size_bytes;
    }
    const std::size_t block = block_frames_for(22050, 48000, 2, 1152);
    const std::size_t blocks = filter.next.samples.size() / (2 * block * 48000 / 22050);
    ASSERT_GE(blocks, 5u);
    const auto expected = reference_convert(input, 2, 22050, 48000, block, blocks);
    ASSERT_EQ(filter.next.samples.size(), expected.size());
    EXPECT_LE(max_difference(filter.next.samples, expected), 1u);
}

TEST(ResamplerMended, AWriteLargerThanTheSetUpIsConvertedWhole) {
    const auto input = noise(2 * 44100, 8);
    Filter filter;
    // The first write sizes the block for 100 samples; the next is far larger.
    ASSERT_EQ(filter.write(prefix(input, 100), 2, 44100), 0);
    ASSERT_EQ(filter.write(std::vector<int16_t>(input.begin() + 100, input.end()), 2, 44100), 0);
    const std::size_t blocks = filter.next.samples.size() / 4800;
    EXPECT_EQ(blocks, 19u);
    const auto expected = reference_convert(input, 2, 44100, 48000, 2205, blocks);
    EXPECT_LE(max_difference(filter.next.samples, expected), 1u);
}

TEST(ResamplerMended, ANewRatioWithTheSameTapsSetsUpAgain) {
    // 44100 and 32000 Hz both up-convert with T = 26.
    Filter filter;
    filter.format(44100);
    write_in_pieces(filter, sine(44100, 2, 44100, 20000.0), 4410, 2, 44100);
    EXPECT_NEAR(frequency_of(filter.next.samples, 2, 48000), 1000.0, 0.5);
    EXPECT_EQ(filter.format(32000), 48000u);
    filter.next.clear();
    write_in_pieces(filter, sine(32000, 2, 32000, 20000.0), 3200, 2, 32000);
    // Skip the join of the two streams.
    const std::vector<int16_t> steady(filter.next.samples.begin() + 9600,
                                      filter.next.samples.end());
    EXPECT_NEAR(frequency_of(steady, 2, 48000), 1000.0, 0.5);
}

TEST(ResamplerMended, ANewTargetFromTheListenerConvertsWithItsOwnRatio) {
    StandInHost host;
    Filter filter(&host);
    filter.format(44100);
    write_in_pieces(filter, sine(22050, 2, 44100, 20000.0), 4410, 2, 44100);
    host.notify("OUTPUT.RESAMPLER.RATE", 96000);
    filter.next.clear();
    write_in_pieces(filter, sine(44100, 2, 44100, 20000.0), 4410, 2, 44100);
    ASSERT_FALSE(filter.next.deliveries.empty());
    EXPECT_EQ(filter.next.deliveries.back().rate, 96000u);
    const std::vector<int16_t> steady(filter.next.samples.begin() + 19200,
                                      filter.next.samples.end());
    EXPECT_NEAR(frequency_of(steady, 2, 96000), 1000.0, 0.5);
}

TEST(ResamplerMended, WritesOfOddSampleCountsKeepTheFramesTogether) {
    const auto input = noise(2 * 6000, 9);
    Filter filter;
    std::size_t at = 0;
    for (std::size_t piece : {1u, 3u, 1001u, 2u, 7u}) {
        for (; at + piece <= input.size() && at < 8000; at += piece) {
            ASSERT_EQ(
                filter.write_bytes(input.data() + at, static_cast<uint32_t>(piece * 2), 2, 44100),
                0);
        }
    }
    ASSERT_EQ(filter.write_bytes(input.data() + at, static_cast<uint32_t>((input.size() - at) * 2),
                                 2, 44100),
              0);
    const std::size_t blocks = filter.next.samples.size() / 4800;
    ASSERT_GE(blocks, 2u);
    EXPECT_LE(max_difference(filter.next.samples,
                             reference_convert(input, 2, 44100, 48000, 2205, blocks)),
              1u);
}

} // namespace
} // namespace resampler_test

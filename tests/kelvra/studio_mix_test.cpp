// The mix's own arithmetic: the limiter on the sum, the duck under the voice,
// and where a song is heard.
#include "quiet_ends.h"
#include "studio_mix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace kelvra;

namespace {

constexpr uint32_t kRate = 44100;

std::vector<float> sine(size_t frames, double amplitude, double hz, double phase = 0) {
    std::vector<float> s(frames * 2);
    for (size_t f = 0; f < frames; ++f) {
        const auto v =
            static_cast<float>(amplitude * std::sin(2 * M_PI * hz * double(f) / kRate + phase));
        s[2 * f] = s[2 * f + 1] = v;
    }
    return s;
}

// Runs `in` through a limiter in slices of the mixer's size.
std::vector<float> limited(std::vector<float> in, Limiter &limiter) {
    for (size_t at = 0; at < in.size() / 2; at += 256)
        limiter.process(in.data() + at * 2, std::min<size_t>(256, in.size() / 2 - at));
    return in;
}

} // namespace

TEST(Limiter, BelowTheThresholdItIsAPlainDelay) {
    Limiter limiter(kRate);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> sample(-Limiter::kThreshold, Limiter::kThreshold);
    std::vector<float> in(kRate * 2);
    for (float &v : in)
        v = std::round(sample(random));
    const std::vector<float> out = limited(in, limiter);
    const size_t delay = limiter.lookAheadFrames();
    for (size_t i = 0; i + delay * 2 < in.size(); ++i)
        ASSERT_EQ(out[i + delay * 2], in[i]) << "sample " << i;
}

TEST(Limiter, LoudSumsNeverLeaveFullScaleAndSettleWithoutPumping) {
    // Two songs at full scale cross-fading, a voice on top, and a burst of
    // noise at four times full scale: the worst a mix can add up to.
    std::mt19937 random(11);
    std::normal_distribution<float> noise(0, 40000);
    std::vector<float> in = sine(kRate * 3, 32767 * 1.4, 440);
    const std::vector<float> voice = sine(kRate * 3, 20000, 1870, 0.3);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] += voice[i] + (i > kRate && i < kRate * 6 / 5 ? 4 * noise(random) : 0.0f);
    Limiter limiter(kRate);
    const std::vector<float> out = limited(in, limiter);
    size_t over = 0;
    for (float v : out)
        over += std::abs(v) > Limiter::kThreshold * 1.01f;
    EXPECT_EQ(over, 0u) << "samples above -1 dBFS";

    // A steady loud tone: once settled, the gain holds still.
    Limiter steady(kRate);
    const std::vector<float> tone = limited(sine(kRate * 2, 32767 * 2.0, 440), steady);
    double lo = 1e9, hi = 0;
    for (size_t w = kRate; w + 441 <= kRate * 2; w += 441) {
        double peak = 0;
        for (size_t f = w; f < w + 441; ++f)
            peak = std::max<double>(peak, std::abs(tone[2 * f]));
        lo = std::min(lo, peak);
        hi = std::max(hi, peak);
    }
    EXPECT_LT(20 * std::log10(hi / lo), 0.2) << "the gain moves on a steady tone";
    EXPECT_GT(hi, Limiter::kThreshold * 0.97) << "the tone is held at the threshold, not below";
}

TEST(Ducker, ReachesTheDepthIn50MillisecondsAndReturnsIn500) {
    Ducker duck;
    duck.setDepth(12);
    const auto run = [&](bool speaking, double seconds) {
        for (size_t f = 0; double(f) < seconds * kRate; f += 32)
            duck.advance(speaking, 32, kRate);
    };
    run(true, 0.025);
    EXPECT_NEAR(duck.decibels(), -6.0, 0.5);
    EXPECT_FALSE(duck.down());
    run(true, 0.03);
    EXPECT_TRUE(duck.down());
    EXPECT_NEAR(20 * std::log10(duck.gain()), -12.0, 0.01);
    run(false, 0.25);
    EXPECT_NEAR(duck.decibels(), -6.0, 0.3);
    run(false, 0.26);
    EXPECT_TRUE(duck.up());
    EXPECT_EQ(duck.gain(), 1.0f);

    duck.setDepth(0);
    run(true, 1.0);
    EXPECT_EQ(duck.gain(), 1.0f) << "a depth of 0 leaves the music alone";
}

TEST(QuietEnds, SilenceCountsAtTheEndsOnlyWhenItIsDeadAir) {
    std::vector<int16_t> s(1000 * 2, 0);
    s[2 * 100 + 1] = 34; // just above -60 dBFS, right channel
    s[2 * 700] = -40;
    s[2 * 800] = 33; // at the threshold: not heard
    EXPECT_EQ(firstAudibleFrame(s.data(), 1000, 2), 100u);
    EXPECT_EQ(audibleFramesEnd(s.data(), 1000, 2), 701u);
    const std::vector<int16_t> quiet(500, 20);
    EXPECT_EQ(firstAudibleFrame(quiet.data(), 500, 1), 500u);
    EXPECT_EQ(audibleFramesEnd(quiet.data(), 500, 1), 0u);

    struct Case {
        double heardTo, length, expected;
    } const cases[] = {
        {5.0, 10.0, 5.0},   // 5 s of dead air
        {8.0, 10.0, 8.0},   // exactly the shortest that counts
        {8.5, 10.0, 10.0},  // a 1.5 s tail belongs to the song
        {10.0, 10.0, 10.0}, // no silence
        {0.0, 10.0, 0.0},   // nothing heard at all
    };
    for (const Case &c : cases)
        EXPECT_EQ(audibleEnd(uint64_t(c.heardTo * kRate), uint64_t(c.length * kRate), kRate),
                  uint64_t(c.expected * kRate))
            << c.heardTo << " of " << c.length;
}

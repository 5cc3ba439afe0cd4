// The resampling plug-in inside the engine's output chain, preloaded for every
// player through the environment as a user would do it.
#include "engine_harness.h"

#include <cstdlib>

using namespace kelvra_test;
using namespace std::chrono_literals;

namespace {
const bool preloaded = [] {
    setenv("KELVRA_FILTERS", "resampling_output_filter_module_register@kv_resampler.dll", 1);
    return true;
}();
} // namespace

TEST(KelvraResamplerChain, A44100HzSongIsWrittenAt48000HzWithTheRightLength) {
    ASSERT_TRUE(preloaded);
    const double seconds = 3.0;
    const std::string mp3 = Media::get().tone("resample-me.mp3", seconds, 44100, 2, 1000, "-b 192");
    const std::string out = Media::get().path("resampled.wav");
    TestPlayer p;
    p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + out);
    p.S(KV_CMD_INPUT_OPEN, mp3);
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS, 10s));
    p.destroy();
    const auto w = readWav(out);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->rate, 48000u);
    EXPECT_EQ(w->channels, 2u);
    // 3 s at 48 kHz. The drain also hands on the converter's delay line, at most
    // two wings of 26 input frames (57 output frames, 1.2 ms), and never less
    // than the song.
    const double frames = static_cast<double>(w->samples.size()) / 2.0;
    EXPECT_GE(frames, seconds * 48000.0);
    EXPECT_LE(frames, seconds * 48000.0 + 2 * 26 * 48000.0 / 44100.0 + 1);
}

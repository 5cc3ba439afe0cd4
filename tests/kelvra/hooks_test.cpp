// Process-wide hooks, read from the environment of this test process:
// KELVRA_FILTERS preloads the test gain filter into every player and
// KELVRA_TRACE writes a line per command and notification. They are set
// before any test loads the engine.
#include "engine_harness.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace kelvra_test;
using namespace std::chrono_literals;

namespace {

const bool hooksSet = [] {
    std::remove(KELVRA_TEST_TRACE_FILE);
    setenv("KELVRA_FILTERS", "gain_filter_register@kv_test_gain.dll", 1);
    setenv("KELVRA_TRACE", KELVRA_TEST_TRACE_FILE, 1);
    return true;
}();

} // namespace

TEST(KelvraHooks, PreloadedFiltersAreInEveryPlayer) {
    ASSERT_NE(std::getenv("KELVRA_FILTERS"), nullptr);
    const std::string mp3 = Media::get().tone("hook.mp3", 1.0);
    ASSERT_TRUE(Media::run("mpg123 -q -w '" + mp3 + ".ref.wav' '" + mp3 + "'"));
    const auto reference = readWav(mp3 + ".ref.wav");
    ASSERT_TRUE(reference);
    const double plain = rms(reference->samples.data(), reference->samples.size());
    for (int i = 0; i < 2; ++i) {
        TestPlayer p;
        p.N(KV_CMD_OUTPUT_FILTER_LIST);
        const auto listed = p.waitForCode(KV_NOTIFY_OUTPUT_FILTER_INFO, 2s);
        ASSERT_TRUE(listed);
        EXPECT_EQ(listed->text1, "gain_filter_register@kv_test_gain.dll");
        const std::string out = Media::get().path("hook" + std::to_string(i) + ".wav");
        p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + out);
        p.S(KV_CMD_INPUT_OPEN, mp3);
        p.N(KV_CMD_PLAY);
        ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS, 5s));
        const auto w = readWav(out);
        ASSERT_TRUE(w);
        // The preloaded filter halves what the decoder gives.
        EXPECT_NEAR(rms(w->samples.data(), w->samples.size()) / plain, 0.5, 0.01);
    }
}

TEST(KelvraHooks, TraceRecordsCommandsAndNotifications) {
    const char *path = std::getenv("KELVRA_TRACE");
    ASSERT_NE(path, nullptr);
    {
        TestPlayer p;
        p.I(KV_CMD_PING, 4242);
        p.III(KV_CMD_SET_OUTPUT_VOLUME, -1, 33, -1);
        p.sync();
    }
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    const std::string trace = text.str();
    EXPECT_NE(trace.find("command 3 Ping I ints=4242"), std::string::npos) << trace;
    EXPECT_NE(trace.find("command 57 SetOutputVolume III ints=-1,33,-1"), std::string::npos);
    EXPECT_NE(trace.find("notify 76 value=4242"), std::string::npos);
    EXPECT_NE(trace.find("notify 100 master=99 pcm=33 balance=50"), std::string::npos);
}

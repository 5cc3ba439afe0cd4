// The studio extensions through the engine's exports: the voice joins a
// running mix only, and a song is heard from its first sound to its last.
#include "engine_harness.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

using namespace kelvra_test;
using namespace std::chrono_literals;

namespace {

template <typename Table> const Table *extension(const char *name) {
    auto get = reinterpret_cast<kv_get_extension_fn>(
        dlsym(Engine::get().library, KV_GET_EXTENSION_EXPORT));
    return get != nullptr ? static_cast<const Table *>(get(name)) : nullptr;
}

// A 2 s tone with `lead` seconds of silence before it and `tail` after.
std::string paddedTone(const std::string &name, double lead, double tail) {
    const std::string mp3 = Media::get().path(name);
    char command[1024];
    std::snprintf(command, sizeof command,
                  "sox -n -r 44100 -c 2 -b 16 '%s.wav' synth 2 sine 500 vol 0.5 pad %.2f %.2f && "
                  "lame --quiet -b 128 '%s.wav' '%s'",
                  mp3.c_str(), lead, tail, mp3.c_str(), mp3.c_str());
    EXPECT_TRUE(Media::run(command)) << command;
    return mp3;
}

std::vector<int> timecodes(TestPlayer &p) {
    std::vector<int> out;
    for (const Event &e : p.eventsWithCode(KV_NOTIFY_INPUT_TIMECODE))
        out.push_back(e.msg.Data.TimeCode.M * 60 + e.msg.Data.TimeCode.S);
    return out;
}

} // namespace

TEST(KelvraStudio, TheVoiceJoinsARunningMixAndIsHeardInItsTime) {
    const auto *mix = extension<kv_speech_mix_extension>(KV_EXTENSION_SPEECH_MIX);
    ASSERT_NE(mix, nullptr);
    ASSERT_GE(mix->version, KV_SPEECH_MIX_VERSION);
    std::vector<int16_t> voice(22050 / 2);
    for (size_t i = 0; i < voice.size(); ++i)
        voice[i] = static_cast<int16_t>(8000 * std::sin(double(i) * 0.3));
    const auto frames = static_cast<uint32_t>(voice.size());
    EXPECT_EQ(mix->speech_write(voice.data(), 0, 22050), -1);
    {
        // No song has ever played to a device here: the caller speaks itself.
        TestPlayer idle;
        EXPECT_EQ(mix->speech_write(voice.data(), frames, 22050), 1);
    }

    TestPlayer p;
    p.S(KV_CMD_INPUT_OPEN, Media::get().tone("studio-voice-song.mp3", 8));
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitForCode(KV_NOTIFY_INPUT_TIMECODE, 3s));
    ASSERT_EQ(mix->speech_write(voice.data(), frames, 22050), 0);
    const uint32_t pending = mix->speech_pending();
    EXPECT_GT(pending, 400u);
    EXPECT_LE(pending, 500u);
    // Half a second of voice, after the 50 ms the music takes to go down.
    const auto start = std::chrono::steady_clock::now();
    while (mix->speech_pending() > 0 && std::chrono::steady_clock::now() - start < 3s)
        std::this_thread::sleep_for(10ms);
    const auto heard = std::chrono::steady_clock::now() - start;
    EXPECT_GT(heard, 400ms);
    EXPECT_LT(heard, 1500ms);

    ASSERT_EQ(mix->speech_write(voice.data(), frames, 22050), 0);
    mix->speech_clear();
    EXPECT_EQ(mix->speech_pending(), 0u);
}

TEST(KelvraStudio, QuietEndsStartAtTheFirstSoundAndFindTheLast) {
    const auto *ends = extension<kv_quiet_ends_extension>(KV_EXTENSION_QUIET_ENDS);
    ASSERT_NE(ends, nullptr);
    ASSERT_GE(ends->version, KV_QUIET_ENDS_VERSION);
    struct Case {
        std::string name;
        double lead, tail;
        bool on;
        int firstSecond;    // of the time codes heard
        int32_t audibleEnd; // ms, or -1
    } const cases[] = {
        {"studio-dead-air.mp3", 3.0, 5.0, true, 3, 5000},
        {"studio-dead-air.mp3", 3.0, 5.0, false, 0, -1},
        {"studio-short-tail.mp3", 0.0, 1.0, true, 0, 3000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name + (c.on ? " on" : " off"));
        const std::string mp3 = paddedTone(c.name, c.lead, c.tail);
        TestPlayer p;
        EXPECT_EQ(ends->audible_end(p.handle()), -1);
        ASSERT_EQ(ends->set_quiet_ends(p.handle(), c.on ? 1 : 0), 0);
        p.S(KV_CMD_INPUT_OPEN, mp3);
        p.N(KV_CMD_PLAY);
        ASSERT_TRUE(p.waitForCode(KV_NOTIFY_INPUT_TIMECODE, 3s));
        // The encoder spreads the first sound a few milliseconds early.
        EXPECT_NEAR(timecodes(p).front(), c.firstSecond, 1);
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        while (c.audibleEnd >= 0 && ends->audible_end(p.handle()) < 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        const int32_t end = ends->audible_end(p.handle());
        if (c.audibleEnd < 0)
            EXPECT_EQ(end, -1);
        else
            EXPECT_NEAR(end, c.audibleEnd, 30);
        p.N(KV_CMD_INPUT_CLOSE);
        p.sync();
        EXPECT_EQ(ends->audible_end(p.handle()), -1) << "forgotten with the song";
    }
}

TEST(KelvraStudio, AWavFileIsTheWholeDecodeWithQuietEndsOn) {
    const auto *ends = extension<kv_quiet_ends_extension>(KV_EXTENSION_QUIET_ENDS);
    ASSERT_NE(ends, nullptr);
    const std::string mp3 = paddedTone("studio-wav.mp3", 1.0, 3.0);
    const std::string wav = Media::get().path("studio-wav.out.wav");
    TestPlayer p;
    ends->set_quiet_ends(p.handle(), 1);
    p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + wav);
    p.S(KV_CMD_INPUT_OPEN, mp3);
    ASSERT_TRUE(p.playToEnd());
    p.destroy();
    const auto written = readWav(wav);
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(written->samples.size(), size_t{44100} * 6 * 2);
    EXPECT_EQ(ends->audible_end(nullptr), -1);
}

// Player states, time codes, positions and command order, on the silent
// output paced in real time (KELVRA_OUTPUT=null).
#include "engine_harness.h"

#include <cstdio>
#include <thread>

using namespace kelvra_test;
using namespace std::chrono_literals;

namespace {

std::vector<uint8_t> states(const TestPlayer &p) {
    std::vector<uint8_t> out;
    for (const Event &e : p.eventsWithCode(KV_NOTIFY_PLAYER_STATE))
        out.push_back(e.msg.Data.State);
    return out;
}

std::vector<int> timecodeSeconds(const TestPlayer &p) {
    std::vector<int> out;
    for (const Event &e : p.eventsWithCode(KV_NOTIFY_INPUT_TIMECODE))
        out.push_back(e.msg.Data.TimeCode.H * 3600 + e.msg.Data.TimeCode.M * 60 +
                      e.msg.Data.TimeCode.S);
    return out;
}

std::string shortTone() {
    return Media::get().tone("short.mp3", 2.5);
}

} // namespace

TEST(KelvraPlayback, OpenReportsTheStreamOnceAndStaysStopped) {
    TestPlayer p;
    p.S(KV_CMD_INPUT_OPEN, shortTone());
    p.sync();
    ASSERT_EQ(p.eventsWithCode(KV_NOTIFY_STREAM_DURATION).size(), 1u);
    EXPECT_EQ(p.eventsWithCode(KV_NOTIFY_STREAM_DURATION)[0].msg.Data.Duration, 2u);
    const auto name = p.eventsWithCode(KV_NOTIFY_INPUT_NAME);
    ASSERT_EQ(name.size(), 1u);
    EXPECT_EQ(name[0].text1, shortTone());
    const auto params = p.eventsWithCode(KV_NOTIFY_STREAM_PARAMETERS);
    ASSERT_EQ(params.size(), 1u);
    EXPECT_EQ(params[0].msg.Data.Stream_Parameters.Frequency, 44100u);
    EXPECT_EQ(params[0].msg.Data.Stream_Parameters.BitRate, 128);
    EXPECT_EQ(params[0].msg.Data.Stream_Parameters.NB_Channels, 2u);
    ASSERT_EQ(p.eventsWithCode(KV_NOTIFY_STREAM_MIME_TYPE).size(), 1u);
    EXPECT_EQ(p.eventsWithCode(KV_NOTIFY_STREAM_MIME_TYPE)[0].text1, "audio/mpeg");
    const auto output = p.eventsWithCode(KV_NOTIFY_OUTPUT_STATE);
    ASSERT_EQ(output.size(), 1u);
    EXPECT_EQ(output[0].msg.Data.State, 0u) << "the silent output is usable";
    EXPECT_TRUE(states(p).empty()) << "opening posts no player state";
    EXPECT_TRUE(p.eventsWithCode(KV_NOTIFY_INPUT_TIMECODE).empty());
}

TEST(KelvraPlayback, PlaysEachSecondOnceThenEndsAndReplays) {
    TestPlayer p;
    p.openAndWaitForDuration(shortTone());
    p.clearEvents();
    const auto start = std::chrono::steady_clock::now();
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS, 8s));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 2300ms) << "the silent output plays in real time";
    EXPECT_EQ(states(p), (std::vector<uint8_t>{1, 3}));
    EXPECT_EQ(timecodeSeconds(p), (std::vector<int>{0, 1, 2}));
    // The end of stream comes after the last time code.
    EXPECT_EQ(p.events().back().msg.Code, KV_NOTIFY_PLAYER_STATE);
    const auto positions = p.eventsWithCode(KV_NOTIFY_INPUT_POSITION);
    ASSERT_FALSE(positions.empty());
    for (size_t i = 1; i < positions.size(); ++i)
        EXPECT_GE(positions[i].msg.Data.Position.Offset, positions[i - 1].msg.Data.Position.Offset);
    EXPECT_EQ(positions.back().msg.Data.Position.Range, KV_DEFAULT_POSITION_RANGE);
    EXPECT_GE(positions.back().msg.Data.Position.Offset, 395u);

    // Stop at the end of the stream says nothing.
    p.clearEvents();
    p.N(KV_CMD_STOP);
    p.sync();
    EXPECT_TRUE(states(p).empty());

    // Play after the end plays again from the start.
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitForCode(KV_NOTIFY_INPUT_TIMECODE, 2s));
    EXPECT_EQ(timecodeSeconds(p).front(), 0);
    p.N(KV_CMD_STOP);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_STOPPED, 2s));
    p.N(KV_CMD_STOP);
    p.sync();
    EXPECT_EQ(states(p), (std::vector<uint8_t>{1, 0})) << "a second Stop posts nothing";
}

TEST(KelvraPlayback, EndOfStreamThenSeekToStartPlaysAgain) {
    TestPlayer p;
    p.openAndWaitForDuration(Media::get().tone("one.mp3", 1.2));
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS, 5s));
    p.clearEvents();
    p.II(KV_CMD_INPUT_SEEK, 0, 0);
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS, 5s));
    EXPECT_EQ(states(p), (std::vector<uint8_t>{1, 3}));
    EXPECT_EQ(timecodeSeconds(p), (std::vector<int>{0, 1}));
}

TEST(KelvraPlayback, PauseHoldsTimeAndSeekMovesIt) {
    TestPlayer p;
    p.openAndWaitForDuration(shortTone());
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitFor([](const Event &e) {
        return e.msg.Code == KV_NOTIFY_INPUT_TIMECODE && e.msg.Data.TimeCode.S == 1;
    }));
    p.N(KV_CMD_PAUSE);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_PAUSED, 1s));
    p.pump();
    p.clearEvents();
    std::this_thread::sleep_for(1200ms);
    p.sync();
    EXPECT_TRUE(p.eventsWithCode(KV_NOTIFY_INPUT_TIMECODE).empty()) << "no time passes in pause";

    // Seek back to 0.2 s; the position answers on the default scale.
    p.II(KV_CMD_INPUT_SEEK, 32, 400);
    const auto position = p.waitForCode(KV_NOTIFY_INPUT_POSITION, 1s);
    ASSERT_TRUE(position);
    EXPECT_EQ(position->msg.Data.Position.Offset, 32u);
    EXPECT_EQ(position->msg.Data.Position.Range, 400u);
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS, 5s));
    EXPECT_EQ(timecodeSeconds(p), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(states(p), (std::vector<uint8_t>{1, 3}));
}

TEST(KelvraPlayback, SeekIsClampedAndFollowsTheRange) {
    TestPlayer p;
    p.openAndWaitForDuration(shortTone());
    p.I(KV_CMD_SET_INPUT_POSITION_RANGE, 1000);
    const auto range = p.waitForCode(KV_NOTIFY_INPUT_POSITION_RANGE, 1s);
    ASSERT_TRUE(range);
    EXPECT_EQ(range->msg.Data.Range, 1000u);
    p.clearEvents();
    p.II(KV_CMD_INPUT_SEEK, 5000, 1000);
    auto position = p.waitForCode(KV_NOTIFY_INPUT_POSITION, 1s);
    ASSERT_TRUE(position);
    EXPECT_EQ(position->msg.Data.Position.Offset, 1000u);
    EXPECT_EQ(position->msg.Data.Position.Range, 1000u);
    // Seeking to the end and playing ends at once.
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS, 2s));
}

TEST(KelvraPlayback, StopOpenPausePlayTakeEffectInOrder) {
    TestPlayer p;
    p.openAndWaitForDuration(shortTone());
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_PLAYING, 2s));
    p.clearEvents();
    const std::string next = Media::get().tone("next.mp3", 1.5, 44100, 2, 440);
    p.N(KV_CMD_STOP);
    p.S(KV_CMD_INPUT_OPEN, next);
    p.N(KV_CMD_PAUSE);
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_PLAYING, 2s));
    std::vector<int32_t> order;
    for (const Event &e : p.events())
        if (e.msg.Code == KV_NOTIFY_PLAYER_STATE || e.msg.Code == KV_NOTIFY_INPUT_NAME)
            order.push_back(e.msg.Code == KV_NOTIFY_INPUT_NAME ? -1 : e.msg.Data.State);
    EXPECT_EQ(order, (std::vector<int32_t>{0, -1, 2, 1}));
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS, 4s));
    std::vector<int> afterOpen;
    bool opened = false;
    for (const Event &e : p.events()) {
        opened = opened || e.msg.Code == KV_NOTIFY_INPUT_NAME;
        if (opened && e.msg.Code == KV_NOTIFY_INPUT_TIMECODE)
            afterOpen.push_back(e.msg.Data.TimeCode.S);
    }
    EXPECT_EQ(afterOpen, (std::vector<int>{0, 1})) << "time codes restart for the new input";
}

TEST(KelvraPlayback, InputCloseStopsWithoutEndOfStream) {
    TestPlayer p;
    p.openAndWaitForDuration(shortTone());
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_PLAYING, 2s));
    p.N(KV_CMD_INPUT_CLOSE);
    ASSERT_TRUE(p.waitFor([](const Event &e) {
        return e.msg.Code == KV_NOTIFY_ACK && e.msg.Data.Ack == KV_CMD_INPUT_CLOSE;
    }));
    std::this_thread::sleep_for(300ms);
    p.sync();
    EXPECT_EQ(states(p), (std::vector<uint8_t>{1, 0}));
    // With no input, Play is refused with a worded error.
    p.N(KV_CMD_PLAY);
    const auto nack = p.waitForCode(KV_NOTIFY_NACK, 1s);
    ASSERT_TRUE(nack);
    EXPECT_EQ(nack->msg.Data.Nack.Command, KV_CMD_PLAY);
    EXPECT_STRNE(p.engine().error_string(nack->msg.Data.Nack.Code), "");
}

TEST(KelvraPlayback, ProbeOpenPausePlayPauseStopIsQuietAndQuick) {
    // How the song list measures a playing time: duration first, then away.
    TestPlayer p;
    // Made before the clock starts: only the engine's answer is timed.
    const std::string song = Media::get().tone("long.mp3", 30.0);
    const auto start = std::chrono::steady_clock::now();
    p.S(KV_CMD_INPUT_OPEN, song);
    p.N(KV_CMD_PAUSE);
    p.N(KV_CMD_PLAY);
    const auto duration = p.waitForCode(KV_NOTIFY_STREAM_DURATION, 2s);
    ASSERT_TRUE(duration);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(duration->msg.Data.Duration, 30u);
    p.N(KV_CMD_PAUSE);
    p.N(KV_CMD_STOP);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_STOPPED, 2s));
    EXPECT_EQ(states(p), (std::vector<uint8_t>{2, 1, 2, 0}));
}

TEST(KelvraPlayback, PitchChangesThePlayingSpeed) {
    TestPlayer p;
    p.SI(KV_CMD_SET_PLAYER_ENVIRONMENT_INTEGER, "OUTPUT.DIRECTSOUND.PITCH", 2000);
    p.openAndWaitForDuration(shortTone());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(p.playToEnd(5s));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // 2.5 s of song at twice the speed.
    EXPECT_LT(elapsed, 1900ms);
    EXPECT_GE(elapsed, 1000ms);
    EXPECT_EQ(timecodeSeconds(p), (std::vector<int>{0, 1, 2})) << "time codes stay song time";
}

TEST(KelvraPlayback, OutputNameChangesAtTheNextOpen) {
    TestPlayer p;
    p.S(KV_CMD_SET_OUTPUT_NAME, "/dev/dsound/0");
    p.openAndWaitForDuration(shortTone());
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_PLAYING, 2s));
    const std::string wav = Media::get().path("next-open.wav");
    std::remove(wav.c_str());
    p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + wav);
    const auto name = p.waitForCode(KV_NOTIFY_OUTPUT_NAME, 1s);
    ASSERT_TRUE(name);
    std::this_thread::sleep_for(200ms);
    p.sync();
    EXPECT_FALSE(readWav(wav).has_value()) << "the playing song keeps its output";
    EXPECT_TRUE(p.eventsWithCode(KV_NOTIFY_PLAYER_STATE).size() == 1u) << "still playing";
    p.S(KV_CMD_INPUT_OPEN, Media::get().tone("one.mp3", 1.2));
    ASSERT_TRUE(p.playToEnd(5s));
    const auto written = readWav(wav);
    ASSERT_TRUE(written);
    EXPECT_GT(written->samples.size(), 44100u * 2);
}

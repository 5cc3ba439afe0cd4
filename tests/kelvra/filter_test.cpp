// The output filter chain and the environment values its modules read.
#include "engine_harness.h"

#include <cmath>

using namespace kelvra_test;
using namespace std::chrono_literals;

namespace {

constexpr const char *kGain = "gain_filter_register@kv_test_gain.dll";

double renderedRms(TestPlayer &p, const std::string &mp3, const std::string &name) {
    const std::string out = Media::get().path(name);
    p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + out);
    p.S(KV_CMD_INPUT_OPEN, mp3);
    EXPECT_TRUE(p.playToEnd());
    const auto w = readWav(out);
    EXPECT_TRUE(w);
    return w ? rms(w->samples.data(), w->samples.size()) : 0.0;
}

} // namespace

TEST(KelvraFilter, AFilterInTheChainChangesWhatReachesTheOutput) {
    const std::string mp3 = Media::get().tone("filter.mp3", 1.5);
    TestPlayer p;
    const double plain = renderedRms(p, mp3, "filter-plain.wav");
    ASSERT_GT(plain, 1000.0);

    p.SI(KV_CMD_OUTPUT_ADD_FILTER, kGain, -1);
    ASSERT_TRUE(p.waitFor([](const Event &e) {
        return e.msg.Code == KV_NOTIFY_ACK && e.msg.Data.Ack == KV_CMD_OUTPUT_ADD_FILTER;
    }));
    EXPECT_NEAR(renderedRms(p, mp3, "filter-half.wav") / plain, 0.5, 0.01);

    // The module reads the player's environment when it starts...
    p.SI(KV_CMD_SET_PLAYER_ENVIRONMENT_INTEGER, "TEST.GAIN.PERCENT", 25);
    EXPECT_NEAR(renderedRms(p, mp3, "filter-quarter.wav") / plain, 0.25, 0.01);

    // ...and its listener hears later changes and the unset.
    p.S(KV_CMD_UNSET_PLAYER_ENVIRONMENT, "TEST.GAIN.PERCENT");
    EXPECT_NEAR(renderedRms(p, mp3, "filter-default.wav") / plain, 0.5, 0.01);

    p.N(KV_CMD_OUTPUT_FILTER_LIST);
    const auto listed = p.waitForCode(KV_NOTIFY_OUTPUT_FILTER_INFO, 2s);
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->text1, kGain);
    const uint16_t id = listed->msg.Data.Filter_Info.ID;
    EXPECT_NE(id, 0u);

    p.SI(KV_CMD_OUTPUT_REMOVE_FILTER, "", id);
    p.sync();
    EXPECT_NEAR(renderedRms(p, mp3, "filter-removed.wav") / plain, 1.0, 0.01);
    p.clearEvents();
    p.N(KV_CMD_OUTPUT_FILTER_LIST);
    p.sync();
    EXPECT_TRUE(p.eventsWithCode(KV_NOTIFY_OUTPUT_FILTER_INFO).empty());
}

TEST(KelvraFilter, ListenersFollowValuesSetWhilePlaying) {
    const std::string mp3 = Media::get().tone("filter-live.mp3", 20.0);
    TestPlayer p;
    p.SI(KV_CMD_OUTPUT_ADD_FILTER, kGain, 0);
    p.SI(KV_CMD_SET_PLAYER_ENVIRONMENT_INTEGER, "TEST.GAIN.PERCENT", 100);
    const std::string out = Media::get().path("filter-live.wav");
    p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + out);
    p.S(KV_CMD_INPUT_OPEN, mp3);
    p.sync();
    p.N(KV_CMD_PLAY);
    p.SI(KV_CMD_SET_PLAYER_ENVIRONMENT_INTEGER, "TEST.GAIN.PERCENT", 10);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS, 10s));
    const auto w = readWav(out);
    ASSERT_TRUE(w);
    const size_t tail = 44100 * 2;
    const double end = rms(w->samples.data() + w->samples.size() - tail, tail);
    EXPECT_NEAR(end / (16384.0 / std::sqrt(2.0)), 0.1, 0.01);
}

TEST(KelvraFilter, UnknownModulesAreRefusedWithAText) {
    TestPlayer p;
    p.SI(KV_CMD_OUTPUT_ADD_FILTER, "nothing_register@no_such_library.dll", -1);
    auto nack = p.waitForCode(KV_NOTIFY_NACK);
    ASSERT_TRUE(nack);
    EXPECT_EQ(nack->msg.Data.Nack.Command, KV_CMD_OUTPUT_ADD_FILTER);
    EXPECT_STREQ(p.engine().error_string(nack->msg.Data.Nack.Code), "Module library not found");

    p.clearEvents();
    p.SI(KV_CMD_OUTPUT_ADD_FILTER, "missing_function@kv_test_gain.dll", -1);
    nack = p.waitForCode(KV_NOTIFY_NACK);
    ASSERT_TRUE(nack);
    EXPECT_STREQ(p.engine().error_string(nack->msg.Data.Nack.Code),
                 "Module register function not found");

    // A device module is no filter.
    p.clearEvents();
    p.SI(KV_CMD_OUTPUT_ADD_FILTER, "dsound_output_module_register@kv_dsound_output.dll", -1);
    nack = p.waitForCode(KV_NOTIFY_NACK);
    ASSERT_TRUE(nack);
    EXPECT_EQ(nack->msg.Data.Nack.Command, KV_CMD_OUTPUT_ADD_FILTER);

    p.clearEvents();
    p.SI(KV_CMD_OUTPUT_REMOVE_FILTER, kGain, 77);
    nack = p.waitForCode(KV_NOTIFY_NACK);
    ASSERT_TRUE(nack);
    EXPECT_EQ(nack->msg.Data.Nack.Command, KV_CMD_OUTPUT_REMOVE_FILTER);
}

TEST(KelvraFilter, EnvironmentValuesAreStoredPerPlayer) {
    TestPlayer a;
    TestPlayer b;
    a.SI(KV_CMD_SET_PLAYER_ENVIRONMENT_INTEGER, "X.VALUE", -42);
    a.SS(KV_CMD_SET_PLAYER_ENVIRONMENT_STRING, "X.TEXT", "hello");
    a.S(KV_CMD_GET_PLAYER_ENVIRONMENT_INTEGER, "X.VALUE");
    a.S(KV_CMD_GET_PLAYER_ENVIRONMENT_STRING, "X.TEXT");
    a.sync();
    const auto integer = a.eventsWithCode(KV_NOTIFY_PLAYER_ENVIRONMENT_INTEGER);
    ASSERT_EQ(integer.size(), 1u);
    EXPECT_EQ(integer[0].text1, "X.VALUE");
    EXPECT_EQ(integer[0].msg.Data.Environment_Info.Value.Integer_Value, -42);
    const auto text = a.eventsWithCode(KV_NOTIFY_PLAYER_ENVIRONMENT_STRING);
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(text[0].text2, "hello");

    b.S(KV_CMD_GET_PLAYER_ENVIRONMENT_INTEGER, "X.VALUE");
    const auto nack = b.waitForCode(KV_NOTIFY_NACK);
    ASSERT_TRUE(nack);
    EXPECT_EQ(nack->msg.Data.Nack.Command, KV_CMD_GET_PLAYER_ENVIRONMENT_INTEGER);
}

TEST(KelvraFilter, AModuleThatForgetsItsListenerIsNotCalledAfterItsEnd) {
    const std::string mp3 = Media::get().tone("filter.mp3", 1.5);
    TestPlayer p;
    p.SI(KV_CMD_OUTPUT_ADD_FILTER, "careless_gain_filter_register@kv_test_gain.dll", -1);
    renderedRms(p, mp3, "careless-1.wav");
    // The next open rebuilds the chain and deletes the old instance.
    p.SI(KV_CMD_SET_PLAYER_ENVIRONMENT_INTEGER, "TEST.GAIN.PERCENT", 20);
    const std::string out = Media::get().path("careless-2.wav");
    p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + out);
    p.S(KV_CMD_INPUT_OPEN, mp3);
    p.sync();
    p.clearEvents();
    p.SI(KV_CMD_SET_PLAYER_ENVIRONMENT_INTEGER, "TEST.GAIN.PERCENT", 30);
    p.sync();
    EXPECT_TRUE(p.eventsWithCode(KV_NOTIFY_NACK).empty());
    ASSERT_TRUE(p.playToEnd());
    const auto w = readWav(out);
    ASSERT_TRUE(w);
    EXPECT_GT(rms(w->samples.data(), w->samples.size()), 0.0);
}

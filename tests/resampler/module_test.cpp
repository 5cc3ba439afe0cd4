// Registration, information, settings, listener and control of the filter, as
// the engine sees them through the descriptor.

#include "harness.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace resampler_test {
namespace {

std::vector<int16_t> ramp(std::size_t count) {
    std::vector<int16_t> v(count);
    for (std::size_t i = 0; i < count; ++i) {
        v[i] = static_cast<int16_t>((i * 37) % 2000);
    }
    return v;
}

TEST(ResamplerModule, DescriptorCarriesVersionAndOnlyFilterEntries) {
    const auto &d = descriptor();
    EXPECT_EQ(d.interface_version, 0x00040400u);
    EXPECT_NE(d.get_information, nullptr);
    EXPECT_NE(d.new_instance, nullptr);
    EXPECT_NE(d.delete_instance, nullptr);
    EXPECT_NE(d.write, nullptr);
    EXPECT_NE(d.control, nullptr);
    EXPECT_EQ(d.open, nullptr);
    EXPECT_EQ(d.close, nullptr);
    EXPECT_EQ(d.get_buffer, nullptr);
    for (void *reserved : d.reserved) {
        EXPECT_EQ(reserved, nullptr);
    }
    // Two names, one function.
    EXPECT_EQ(register_symbol("output_filter_module_register"),
              register_symbol("resampling_output_filter_module_register"));
}

TEST(ResamplerModule, InformationIsFilledOnlyWhenAsked) {
    kv_module_information info;
    std::memset(&info, 0x5A, sizeof info);
    const auto untouched = info;
    EXPECT_EQ(descriptor().get_information(&info, 0), 0);
    EXPECT_EQ(std::memcmp(&info, &untouched, sizeof info), 0);

    EXPECT_EQ(descriptor().get_information(&info, 1), 0);
    const auto *bytes = reinterpret_cast<const char *>(&info);
    uint32_t word = 1;
    std::memcpy(&word, bytes, 4);
    EXPECT_EQ(word, 0u);
    EXPECT_STREQ(bytes + 4, "Resampling Output Filter");
    EXPECT_STREQ(bytes + 259, "Version 1.0");
}

TEST(ResamplerModule, WithoutSettingsConvertsTo48000InMode0) {
    for (bool with_host : {false, true}) {
        StandInHost host;
        Filter filter(with_host ? &host : nullptr);
        ASSERT_EQ(filter.create_result, 0);
        EXPECT_EQ(filter.format(44100), 48000u);
        EXPECT_EQ(filter.format(48000), 48000u);
        write_in_pieces(filter, ramp(20000), 4410, 2, 44100);
        ASSERT_FALSE(filter.next.deliveries.empty());
        EXPECT_EQ(filter.next.deliveries[0].rate, 48000u);
        EXPECT_FALSE(filter.next.deliveries[0].passed_through);
    }
}

TEST(ResamplerModule, SettingsAreReadAtCreation) {
    StandInHost host;
    host.values["OUTPUT.RESAMPLER.RATE"] = 32000;
    host.values["OUTPUT.RESAMPLER.MODE"] = 1;
    Filter filter(&host);
    // Mode 1 announces the input rate downstream, in formats and writes alike.
    EXPECT_EQ(filter.format(44100), 44100u);
    write_in_pieces(filter, ramp(20000), 4410, 2, 44100);
    ASSERT_FALSE(filter.next.deliveries.empty());
    for (const auto &d : filter.next.deliveries) {
        EXPECT_EQ(d.rate, 44100u);
    }
    // 32000 is now the rate that passes through.
    filter.next.clear();
    ASSERT_EQ(filter.write(ramp(100), 2, 32000), 0);
    ASSERT_EQ(filter.next.deliveries.size(), 1u);
    EXPECT_TRUE(filter.next.deliveries[0].passed_through);
}

TEST(ResamplerModule, ListenerFollowsTheRateAndNullRestoresTheDefault) {
    StandInHost host;
    auto filter = std::make_unique<Filter>(&host);
    ASSERT_EQ(host.listeners.size(), 1u);
    EXPECT_EQ(host.listeners[0].name, "OUTPUT.RESAMPLER.RATE");

    host.notify("OUTPUT.RESAMPLER.RATE", 44100);
    ASSERT_EQ(filter->write(ramp(64), 2, 44100), 0);
    ASSERT_EQ(filter->next.deliveries.size(), 1u);
    EXPECT_TRUE(filter->next.deliveries[0].passed_through);

    host.notify("OUTPUT.RESAMPLER.RATE", std::nullopt);
    filter->next.clear();
    ASSERT_EQ(filter->write(ramp(64), 2, 48000), 0);
    ASSERT_EQ(filter->next.deliveries.size(), 1u);
    EXPECT_TRUE(filter->next.deliveries[0].passed_through);

    const int32_t handle = host.listeners[0].handle;
    filter.reset();
    EXPECT_EQ(host.removed, std::vector<int32_t>{handle});
}

TEST(ResamplerModule, RefusedListenerLeavesAWorkingInstance) {
    StandInHost host;
    host.refuse_listeners = true;
    {
        Filter filter(&host);
        ASSERT_EQ(filter.create_result, 0);
        write_in_pieces(filter, ramp(20000), 4410, 2, 44100);
        EXPECT_FALSE(filter.next.deliveries.empty());
    }
    EXPECT_TRUE(host.removed.empty());
}

TEST(ResamplerModule, FormatAtTheTargetLeavesTheFilterInactive) {
    Filter filter;
    EXPECT_EQ(filter.format(48000), 48000u);
    EXPECT_EQ(filter.control(KV_CONTROL_RESET | KV_CONTROL_DRAIN), 0);
    EXPECT_TRUE(filter.next.deliveries.empty());
    // Every control call goes on to the next stage with its flags.
    EXPECT_EQ(filter.next.control_flags,
              (std::vector<uint32_t>{KV_CONTROL_FORMAT, KV_CONTROL_RESET | KV_CONTROL_DRAIN}));
    EXPECT_EQ(filter.next.control_rates[0], 48000u);
}

TEST(ResamplerModule, ControlReturnsTheNextStagesResult) {
    Filter filter;
    filter.next.control_result = 7;
    EXPECT_EQ(filter.control(KV_CONTROL_RESET), 7);
    filter.format(44100);
    EXPECT_EQ(filter.last_control_result(), 7);
    EXPECT_EQ(filter.next.control_rates.back(), 48000u);
}

TEST(ResamplerModule, WritesAtTheTargetPassThroughUnchangedAlsoMidStream) {
    Filter filter;
    filter.next.write_result = 3;
    const auto samples = ramp(1000);
    EXPECT_EQ(filter.write(samples, 2, 48000, 16), 3);
    ASSERT_EQ(filter.next.deliveries.size(), 1u);
    const Delivery d = filter.next.deliveries[0];
    EXPECT_TRUE(d.passed_through);
    EXPECT_EQ(d.size_bytes, 2000u);
    EXPECT_EQ(d.sample_width, 16u);
    EXPECT_EQ(d.channels, 2u);
    EXPECT_EQ(d.rate, 48000u);

    filter.next.write_result = 0;
    filter.format(44100);
    write_in_pieces(filter, ramp(30000), 4410, 2, 44100);
    filter.next.clear();
    EXPECT_EQ(filter.write(samples, 1, 48000), 0);
    ASSERT_EQ(filter.next.deliveries.size(), 1u);
    EXPECT_TRUE(filter.next.deliveries[0].passed_through);
    EXPECT_EQ(filter.next.samples, samples);
    // Back to inactive: a drain has nothing to deliver.
    filter.next.clear();
    filter.control(KV_CONTROL_DRAIN);
    EXPECT_TRUE(filter.next.deliveries.empty());
}

TEST(ResamplerModule, RatesMustBeAtLeast8000AndMultiplesOf5) {
    Filter filter;
    // One write fills the block sized for it; the second completes it.
    EXPECT_EQ(filter.write(ramp(20000), 1, 11025), 0);
    EXPECT_EQ(filter.write(ramp(20000), 1, 11025), 0);
    EXPECT_FALSE(filter.next.deliveries.empty());
    for (uint32_t rate : {8001u, 7995u, 0u, 44101u}) {
        Filter refused;
        EXPECT_EQ(refused.write(ramp(20000), 2, rate), -1) << rate;
        EXPECT_TRUE(refused.next.deliveries.empty());
    }
    StandInHost host;
    host.values["OUTPUT.RESAMPLER.RATE"] = 48001;
    Filter bad_target(&host);
    EXPECT_EQ(bad_target.write(ramp(20000), 2, 44100), -1);
    EXPECT_TRUE(bad_target.next.deliveries.empty());
}

TEST(ResamplerModule, ChannelCountsOtherThanOneOrTwoAreRefused) {
    Filter filter;
    for (uint32_t channels : {0u, 3u, 6u}) {
        EXPECT_EQ(filter.write(ramp(30000), channels, 44100), -1) << channels;
    }
    EXPECT_TRUE(filter.next.deliveries.empty());
    // The refusals left nothing behind: a stereo stream starts cleanly.
    write_in_pieces(filter, ramp(30000), 4410, 2, 44100);
    EXPECT_FALSE(filter.next.deliveries.empty());
}

TEST(ResamplerModule, MissingBufferDownstreamIsOutOfMemory) {
    Filter filter;
    filter.next.refuse_buffers = true;
    int32_t last = 0;
    const auto samples = ramp(4410);
    for (int i = 0; i < 3; ++i) {
        last = filter.write(samples, 2, 44100);
    }
    EXPECT_EQ(last, -100);
    EXPECT_TRUE(filter.next.deliveries.empty());
    // Once buffers can be had again, the stream continues.
    filter.next.refuse_buffers = false;
    EXPECT_EQ(filter.write(samples, 2, 44100), 0);
    EXPECT_FALSE(filter.next.deliveries.empty());
}

} // namespace
} // namespace resampler_test

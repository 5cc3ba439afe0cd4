// The one owner of SDL's audio subsystem, on SDL's device-free driver.
#include "sound_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace sound = velbrin::platform::sound;

// SDL keeps a few allocations of its own and of the bus library until the
// process ends.
extern "C" const char *__lsan_default_suppressions();
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libSDL2-2.0.so\nleak:libdbus-1.so\n";
}

namespace {

SDL_AudioSpec stereo() {
    SDL_AudioSpec want{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 512;
    return want;
}

} // namespace

// Speech, CD and the engine's output start and stop the subsystem from their
// own threads; none of them may find it stopped under a device it holds.
TEST(SoundDevice, ConcurrentStartsAndStopsKeepTheSubsystemForEveryHolder) {
    ASSERT_EQ(setenv("SDL_AUDIODRIVER", "dummy", 1), 0);
    std::atomic<int> failures{0};
    std::atomic<int> played{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 60; ++i) {
                sound::Lease lease;
                if (!lease.held() || !sound::started()) {
                    ++failures;
                    continue;
                }
                // The device-free driver has one device: a holder may find
                // it taken, which is no fault of the owner.
                const SDL_AudioDeviceID device = sound::openOutput(stereo(), nullptr);
                const int16_t silence[256] = {};
                if (device != 0 && SDL_QueueAudio(device, silence, sizeof silence) == 0) {
                    ++played;
                } else if (device != 0 ||
                           std::string(SDL_GetError()) != "Audio device already open") {
                    ++failures;
                }
                sound::closeOutput(device);
            }
        });
    }
    for (auto &t : threads) {
        t.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_GT(played.load(), 0);
    EXPECT_FALSE(sound::started());
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
}

// A start that fails holds nothing, so a later start chooses a driver again.
TEST(SoundDevice, AFailedStartHoldsNoReference) {
    ASSERT_EQ(setenv("SDL_AUDIODRIVER", "no-such-driver", 1), 0);
    EXPECT_FALSE(sound::acquire());
    EXPECT_FALSE(sound::started());
    ASSERT_EQ(setenv("SDL_AUDIODRIVER", "dummy", 1), 0);
    {
        sound::Lease lease;
        EXPECT_TRUE(lease.held());
        EXPECT_TRUE(sound::started());
    }
    EXPECT_FALSE(sound::started());
}

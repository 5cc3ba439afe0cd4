// The program reaches the sound device owner by loading its library; the
// engine's sound-card module links the same library. One copy must serve both.
#include "sound_device.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>

namespace sound = velbrin::platform::sound;

extern "C" const char *__lsan_default_suppressions();
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libSDL2-2.0.so\nleak:libdbus-1.so\n";
}

TEST(SoundDeviceClient, TheProgramAndTheEngineModuleShareOneOwner) {
    ASSERT_EQ(setenv("SDL_AUDIODRIVER", "dummy", 1), 0);
    sound::Lease lease;
    ASSERT_TRUE(lease.held());
    void *module = dlopen(VELBRIN_SOUND_CARD_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();

    int copies = 0;
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *count) {
            const char *name =
                info->dlpi_name != nullptr ? std::strrchr(info->dlpi_name, '/') : nullptr;
            if (name != nullptr && std::strcmp(name, "/libvelbrin_sound_device.so") == 0) {
                ++*static_cast<int *>(count);
            }
            return 0;
        },
        &copies);
    EXPECT_EQ(copies, 1);
    void *owner = dlopen("libvelbrin_sound_device.so", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(owner, nullptr);
    using Get = const velbrin_sound_device_table *(*)();
    const auto get = reinterpret_cast<Get>(dlsym(owner, "velbrin_sound_device_table_get"));
    ASSERT_NE(get, nullptr);
    EXPECT_TRUE(get()->started()) << "the module's owner holds the program's reference";
    dlclose(owner);
    dlclose(module);
}

#include "sound_device.h"

#include <dlfcn.h>

#include <mutex>

namespace velbrin::platform::sound {

namespace {
std::mutex audioMutex;
int references = 0; // guarded by audioMutex

void quietAlsaMessage(const char *, int, const char *, int, const char *, ...) {}

// Without a sound server SDL falls back to ALSA, whose library prints every
// failed open to stderr; a lost device tried twice a second would flood the
// terminal. The program reports a lost output itself.
void quietAlsa() {
    using Handler = void (*)(const char *, int, const char *, int, const char *, ...);
    void *alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (alsa == nullptr) {
        return;
    }
    using SetHandler = int (*)(Handler);
    if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"))) {
        set(&quietAlsaMessage);
    }
    // Kept loaded, so the handler stays in force for SDL's own use of it.
}
} // namespace

bool acquire() {
    std::lock_guard lock(audioMutex);
    static std::once_flag quieted;
    std::call_once(quieted, quietAlsa);
    if (references == 0) {
        // The sound library would otherwise take SIGINT and SIGTERM for its
        // own event queue, which nothing reads, and the program could no
        // longer be ended.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            return false;
        }
    }
    ++references;
    return true;
}

void release() {
    std::lock_guard lock(audioMutex);
    if (references > 0 && --references == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

bool started() {
    std::lock_guard lock(audioMutex);
    return references > 0 && SDL_WasInit(SDL_INIT_AUDIO) != 0;
}

SDL_AudioDeviceID openOutput(const SDL_AudioSpec &want, SDL_AudioSpec *have) {
    std::lock_guard lock(audioMutex);
    if (references == 0) {
        SDL_SetError("The sound output is not started");
        return 0;
    }
    SDL_AudioSpec ignored{};
    return SDL_OpenAudioDevice(nullptr, 0, &want, have != nullptr ? have : &ignored, 0);
}

void closeOutput(SDL_AudioDeviceID device) {
    if (device == 0) {
        return;
    }
    std::lock_guard lock(audioMutex);
    SDL_CloseAudioDevice(device);
}

} // namespace velbrin::platform::sound

extern "C" const velbrin_sound_device_table *velbrin_sound_device_table_get() {
    namespace sound = velbrin::platform::sound;
    static const velbrin_sound_device_table table{
        &sound::acquire, &sound::release, &sound::started,
        [](const SDL_AudioSpec *want, SDL_AudioSpec *have) {
            return want != nullptr ? sound::openOutput(*want, have) : 0;
        },
        &sound::closeOutput};
    return &table;
}

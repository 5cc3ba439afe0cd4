#include "sound_device.h"

#include <mutex>

namespace velbrin::platform::sound {

namespace {
std::mutex audioMutex;
int references = 0; // guarded by audioMutex
} // namespace

bool acquire() {
    std::lock_guard lock(audioMutex);
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

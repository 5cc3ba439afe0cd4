#pragma once

// The one owner, process-wide, of SDL's audio subsystem. SDL starts and stops
// the subsystem, and opens and closes devices, without a lock of its own, and
// three parts of the process use it from their own threads: the engine's
// sound-card module (a library the engine loads), the speech voice and the CD
// player. They all go through these functions, which live in a shared library
// of their own, libvelbrin_sound_device.so, so that every binary of the
// process reaches the same lock and the same count. The sound-card module
// links it; the program loads it at run time from where it loads the engine
// (sound_device_client.cpp), so the program itself needs no library path, and
// the dynamic loader, which loads a library once per process, hands both the
// same copy.
//
// Locking: one mutex inside the library guards the reference count and every
// call of SDL_InitSubSystem, SDL_QuitSubSystem, SDL_OpenAudioDevice and
// SDL_CloseAudioDevice, and nothing else is called under it. Closing a device
// waits for its audio callback to return, so a caller never closes while it
// holds a lock its callback takes (the callbacks never take this one). What
// SDL guards itself (queueing, pausing, device status) is called without it.

#include <SDL2/SDL.h>

#if defined(__GNUC__)
#define VELBRIN_SOUND_API __attribute__((visibility("default")))
#else
#define VELBRIN_SOUND_API
#endif

// What the program's loader looks up in the library: the functions below.
extern "C" {
struct velbrin_sound_device_table {
    bool (*acquire)();
    void (*release)();
    bool (*started)();
    SDL_AudioDeviceID (*openOutput)(const SDL_AudioSpec *want, SDL_AudioSpec *have);
    void (*closeOutput)(SDL_AudioDeviceID device);
};
VELBRIN_SOUND_API const velbrin_sound_device_table *velbrin_sound_device_table_get();
}

namespace velbrin::platform::sound {

// Takes one reference on the audio subsystem, starting it for the first.
// False when it cannot start (SDL_GetError() says why); then no reference is
// held.
VELBRIN_SOUND_API bool acquire();
// Gives one reference back; the last one stops the subsystem, so the next
// start chooses its sound driver afresh (a sound server started since is
// found).
VELBRIN_SOUND_API void release();
// Whether the subsystem is started (for tests).
VELBRIN_SOUND_API bool started();

// Opens the default output device, started paused; 0 when it cannot be opened
// (SDL_GetError() says why). The caller holds a reference.
VELBRIN_SOUND_API SDL_AudioDeviceID openOutput(const SDL_AudioSpec &want, SDL_AudioSpec *have);
VELBRIN_SOUND_API void closeOutput(SDL_AudioDeviceID device);

// One reference for the lifetime of an object.
class Lease {
public:
    Lease() : held_(acquire()) {}
    ~Lease() {
        if (held_) {
            release();
        }
    }
    Lease(const Lease &) = delete;
    Lease &operator=(const Lease &) = delete;
    bool held() const { return held_; }

private:
    bool held_;
};

} // namespace velbrin::platform::sound

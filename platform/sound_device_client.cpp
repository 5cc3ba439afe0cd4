// The program's way to the sound device owner: the owner's library, loaded
// at run time from where the engine is found, so that the program and the
// engine's sound-card module share its one copy.
#include "library_loader.h"
#include "sound_device.h"

namespace velbrin::platform::sound {

namespace {

// Loaded once and kept for the life of the process, as the engine's module
// may hold it too; null when the library is missing.
const velbrin_sound_device_table *owner() {
    static const velbrin_sound_device_table *const table = [] {
        static const std::unique_ptr<DynamicLibrary> library =
            DynamicLibrary::open(QStringLiteral("velbrin_sound_device.dll"));
        using Get = const velbrin_sound_device_table *(*)();
        const auto get =
            library ? reinterpret_cast<Get>(library->symbol("velbrin_sound_device_table_get"))
                    : nullptr;
        return get != nullptr ? get() : nullptr;
    }();
    return table;
}

} // namespace

bool acquire() {
    if (owner() == nullptr) {
        SDL_SetError("The sound device library libvelbrin_sound_device.so is missing");
        return false;
    }
    return owner()->acquire();
}

void release() {
    if (owner() != nullptr) {
        owner()->release();
    }
}

bool started() {
    return owner() != nullptr && owner()->started();
}

SDL_AudioDeviceID openOutput(const SDL_AudioSpec &want, SDL_AudioSpec *have) {
    return owner() != nullptr ? owner()->openOutput(&want, have) : 0;
}

void closeOutput(SDL_AudioDeviceID device) {
    if (owner() != nullptr) {
        owner()->closeOutput(device);
    }
}

} // namespace velbrin::platform::sound

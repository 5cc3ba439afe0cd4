// Output module for the sound card, through SDL2 (which talks to PulseAudio
// or PipeWire directly and falls back to ALSA). Output names:
// "/dev/dsound/<n>" and "/dev/wave/<n>", each opened as a stream of its own on
// the default device. The environment integer "OUTPUT.DIRECTSOUND.WINDOW" is
// accepted and has no use here; the engine applies "OUTPUT.DIRECTSOUND.PITCH"
// itself before audio reaches this module.
//
// A device that SDL reports stopped (its sound server went away) or that
// cannot be opened is answered with KV_MODULE_DEVICE_LOST, and the engine
// reopens it through the format control. SDL's audio subsystem and its devices
// are started and opened through the process's one sound device owner.
//
// Locking: each instance's `mutex` guards its ring buffer; write() (the
// engine's mixer thread) and SDL's audio callback both take it. write() waits
// on `drained` while the ring holds more than the target latency. Devices are
// closed without it, as closing waits for the callback.
#include "kelvra_interface.h"
#include "sound_device.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

// SDL's own buffer, which is also what it asks the sound server to hold: a
// stream whose server-side buffer empties is filled with silence there and,
// once it has run dry, waits for a whole buffer before it plays again. 46 ms
// rides out the scheduling delays of a busy machine; 12 ms did not (audible
// drop-outs mid-song and at the hand-over between two songs).
constexpr Uint16 kDeviceFrames = 2048;
// Queued here beyond one SDL buffer, so each callback finds a whole buffer
// although the engine's mixer runs late now and then.
constexpr double kMarginSeconds = 0.020;
// How often a waiting write looks whether the device is still there.
constexpr auto kStatusPoll = std::chrono::milliseconds(100);

namespace sound = velbrin::platform::sound;

struct SoundCard {
    std::string name;
    SDL_AudioDeviceID device = 0;
    bool subsystem = false;
    uint32_t rate = 44100;
    uint32_t channels = 2;
    size_t target = 0; // samples queued before write() waits

    std::mutex mutex;
    std::condition_variable drained;
    std::vector<int16_t> ring;
    size_t read = 0;
    size_t fill = 0; // samples
    uint64_t callbacks = 0;
    bool stalled = false;
    uint64_t stalledAt = 0;
};

void callback(void *userdata, Uint8 *stream, int length) {
    auto &s = *static_cast<SoundCard *>(userdata);
    auto *out = reinterpret_cast<int16_t *>(stream);
    size_t want = static_cast<size_t>(length) / sizeof(int16_t);
    {
        std::lock_guard lock(s.mutex);
        ++s.callbacks;
        while (want > 0 && s.fill > 0) {
            const size_t n = std::min({want, s.fill, s.ring.size() - s.read});
            std::memcpy(out, s.ring.data() + s.read, n * sizeof(int16_t));
            out += n;
            want -= n;
            s.read = (s.read + n) % s.ring.size();
            s.fill -= n;
        }
    }
    // An empty ring plays silence rather than stale audio.
    if (want > 0)
        std::memset(out, 0, want * sizeof(int16_t));
    s.drained.notify_all();
}

void closeDevice(SoundCard &s) {
    sound::closeOutput(s.device);
    s.device = 0;
    if (s.subsystem)
        sound::release();
    s.subsystem = false;
}

// SDL stops a device whose server or hardware went away and never starts it
// again; only a new device plays.
bool deviceGone(const SoundCard &s) {
    return s.device == 0 || SDL_GetAudioDeviceStatus(s.device) == SDL_AUDIO_STOPPED;
}

int32_t getInformation(kv_module_information *info, uint32_t flags) {
    if ((flags & KV_MODULE_INFO_FILL) != 0 && info != nullptr) {
        info->flags = 0;
        std::strncpy(info->name, "Sound Card Output", sizeof info->name - 1);
        std::strncpy(info->description, "The system's default sound device (SDL2)",
                     sizeof info->description - 1);
    }
    return KV_MODULE_OK;
}

int32_t newInstance(void **instance, const void *, kv_host_interface *) {
    if (instance == nullptr)
        return KV_MODULE_UNSUPPORTED;
    auto *state = new (std::nothrow) SoundCard;
    if (state == nullptr)
        return KV_MODULE_OUT_OF_MEMORY;
    *instance = state;
    return KV_MODULE_OK;
}

int32_t closeOutput(void *instance) {
    closeDevice(*static_cast<SoundCard *>(instance));
    return KV_MODULE_OK;
}

int32_t deleteInstance(void *instance) {
    closeOutput(instance);
    delete static_cast<SoundCard *>(instance);
    return KV_MODULE_OK;
}

int32_t openOutput(void *instance, const char *name) {
    if (name == nullptr)
        return KV_MODULE_UNSUPPORTED;
    const std::string n = name;
    if (n.rfind("/dev/dsound/", 0) != 0 && n.rfind("/dev/wave/", 0) != 0)
        return KV_MODULE_UNSUPPORTED;
    static_cast<SoundCard *>(instance)->name = n;
    return KV_MODULE_OK;
}

// Opens the device for the announced format; SDL converts if the device
// wants another. The subsystem's reference is given back and taken again, so
// when nothing else holds it the sound driver is chosen afresh and a sound
// server that started after the first try is found.
int32_t openDevice(SoundCard &s, uint32_t rate, uint32_t channels) {
    closeDevice(s);
    if (!sound::acquire())
        return KV_MODULE_DEVICE_LOST;
    s.subsystem = true;
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(rate);
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(channels);
    want.samples = kDeviceFrames;
    want.callback = &callback;
    want.userdata = &s;
    SDL_AudioSpec have{};
    s.device = sound::openOutput(want, &have);
    if (s.device == 0) {
        closeDevice(s);
        return KV_MODULE_DEVICE_LOST;
    }
    s.rate = rate;
    s.channels = channels;
    s.target =
        (static_cast<size_t>(have.samples) + static_cast<size_t>(kMarginSeconds * rate)) * channels;
    {
        std::lock_guard ringLock(s.mutex);
        s.ring.assign(static_cast<size_t>(rate * channels), 0); // one second
        s.read = 0;
        s.fill = 0;
    }
    SDL_PauseAudioDevice(s.device, 0);
    return KV_MODULE_OK;
}

int32_t write(kv_output_chain *chain, const void *samples, uint32_t size, uint32_t,
              uint32_t channels, uint32_t rate) {
    auto &s = *static_cast<SoundCard *>(chain->instance);
    if (s.device == 0 || (channels != 0 && channels != s.channels) ||
        (rate != 0 && rate != s.rate)) {
        const int32_t opened =
            openDevice(s, rate != 0 ? rate : s.rate, channels != 0 ? channels : s.channels);
        if (opened != KV_MODULE_OK)
            return opened;
    }
    if (deviceGone(s))
        return KV_MODULE_DEVICE_LOST;
    const auto *in = static_cast<const int16_t *>(samples);
    size_t count = size / sizeof(int16_t);
    const size_t target = s.target;
    std::unique_lock lock(s.mutex);
    if (s.stalled && s.callbacks == s.stalledAt) {
        // The device stopped pulling (its server went away): drop the audio
        // at the pace it would have played, so the engine neither hangs nor
        // races through the song.
        lock.unlock();
        std::this_thread::sleep_for(
            std::chrono::duration<double>(static_cast<double>(count) / (s.rate * s.channels)));
        return KV_MODULE_UNSUPPORTED;
    }
    s.stalled = false;
    while (count > 0) {
        const uint64_t seen = s.callbacks;
        if (s.fill >= target) {
            // A stream may take a second or more to start pulling (a
            // server's idle sink wakes in large blocks); only a much longer
            // silence counts as a stalled device.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
            while (s.fill >= target && s.callbacks == seen) {
                if (deviceGone(s))
                    return KV_MODULE_DEVICE_LOST;
                if (std::chrono::steady_clock::now() >= deadline) {
                    s.stalled = true;
                    s.stalledAt = s.callbacks;
                    return KV_MODULE_UNSUPPORTED;
                }
                s.drained.wait_for(lock, kStatusPoll);
            }
            continue;
        }
        const size_t writePos = (s.read + s.fill) % s.ring.size();
        const size_t n = std::min({count, s.ring.size() - s.fill, s.ring.size() - writePos});
        std::memcpy(s.ring.data() + writePos, in, n * sizeof(int16_t));
        in += n;
        count -= n;
        s.fill += n;
    }
    return KV_MODULE_OK;
}

int32_t control(kv_output_chain *chain, kv_output_format *format, uint32_t flags) {
    auto &s = *static_cast<SoundCard *>(chain->instance);
    if ((flags & KV_CONTROL_FORMAT) != 0 && format != nullptr) {
        const uint32_t rate = format->rate != 0 ? format->rate : 44100;
        const uint32_t channels = format->channels != 0 ? format->channels : 2;
        if (const int32_t opened = openDevice(s, rate, channels); opened != KV_MODULE_OK)
            return opened;
    }
    if ((flags & KV_CONTROL_RESET) != 0 && s.device != 0) {
        std::lock_guard lock(s.mutex);
        s.fill = 0;
    }
    if ((flags & KV_CONTROL_DRAIN) != 0 && s.device != 0) {
        // A device that went away plays nothing more, so nothing is waited for.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        std::unique_lock lock(s.mutex);
        while (s.fill > 0 && !deviceGone(s) && std::chrono::steady_clock::now() < deadline)
            s.drained.wait_for(lock, kStatusPoll);
    }
    return KV_MODULE_OK;
}

} // namespace

extern "C" KV_EXPORT int32_t dsound_output_module_register(kv_output_module_descriptor *d) {
    if (d == nullptr)
        return KV_MODULE_UNSUPPORTED;
    *d = kv_output_module_descriptor{};
    d->interface_version = KV_OUTPUT_MODULE_INTERFACE_VERSION;
    d->get_information = &getInformation;
    d->new_instance = &newInstance;
    d->delete_instance = &deleteInstance;
    d->open = &openOutput;
    d->close = &closeOutput;
    d->write = &write;
    d->control = &control;
    return KV_MODULE_OK;
}

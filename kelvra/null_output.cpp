// The silent output of KELVRA_OUTPUT=null: accepts audio at the pace a sound
// card would play it, so time codes and ends of stream arrive in real time on
// machines without sound.
#include "kelvra_interface.h"

#include <chrono>
#include <cstring>
#include <new>
#include <thread>

namespace kelvra {
namespace {

using Clock = std::chrono::steady_clock;

struct NullOutput {
    uint32_t rate = 44100;
    uint32_t channels = 2;
    bool started = false;
    Clock::time_point start;
    uint64_t written = 0; // frames accepted since start
};

// How far ahead of the clock the sink lets a writer get, like a device buffer,
// and how far it lets the buffer run down before taking more: a sound card
// asks for audio in blocks too, so a writer is woken once a block, not once
// for every small write.
constexpr double kQueueSeconds = 0.070;
constexpr double kLowSeconds = 0.030;

int32_t getInformation(kv_module_information *info, uint32_t flags) {
    if ((flags & KV_MODULE_INFO_FILL) != 0 && info != nullptr) {
        info->flags = 0;
        std::strncpy(info->name, "Silent Output", sizeof info->name - 1);
        std::strncpy(info->description, "Discards audio in real time",
                     sizeof info->description - 1);
    }
    return KV_MODULE_OK;
}

int32_t newInstance(void **instance, const void *, kv_host_interface *) {
    auto *state = new (std::nothrow) NullOutput;
    if (state == nullptr)
        return KV_MODULE_OUT_OF_MEMORY;
    *instance = state;
    return KV_MODULE_OK;
}

int32_t deleteInstance(void *instance) {
    delete static_cast<NullOutput *>(instance);
    return KV_MODULE_OK;
}

int32_t openOutput(void *, const char *) {
    return KV_MODULE_OK;
}
int32_t closeOutput(void *) {
    return KV_MODULE_OK;
}

double aheadSeconds(const NullOutput &s) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - s.start).count();
    return static_cast<double>(s.written) / s.rate - elapsed;
}

int32_t write(kv_output_chain *chain, const void *, uint32_t size, uint32_t width,
              uint32_t channels, uint32_t rate) {
    auto &s = *static_cast<NullOutput *>(chain->instance);
    if (rate != 0)
        s.rate = rate;
    if (channels != 0)
        s.channels = channels;
    if (!s.started || aheadSeconds(s) < -0.2) {
        // First write, or the writer fell far behind: restart the clock
        // rather than letting it race to catch up.
        s.started = true;
        s.start = Clock::now();
        s.written = 0;
    }
    const uint32_t bytesPerFrame = (width == 0 ? 2 : width) * s.channels;
    s.written += size / bytesPerFrame;
    const double ahead = aheadSeconds(s);
    if (ahead > kQueueSeconds)
        std::this_thread::sleep_for(std::chrono::duration<double>(ahead - kLowSeconds));
    return KV_MODULE_OK;
}

int32_t control(kv_output_chain *chain, kv_output_format *format, uint32_t flags) {
    auto &s = *static_cast<NullOutput *>(chain->instance);
    if ((flags & KV_CONTROL_FORMAT) != 0 && format != nullptr) {
        s.rate = format->rate != 0 ? format->rate : s.rate;
        s.channels = format->channels != 0 ? format->channels : s.channels;
        s.started = false;
    }
    if ((flags & KV_CONTROL_DRAIN) != 0 && s.started) {
        const double ahead = aheadSeconds(s);
        if (ahead > 0)
            std::this_thread::sleep_for(std::chrono::duration<double>(ahead));
    }
    return KV_MODULE_OK;
}

} // namespace

kv_output_module_descriptor nullOutputDescriptor() {
    kv_output_module_descriptor d{};
    d.interface_version = KV_OUTPUT_MODULE_INTERFACE_VERSION;
    d.get_information = &getInformation;
    d.new_instance = &newInstance;
    d.delete_instance = &deleteInstance;
    d.open = &openOutput;
    d.close = &closeOutput;
    d.write = &write;
    d.control = &control;
    return d;
}

} // namespace kelvra

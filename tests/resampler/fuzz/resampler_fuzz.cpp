// Drives one filter instance with a random sequence of writes (sizes, rates,
// channel counts), format changes, drains, resets and rate-setting changes.
// The sanitizers catch any out-of-bounds access; the checks below catch
// results and deliveries that break the stage's contract.

#include "kelvra_interface.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int32_t output_filter_module_register(kv_output_module_descriptor *descriptor);

namespace {

struct Input {
    const uint8_t *data;
    size_t size;
    uint32_t take(int bytes, uint32_t limit) {
        uint32_t v = 0;
        for (int i = 0; i < bytes && size > 0; ++i, ++data, --size) {
            v = (v << 8) | *data;
        }
        return v % limit;
    }
    uint32_t small(uint32_t limit) { return take(1, limit); }
    uint32_t wide(uint32_t limit) { return take(2, limit); }
};

struct Next {
    std::vector<unsigned char> buffer;
    size_t handed_out = 0;
    uint32_t channels = 0;
    bool refuse = false;
};

int32_t next_write(void *next, const void *samples, uint32_t size, uint32_t, uint32_t channels,
                   uint32_t) {
    auto *n = static_cast<Next *>(next);
    // Either a pass-through of the caller's samples or one of our buffers,
    // filled in whole frames.
    if (samples == n->buffer.data()) {
        if (size > n->handed_out || size > 2 * 4096 || size % (2 * channels) != 0) {
            std::abort();
        }
        volatile unsigned sum = 0;
        for (uint32_t i = 0; i < size; ++i) {
            sum = sum + n->buffer[i];
        }
    }
    return 0;
}

void *next_get_buffer(void *next, uint32_t size) {
    auto *n = static_cast<Next *>(next);
    if (n->refuse) {
        return nullptr;
    }
    n->buffer.assign(size, 0);
    n->buffer.shrink_to_fit();
    n->handed_out = size;
    return n->buffer.data();
}

int32_t next_control(void *, kv_output_format *, uint32_t) {
    return 0;
}

struct Host {
    kv_host_interface record{};
    kv_environment_listener_fn listener = nullptr;
    void *instance = nullptr;
};

constexpr uint32_t kRates[] = {8000,  8005,  11025, 16000, 22050,  32000, 44100,
                               44105, 48000, 88200, 96000, 192000, 7999,  0};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Input in{data, size};
    kv_output_module_descriptor d{};
    output_filter_module_register(&d);

    Host host;
    host.record.add_environment_listener = [](kv_host_interface *h, const char *, void *instance,
                                              kv_environment_listener_fn fn, int32_t *handle) {
        auto *self = reinterpret_cast<Host *>(h);
        self->listener = fn;
        self->instance = instance;
        *handle = 1;
        return 0;
    };
    host.record.remove_environment_listener = [](kv_host_interface *, int32_t) {};

    void *instance = nullptr;
    if (d.new_instance(&instance, nullptr, &host.record) != 0) {
        std::abort();
    }
    Next next;
    kv_output_chain chain{instance, &next, next_write, next_get_buffer, next_control};
    std::vector<int16_t> samples;

    auto rate = [&]() {
        const uint32_t pick = in.small(20);
        return pick < sizeof kRates / sizeof kRates[0] ? kRates[pick] : 8000 + 5 * in.wide(40000);
    };
    for (int step = 0; step < 200 && in.size > 0; ++step) {
        switch (in.small(8)) {
        case 0:
        case 1:
        case 2: {
            // Mostly small writes, sometimes far larger than a block.
            const uint32_t bytes = in.small(4) == 0 ? 40 * in.wide(2000) : in.wide(10000);
            const uint32_t channels = in.small(4);
            samples.resize(bytes / 2 + 1);
            for (size_t i = 0; i < samples.size(); ++i) {
                samples[i] = static_cast<int16_t>(i * 7919u);
            }
            const int32_t result = d.write(&chain, samples.data(), bytes, 16, channels, rate());
            if (result != 0 && result != -1 && result != -100) {
                std::abort();
            }
            break;
        }
        case 3: {
            kv_output_format format{rate(), in.small(3), 16, 0};
            d.control(&chain, &format, KV_CONTROL_FORMAT);
            break;
        }
        case 4:
            d.control(&chain, nullptr, KV_CONTROL_DRAIN);
            break;
        case 5:
            d.control(&chain, nullptr,
                      KV_CONTROL_RESET | (in.small(2) != 0 ? KV_CONTROL_DRAIN : 0u));
            break;
        case 6: {
            const int32_t value = static_cast<int32_t>(rate());
            if (host.listener != nullptr) {
                host.listener(host.instance, "OUTPUT.RESAMPLER.RATE",
                              in.small(4) == 0 ? nullptr : &value);
            }
            break;
        }
        default:
            next.refuse = !next.refuse;
            break;
        }
    }
    d.delete_instance(instance);
    return 0;
}

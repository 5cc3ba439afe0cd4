#include "harness.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace resampler_test {
namespace {

void *library() {
    static void *handle = dlopen(KV_RESAMPLER_PATH, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        throw std::runtime_error(std::string("cannot load the filter: ") + dlerror());
    }
    return handle;
}

} // namespace

void *register_symbol(const char *name) {
    return dlsym(library(), name);
}

const kv_output_module_descriptor &descriptor() {
    static const kv_output_module_descriptor loaded = [] {
        kv_output_module_descriptor d{};
        auto fn = reinterpret_cast<kv_output_module_register_fn>(
            register_symbol("output_filter_module_register"));
        if (fn == nullptr || fn(&d) != 0) {
            throw std::runtime_error("register function missing or failed");
        }
        return d;
    }();
    return loaded;
}

StandInHost::StandInHost() {
    bridge_.self = this;
    bridge_.record.interface_version = KV_OUTPUT_MODULE_INTERFACE_VERSION;
    bridge_.record.get_environment_integer = [](kv_host_interface *h, const char *name,
                                                int32_t *value) -> int32_t {
        auto *self = from(h);
        const auto it = self->values.find(name);
        if (it == self->values.end()) {
            return -1;
        }
        *value = it->second;
        return 0;
    };
    bridge_.record.add_environment_listener =
        [](kv_host_interface *h, const char *name, void *instance,
           kv_environment_listener_fn callback, int32_t *handle) -> int32_t {
        auto *self = from(h);
        if (self->refuse_listeners) {
            return -1;
        }
        *handle = self->next_handle_++;
        self->listeners.push_back({name, instance, callback, *handle});
        return 0;
    };
    bridge_.record.remove_environment_listener = [](kv_host_interface *h, int32_t handle) {
        auto *self = from(h);
        self->removed.push_back(handle);
        std::erase_if(self->listeners, [&](const Listener &l) { return l.handle == handle; });
    };
}

void StandInHost::notify(const std::string &name, std::optional<int32_t> value) {
    for (const auto &listener : listeners) {
        if (listener.name == name) {
            listener.callback(listener.instance, name.c_str(), value ? &*value : nullptr);
        }
    }
}

std::size_t StandInNext::delivered_bytes() const {
    std::size_t total = 0;
    for (const auto &d : deliveries) {
        total += d.size_bytes;
    }
    return total;
}

int32_t StandInNext::write(void *next, const void *samples, uint32_t size_bytes,
                           uint32_t sample_width, uint32_t channels, uint32_t rate) {
    auto *self = static_cast<StandInNext *>(next);
    self->deliveries.push_back(
        {size_bytes, sample_width, channels, rate, samples == self->caller_samples});
    const std::size_t count = size_bytes / 2;
    const auto *bytes = static_cast<const unsigned char *>(samples);
    for (std::size_t i = 0; i < count; ++i) {
        int16_t s = 0;
        std::memcpy(&s, bytes + 2 * i, 2);
        self->samples.push_back(s);
    }
    return self->write_result;
}

void *StandInNext::get_buffer(void *next, uint32_t size_bytes) {
    auto *self = static_cast<StandInNext *>(next);
    if (self->refuse_buffers) {
        return nullptr;
    }
    // A recognisable pattern, so that bytes the filter forgets to fill show.
    self->buffer_.assign(size_bytes, 0xA5);
    return self->buffer_.data();
}

int32_t StandInNext::control(void *next, kv_output_format *format, uint32_t flags) {
    auto *self = static_cast<StandInNext *>(next);
    self->control_flags.push_back(flags);
    self->control_rates.push_back(format != nullptr ? format->rate : 0);
    return self->control_result;
}

Filter::Filter(StandInHost *host) {
    const auto &d = descriptor();
    create_result =
        d.new_instance(&instance, nullptr, host != nullptr ? host->interface() : nullptr);
    chain_.instance = instance;
    chain_.next = &next;
    chain_.next_write = StandInNext::write;
    chain_.next_get_buffer = StandInNext::get_buffer;
    chain_.next_control = StandInNext::control;
}

Filter::~Filter() {
    if (instance != nullptr) {
        descriptor().delete_instance(instance);
    }
}

int32_t Filter::write(const std::vector<int16_t> &samples, uint32_t channels, uint32_t rate,
                      uint32_t sample_width) {
    next.caller_samples = samples.data();
    return descriptor().write(&chain_, samples.data(), static_cast<uint32_t>(samples.size() * 2),
                              sample_width, channels, rate);
}

int32_t Filter::write_bytes(const void *data, uint32_t size_bytes, uint32_t channels,
                            uint32_t rate) {
    next.caller_samples = data;
    return descriptor().write(&chain_, data, size_bytes, 16, channels, rate);
}

uint32_t Filter::format(uint32_t rate, uint32_t channels) {
    kv_output_format f{rate, channels, 16, 0};
    last_result_ = descriptor().control(&chain_, &f, KV_CONTROL_FORMAT);
    return f.rate;
}

int32_t Filter::control(uint32_t flags) {
    kv_output_format f{0, 2, 16, 0};
    last_result_ = descriptor().control(&chain_, &f, flags);
    return last_result_;
}

void write_in_pieces(Filter &filter, const std::vector<int16_t> &samples, std::size_t piece,
                     uint32_t channels, uint32_t rate) {
    for (std::size_t at = 0; at < samples.size(); at += piece) {
        const std::size_t size = std::min(piece, samples.size() - at);
        std::vector<int16_t> part(samples.begin() + static_cast<std::ptrdiff_t>(at),
                                  samples.begin() + static_cast<std::ptrdiff_t>(at + size));
        ASSERT_EQ(filter.write(part, channels, rate), 0);
    }
}

} // namespace resampler_test

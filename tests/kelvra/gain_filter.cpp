// A test output filter: scales samples by "TEST.GAIN.PERCENT" (default 50),
// followed live through an environment listener. Proves that the engine's
// filter chain sits between the decoder and the output.
#include "kelvra_interface.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

namespace {

struct Gain {
    kv_host_interface *host = nullptr;
    std::atomic<int32_t> percent{50};
    int32_t listener = 0;
};

void onPercent(void *instance, const char *, const int32_t *value) {
    static_cast<Gain *>(instance)->percent = value != nullptr ? *value : 50;
}

int32_t getInformation(kv_module_information *info, uint32_t flags) {
    if ((flags & KV_MODULE_INFO_FILL) != 0) {
        info->flags = 0;
        std::strcpy(info->name, "Test Gain Filter");
        std::strcpy(info->description, "Scales samples");
    }
    return KV_MODULE_OK;
}

int32_t newInstance(void **instance, const void *, kv_host_interface *host) {
    auto *gain = new (std::nothrow) Gain;
    if (gain == nullptr)
        return KV_MODULE_OUT_OF_MEMORY;
    gain->host = host;
    int32_t value = 0;
    if (host->get_environment_integer(host, "TEST.GAIN.PERCENT", &value) == 0)
        gain->percent = value;
    host->add_environment_listener(host, "TEST.GAIN.PERCENT", gain, &onPercent, &gain->listener);
    *instance = gain;
    return KV_MODULE_OK;
}

int32_t deleteInstance(void *instance) {
    auto *gain = static_cast<Gain *>(instance);
    if (gain->listener != 0)
        gain->host->remove_environment_listener(gain->host, gain->listener);
    delete gain;
    return KV_MODULE_OK;
}

// A careless module: leaves its listener registered when it goes.
int32_t deleteInstanceLeavingListener(void *instance) {
    delete static_cast<Gain *>(instance);
    return KV_MODULE_OK;
}

int32_t write(kv_output_chain *chain, const void *samples, uint32_t size, uint32_t width,
              uint32_t channels, uint32_t rate) {
    const auto &gain = *static_cast<Gain *>(chain->instance);
    auto *out = static_cast<int16_t *>(chain->next_get_buffer(chain->next, size));
    if (out == nullptr)
        return KV_MODULE_OUT_OF_MEMORY;
    const auto *in = static_cast<const int16_t *>(samples);
    for (uint32_t i = 0; i < size / 2; ++i)
        out[i] = static_cast<int16_t>(std::clamp(in[i] * gain.percent / 100, -32768, 32767));
    return chain->next_write(chain->next, out, size, width, channels, rate);
}

int32_t control(kv_output_chain *chain, kv_output_format *format, uint32_t flags) {
    return chain->next_control(chain->next, format, flags);
}

} // namespace

extern "C" KV_EXPORT int32_t gain_filter_register(kv_output_module_descriptor *d) {
    *d = kv_output_module_descriptor{};
    d->interface_version = KV_OUTPUT_MODULE_INTERFACE_VERSION;
    d->get_information = &getInformation;
    d->new_instance = &newInstance;
    d->delete_instance = &deleteInstance;
    d->write = &write;
    d->control = &control;
    return KV_MODULE_OK;
}

extern "C" KV_EXPORT int32_t careless_gain_filter_register(kv_output_module_descriptor *d) {
    gain_filter_register(d);
    d->delete_instance = &deleteInstanceLeavingListener;
    return KV_MODULE_OK;
}

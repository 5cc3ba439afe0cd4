// The entry points the engine finds in the library, and the C boundary: no
// exception crosses it.

#include "kelvra_interface.h"
#include "resampler.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

using velbrin::resampler::Resampler;

constexpr char kModuleName[] = "Resampling Output Filter";
constexpr char kModuleDescription[] = "Version 1.0";

Resampler *instance_of(const kv_output_chain *chain) {
    return chain != nullptr ? static_cast<Resampler *>(chain->instance) : nullptr;
}

int32_t get_information(kv_module_information *info, uint32_t flags) {
    if ((flags & KV_MODULE_INFO_FILL) != 0 && info != nullptr) {
        info->flags = 0;
        std::memset(info->name, 0, sizeof info->name);
        std::memset(info->description, 0, sizeof info->description);
        std::memcpy(info->name, kModuleName, sizeof kModuleName);
        std::memcpy(info->description, kModuleDescription, sizeof kModuleDescription);
    }
    return KV_MODULE_OK;
}

int32_t new_instance(void **instance, const void * /*creation_argument*/, kv_host_interface *host) {
    if (instance == nullptr) {
        return KV_MODULE_UNSUPPORTED;
    }
    try {
        *instance = std::make_unique<Resampler>(host).release();
        return KV_MODULE_OK;
    } catch (const std::bad_alloc &) {
        return KV_MODULE_OUT_OF_MEMORY;
    }
}

int32_t delete_instance(void *instance) {
    std::unique_ptr<Resampler> owned(static_cast<Resampler *>(instance));
    return KV_MODULE_OK;
}

int32_t write(kv_output_chain *chain, const void *samples, uint32_t size_bytes,
              uint32_t sample_width, uint32_t channels, uint32_t rate) {
    Resampler *resampler = instance_of(chain);
    if (resampler == nullptr || chain->next_write == nullptr) {
        return KV_MODULE_UNSUPPORTED;
    }
    try {
        return resampler->write(*chain, samples, size_bytes, sample_width, channels, rate);
    } catch (const std::bad_alloc &) {
        return KV_MODULE_OUT_OF_MEMORY;
    }
}

int32_t control(kv_output_chain *chain, kv_output_format *format, uint32_t flags) {
    Resampler *resampler = instance_of(chain);
    if (resampler == nullptr || chain->next_write == nullptr) {
        return KV_MODULE_UNSUPPORTED;
    }
    try {
        return resampler->control(*chain, format, flags);
    } catch (const std::bad_alloc &) {
        return KV_MODULE_OUT_OF_MEMORY;
    }
}

} // namespace

extern "C" {

KV_EXPORT int32_t output_filter_module_register(kv_output_module_descriptor *descriptor) {
    if (descriptor == nullptr) {
        return KV_MODULE_UNSUPPORTED;
    }
    *descriptor = kv_output_module_descriptor{};
    descriptor->interface_version = KV_OUTPUT_MODULE_INTERFACE_VERSION;
    descriptor->get_information = get_information;
    descriptor->new_instance = new_instance;
    descriptor->delete_instance = delete_instance;
    descriptor->write = write;
    descriptor->control = control;
    return KV_MODULE_OK;
}

// The same function under the name the engine looks for when the module is
// named by its kind.
KV_EXPORT int32_t resampling_output_filter_module_register(kv_output_module_descriptor *descriptor)
    __attribute__((alias("output_filter_module_register")));
}

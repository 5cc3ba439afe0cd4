#include "sink.h"

#include <cstring>

namespace kelvra {

std::unique_ptr<DirectSink> DirectSink::create(std::shared_ptr<const Module> module,
                                               std::string name, kv_host_interface *host,
                                               Error &error) {
    auto sink = std::make_unique<DirectSink>();
    sink->module_ = std::move(module);
    sink->name_ = std::move(name);
    if (sink->module_->descriptor.new_instance(&sink->instance_, nullptr, host) != KV_MODULE_OK) {
        sink->instance_ = nullptr;
        error = Error::ModuleRefused;
        return nullptr;
    }
    sink->chain_.instance = sink->instance_;
    // Open now so that an unusable name is reported at InputOpen, not later.
    if (!sink->ensureOpen()) {
        error = Error::OutputFileFailed;
        return nullptr;
    }
    error = Error::None;
    return sink;
}

DirectSink::~DirectSink() {
    finish();
    if (instance_ != nullptr)
        module_->descriptor.delete_instance(instance_);
}

bool DirectSink::ensureOpen() {
    if (open_)
        return true;
    if (module_->descriptor.open(instance_, name_.c_str()) != KV_MODULE_OK)
        return false;
    open_ = true;
    if (haveFormat_ && module_->descriptor.control != nullptr) {
        kv_output_format format = format_;
        module_->descriptor.control(&chain_, &format, KV_CONTROL_FORMAT);
    }
    return true;
}

int32_t DirectSink::write(const int16_t *samples, uint32_t bytes, uint32_t channels,
                          uint32_t rate) {
    if (!ensureOpen())
        return KV_MODULE_UNSUPPORTED;
    channels = channels == 0 ? 1 : channels;
    rate_ = rate != 0 ? rate : rate_;
    const uint32_t frames = bytes / (2 * channels);
    const int16_t *out = samples;
    if (!ramp_.identity()) {
        scratch_.assign(samples, samples + static_cast<size_t>(frames) * channels);
        ramp_.apply(scratch_.data(), frames, channels, rate_);
        out = scratch_.data();
    }
    played_ += frames;
    return module_->descriptor.write(&chain_, out, frames * channels * 2, 2, channels, rate_);
}

int32_t DirectSink::control(kv_output_format *format, uint32_t flags) {
    if ((flags & KV_CONTROL_FORMAT) != 0 && format != nullptr) {
        format_ = *format;
        haveFormat_ = true;
        rate_ = format->rate;
    }
    if (!open_ || module_->descriptor.control == nullptr)
        return KV_MODULE_OK;
    return module_->descriptor.control(&chain_, format, flags);
}

void DirectSink::flush(bool) {
    played_ = 0;
    complete_ = false;
}

void DirectSink::markComplete() {
    complete_ = true;
    if (open_ && module_->descriptor.control != nullptr) {
        kv_output_format format = format_;
        module_->descriptor.control(&chain_, &format, KV_CONTROL_DRAIN);
    }
}

void DirectSink::finish() {
    if (open_ && module_->descriptor.close != nullptr)
        module_->descriptor.close(instance_);
    open_ = false;
}

} // namespace kelvra

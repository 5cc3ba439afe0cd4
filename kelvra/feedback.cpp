#include "feedback.h"

#include <algorithm>
#include <charconv>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <vector>

namespace kelvra {
namespace {

struct Installed {
    uintptr_t init = 0;
    kv_feedback_table table{};
};

struct Handlers {
    std::mutex mutex;
    std::vector<Installed> installed;
};

Handlers &handlers() {
    static Handlers h;
    return h;
}

} // namespace

std::optional<uintptr_t> parseFeedbackLocation(std::string_view location) {
    constexpr std::string_view prefix = "function@";
    if (!location.starts_with(prefix))
        return std::nullopt;
    location.remove_prefix(prefix.size());
    if (location.starts_with("0x") || location.starts_with("0X"))
        location.remove_prefix(2);
    uintptr_t address = 0;
    const auto [end, error] =
        std::from_chars(location.data(), location.data() + location.size(), address, 16);
    if (error != std::errc() || end != location.data() + location.size() || address == 0)
        return std::nullopt;
    return address;
}

int installFeedbackHandler(uintptr_t address) {
    Handlers &h = handlers();
    std::lock_guard lock(h.mutex);
    for (size_t i = 0; i < h.installed.size(); ++i)
        if (h.installed[i].init == address)
            return static_cast<int>(i);
    // The address comes in a text; call it only when it lies inside code the
    // process has loaded, so a stray number cannot send the engine anywhere.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(address), &info) == 0 || info.dli_fbase == nullptr)
        return -1;
    auto init = reinterpret_cast<kv_feedback_init_fn>(address);
    Installed entry;
    entry.init = address;
    if (init(&entry.table) != 0 || entry.table.audio_event == nullptr)
        return -1;
    h.installed.push_back(entry);
    return static_cast<int>(h.installed.size() - 1);
}

int findFeedbackHandler(std::string_view name) {
    const std::string text(name);
    Handlers &h = handlers();
    std::lock_guard lock(h.mutex);
    for (size_t i = 0; i < h.installed.size(); ++i) {
        const auto match = h.installed[i].table.name_match;
        if (match != nullptr && match(text.c_str()) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

kv_feedback_audio_event_fn feedbackAudioEvent(int index) {
    Handlers &h = handlers();
    std::lock_guard lock(h.mutex);
    if (index < 0 || static_cast<size_t>(index) >= h.installed.size())
        return nullptr;
    return h.installed[static_cast<size_t>(index)].table.audio_event;
}

int installedFeedbackHandlers() {
    Handlers &h = handlers();
    std::lock_guard lock(h.mutex);
    return static_cast<int>(h.installed.size());
}

void HeardAudio::restart(uint64_t frame) {
    end_ = frame;
    kept_ = 0;
}

void HeardAudio::keep(const int16_t *samples, size_t frames, uint32_t channels,
                      size_t capacityFrames) {
    if (channels == 0 || capacityFrames == 0)
        return;
    if (channels != channels_ || capacityFrames != capacity_) {
        channels_ = channels;
        capacity_ = capacityFrames;
        ring_.assign(capacity_ * channels_, 0);
        kept_ = 0;
    }
    // Only the newest capacity's worth can be kept.
    if (frames > capacity_) {
        samples += (frames - capacity_) * channels_;
        end_ += frames - capacity_;
        frames = capacity_;
    }
    size_t at = static_cast<size_t>(end_ % capacity_);
    size_t done = 0;
    while (done < frames) {
        const size_t run = std::min(frames - done, capacity_ - at);
        std::copy_n(samples + done * channels_, run * channels_, ring_.begin() + at * channels_);
        done += run;
        at = (at + run) % capacity_;
    }
    end_ += frames;
    kept_ = std::min(kept_ + frames, capacity_);
}

std::span<const int16_t> HeardAudio::from(uint64_t frame, size_t frames, uint64_t &first) {
    frames = std::min(frames, kept_);
    if (frames == 0)
        return {};
    first = std::clamp<uint64_t>(frame, firstFrame(), end_ - frames);
    block_.resize(frames * channels_);
    size_t at = static_cast<size_t>(first % capacity_);
    size_t done = 0;
    while (done < frames) {
        const size_t run = std::min(frames - done, capacity_ - at);
        std::copy_n(ring_.begin() + at * channels_, run * channels_,
                    block_.begin() + done * channels_);
        done += run;
        at = (at + run) % capacity_;
    }
    return block_;
}

} // namespace kelvra

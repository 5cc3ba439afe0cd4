#pragma once

#include "kelvra_interface.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace kelvra {

// Feedback handlers installed in the process with "function@<hex address>".
// Installed handlers stay for the life of the process; players select one
// by name.

// Parses the location text; nullopt when it is not "function@" + hex.
std::optional<uintptr_t> parseFeedbackLocation(std::string_view location);
// Calls the init function at `address` and keeps the table it fills; the
// index of the installed handler, or -1 when the init function failed.
int installFeedbackHandler(uintptr_t address);
// The handler whose name-match function accepts `name`, or -1.
int findFeedbackHandler(std::string_view name);
// The audio-event function of an installed handler, or null.
kv_feedback_audio_event_fn feedbackAudioEvent(int index);
int installedFeedbackHandlers();

// Decoded audio kept until it has been heard, so a feedback handler is given
// what sounds now rather than what was decoded ahead of it. Frames are counted
// from the start of the stream; what is kept is the newest `capacityFrames`.
// One thread only (the player's).
class HeardAudio {
public:
    // Forgets what was kept; the next frame kept is `frame`.
    void restart(uint64_t frame);
    void keep(const int16_t *samples, size_t frames, uint32_t channels, size_t capacityFrames);
    // Up to `frames` kept frames from `frame` on (from the nearest kept ones
    // when those are not all kept), interleaved, and the frame they start at
    // in `first`; empty when nothing is kept. Valid until the next call.
    std::span<const int16_t> from(uint64_t frame, size_t frames, uint64_t &first);
    uint64_t firstFrame() const { return end_ - kept_; }
    uint32_t channels() const { return channels_; }

private:
    std::vector<int16_t> ring_;
    std::vector<int16_t> block_;
    uint32_t channels_ = 0;
    size_t capacity_ = 0; // frames
    uint64_t end_ = 0;    // the frame after the newest one kept
    size_t kept_ = 0;
};

} // namespace kelvra

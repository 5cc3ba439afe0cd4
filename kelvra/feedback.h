#pragma once

#include "kelvra_interface.h"

#include <optional>
#include <string_view>

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

} // namespace kelvra

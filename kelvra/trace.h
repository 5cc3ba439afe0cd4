#pragma once

#include <string_view>

namespace kelvra {

// KELVRA_TRACE=<file>: one line per command received and per notification
// posted. The file is opened on first use and shared by every player.
bool traceEnabled();
void traceLine(std::string_view line);

} // namespace kelvra

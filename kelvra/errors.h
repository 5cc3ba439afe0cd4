#pragma once

#include <cstdint>

namespace kelvra {

// Error codes carried by negative acknowledgements and error notifications.
// kelvra_error_string() words them; the values are part of what the player
// shows, so existing numbers never change meaning.
enum class Error : int16_t {
    None = 0,
    FileNotFound = 1,
    FileUnreadable = 2,
    EmptyFile = 3,
    NotMpegAudio = 4,
    NoInput = 5,
    OutputDeviceFailed = 6,
    ModuleNotFound = 7,
    RegisterFunctionNotFound = 8,
    ModuleRefused = 9,
    InvalidArgument = 10,
    UnknownCommand = 11,
    OutputFileFailed = 12,
    FilterNotFound = 13,
    NotAFilter = 14,
    NotADevice = 15,
    Unsupported = 16,
    OutputWriteFailed = 17,
    DecoderFailed = 18,
    NoSuchEnvironmentValue = 19,
    OutOfMemory = 20,
    OutputDeviceLost = 21, // KV_OUTPUT_STATE_LOST
};

const char *errorText(int32_t code);

} // namespace kelvra

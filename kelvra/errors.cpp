#include "errors.h"

namespace kelvra {

const char *errorText(int32_t code) {
    switch (static_cast<Error>(code)) {
    case Error::None:
        return "No error";
    case Error::FileNotFound:
        return "File not found";
    case Error::FileUnreadable:
        return "File cannot be read";
    case Error::EmptyFile:
        return "File is empty";
    case Error::NotMpegAudio:
        return "File is not an MPEG audio stream";
    case Error::NoInput:
        return "No input is open";
    case Error::OutputDeviceFailed:
        return "Sound output device cannot be opened";
    case Error::ModuleNotFound:
        return "Module library not found";
    case Error::RegisterFunctionNotFound:
        return "Module register function not found";
    case Error::ModuleRefused:
        return "Module refused to register or to start";
    case Error::InvalidArgument:
        return "Invalid argument";
    case Error::UnknownCommand:
        return "Unknown command";
    case Error::OutputFileFailed:
        return "Output file cannot be written";
    case Error::FilterNotFound:
        return "Filter not found";
    case Error::NotAFilter:
        return "Module is not an output filter";
    case Error::NotADevice:
        return "No output module serves this output name";
    case Error::Unsupported:
        return "Not supported by this engine";
    case Error::OutputWriteFailed:
        return "Writing to the output failed";
    case Error::DecoderFailed:
        return "Decoder failure";
    case Error::NoSuchEnvironmentValue:
        return "No such environment value";
    case Error::OutOfMemory:
        return "Out of memory";
    case Error::OutputDeviceLost:
        return "Sound output lost; playing goes on when it is back";
    }
    return "Unknown error";
}

} // namespace kelvra

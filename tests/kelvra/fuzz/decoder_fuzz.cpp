// Opens arbitrary bytes as an MPEG audio file and decodes them the way a
// player does: to the end, then again after a seek into the middle. Any
// crash, sanitizer report, endless loop or decoding past the measured end by
// more than the damaged frames can add fails the run.
#include "decoder.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Samples decoded until the decoder says it is done (or gives up).
uint64_t decodeAll(kelvra::Decoder &decoder, std::vector<int16_t> &buffer, size_t bytesIn) {
    uint64_t samples = 0;
    // Every read either delivers samples or consumes input; far more reads
    // than the file has bytes means the decoder is stuck.
    for (size_t reads = 0; reads < bytesIn + 64; ++reads) {
        size_t got = 0;
        const auto result = decoder.read(buffer, got);
        samples += got;
        if (result != kelvra::Decoder::ReadResult::Data)
            return samples;
    }
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = [] {
        const char *dir = std::getenv("TMPDIR");
        return std::string(dir != nullptr ? dir : "/tmp") + "/decoder_fuzz." +
               std::to_string(getpid()) + ".mp3";
    }();
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        std::abort();

    static kelvra::Decoder decoder;
    static std::vector<int16_t> buffer(1152 * 2 * 2);
    kelvra::StreamInfo info;
    if (decoder.open(path, info) != kelvra::Error::None)
        return 0;
    if (info.rate == 0 || info.channels == 0 || info.frames == 0)
        std::abort(); // opened, but nothing to play
    decodeAll(decoder, buffer, size);
    if (decoder.seek(info.frames / 2))
        decodeAll(decoder, buffer, size);
    decoder.close();
    return 0;
}

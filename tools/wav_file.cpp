#include "wav_file.h"

#include <cstring>
#include <fstream>
#include <limits>

namespace velbrin::tools {

namespace {

uint32_t le32(const char *p) {
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return uint32_t{u[0]} | uint32_t{u[1]} << 8 | uint32_t{u[2]} << 16 | uint32_t{u[3]} << 24;
}

uint16_t le16(const char *p) {
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return static_cast<uint16_t>(u[0] | u[1] << 8);
}

void put32(unsigned char *p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

void put16(unsigned char *p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

} // namespace

std::optional<WavAudio> readWav(const std::string &path, std::string &error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return std::nullopt;
    }
    char riff[12];
    if (!in.read(riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        error = path + " is not a WAV file";
        return std::nullopt;
    }
    WavAudio audio;
    bool haveFormat = false;
    char chunk[8];
    while (in.read(chunk, 8)) {
        const uint32_t size = le32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || size > 1024) {
                break;
            }
            std::vector<char> fmt(size);
            if (!in.read(fmt.data(), size))
                break;
            const uint16_t tag = le16(fmt.data());
            audio.channels = le16(fmt.data() + 2);
            audio.rate = le32(fmt.data() + 4);
            const uint16_t bits = le16(fmt.data() + 14);
            if ((tag != 1 && tag != 0xFFFE) || bits != 16 || audio.channels < 1 ||
                audio.channels > 2 || audio.rate == 0) {
                error = path + ": only 16-bit PCM with one or two channels is supported";
                return std::nullopt;
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat)
                break;
            // A writer that never finished its header leaves the size open;
            // what is in the file is then the data.
            const std::streamoff start = in.tellg();
            in.seekg(0, std::ios::end);
            const std::streamoff available = in.tellg() - start;
            in.seekg(start);
            std::streamoff bytes = size == 0 || size == std::numeric_limits<uint32_t>::max()
                                       ? available
                                       : std::min<std::streamoff>(size, available);
            bytes -= bytes % (2 * audio.channels);
            audio.samples.resize(static_cast<size_t>(bytes / 2));
            in.read(reinterpret_cast<char *>(audio.samples.data()), bytes);
            // The samples are little-endian, as this machine is.
            return audio;
        } else {
            in.seekg(size + (size & 1), std::ios::cur);
        }
    }
    error = path + " is damaged: no audio data found";
    return std::nullopt;
}

WavWriter::WavWriter(const std::string &path, uint32_t rate, uint16_t channels)
    : file_(std::fopen(path.c_str(), "wb")), rate_(rate), channels_(channels) {
    if (file_)
        failed_ = !writeHeader();
}

bool WavWriter::writeHeader() {
    // Sizes beyond the format's 32 bits stay at their largest value.
    const uint32_t data = static_cast<uint32_t>(
        std::min<uint64_t>(dataBytes_, std::numeric_limits<uint32_t>::max() - 36));
    unsigned char h[44];
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, 36 + data);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);
    put16(h + 22, channels_);
    put32(h + 24, rate_);
    put32(h + 28, rate_ * channels_ * 2u);
    put16(h + 32, static_cast<uint16_t>(channels_ * 2));
    put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, data);
    const long end = std::ftell(file_.get());
    if (std::fseek(file_.get(), 0, SEEK_SET) != 0 || std::fwrite(h, 1, 44, file_.get()) != 44)
        return false;
    return std::fseek(file_.get(), end > 44 ? end : 44, SEEK_SET) == 0;
}

bool WavWriter::write(std::span<const int16_t> interleaved) {
    if (!ok())
        return false;
    const size_t n = std::fwrite(interleaved.data(), 2, interleaved.size(), file_.get());
    dataBytes_ += 2 * n;
    failed_ = n != interleaved.size() || !writeHeader();
    return !failed_;
}

bool WavWriter::close() {
    if (!file_)
        return false;
    const bool good = !failed_ && std::fflush(file_.get()) == 0;
    return std::fclose(file_.release()) == 0 && good;
}

} // namespace velbrin::tools

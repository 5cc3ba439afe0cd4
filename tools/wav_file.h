#pragma once

// 16-bit PCM WAV files, as the recorder writes and the converter reads and
// writes them.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velbrin::tools {

struct WavAudio {
    uint32_t rate = 0;
    uint16_t channels = 0;
    std::vector<int16_t> samples; // interleaved
    size_t frames() const { return channels == 0 ? 0 : samples.size() / channels; }
};

// Reads a 16-bit PCM WAV file with one or two channels. On failure returns
// nothing and puts the reason into `error`.
std::optional<WavAudio> readWav(const std::string &path, std::string &error);

// Writes a WAV file as the samples come: the header's sizes are right after
// every write, so a file cut short by a crash still plays up to its end.
class WavWriter {
public:
    WavWriter(const std::string &path, uint32_t rate, uint16_t channels);
    bool ok() const { return file_ != nullptr && !failed_; }
    bool write(std::span<const int16_t> interleaved);
    // Flushes and closes; false when any write failed.
    bool close();
    uint64_t framesWritten() const { return dataBytes_ / (2u * channels_); }

private:
    bool writeHeader();
    struct Closer {
        void operator()(std::FILE *f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    uint32_t rate_;
    uint16_t channels_;
    uint64_t dataBytes_ = 0;
    bool failed_ = false;
};

} // namespace velbrin::tools

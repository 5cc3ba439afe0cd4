#pragma once

#include "errors.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

struct mpg123_handle_struct;

namespace kelvra {

struct StreamInfo {
    uint32_t rate = 0;
    uint32_t channels = 0;
    uint64_t frames = 0; // exact decoded length (encoder delay and padding removed)
    int32_t bitrateKbps = 0;
    int layer = 0;
};

// MPEG audio (layers 1 to 3, MPEG 1/2/2.5) decoded to interleaved signed
// 16-bit samples at the stream's own rate and channel count. One decoder per
// player, used only on that player's thread; it keeps its equalizer across
// files.
class Decoder {
public:
    Decoder();
    ~Decoder();
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    // Opens and measures the file; on failure nothing stays open.
    Error open(const std::string &path, StreamInfo &info);
    void close();
    bool isOpen() const { return open_; }

    enum class ReadResult { Data, Done, Error };
    // Decodes up to out.size() samples; `samples` receives how many.
    ReadResult read(std::span<int16_t> out, size_t &samples);
    // True once after the stream changed its rate or channel count (joined
    // files); `info` then has the new values.
    bool takeFormatChange(StreamInfo &info);
    bool seek(uint64_t frame);
    uint64_t tellFrame() const;

    // Gains in tenths of a decibel per band, 32 bands per channel; null
    // switches the equalizer off.
    void setEqualizer(const int8_t *left, const int8_t *right);

private:
    struct HandleDeleter {
        void operator()(mpg123_handle_struct *handle) const;
    };
    static std::unique_ptr<mpg123_handle_struct, HandleDeleter> newHandle(bool gapless);
    uint64_t measure(mpg123_handle_struct *decoding, const std::string &path);

    std::unique_ptr<mpg123_handle_struct, HandleDeleter> handle_;
    // Counts the frames for the exact length, on its own handle: a count
    // short of what a LAME header announces (a cut or damaged end) makes
    // libmpg123 drop gapless decoding on the handle that counted.
    std::unique_ptr<mpg123_handle_struct, HandleDeleter> counter_;
    bool open_ = false;
    bool formatChanged_ = false;
    long rate_ = 0;
    int channels_ = 0;
    int consecutiveErrors_ = 0;
};

} // namespace kelvra

#include "decoder.h"

#include <mpg123.h>

#include <cerrno>
#include <cmath>
#include <mutex>
#include <sys/stat.h>

namespace kelvra {

void Decoder::HandleDeleter::operator()(mpg123_handle_struct *handle) const {
    mpg123_close(handle);
    mpg123_delete(handle);
}

Decoder::Decoder() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    int error = MPG123_OK;
    handle_.reset(mpg123_new(nullptr, &error));
    if (!handle_)
        return;
    mpg123_handle *mh = handle_.get();
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
    // Only 16-bit output, at the stream's own rate and channel count: the
    // output chain and the mixer convert, never the decoder's crude resampler.
    mpg123_format_none(mh);
    const long *rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i)
        mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
}

Decoder::~Decoder() = default;

Error Decoder::open(const std::string &path, StreamInfo &info) {
    close();
    if (!handle_)
        return Error::OutOfMemory;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Error::FileNotFound : Error::FileUnreadable;
    if (!S_ISREG(st.st_mode))
        return Error::FileUnreadable;
    if (st.st_size == 0)
        return Error::EmptyFile;
    mpg123_handle *mh = handle_.get();
    if (mpg123_open(mh, path.c_str()) != MPG123_OK)
        return Error::FileUnreadable;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        channels <= 0) {
        mpg123_close(mh);
        return Error::NotMpegAudio;
    }
    // A full scan makes the length exact for VBR files without a header
    // frame and seeking sample-exact; it reads headers only.
    mpg123_scan(mh);
    const off_t length = mpg123_length(mh);
    mpg123_frameinfo2 frame{};
    mpg123_info2(mh, &frame);
    info.rate = static_cast<uint32_t>(rate);
    info.channels = static_cast<uint32_t>(channels);
    info.frames = length > 0 ? static_cast<uint64_t>(length) : 0;
    info.layer = frame.layer;
    if (info.frames > 0) {
        // The average over the whole file, right for VBR as well.
        const double seconds = static_cast<double>(info.frames) / info.rate;
        const double audioBytes = static_cast<double>(st.st_size);
        info.bitrateKbps = static_cast<int32_t>(std::lround(audioBytes * 8.0 / seconds / 1000.0));
        if (frame.vbr == MPG123_CBR && frame.bitrate > 0)
            info.bitrateKbps = frame.bitrate;
    } else {
        info.bitrateKbps = frame.bitrate;
    }
    if (info.bitrateKbps > 32767)
        info.bitrateKbps = 32767;
    open_ = true;
    formatChanged_ = false;
    rate_ = rate;
    channels_ = channels;
    consecutiveErrors_ = 0;
    return Error::None;
}

void Decoder::close() {
    if (open_ && handle_)
        mpg123_close(handle_.get());
    open_ = false;
}

Decoder::ReadResult Decoder::read(std::span<int16_t> out, size_t &samples) {
    samples = 0;
    if (!open_)
        return ReadResult::Done;
    while (true) {
        size_t bytes = 0;
        const int result = mpg123_read(handle_.get(), out.data(), out.size_bytes(), &bytes);
        samples = bytes / sizeof(int16_t);
        if (result == MPG123_DONE)
            return samples > 0 ? ReadResult::Data : ReadResult::Done;
        if (result == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0;
            int encoding = 0;
            if (mpg123_getformat(handle_.get(), &rate, &channels, &encoding) == MPG123_OK &&
                (rate != rate_ || channels != channels_) && rate > 0 && channels > 0) {
                rate_ = rate;
                channels_ = channels;
                formatChanged_ = true;
            }
        }
        if (result == MPG123_OK || result == MPG123_NEW_FORMAT) {
            consecutiveErrors_ = 0;
            if (samples > 0)
                return ReadResult::Data;
            continue;
        }
        // A damaged frame: the decoder resynchronises on the next call. Only
        // a run of failures without progress ends the stream.
        if (samples > 0)
            return ReadResult::Data;
        if (++consecutiveErrors_ > 64)
            return ReadResult::Error;
    }
}

bool Decoder::takeFormatChange(StreamInfo &info) {
    if (!formatChanged_)
        return false;
    formatChanged_ = false;
    info.rate = static_cast<uint32_t>(rate_);
    info.channels = static_cast<uint32_t>(channels_);
    return true;
}

bool Decoder::seek(uint64_t frame) {
    if (!open_)
        return false;
    return mpg123_seek(handle_.get(), static_cast<off_t>(frame), SEEK_SET) >= 0;
}

uint64_t Decoder::tellFrame() const {
    if (!open_)
        return 0;
    const off_t position = mpg123_tell(handle_.get());
    return position > 0 ? static_cast<uint64_t>(position) : 0;
}

void Decoder::setEqualizer(const int8_t *left, const int8_t *right) {
    if (!handle_)
        return;
    mpg123_handle *mh = handle_.get();
    mpg123_reset_eq(mh);
    if (left == nullptr || right == nullptr)
        return;
    for (int band = 0; band < 32; ++band) {
        const double l = std::pow(10.0, left[band] / 200.0);
        const double r = std::pow(10.0, right[band] / 200.0);
        mpg123_eq(mh, MPG123_LEFT, band, l);
        mpg123_eq(mh, MPG123_RIGHT, band, r);
    }
}

} // namespace kelvra

#include "decoder.h"

#include <mpg123.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <mutex>
#include <sys/stat.h>

namespace kelvra {

void Decoder::HandleDeleter::operator()(mpg123_handle_struct *handle) const {
    mpg123_close(handle);
    mpg123_delete(handle);
}

std::unique_ptr<mpg123_handle_struct, Decoder::HandleDeleter> Decoder::newHandle(bool gapless) {
    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle_struct, HandleDeleter> handle(mpg123_new(nullptr, &error));
    if (!handle)
        return handle;
    mpg123_handle *mh = handle.get();
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_param(mh, gapless ? MPG123_ADD_FLAGS : MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
    // Only 16-bit output, at the stream's own rate and channel count: the
    // output chain and the mixer convert, never the decoder's crude resampler.
    mpg123_format_none(mh);
    const long *rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i)
        mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    return handle;
}

Decoder::Decoder() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    handle_ = newHandle(true);
    counter_ = newHandle(false);
}

Decoder::~Decoder() {
    close();
}

uint64_t Decoder::measure(mpg123_handle_struct *decoding, const std::string &path) {
    // The length the header announces, delay and padding already removed.
    const off_t announced = mpg123_length(decoding);
    uint64_t counted = 0;
    mpg123_handle *counter = counter_.get();
    if (mpg123_open(counter, path.c_str()) == MPG123_OK) {
        if (mpg123_scan(counter) == MPG123_OK) {
            const off_t length = mpg123_length(counter);
            counted = length > 0 ? static_cast<uint64_t>(length) : 0;
        }
        mpg123_close(counter);
    }
    long delay = -1;
    long padding = -1;
    long decoderDelay = -1;
    mpg123_getstate(decoding, MPG123_ENC_DELAY, &delay, nullptr);
    mpg123_getstate(decoding, MPG123_ENC_PADDING, &padding, nullptr);
    mpg123_getstate(decoding, MPG123_DEC_DELAY, &decoderDelay, nullptr);
    if (delay < 0 || padding < 0 || announced <= 0)
        return counted;
    // With a LAME header the decoder skips the delay and stops where the
    // header says the audio ends; a file cut short of that end plays on to
    // its last frame.
    const uint64_t skipped = static_cast<uint64_t>(delay + std::max(decoderDelay, 0L));
    const uint64_t announcedEnd = static_cast<uint64_t>(announced) + skipped;
    if (counted >= announcedEnd)
        return static_cast<uint64_t>(announced);
    return counted > skipped ? counted - skipped : 0;
}

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
    if (!counter_)
        return Error::OutOfMemory;
    mpg123_handle *mh = handle_.get();
    if (mpg123_open(mh, path.c_str()) != MPG123_OK)
        return Error::FileUnreadable;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        channels <= 0) {
        close();
        return Error::NotMpegAudio;
    }
    // Every frame counted makes the length exact for VBR files without a
    // header frame and for files cut short; it reads headers only.
    const uint64_t length = measure(mh, path);
    if (length == 0) {
        // Headers without a whole frame behind them: nothing to play.
        close();
        return Error::NotMpegAudio;
    }
    mpg123_frameinfo2 frame{};
    mpg123_info2(mh, &frame);
    info.rate = static_cast<uint32_t>(rate);
    info.channels = static_cast<uint32_t>(channels);
    info.frames = length;
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
    if (handle_)
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

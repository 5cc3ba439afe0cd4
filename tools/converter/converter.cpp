#include "converter.h"

#include "wav_file.h"

#include <lame/lame.h>
#include <mpg123.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace velbrin::tools {

namespace {

struct LameCloser {
    void operator()(lame_global_flags *l) const { lame_close(l); }
};
struct FileCloser {
    void operator()(std::FILE *f) const { std::fclose(f); }
};
struct Mpg123Closer {
    void operator()(mpg123_handle *h) const {
        mpg123_close(h);
        mpg123_delete(h);
    }
};

std::string failed(const std::string &out, const std::string &reason) {
    std::remove(out.c_str());
    return reason;
}

} // namespace

std::string wavToMp3(const std::string &wavPath, const std::string &mp3Path, int bitrate) {
    std::string error;
    const auto audio = readWav(wavPath, error);
    if (!audio)
        return error;
    std::unique_ptr<lame_global_flags, LameCloser> lame(lame_init());
    if (!lame)
        return "the MP3 encoder could not be started";
    lame_set_num_channels(lame.get(), audio->channels);
    lame_set_in_samplerate(lame.get(), static_cast<int>(audio->rate));
    lame_set_brate(lame.get(), bitrate);
    lame_set_quality(lame.get(), 2);
    lame_set_bWriteVbrTag(lame.get(), 1);
    if (lame_init_params(lame.get()) < 0)
        return wavPath + ": the MP3 encoder does not take this sample rate or bit rate";

    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(mp3Path.c_str(), "w+b"));
    if (!out)
        return "cannot create " + mp3Path;
    const size_t frames = audio->frames();
    constexpr size_t kBlock = 8192;
    std::vector<unsigned char> mp3(kBlock * 5 / 4 + 7200);
    std::vector<int16_t> left(kBlock);
    for (size_t at = 0; at < frames; at += kBlock) {
        const size_t n = std::min(kBlock, frames - at);
        int bytes;
        if (audio->channels == 2) {
            bytes = lame_encode_buffer_interleaved(
                lame.get(), const_cast<short *>(audio->samples.data() + 2 * at),
                static_cast<int>(n), mp3.data(), static_cast<int>(mp3.size()));
        } else {
            bytes =
                lame_encode_buffer(lame.get(), audio->samples.data() + at, nullptr,
                                   static_cast<int>(n), mp3.data(), static_cast<int>(mp3.size()));
        }
        if (bytes < 0)
            return failed(mp3Path, "the MP3 encoder failed");
        if (std::fwrite(mp3.data(), 1, static_cast<size_t>(bytes), out.get()) !=
            static_cast<size_t>(bytes))
            return failed(mp3Path, "cannot write " + mp3Path);
    }
    const int tail = lame_encode_flush(lame.get(), mp3.data(), static_cast<int>(mp3.size()));
    if (tail < 0 || std::fwrite(mp3.data(), 1, static_cast<size_t>(tail), out.get()) !=
                        static_cast<size_t>(tail))
        return failed(mp3Path, "cannot write " + mp3Path);
    // The information frame at the start holds the delay and padding the
    // encoder added, so that decoders give back exactly the original samples.
    std::vector<unsigned char> tag(2880);
    const size_t tagBytes = lame_get_lametag_frame(lame.get(), tag.data(), tag.size());
    if (tagBytes > 0 && tagBytes <= tag.size() &&
        (std::fseek(out.get(), 0, SEEK_SET) != 0 ||
         std::fwrite(tag.data(), 1, tagBytes, out.get()) != tagBytes))
        return failed(mp3Path, "cannot write " + mp3Path);
    if (std::fclose(out.release()) != 0)
        return failed(mp3Path, "cannot write " + mp3Path);
    return {};
}

std::string mp3ToWav(const std::string &mp3Path, const std::string &wavPath) {
    int code = MPG123_OK;
    std::unique_ptr<mpg123_handle, Mpg123Closer> mh(mpg123_new(nullptr, &code));
    if (!mh)
        return "the MP3 decoder could not be started";
    mpg123_param(mh.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    if (mpg123_open(mh.get(), mp3Path.c_str()) != MPG123_OK)
        return "cannot open " + mp3Path;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(mh.get(), &rate, &channels, &encoding) != MPG123_OK || rate <= 0)
        return mp3Path + " is not an MP3 file";
    mpg123_format_none(mh.get());
    mpg123_format(mh.get(), rate, channels, MPG123_ENC_SIGNED_16);

    WavWriter wav(wavPath, static_cast<uint32_t>(rate), static_cast<uint16_t>(channels));
    if (!wav.ok())
        return "cannot create " + wavPath;
    std::vector<int16_t> buffer(16384);
    for (;;) {
        size_t done = 0;
        code = mpg123_read(mh.get(), buffer.data(), buffer.size() * 2, &done);
        if (done > 0 && !wav.write(std::span(buffer.data(), done / 2)))
            return failed(wavPath, "cannot write " + wavPath);
        if (code == MPG123_DONE)
            break;
        if (code == MPG123_NEW_FORMAT)
            continue;
        if (code != MPG123_OK)
            return failed(wavPath, mp3Path + " is damaged: " + mpg123_strerror(mh.get()));
    }
    if (wav.framesWritten() == 0)
        return failed(wavPath, mp3Path + " holds no audio");
    if (!wav.close())
        return failed(wavPath, "cannot write " + wavPath);
    return {};
}

} // namespace velbrin::tools

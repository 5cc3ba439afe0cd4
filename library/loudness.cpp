#include "loudness.h"

#include "true_peak.h"

#include <QFile>

#include <ebur128.h>
#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace velbrin::library {

namespace {

struct Mpg123Deleter {
    void operator()(mpg123_handle *h) const {
        mpg123_close(h);
        mpg123_delete(h);
    }
};
struct Ebur128Deleter {
    void operator()(ebur128_state *s) const { ebur128_destroy(&s); }
};

quint32 bigEndian32(const unsigned char *p) {
    return quint32{p[0]} << 24 | quint32{p[1]} << 16 | quint32{p[2]} << 8 | quint32{p[3]};
}

} // namespace

double playbackGainDb(const LoudnessInfo &info) {
    if (!info.gainDb || !std::isfinite(*info.gainDb)) {
        return 0.0;
    }
    double gain = *info.gainDb;
    if (info.peak && *info.peak > 0.0) {
        gain = std::min(gain, kPeakCeilingDbfs - 20.0 * std::log10(*info.peak));
    } else {
        gain = std::min(gain, 0.0);
    }
    return gain;
}

std::optional<double> readLameReplayGain(const QString &path, qint64 audioStart) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(audioStart)) {
        return std::nullopt;
    }
    const QByteArray bytes = file.read(512);
    const auto *f = reinterpret_cast<const unsigned char *>(bytes.constData());
    const auto size = bytes.size();
    if (size < 4 || f[0] != 0xFF || (f[1] & 0xE0) != 0xE0 || (f[1] & 0x06) != 0x02) {
        return std::nullopt; // no layer III frame header here
    }
    const bool mpeg1 = (f[1] & 0x18) == 0x18;
    const bool mono = (f[3] & 0xC0) == 0xC0;
    const qsizetype xing = 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    if (size < xing + 8 ||
        (std::memcmp(f + xing, "Xing", 4) != 0 && std::memcmp(f + xing, "Info", 4) != 0)) {
        return std::nullopt;
    }
    const quint32 flags = bigEndian32(f + xing + 4);
    const qsizetype lame = xing + 8 + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) +
                           ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
    if (size < lame + 17) {
        return std::nullopt;
    }
    // Encoder name (9), revision (1), lowpass (1), peak (4), then the radio
    // gain: name code 1 in the top three bits, a set originator, a sign bit
    // and tenths of a decibel.
    const unsigned word = unsigned{f[lame + 15]} << 8 | f[lame + 16];
    const unsigned name = word >> 13;
    const unsigned originator = (word >> 10) & 7;
    if (name != 1 || originator == 0) {
        return std::nullopt;
    }
    const double tenths = word & 0x1FF;
    return ((word & 0x200) != 0 ? -tenths : tenths) / 10.0;
}

std::optional<LoudnessMeasurement> measureLoudness(const QString &path,
                                                   const std::atomic<bool> &stop) {
    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle, Mpg123Deleter> decoder(mpg123_new(nullptr, &error));
    if (!decoder) {
        return std::nullopt;
    }
    mpg123_param(decoder.get(), MPG123_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(decoder.get());
    const long *rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i) {
        mpg123_format(decoder.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    }
    if (mpg123_open(decoder.get(), QFile::encodeName(path).constData()) != MPG123_OK) {
        return std::nullopt;
    }
    std::unique_ptr<ebur128_state, Ebur128Deleter> meter;
    std::unique_ptr<TruePeakMeter> peak;
    int channels = 0;
    long rate = 0;
    bool anyAudio = false;
    std::vector<unsigned char> buffer(1 << 16);
    while (!stop.load(std::memory_order_relaxed)) {
        size_t done = 0;
        const int result = mpg123_read(decoder.get(), buffer.data(), buffer.size(), &done);
        if (result == MPG123_NEW_FORMAT || !meter) {
            long newRate = 0;
            int newChannels = 0;
            int encoding = 0;
            if (mpg123_getformat(decoder.get(), &newRate, &newChannels, &encoding) != MPG123_OK) {
                return std::nullopt;
            }
            if (!meter) {
                meter.reset(ebur128_init(static_cast<unsigned>(newChannels),
                                         static_cast<unsigned long>(newRate), EBUR128_MODE_I));
                if (!meter) {
                    return std::nullopt;
                }
            } else if (newRate != rate || newChannels != channels) {
                ebur128_change_parameters(meter.get(), static_cast<unsigned>(newChannels),
                                          static_cast<unsigned long>(newRate));
            }
            if (newChannels == 1) {
                ebur128_set_channel(meter.get(), 0, EBUR128_DUAL_MONO);
            }
            if (newChannels != channels) {
                peak = std::make_unique<TruePeakMeter>(newChannels);
            }
            rate = newRate;
            channels = newChannels;
        }
        if (done > 0 && channels > 0) {
            const size_t frames = done / sizeof(float) / static_cast<size_t>(channels);
            const auto *samples = reinterpret_cast<const float *>(buffer.data());
            ebur128_add_frames_float(meter.get(), samples, frames);
            peak->add(samples, frames);
            anyAudio = true;
        }
        if (result == MPG123_DONE) {
            break;
        }
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
            // A damaged stretch ends the song for the engine too.
            if (!anyAudio) {
                return std::nullopt;
            }
            break;
        }
    }
    if (stop.load(std::memory_order_relaxed) || !anyAudio) {
        return std::nullopt;
    }
    LoudnessMeasurement m;
    double lufs = 0;
    if (ebur128_loudness_global(meter.get(), &lufs) == EBUR128_SUCCESS && std::isfinite(lufs)) {
        m.integratedLufs = lufs;
    }
    m.truePeak = peak->peak();
    return m;
}

} // namespace velbrin::library

// Loudness analysis speed on one core, in times real time: the program's
// analysis (libmpg123 decoding, libebur128's integrated loudness and the
// program's own true-peak meter) against decoding alone and against
// libebur128 measuring the true peak itself.
//
// Usage: loudness_bench [SONG.mp3 ...]  (without songs it makes three of three
// minutes each with sox and lame: dynamic noise, a loud compressed master in
// VBR, quiet noise at 48 kHz)

#include "loudness.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <ebur128.h>
#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include <sched.h>

namespace {

bool run(const QString &program, const QStringList &arguments) {
    QProcess p;
    p.start(program, arguments);
    return p.waitForFinished(300000) && p.exitCode() == 0;
}

QStringList makeSongs(const QTemporaryDir &dir) {
    struct Recipe {
        const char *name;
        QStringList sox;
        QStringList lame;
    };
    const Recipe recipes[] = {
        {"dynamic",
         {"-c", "2", "-r", "44100", "synth", "180", "pinknoise", "tremolo", "0.1", "60", "vol",
          "0.5"},
         {"-b", "192"}},
        // A loud, compressed master: its many near-full-scale samples are
        // the true-peak meter's hardest case.
        {"loud-master",
         {"-c", "2", "-r", "44100", "synth", "180", "pinknoise", "compand", "0.01,0.2",
          "-60,-60,-30,-14,0,-8", "0", "-90", "0.01", "gain", "-n", "-0.5"},
         {"-V", "2"}},
        {"quiet-48k",
         {"-c", "2", "-r", "48000", "synth", "180", "brownnoise", "vol", "0.1"},
         {"-b", "256"}},
    };
    QStringList songs;
    for (const Recipe &r : recipes) {
        const QString wav = dir.filePath(QString::fromLatin1(r.name) + ".wav");
        const QString mp3 = dir.filePath(QString::fromLatin1(r.name) + ".mp3");
        QStringList sox{"-R", "-n", "-b", "16"};
        sox << r.sox.mid(0, 4) << wav << r.sox.mid(4);
        if (!run("sox", sox) ||
            !run("lame", QStringList{"--quiet"} + r.lame + QStringList{wav, mp3})) {
            std::fprintf(stderr, "cannot make %s (sox and lame needed)\n", r.name);
            return {};
        }
        QFile::remove(wav);
        songs << mp3;
    }
    return songs;
}

struct Handle {
    std::unique_ptr<mpg123_handle, void (*)(mpg123_handle *)> h{nullptr, [](mpg123_handle *p) {
                                                                    mpg123_close(p);
                                                                    mpg123_delete(p);
                                                                }};
};

// Decodes the song as the analysis does, handing each block to `use`; the
// number of seconds of audio.
double decode(const QString &path,
              const std::function<void(const float *, size_t, int, long)> &use) {
    Handle d;
    d.h.reset(mpg123_new(nullptr, nullptr));
    mpg123_param(d.h.get(), MPG123_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(d.h.get());
    const long *rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i) {
        mpg123_format(d.h.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    }
    if (mpg123_open(d.h.get(), QFile::encodeName(path).constData()) != MPG123_OK) {
        return 0;
    }
    std::vector<unsigned char> buffer(1 << 16);
    long rate = 0;
    int channels = 0, encoding = 0;
    double frames = 0;
    while (true) {
        size_t done = 0;
        const int result = mpg123_read(d.h.get(), buffer.data(), buffer.size(), &done);
        if (result == MPG123_NEW_FORMAT || channels == 0) {
            mpg123_getformat(d.h.get(), &rate, &channels, &encoding);
        }
        if (done > 0 && channels > 0) {
            const size_t n = done / sizeof(float) / static_cast<size_t>(channels);
            use(reinterpret_cast<const float *>(buffer.data()), n, channels, rate);
            frames += static_cast<double>(n);
        }
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
            break;
        }
    }
    return rate > 0 ? frames / static_cast<double>(rate) : 0;
}

double timed(const std::function<void()> &work) {
    QElapsedTimer clock;
    clock.start();
    work();
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    // One core, as the analysis thread has.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    sched_setaffinity(0, sizeof one, &one);

    QTemporaryDir dir;
    QStringList songs = app.arguments().mid(1);
    if (songs.isEmpty()) {
        songs = makeSongs(dir);
    }
    if (songs.isEmpty()) {
        return 2;
    }

    double audio = 0;
    const double decodeSeconds = timed([&] {
        for (const QString &s : songs) {
            audio += decode(s, [](const float *, size_t, int, long) {});
        }
    });
    std::vector<double> referencePeaks;
    const double ebur128Seconds = timed([&] {
        for (const QString &s : songs) {
            ebur128_state *state = nullptr;
            decode(s, [&](const float *samples, size_t frames, int channels, long rate) {
                if (state == nullptr) {
                    state = ebur128_init(static_cast<unsigned>(channels),
                                         static_cast<unsigned long>(rate),
                                         EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
                }
                ebur128_add_frames_float(state, samples, frames);
            });
            double peak = 0;
            for (unsigned c = 0; state != nullptr && c < state->channels; ++c) {
                double p = 0;
                ebur128_true_peak(state, c, &p);
                peak = std::max(peak, p);
            }
            referencePeaks.push_back(peak);
            ebur128_destroy(&state);
        }
    });
    const std::atomic<bool> running{false};
    double worstGap = 0;
    size_t index = 0;
    const double oursSeconds = timed([&] {
        for (const QString &s : songs) {
            const double reference = referencePeaks.at(index++);
            if (const auto m = velbrin::library::measureLoudness(s, running)) {
                std::printf("  %-24s %7.2f LUFS, true peak %6.2f dBFS (libebur128: %6.2f)\n",
                            QFile::encodeName(s.section('/', -1)).constData(),
                            m->integratedLufs.value_or(-999), 20 * std::log10(m->truePeak),
                            20 * std::log10(reference));
            } else {
                worstGap = 1;
            }
        }
    });
    const auto row = [&](const char *name, double seconds) {
        std::printf("%-46s %8.2f s %8.0fx real time\n", name, seconds, audio / seconds);
    };
    std::printf("%zu songs, %.0f s of audio, one core\n", static_cast<size_t>(songs.size()), audio);
    row("decoding alone (libmpg123, float)", decodeSeconds);
    row("libebur128 loudness + its own true peak", ebur128Seconds);
    row("analysis (loudness + gated true peak)", oursSeconds);
    std::printf("analysis against libebur128's true peak: %.2fx the speed\n",
                ebur128Seconds / oursSeconds);
    const bool ok = worstGap == 0 && audio / oursSeconds >= 300.0;
    std::printf("target (at least 300x real time on one core): %s\n", ok ? "met" : "MISSED");
    return ok ? 0 : 1;
}

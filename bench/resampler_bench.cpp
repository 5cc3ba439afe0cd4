// Converts the same 60 s of 44.1 kHz stereo to 48 kHz with kv_resampler and
// with the peer libraries, in one run, and prints each one's speed as a
// multiple of real time and the THD+N of the 1 kHz test sine.

#include "kelvra_interface.h"

#include <samplerate.h>
#include <soxr.h>
#include <speex/speex_resampler.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <malloc.h>
#include <numbers>
#include <string>
#include <vector>

extern "C" int32_t output_filter_module_register(kv_output_module_descriptor *descriptor);

namespace {

constexpr uint32_t kInRate = 44100;
constexpr uint32_t kOutRate = 48000;
constexpr std::size_t kSeconds = 60;
constexpr std::size_t kFramesPerWrite = 1152; // one decoded MP3 frame

using Samples = std::vector<int16_t>;

Samples test_signal() {
    const double amplitude = 32767.0 * std::pow(10.0, -1.0 / 20);
    Samples v(kInRate * kSeconds * 2);
    for (std::size_t i = 0; i < kInRate * kSeconds; ++i) {
        const auto s = static_cast<int16_t>(
            std::lround(amplitude * std::sin(2 * std::numbers::pi * 1000.0 *
                                             static_cast<double>(i) / kInRate)));
        v[2 * i] = s;
        v[2 * i + 1] = s;
    }
    return v;
}

// THD+N of the left channel against a least-squares 1 kHz fit (with offset),
// over the middle of the output.
double thd_n_db(const Samples &v) {
    const std::size_t frames = v.size() / 2;
    const std::size_t begin = kOutRate, end = frames > 2 * kOutRate ? frames - kOutRate : frames;
    double m[3][3] = {}, r[3] = {};
    for (std::size_t i = begin; i < end; ++i) {
        const double t = 2 * std::numbers::pi * 1000.0 * static_cast<double>(i) / kOutRate;
        const double b[3] = {std::sin(t), std::cos(t), 1.0};
        for (int a = 0; a < 3; ++a) {
            for (int c = 0; c < 3; ++c) {
                m[a][c] += b[a] * b[c];
            }
            r[a] += b[a] * v[2 * i];
        }
    }
    // Gaussian elimination on the 3x3 normal equations.
    for (int p = 0; p < 3; ++p) {
        for (int q = p + 1; q < 3; ++q) {
            const double f = m[q][p] / m[p][p];
            for (int c = 0; c < 3; ++c) {
                m[q][c] -= f * m[p][c];
            }
            r[q] -= f * r[p];
        }
    }
    double x[3];
    for (int p = 2; p >= 0; --p) {
        double s = r[p];
        for (int c = p + 1; c < 3; ++c) {
            s -= m[p][c] * x[c];
        }
        x[p] = s / m[p][p];
    }
    double residual = 0;
    for (std::size_t i = begin; i < end; ++i) {
        const double t = 2 * std::numbers::pi * 1000.0 * static_cast<double>(i) / kOutRate;
        const double e = v[2 * i] - (x[0] * std::sin(t) + x[1] * std::cos(t) + x[2]);
        residual += e * e;
    }
    const double signal_rms = std::hypot(x[0], x[1]) / std::sqrt(2.0);
    return 20 * std::log10(std::sqrt(residual / static_cast<double>(end - begin)) / signal_rms);
}

// The next stage of the chain: hands out buffers straight in the output.
struct Collector {
    Samples out;
    std::size_t used = 0;
    static void *get_buffer(void *self, uint32_t size) {
        auto *c = static_cast<Collector *>(self);
        if (c->out.size() < c->used + size / 2) {
            c->out.resize(c->used + size / 2 + 65536);
        }
        return c->out.data() + c->used;
    }
    static int32_t write(void *self, const void *, uint32_t size, uint32_t, uint32_t, uint32_t) {
        static_cast<Collector *>(self)->used += size / 2;
        return 0;
    }
    static int32_t control(void *, kv_output_format *, uint32_t) { return 0; }
};

Samples run_kv_resampler(const Samples &in) {
    kv_output_module_descriptor d{};
    output_filter_module_register(&d);
    void *instance = nullptr;
    d.new_instance(&instance, nullptr, nullptr);
    Collector collector;
    collector.out.resize(in.size() * kOutRate / kInRate + 65536);
    kv_output_chain chain{instance, &collector, Collector::write, Collector::get_buffer,
                          Collector::control};
    kv_output_format format{kInRate, 2, 16, 0};
    d.control(&chain, &format, KV_CONTROL_FORMAT);
    for (std::size_t at = 0; at < in.size(); at += 2 * kFramesPerWrite) {
        const std::size_t n = std::min(2 * kFramesPerWrite, in.size() - at);
        if (d.write(&chain, in.data() + at, static_cast<uint32_t>(2 * n), 16, 2, kInRate) != 0) {
            std::fprintf(stderr, "kv_resampler write failed\n");
            std::exit(1);
        }
    }
    d.control(&chain, &format, KV_CONTROL_DRAIN);
    d.delete_instance(instance);
    collector.out.resize(collector.used);
    return collector.out;
}

Samples run_soxr(const Samples &in, unsigned long recipe) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(recipe, 0);
    soxr_error_t error = nullptr;
    soxr_t soxr = soxr_create(kInRate, kOutRate, 2, &error, &io, &quality, nullptr);
    if (error != nullptr) {
        std::fprintf(stderr, "soxr: %s\n", error);
        std::exit(1);
    }
    Samples out(in.size() * kOutRate / kInRate + 65536);
    std::size_t used = 0;
    const std::size_t room = 4 * kFramesPerWrite;
    for (std::size_t at = 0; at <= in.size(); at += 2 * kFramesPerWrite) {
        const bool last = at >= in.size();
        const std::size_t frames = last ? 0 : std::min(kFramesPerWrite, (in.size() - at) / 2);
        std::size_t consumed = 0, produced = 0;
        do {
            if (out.size() < used + 2 * room) {
                out.resize(out.size() + 65536);
            }
            soxr_process(soxr, last ? nullptr : in.data() + at, frames, &consumed,
                         out.data() + used, room, &produced);
            used += 2 * produced;
        } while (last && produced > 0);
    }
    soxr_delete(soxr);
    out.resize(used);
    return out;
}

Samples run_libsamplerate(const Samples &in, int converter) {
    int error = 0;
    SRC_STATE *state = src_new(converter, 2, &error);
    std::vector<float> fin(2 * kFramesPerWrite), fout(4 * kFramesPerWrite);
    Samples out;
    out.reserve(in.size() * kOutRate / kInRate + 65536);
    std::vector<short> chunk(fout.size());
    for (std::size_t at = 0; at <= in.size(); at += 2 * kFramesPerWrite) {
        const bool last = at >= in.size();
        const std::size_t n = last ? 0 : std::min(2 * kFramesPerWrite, in.size() - at);
        if (n > 0) {
            src_short_to_float_array(in.data() + at, fin.data(), static_cast<int>(n));
        }
        SRC_DATA data{};
        data.data_in = fin.data();
        data.input_frames = static_cast<long>(n / 2);
        data.src_ratio = static_cast<double>(kOutRate) / kInRate;
        data.end_of_input = last ? 1 : 0;
        do {
            data.data_out = fout.data();
            data.output_frames = static_cast<long>(fout.size() / 2);
            src_process(state, &data);
            src_float_to_short_array(fout.data(), chunk.data(),
                                     static_cast<int>(2 * data.output_frames_gen));
            out.insert(out.end(), chunk.begin(), chunk.begin() + 2 * data.output_frames_gen);
            data.data_in += 2 * data.input_frames_used;
            data.input_frames -= data.input_frames_used;
        } while (data.input_frames > 0 || (last && data.output_frames_gen > 0));
    }
    src_delete(state);
    return out;
}

Samples run_speex(const Samples &in, int quality) {
    int error = 0;
    SpeexResamplerState *state = speex_resampler_init(2, kInRate, kOutRate, quality, &error);
    Samples out(in.size() * kOutRate / kInRate + 65536);
    std::size_t used = 0;
    for (std::size_t at = 0; at < in.size(); at += 2 * kFramesPerWrite) {
        auto in_frames = static_cast<spx_uint32_t>(std::min(kFramesPerWrite, (in.size() - at) / 2));
        auto out_frames = static_cast<spx_uint32_t>((out.size() - used) / 2);
        speex_resampler_process_interleaved_int(state, in.data() + at, &in_frames,
                                                out.data() + used, &out_frames);
        used += 2 * out_frames;
    }
    speex_resampler_destroy(state);
    out.resize(used);
    return out;
}

struct Result {
    std::string name;
    double times_real_time;
    double thd_n;
    std::size_t frames;
};

// The best of three, since the machine is shared with other work.
Result measure(const std::string &name, const std::function<Samples()> &run) {
    double best = 1e9;
    Samples out;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const auto start = std::chrono::steady_clock::now();
        out = run();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
    }
    return {name, static_cast<double>(kSeconds) / best, thd_n_db(out), out.size() / 2};
}

Result measure_kv(const std::string &name, const char *isa, const Samples &in) {
    if (isa != nullptr) {
        setenv("VELBRIN_RESAMPLER_ISA", isa, 1);
    }
    Result r = measure(name, [&] { return run_kv_resampler(in); });
    unsetenv("VELBRIN_RESAMPLER_ISA");
    return r;
}

} // namespace

int main() {
    // Keep freed memory in the heap, so that no converter's best attempt pays
    // for faulting in fresh pages for its output.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    const Samples in = test_signal();
    // One untimed pass builds the kernel table.
    run_kv_resampler(in);
    std::vector<Result> results;
    results.push_back(measure_kv("kv_resampler", nullptr, in));
    results.push_back(measure("libsoxr HQ", [&] { return run_soxr(in, SOXR_HQ); }));
    results.push_back(measure("libsoxr LQ", [&] { return run_soxr(in, SOXR_LQ); }));
    results.push_back(
        measure("libsamplerate fastest", [&] { return run_libsamplerate(in, SRC_SINC_FASTEST); }));
    results.push_back(measure("libsamplerate medium",
                              [&] { return run_libsamplerate(in, SRC_SINC_MEDIUM_QUALITY); }));
    results.push_back(measure("speexdsp q5", [&] { return run_speex(in, 5); }));
    results.push_back(measure_kv("kv_resampler (avx512)", "avx512", in));
    results.push_back(measure_kv("kv_resampler (avx2)", "avx2", in));
    results.push_back(measure_kv("kv_resampler (generic)", "generic", in));

    std::printf("%zu s of %u Hz stereo to %u Hz, writes of %zu frames\n\n", kSeconds, kInRate,
                kOutRate, kFramesPerWrite);
    std::printf("| %-22s | %12s | %10s | %10s |\n", "converter", "x real time", "THD+N dB",
                "frames");
    std::printf("|------------------------|--------------|------------|------------|\n");
    for (const auto &r : results) {
        std::printf("| %-22s | %12.0f | %10.1f | %10zu |\n", r.name.c_str(), r.times_real_time,
                    r.thd_n, r.frames);
    }
    std::printf("\nkv_resampler / libsoxr HQ: %.2f\n",
                results[0].times_real_time / results[1].times_real_time);
    return 0;
}

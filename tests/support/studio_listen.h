#pragma once

// Listening to a studio change recorded at the sink (44.1 kHz, one channel):
// the two songs' tones, the DJ's voice over them, clipping, and the duck.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace velbrin::test {

inline constexpr double kListenRate = 44100.0;

// The amplitude of `hz` in s[from, from + count) (Goertzel over a Hann
// window, so a loud tone nearby does not leak into the reading).
inline double toneAmplitude(const std::vector<int16_t> &s, size_t from, size_t count, double hz) {
    const double c = 2 * std::cos(2 * M_PI * hz / kListenRate);
    double a = 0, b = 0, weights = 0;
    for (size_t i = from; i < from + count && i < s.size(); ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * M_PI * double(i - from) / double(count - 1));
        const double n = s[i] * w + c * a - b;
        weights += w;
        b = a;
        a = n;
    }
    return weights == 0 ? 0 : 2 * std::sqrt(std::max(0.0, a * a + b * b - c * a * b)) / weights;
}

inline double decibels(double amplitude) {
    return 20 * std::log10(amplitude / 32768.0 + 1e-9);
}

// Samples at full scale: what a sound card turns into clicks.
inline size_t clippedSamples(const std::vector<int16_t> &s) {
    return size_t(
        std::count_if(s.begin(), s.end(), [](int16_t v) { return std::abs(v) >= 32767; }));
}

// One 10 ms window: the music (both songs' tones together), each song, and
// the voice (what the fourth difference passes: a tone of a few hundred hertz
// loses some 95 dB to it, a voice's formants at 2 kHz about 45).
struct Heard {
    double seconds;
    double music, old, fresh; // dBFS of the tones' amplitude
    double voice;             // RMS of the fourth difference, in dB of full scale
};

inline std::vector<Heard> listen(const std::vector<int16_t> &s, double oldHz, double newHz) {
    // 40 ms windows every 10 ms: long enough to tell two tones 100 Hz apart.
    const size_t w = size_t(kListenRate / 25), hop = size_t(kListenRate / 100);
    std::vector<Heard> out;
    for (size_t at = 4; at + w <= s.size(); at += hop) {
        const double o = toneAmplitude(s, at, w, oldHz), n = toneAmplitude(s, at, w, newHz);
        double d4 = 0;
        for (size_t i = at; i < at + w; ++i) {
            const double d =
                double(s[i]) - 4.0 * s[i - 1] + 6.0 * s[i - 2] - 4.0 * s[i - 3] + double(s[i - 4]);
            d4 += d * d;
        }
        out.push_back({double(at + w / 2) / kListenRate, decibels(std::hypot(o, n)), decibels(o),
                       decibels(n), decibels(std::sqrt(d4 / double(w)))});
    }
    return out;
}

// The duck under the voice: where the voice starts and ends, the music just
// before and in the middle of it, and how long the music took to go down and
// to come back.
struct Duck {
    bool found = false;
    double voiceFrom = 0, voiceTo = 0;  // s
    double before = 0, under = 0;       // dBFS of the music
    double attackMs = 0, releaseMs = 0; // 10 % to 90 % of the way, in ms
    double leadMs = 0;                  // from the music going down to the first word
};

inline double meanOf(const std::vector<Heard> &h, double from, double to, double Heard::*field) {
    double sum = 0;
    int n = 0;
    for (const Heard &x : h)
        if (x.seconds >= from && x.seconds < to) {
            sum += std::pow(10, x.*field / 10);
            ++n;
        }
    return n == 0 ? -200 : 10 * std::log10(sum / n);
}

inline Duck findDuck(const std::vector<Heard> &h, double voiceThresholdDb = -50) {
    Duck d;
    // The voice: the stretch with the most windows above the threshold, gaps
    // of up to a second between words and sentences bridged (a song's first click
    // stands alone).
    size_t first = 0, last = 0, best = 0;
    size_t from = 0, to = 0, count = 0;
    for (size_t i = 0; i <= h.size(); ++i) {
        const bool loud = i < h.size() && h[i].voice > voiceThresholdDb;
        if (loud && count > 0 && i - to <= 100) {
            to = i;
            ++count;
        } else if (loud || i == h.size()) {
            if (count > best) {
                best = count;
                first = from;
                last = to;
            }
            from = to = i;
            count = loud ? 1 : 0;
        }
    }
    if (first < 50 || last <= first + 50)
        return d;
    d.found = true;
    d.voiceTo = h[last].seconds;
    const double mid = (h[first].seconds + d.voiceTo) / 2;
    // The median: where the voice's own harmonics meet a song's tone, a
    // window reads high.
    std::vector<double> middle;
    for (const Heard &x : h)
        if (x.seconds >= mid - 0.3 && x.seconds < mid + 0.3)
            middle.push_back(x.music);
    std::sort(middle.begin(), middle.end());
    d.under = middle[middle.size() / 2];
    // A voice may open softly: the duck, not the first loud syllable, marks
    // where it began. Back from that syllable to where the music stands 3 dB
    // above its level under the voice, which is inside the duck's way down.
    size_t downAt = first;
    for (int above = 0; downAt > 0 && above < 3; --downAt)
        above = h[downAt].music >= d.under + 3.0 ? above + 1 : 0;
    downAt += 3;
    d.before = meanOf(h, h[downAt].seconds - 0.3, h[downAt].seconds - 0.05, &Heard::music);
    const double depth = d.before - d.under;
    const auto crossing = [&](double level) {
        size_t i = downAt;
        while (i + 1 < h.size() && h[i].music > level)
            ++i;
        while (i > 0 && h[i - 1].music <= level)
            --i;
        return h[i].seconds;
    };
    const double down10 = crossing(d.before - 0.1 * depth);
    d.attackMs = 1000 * (crossing(d.before - 0.9 * depth) - down10);
    // The voice's first sound after the duck began, however soft.
    size_t word = downAt;
    while (word < last && h[word].voice <= voiceThresholdDb - 8.0)
        ++word;
    d.voiceFrom = h[word].seconds;
    d.leadMs = 1000 * (d.voiceFrom - down10);
    const auto rising = [&](double level) {
        for (size_t i = last; i < h.size(); ++i)
            if (h[i].music >= level)
                return h[i].seconds;
        return h.back().seconds;
    };
    // Counted from the level under the voice: the cross-fade moves the music
    // meanwhile, so it need not come back to where it was before.
    d.releaseMs = 1000 * (rising(d.under + 0.9 * depth) - rising(d.under + 0.1 * depth));
    return d;
}

} // namespace velbrin::test

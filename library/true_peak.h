#pragma once

#include <cstddef>
#include <vector>

namespace velbrin::library {

// The true peak of a signal (the highest level between its samples as well as
// at them), by four-times oversampling with a windowed-sinc interpolator.
//
// Only where it can matter is interpolated: a point between samples is never
// higher than the interpolator's largest gain times the loudest of the
// samples it is made from, so points whose samples are all too quiet to beat
// the peak found so far are skipped. As the peak only grows, nothing skipped
// could have beaten the final one; on music that leaves a small share of the
// points to compute.
class TruePeakMeter {
public:
    explicit TruePeakMeter(int channels);

    // Interleaved frames, full scale 1.0.
    void add(const float *frames, size_t count);
    // Linear; includes the samples themselves. Ends the signal with silence
    // the first time it is asked.
    double peak();

private:
    static constexpr int kTaps = 12;  // per phase: six samples each side
    static constexpr int kPhases = 4; // points per sample interval
    void push(int channel, float sample);

    int channels_;
    std::vector<float> history_; // the kTaps latest samples per channel, twice over
    std::vector<long> lastLoud_; // per channel: index of the last sample that could matter
    long index_ = 0;             // samples per channel so far
    float peak_ = 0.0f;
    bool finished_ = false;
};

} // namespace velbrin::library

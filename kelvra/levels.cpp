#include "levels.h"

#include <algorithm>
#include <cmath>

namespace kelvra {

float LevelRamp::levelGain(int level) {
    const float x = static_cast<float>(std::clamp(level, 0, 99)) / 99.0f;
    return x * x;
}

void LevelRamp::setTarget(const LevelSettings &s) {
    float gain = s.muted ? 0.0f : levelGain(s.master) * levelGain(s.pcm);
    const int balance = std::clamp(s.balance, 0, 99);
    float left = gain;
    float right = gain;
    if (balance < 50)
        right *= static_cast<float>(balance) / 50.0f;
    else if (balance > 50)
        left *= static_cast<float>(99 - balance) / 49.0f;
    targetLeft_ = left;
    targetRight_ = right;
    channelMode_ = s.channelMode;
    if (!started_) {
        left_ = targetLeft_;
        right_ = targetRight_;
        started_ = true;
    }
}

bool LevelRamp::identity() const {
    return channelMode_ == 0 && left_ == 1.0f && right_ == 1.0f && targetLeft_ == 1.0f &&
           targetRight_ == 1.0f && runGain_ == 1.0f && runTarget_ == 1.0f;
}

namespace {

// Moves `value` towards `target` by at most `step`.
inline float approach(float value, float target, float step) {
    if (value < target)
        return std::min(target, value + step);
    if (value > target)
        return std::max(target, value - step);
    return value;
}

inline int16_t clip(float v) {
    return static_cast<int16_t>(std::lrintf(std::clamp(v, -32768.0f, 32767.0f)));
}

} // namespace

void LevelRamp::apply(int16_t *samples, uint32_t frames, uint32_t channels, uint32_t rate) {
    if (identity())
        return;
    // A full swing takes 10 ms for levels and 5 ms for start and stop fades.
    const float levelStep = 1.0f / (0.010f * static_cast<float>(std::max(rate, 1000u)));
    const float runStep = 1.0f / (0.005f * static_cast<float>(std::max(rate, 1000u)));
    for (uint32_t f = 0; f < frames; ++f) {
        left_ = approach(left_, targetLeft_, levelStep);
        right_ = approach(right_, targetRight_, levelStep);
        runGain_ = approach(runGain_, runTarget_, runStep);
        int16_t *frame = samples + static_cast<size_t>(f) * channels;
        if (channels >= 2) {
            float l = frame[0];
            float r = frame[1];
            switch (channelMode_) {
            case 1:
                r = l;
                break;
            case 2:
                l = r;
                break;
            case 3:
                l = r = (l + r) * 0.5f;
                break;
            default:
                break;
            }
            frame[0] = clip(l * left_ * runGain_);
            frame[1] = clip(r * right_ * runGain_);
        } else {
            frame[0] = clip(static_cast<float>(frame[0]) * (left_ + right_) * 0.5f * runGain_);
        }
    }
}

} // namespace kelvra

#include "studio_mix.h"

#include <algorithm>
#include <cmath>

namespace kelvra {

namespace {
// Long enough to see a peak coming, short enough to stay inaudible as delay.
constexpr double kLookAheadSeconds = 0.003;
// The gain comes back up over about this long after a peak: slow enough not
// to pump on music, quick enough that a loud passage does not hold the next
// one down.
constexpr double kReleaseSeconds = 0.2;
} // namespace

Limiter::Limiter(uint32_t rate) {
    setRate(rate);
}

void Limiter::setRate(uint32_t rate) {
    rate = rate == 0 ? 44100 : rate;
    lookAhead_ =
        std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(rate * kLookAheadSeconds)));
    // Within the look-ahead the gain covers all but e^-5 of the way down; the
    // frame's own need catches the rest (see processFrame).
    attack_ = static_cast<float>(1.0 - std::exp(-5.0 / lookAhead_));
    release_ = static_cast<float>(1.0 - std::exp(-1.0 / (kReleaseSeconds * rate)));
    delay_.assign(size_t{lookAhead_} * 2, 0.0f);
    need_.assign(lookAhead_, 1.0f);
    minFrame_.assign(size_t{lookAhead_} + 1, 0);
    minNeed_.assign(size_t{lookAhead_} + 1, 1.0f);
    minHead_ = minCount_ = 0;
    at_ = 0;
    gain_ = 1.0f;
    frame_ = reducedUntil_ = audioUntil_ = 0;
}

bool Limiter::idle() const {
    return gain_ == 1.0f && frame_ >= audioUntil_ && frame_ >= reducedUntil_;
}

void Limiter::pushNeed(float need) {
    const size_t size = minFrame_.size();
    // Entries at least as deep as the new one can never be the minimum again.
    while (minCount_ > 0 && minNeed_[(minHead_ + minCount_ - 1) % size] >= need)
        --minCount_;
    const size_t tail = (minHead_ + minCount_) % size;
    minFrame_[tail] = frame_;
    minNeed_[tail] = need;
    ++minCount_;
    // The window spans the frame leaving the delay now to the one entering.
    while (minFrame_[minHead_] + lookAhead_ < frame_) {
        minHead_ = (minHead_ + 1) % size;
        --minCount_;
    }
}

void Limiter::processFrame(float &left, float &right) {
    const float peak = std::max(std::abs(left), std::abs(right));
    const float need = peak > kThreshold ? kThreshold / peak : 1.0f;
    if (need < 1.0f)
        reducedUntil_ = frame_ + lookAhead_ + 1;
    if (peak != 0.0f)
        audioUntil_ = frame_ + lookAhead_ + 1;
    pushNeed(need);
    const float target = minNeed_[minHead_];
    gain_ += (target - gain_) * (target < gain_ ? attack_ : release_);
    if (gain_ > 0.99999f && target == 1.0f)
        gain_ = 1.0f;

    float *slot = delay_.data() + at_ * 2;
    // The smoothed gain is all but there when its peak leaves; the peak's own
    // need makes sure.
    const float g = std::min(gain_, need_[at_]);
    const float outLeft = slot[0] * g;
    const float outRight = slot[1] * g;
    slot[0] = left;
    slot[1] = right;
    need_[at_] = need;
    at_ = at_ + 1 == lookAhead_ ? 0 : at_ + 1;
    ++frame_;
    left = std::clamp(outLeft, -32768.0f, 32767.0f);
    right = std::clamp(outRight, -32768.0f, 32767.0f);
}

float Limiter::peakOf(const float *samples, size_t count) {
    // Plain comparisons the compiler turns into packed maxima.
    float high = 0.0f, low = 0.0f;
    for (size_t i = 0; i < count; ++i) {
        high = samples[i] > high ? samples[i] : high;
        low = samples[i] < low ? samples[i] : low;
    }
    return std::max(high, -low);
}

void Limiter::process(float *samples, size_t frames) {
    const float peak = peakOf(samples, frames * 2);
    if (peak <= kThreshold && gain_ == 1.0f && frame_ >= reducedUntil_) {
        // Nothing to hold down: a plain delay, and for silence into an empty
        // delay not even that.
        if (peak == 0.0f && frame_ >= audioUntil_) {
            frame_ += frames;
            audioUntil_ = reducedUntil_ = frame_;
            minCount_ = 0;
            return;
        }
        // The delay as one straight run, oldest first, so that the block
        // goes through it as two copies. Every need in it is 1 by now.
        if (at_ != 0) {
            std::rotate(delay_.begin(), delay_.begin() + static_cast<std::ptrdiff_t>(at_ * 2),
                        delay_.end());
            at_ = 0;
        }
        const size_t held = delay_.size(), count = frames * 2;
        scratch_.resize(held + count);
        std::copy_n(delay_.data(), held, scratch_.data());
        std::copy_n(samples, count, scratch_.data() + held);
        std::copy_n(scratch_.data(), count, samples);
        std::copy_n(scratch_.data() + count, held, delay_.data());
        frame_ += frames;
        if (peak != 0.0f)
            audioUntil_ = frame_ + lookAhead_;
        // Every need in the window is 1: one entry stands for them all.
        minHead_ = 0;
        minCount_ = 1;
        minFrame_[0] = frame_ - 1;
        minNeed_[0] = 1.0f;
        reducedUntil_ = frame_;
        return;
    }
    for (size_t i = 0; i < frames; ++i)
        processFrame(samples[2 * i], samples[2 * i + 1]);
}

void Ducker::advance(bool speaking, size_t frames, uint32_t rate) {
    const double seconds = static_cast<double>(frames) / (rate == 0 ? 44100 : rate);
    const double depth = std::max(0.0, depth_);
    if (speaking) {
        decibels_ = std::max(-depth, decibels_ - depth * seconds / kAttackSeconds);
        if (decibels_ < -depth)
            decibels_ = -depth;
    } else {
        // Back up at the pace of the deepest duck, so a shallow one is not
        // slower to return than the release says.
        const double pace = std::max(depth, 1.0) * seconds / kReleaseSeconds;
        decibels_ = std::min(0.0, decibels_ + pace);
    }
    // A depth made shallower while ducked takes effect as the new floor.
    decibels_ = std::max(decibels_, -depth);
}

float Ducker::gain() const {
    return decibels_ >= 0.0 ? 1.0f : static_cast<float>(std::pow(10.0, decibels_ / 20.0));
}

} // namespace kelvra

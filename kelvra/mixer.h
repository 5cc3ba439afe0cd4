#pragma once

#include "sink.h"
#include "studio_mix.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kelvra {

class Mixer;
struct MixerInput;

// One device stream shared by every player of the process that plays to the
// same device: the mixer's thread sums the players' buffered audio and writes
// it to one instance of the device module.
//
// Locking: `mutex_` guards the input list and every MixerInput field (see
// MixerInput for who writes which). The mixer thread holds it while it
// refills, mixes one slice and settles fades, and releases it for the device
// write, which may block for as long as the device buffer is full. Players
// take it to push audio and change settings; a push into a full ring waits on
// `space_`, which releases it. Nothing is called back into a player under the
// lock: the wake functions are collected and called after it is released.
//
// The DJ's voice joins the newest mixer's sum (see the speech functions
// below): while it waits or sounds, every input is lowered by the duck; the
// voice starts once the duck is down. The songs' sum is limited before the
// duck, and the whole sum, voice included, once more before the device. The speech queue has a
// mutex of its own, taken inside `mutex_` by the mixer thread and alone by writers.
//
// A device that reports itself lost (KV_MODULE_DEVICE_LOST) is not written
// to: the mixer thread takes nothing from the players' rings, so every player
// holds where it was, and tries to reopen the device every kReopenPeriod
// (outside the lock, like a write). `lost_` says which; the players are woken
// on every change and read it through lost().
class Mixer {
public:
    static std::shared_ptr<Mixer> acquire(const std::shared_ptr<const Module> &module,
                                          const std::string &device, uint32_t rate, Error &error);
    Mixer() = default; // use acquire()
    ~Mixer();
    Mixer(const Mixer &) = delete;
    Mixer &operator=(const Mixer &) = delete;

    std::shared_ptr<MixerInput> attach(std::function<void()> wake);
    void detach(const std::shared_ptr<MixerInput> &input);

    // Player side; each takes the lock.
    size_t room(const MixerInput &input) const;
    void push(MixerInput &input, const int16_t *samples, uint32_t frames, uint32_t channels,
              uint32_t rate);
    void setPlaying(MixerInput &input, bool playing, bool fade);
    void flush(MixerInput &input, bool fade);
    void markComplete(MixerInput &input);
    bool drained(const MixerInput &input) const;
    uint64_t played(const MixerInput &input) const;
    void setLevels(MixerInput &input, const LevelSettings &levels);
    void setPitch(MixerInput &input, int perMille);
    // The factor audio pushed from now on is scaled by before it enters the
    // ring: ahead of the levels, the fades and the rate conversion.
    void setGain(MixerInput &input, float factor);

    uint32_t rate() const { return rate_; }
    bool lost() const;
    // Wakes the mixer thread (speech arrived).
    void nudge() { wake_.notify_one(); }

private:
    void run();
    void refill(MixerInput &input, size_t want);
    void flushLocked(MixerInput &input);
    bool hasAudio(const MixerInput &input) const;
    // With `heard` false nothing sounds, so fades end at once.
    void finishTransitions(std::vector<std::function<void()>> &wakes, bool heard = true);
    void wakeAll(std::vector<std::function<void()>> &wakes);
    int32_t writeDevice(const int16_t *samples, uint32_t frames);
    // Mixes one slice of `slice` frames (0: only the voice, if it may sound)
    // into `out`; returns the frames mixed.
    size_t mixSlice(size_t slice, std::vector<int16_t> &out);
    // Silence for the device, after what the limiter's delay still holds.
    void silenceSlice(uint32_t frames, std::vector<int16_t> &out);
    bool reopenDevice();

    std::shared_ptr<const Module> module_;
    void *instance_ = nullptr;
    bool opened_ = false;
    kv_output_chain chain_{};
    uint32_t rate_ = 44100;
    std::string key_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;  // audio or a state change for the mixer thread
    std::condition_variable space_; // ring space for a blocked push
    std::vector<std::shared_ptr<MixerInput>> inputs_;
    bool quit_ = false;
    bool lost_ = false;
    // Mixer thread only.
    Limiter musicLimiter_; // the songs' sum, ahead of the duck
    Limiter limiter_;      // everything, voice included
    Ducker ducker_;
    bool voicing_ = false; // the voice has started and has more to say
    std::vector<float> sum_;
    std::vector<int16_t> voice_;
    std::thread thread_;
};

// The DJ's voice in the mix of the newest live mixer.
namespace speech {
// 0 taken, 1 no mixer runs, -1 nothing to take.
int32_t write(const int16_t *samples, uint32_t frames, uint32_t rate);
void clear();
uint32_t pendingMilliseconds();
void setDuckDepth(int32_t hundredths);
} // namespace speech

// A player's way into a mixer. The mixer is acquired at the first format
// announcement, so the device runs at the rate the chain delivers.
class MixerSink final : public Sink {
public:
    MixerSink(std::shared_ptr<const Module> module, std::string device, std::function<void()> wake);
    ~MixerSink() override;
    // Acquires the mixer if that has not happened yet.
    Error open(uint32_t rate);

    int32_t write(const int16_t *samples, uint32_t bytes, uint32_t channels,
                  uint32_t rate) override;
    int32_t control(kv_output_format *format, uint32_t flags) override;
    size_t room() const override { return mixer_ ? mixer_->room(*input_) : 0; }
    void setPlaying(bool playing, bool fade) override;
    void flush(bool fade) override;
    void markComplete() override;
    bool drained() const override { return !mixer_ || mixer_->drained(*input_); }
    bool lost() const override { return mixer_ && mixer_->lost(); }
    uint64_t playedFrames() const override { return mixer_ ? mixer_->played(*input_) : 0; }
    uint32_t rate() const override { return rate_; }
    void setLevels(const LevelSettings &levels) override;
    void setPitch(int perMille) override;
    void setGain(float factor) override;
    bool realTime() const override { return true; }

private:
    std::shared_ptr<const Module> module_;
    std::string device_;
    std::function<void()> wake_;
    std::shared_ptr<Mixer> mixer_;
    std::shared_ptr<MixerInput> input_;
    uint32_t rate_ = 44100;
    LevelSettings levels_;
    int pitch_ = 1000;
    float gain_ = 1.0f;
};

} // namespace kelvra

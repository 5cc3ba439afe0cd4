#include "mixer.h"

#include <soxr.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <deque>
#include <map>

namespace kelvra {

namespace {

using Clock = std::chrono::steady_clock;

// One mixing slice: the longest stretch of audio decided at once, and so the
// longest a newly started player waits to be heard behind what is queued.
constexpr size_t kSliceFrames = 256;
// Audio a player keeps decoded ahead in its ring.
constexpr size_t kAheadFrames = 8192;
constexpr size_t kRingFrames = 32768;
// With nothing to play the mixer holds the device this long before it
// writes silence: long enough for a player that just ended to have the next
// one started although the end of stream and the Play make a round trip
// through a busy user-interface thread (the gapless hand-over), short enough
// that the device queues (the sound card's 66 ms, the silent output's 30 ms)
// never run dry.
constexpr auto kHold = std::chrono::milliseconds(25);
// Silence written at once while idle: what the hold let pass, no more than a
// device queue takes.
constexpr double kMaxSilenceFrames = 2048.0;
// How often a lost device is tried again.
constexpr auto kReopenPeriod = std::chrono::milliseconds(500);

struct SoxrDeleter {
    void operator()(soxr *converter) const { soxr_delete(converter); }
};

int32_t noEnvironment(kv_host_interface *, const char *, int32_t *) {
    return -1;
}
int32_t noListener(kv_host_interface *, const char *, void *, kv_environment_listener_fn,
                   int32_t *) {
    return -1;
}
void noRemove(kv_host_interface *, int32_t) {}
kv_host_interface deviceHost{KV_OUTPUT_MODULE_INTERFACE_VERSION, &noEnvironment, &noListener,
                             &noRemove};

struct MixerRegistry {
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<Mixer>> mixers;
};

MixerRegistry &mixerRegistry() {
    static MixerRegistry registry;
    return registry;
}

// What the DJ says, waiting to be mixed. The voice goes to the newest live
// mixer (in practice the one sound device the songs play to), made at that
// mixer's rate when written.
struct SpeechBus {
    std::mutex mutex;
    std::vector<Mixer *> mixers; // live, oldest first
    Mixer *owner = nullptr;      // the mixer `samples` were made for
    uint32_t ownerRate = 44100;
    std::deque<int16_t> samples; // mono
    std::atomic<int32_t> duckHundredths{KV_DUCK_DEPTH_DEFAULT};
};

SpeechBus &speechBus() {
    static SpeechBus bus;
    return bus;
}

} // namespace

struct MixerInput {
    enum class Run { Idle, Playing, FadingToPause, FadingToFlush };

    // Every field is guarded by Mixer::mutex_; the groups say who writes them.
    // Written by the player and the mixer thread:
    std::vector<int16_t> ring = std::vector<int16_t>(kRingFrames * 2); // stereo
    size_t readFrame = 0;
    size_t fillFrames = 0;
    uint32_t rate = 44100;
    Run run = Run::Idle;
    bool complete = false;
    bool drained = false;
    uint64_t played = 0;
    uint64_t inFlight = 0;
    uint64_t generation = 0;
    uint64_t inFlightGeneration = 0;
    LevelSettings levels;
    int pitch = 1000;
    float gain = 1.0f;
    // Where the start/stop fade begins at the next mix: 0 fades in, 1
    // starts at full level, negative leaves it alone.
    float startRunGain = -1.0f;
    bool resumeAfterFlush = false;
    std::function<void()> wake;

    // Used by the mixer thread, which alone mixes with them; a player resets
    // or clears them under the lock when its rate changes, it flushes or its
    // stream is complete (push, flushLocked, markComplete), so they are shared
    // like the fields above.
    std::unique_ptr<soxr, SoxrDeleter> converter;
    bool converterFlushed = true;
    std::vector<int16_t> staging; // stereo frames at the device rate
    // Mixer thread only (still touched with the lock held).
    LevelRamp ramp;
    double converterRatio = 1.0;
};

std::shared_ptr<Mixer> Mixer::acquire(const std::shared_ptr<const Module> &module,
                                      const std::string &device, uint32_t rate, Error &error) {
    MixerRegistry &registry = mixerRegistry();
    std::lock_guard lock(registry.mutex);
    const std::string key = module->location + "|" + device;
    if (auto existing = registry.mixers[key].lock()) {
        error = Error::None;
        return existing;
    }
    for (auto it = registry.mixers.begin(); it != registry.mixers.end();)
        it = it->second.expired() ? registry.mixers.erase(it) : std::next(it);
    auto mixer = std::make_shared<Mixer>();
    mixer->module_ = module;
    mixer->key_ = key;
    mixer->rate_ = rate != 0 ? rate : 44100;
    const auto &d = module->descriptor;
    if (d.new_instance(&mixer->instance_, nullptr, &deviceHost) != KV_MODULE_OK) {
        mixer->instance_ = nullptr;
        error = Error::OutputDeviceFailed;
        return nullptr;
    }
    mixer->chain_.instance = mixer->instance_;
    if (d.open(mixer->instance_, device.c_str()) != KV_MODULE_OK) {
        error = Error::OutputDeviceFailed;
        return nullptr;
    }
    mixer->opened_ = true;
    kv_output_format format{mixer->rate_, 2, 16, 0};
    const int32_t started =
        d.control != nullptr ? d.control(&mixer->chain_, &format, KV_CONTROL_FORMAT) : KV_MODULE_OK;
    // A device that cannot be reached yet (no sound server so far) is a lost
    // one: the players hold until it opens.
    mixer->lost_ = started == KV_MODULE_DEVICE_LOST;
    if (started != KV_MODULE_OK && !mixer->lost_) {
        d.close(mixer->instance_);
        error = Error::OutputDeviceFailed;
        return nullptr;
    }
    if (format.rate != 0)
        mixer->rate_ = format.rate;
    mixer->limiter_.setRate(mixer->rate_);
    mixer->musicLimiter_.setRate(mixer->rate_);
    mixer->thread_ = std::thread([m = mixer.get()] { m->run(); });
    registry.mixers[key] = mixer;
    {
        SpeechBus &bus = speechBus();
        std::lock_guard speechLock(bus.mutex);
        bus.mixers.push_back(mixer.get());
    }
    error = Error::None;
    return mixer;
}

Mixer::~Mixer() {
    {
        SpeechBus &bus = speechBus();
        std::lock_guard speechLock(bus.mutex);
        std::erase(bus.mixers, this);
        if (bus.owner == this) {
            bus.owner = nullptr;
            bus.samples.clear();
        }
    }
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    space_.notify_all();
    if (thread_.joinable())
        thread_.join();
    if (instance_ != nullptr) {
        // The limiter's delay still holds the last milliseconds.
        if (opened_ && !lost_ && !(limiter_.idle() && musicLimiter_.idle())) {
            const uint32_t frames = 2 * limiter_.lookAheadFrames();
            std::vector<int16_t> tail;
            silenceSlice(frames, tail);
            writeDevice(tail.data(), frames);
        }
        // Let what the device still holds play out, so the end of the last
        // song is not cut when the last player leaves.
        if (opened_ && module_->descriptor.control != nullptr) {
            kv_output_format format{rate_, 2, 16, 0};
            module_->descriptor.control(&chain_, &format, KV_CONTROL_DRAIN);
        }
        if (opened_ && module_->descriptor.close != nullptr)
            module_->descriptor.close(instance_);
        module_->descriptor.delete_instance(instance_);
    }
}

std::shared_ptr<MixerInput> Mixer::attach(std::function<void()> wake) {
    auto input = std::make_shared<MixerInput>();
    input->wake = std::move(wake);
    std::lock_guard lock(mutex_);
    inputs_.push_back(input);
    return input;
}

void Mixer::detach(const std::shared_ptr<MixerInput> &input) {
    {
        std::lock_guard lock(mutex_);
        std::erase(inputs_, input);
    }
    space_.notify_all();
}

size_t Mixer::room(const MixerInput &input) const {
    std::lock_guard lock(mutex_);
    if (input.run == MixerInput::Run::FadingToFlush || input.complete)
        return 0;
    return input.fillFrames >= kAheadFrames ? 0 : kAheadFrames - input.fillFrames;
}

void Mixer::push(MixerInput &input, const int16_t *samples, uint32_t frames, uint32_t channels,
                 uint32_t rate) {
    std::unique_lock lock(mutex_);
    if (rate != 0 && rate != input.rate) {
        input.rate = rate;
        input.converter.reset();
    }
    size_t done = 0;
    while (done < frames) {
        if (input.fillFrames == kRingFrames) {
            // Only a running input frees space; a stopped one drops the excess
            // rather than hold its player forever.
            if (input.run == MixerInput::Run::Idle || quit_)
                return;
            space_.wait(lock);
            continue;
        }
        const size_t write = (input.readFrame + input.fillFrames) % kRingFrames;
        const size_t n =
            std::min<size_t>({frames - done, kRingFrames - input.fillFrames, kRingFrames - write});
        int16_t *out = input.ring.data() + write * 2;
        const int16_t *in = samples + done * channels;
        if (input.gain == 1.0f) {
            if (channels == 2) {
                std::copy(in, in + n * 2, out);
            } else {
                for (size_t i = 0; i < n; ++i)
                    out[2 * i] = out[2 * i + 1] = in[i * channels];
            }
        } else {
            const float gain = input.gain;
            const auto scaled = [gain](int16_t sample) {
                const float v = std::clamp(static_cast<float>(sample) * gain, -32768.0f, 32767.0f);
                return static_cast<int16_t>(std::lrint(v));
            };
            if (channels == 2) {
                for (size_t i = 0; i < n * 2; ++i)
                    out[i] = scaled(in[i]);
            } else {
                for (size_t i = 0; i < n; ++i)
                    out[2 * i] = out[2 * i + 1] = scaled(in[i * channels]);
            }
        }
        input.fillFrames += n;
        done += n;
    }
    lock.unlock();
    wake_.notify_one();
}

void Mixer::setPlaying(MixerInput &input, bool playing, bool fade) {
    {
        std::lock_guard lock(mutex_);
        using Run = MixerInput::Run;
        if (playing) {
            // A resume fades in; a start plays the first sample as it is.
            input.startRunGain = fade ? 0.0f : 1.0f;
            if (input.run == Run::FadingToFlush)
                input.resumeAfterFlush = true;
            else
                input.run = Run::Playing;
        } else if (input.run == Run::Playing) {
            input.run = fade ? Run::FadingToPause : Run::Idle;
        } else if (input.run == Run::FadingToFlush) {
            input.resumeAfterFlush = false;
        }
    }
    wake_.notify_one();
}

void Mixer::flushLocked(MixerInput &input) {
    input.readFrame = 0;
    input.fillFrames = 0;
    input.complete = false;
    input.drained = false;
    input.played = 0;
    input.inFlight = 0;
    ++input.generation;
    input.staging.clear();
    if (input.converter)
        soxr_clear(input.converter.get());
    input.converterFlushed = true;
    // A seek while playing goes on playing the new position, faded in.
    input.run = input.resumeAfterFlush ? MixerInput::Run::Playing : MixerInput::Run::Idle;
    if (input.resumeAfterFlush && input.startRunGain < 0.0f)
        input.startRunGain = 0.0f;
    input.resumeAfterFlush = false;
}

void Mixer::flush(MixerInput &input, bool fade) {
    {
        std::lock_guard lock(mutex_);
        using Run = MixerInput::Run;
        if (fade && (input.run == Run::Playing || input.run == Run::FadingToPause)) {
            input.resumeAfterFlush = input.run == Run::Playing;
            input.run = Run::FadingToFlush;
        } else if (input.run != Run::FadingToFlush)
            flushLocked(input);
    }
    wake_.notify_one();
    space_.notify_all();
}

void Mixer::markComplete(MixerInput &input) {
    {
        std::lock_guard lock(mutex_);
        input.complete = true;
        input.converterFlushed = false;
    }
    wake_.notify_one();
}

bool Mixer::drained(const MixerInput &input) const {
    std::lock_guard lock(mutex_);
    return input.drained;
}

uint64_t Mixer::played(const MixerInput &input) const {
    std::lock_guard lock(mutex_);
    // A flush waiting for its fade-out has been asked for: what still sounds
    // belongs before it. Counting it would put the time code of a seek made
    // while playing ahead by everything played so far, and hold it there.
    return input.run == MixerInput::Run::FadingToFlush ? 0 : input.played;
}

void Mixer::setLevels(MixerInput &input, const LevelSettings &levels) {
    std::lock_guard lock(mutex_);
    input.levels = levels;
}

void Mixer::setPitch(MixerInput &input, int perMille) {
    std::lock_guard lock(mutex_);
    input.pitch = std::clamp(perMille, 50, 2000);
}

bool Mixer::lost() const {
    std::lock_guard lock(mutex_);
    return lost_;
}

void Mixer::setGain(MixerInput &input, float factor) {
    std::lock_guard lock(mutex_);
    input.gain = factor;
}

bool Mixer::hasAudio(const MixerInput &input) const {
    return !input.staging.empty() || input.fillFrames > 0 ||
           (input.complete && !input.converterFlushed);
}

// Moves audio from the ring to the staging buffer, converting the rate when
// the input's rate (times its pitch) differs from the device's.
void Mixer::refill(MixerInput &input, size_t want) {
    const double ratio =
        static_cast<double>(rate_) / (static_cast<double>(input.rate) * input.pitch / 1000.0);
    const bool convert = std::abs(ratio - 1.0) > 1e-9;
    if (convert && (!input.converter || input.converterRatio != ratio)) {
        soxr_error_t error = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_MQ, 0);
        input.converter.reset(soxr_create(static_cast<double>(input.rate) * input.pitch / 1000.0,
                                          rate_, 2, &error, &io, &quality, nullptr));
        input.converterRatio = ratio;
        if (error != nullptr)
            input.converter.reset();
    }
    while (input.staging.size() / 2 < want) {
        const size_t space = want - input.staging.size() / 2;
        const size_t contiguous = std::min(input.fillFrames, kRingFrames - input.readFrame);
        const int16_t *in = input.ring.data() + input.readFrame * 2;
        size_t consumed = 0;
        if (!convert || !input.converter) {
            const size_t n = std::min(space, contiguous);
            if (n == 0)
                break;
            input.staging.insert(input.staging.end(), in, in + n * 2);
            consumed = n;
        } else {
            const size_t old = input.staging.size();
            input.staging.resize(old + space * 2);
            size_t produced = 0;
            if (contiguous > 0) {
                soxr_process(input.converter.get(), in, contiguous, &consumed,
                             input.staging.data() + old, space, &produced);
            } else if (input.complete && !input.converterFlushed) {
                soxr_process(input.converter.get(), nullptr, 0, nullptr, input.staging.data() + old,
                             space, &produced);
                if (produced == 0)
                    input.converterFlushed = true;
            }
            input.staging.resize(old + produced * 2);
            if (consumed == 0 && produced == 0)
                break;
        }
        input.readFrame = (input.readFrame + consumed) % kRingFrames;
        input.fillFrames -= consumed;
        input.inFlight += consumed;
    }
    if (!convert || !input.converter)
        if (input.complete && input.fillFrames == 0)
            input.converterFlushed = true;
}

void Mixer::finishTransitions(std::vector<std::function<void()>> &wakes, bool heard) {
    using Run = MixerInput::Run;
    for (auto &input : inputs_) {
        const bool faded = !heard || (input->ramp.runSettled() && input->ramp.runGain() == 0.0f);
        if (input->run == Run::FadingToPause && (faded || !hasAudio(*input))) {
            input->run = Run::Idle;
            wakes.push_back(input->wake);
        } else if (input->run == Run::FadingToFlush && (faded || !hasAudio(*input))) {
            flushLocked(*input);
            wakes.push_back(input->wake);
            space_.notify_all();
        }
        if (input->run == Run::Playing && input->complete && !input->drained && !hasAudio(*input) &&
            input->inFlight == 0) {
            input->drained = true;
            wakes.push_back(input->wake);
        }
    }
}

int32_t Mixer::writeDevice(const int16_t *samples, uint32_t frames) {
    return module_->descriptor.write(&chain_, samples, frames * 4, 2, 2, rate_);
}

bool Mixer::reopenDevice() {
    if (module_->descriptor.control == nullptr)
        return true;
    kv_output_format format{rate_, 2, 16, 0};
    return module_->descriptor.control(&chain_, &format, KV_CONTROL_FORMAT) == KV_MODULE_OK;
}

void Mixer::wakeAll(std::vector<std::function<void()>> &wakes) {
    for (auto &input : inputs_)
        wakes.push_back(input->wake);
}

size_t Mixer::mixSlice(size_t slice, std::vector<int16_t> &out) {
    using Run = MixerInput::Run;
    SpeechBus &bus = speechBus();
    ducker_.setDepth(bus.duckHundredths.load(std::memory_order_relaxed) / 100.0);
    bool music = false;
    for (auto &input : inputs_)
        music = music || (input->run == Run::Playing && !input->staging.empty());
    size_t waiting = 0;
    {
        std::lock_guard speechLock(bus.mutex);
        waiting = bus.owner == this ? bus.samples.size() : 0;
        if (waiting == 0)
            voicing_ = false;
        // The voice starts once the music is down, so the first word is
        // heard over lowered music; without music it starts at once.
        else if (!voicing_ && (!music || ducker_.down()))
            voicing_ = true;
        if (slice == 0 && voicing_)
            slice = std::min(waiting, kSliceFrames);
        voice_.assign(slice, 0);
        if (voicing_) {
            const size_t n = std::min(waiting, slice);
            std::copy_n(bus.samples.begin(), n, voice_.begin());
            bus.samples.erase(bus.samples.begin(),
                              bus.samples.begin() + static_cast<std::ptrdiff_t>(n));
        }
    }
    if (slice == 0)
        return 0;

    const float duckFrom = ducker_.gain();
    ducker_.advance(waiting > 0, slice, rate_);
    const float duckTo = ducker_.gain();
    sum_.assign(slice * 2, 0.0f);
    for (auto &input : inputs_) {
        if (input->run == Run::Idle || input->staging.empty())
            continue;
        const size_t n = std::min(slice, input->staging.size() / 2);
        input->ramp.setTarget(input->levels);
        if (input->startRunGain >= 0.0f) {
            // A stream that starts takes its levels as they are now,
            // not ramped from where it stopped last time.
            input->ramp.jumpLevels();
            input->ramp.jumpRunGain(input->startRunGain);
            input->startRunGain = -1.0f;
        }
        input->ramp.setRunTarget(input->run == Run::Playing ? 1.0f : 0.0f);
        input->ramp.apply(input->staging.data(), static_cast<uint32_t>(n), 2, rate_);
        const int16_t *in = input->staging.data();
        for (size_t i = 0; i < n * 2; ++i)
            sum_[i] += in[i];
        input->staging.erase(input->staging.begin(),
                             input->staging.begin() + static_cast<std::ptrdiff_t>(n * 2));
        input->inFlightGeneration = input->generation;
    }
    // The songs are held within full scale on their own first, so the duck
    // lowers what was heard just before the voice by exactly its depth.
    musicLimiter_.process(sum_.data(), slice);
    if (duckFrom != 1.0f || duckTo != 1.0f) {
        const float step = (duckTo - duckFrom) / static_cast<float>(slice);
        for (size_t f = 0; f < slice; ++f) {
            const float g = duckFrom + step * static_cast<float>(f);
            sum_[2 * f] *= g;
            sum_[2 * f + 1] *= g;
        }
    }
    if (voicing_)
        for (size_t f = 0; f < slice; ++f) {
            sum_[2 * f] += voice_[f];
            sum_[2 * f + 1] += voice_[f];
        }
    limiter_.process(sum_.data(), slice);
    out.resize(slice * 2);
    // The limiter keeps every sample within full scale; rounding half away
    // from zero leaves the whole numbers of an untouched mix as they are.
    for (size_t i = 0; i < slice * 2; ++i) {
        const float v = sum_[i];
        out[i] = static_cast<int16_t>(v < 0.0f ? v - 0.5f : v + 0.5f);
    }
    return slice;
}

void Mixer::silenceSlice(uint32_t frames, std::vector<int16_t> &out) {
    ducker_.advance(false, frames, rate_);
    out.assign(static_cast<size_t>(frames) * 2, 0);
    if (limiter_.idle() && musicLimiter_.idle())
        return;
    sum_.assign(out.size(), 0.0f);
    musicLimiter_.process(sum_.data(), frames);
    limiter_.process(sum_.data(), frames);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<int16_t>(std::lrint(sum_[i]));
}

void Mixer::run() {
    using Run = MixerInput::Run;
    std::vector<int16_t> out;
    std::vector<int16_t> silence;
    std::vector<std::function<void()>> wakes;
    auto lastWrite = Clock::now();
    bool lossTold = false; // the players were woken for the loss
    auto nextReopen = Clock::now();
    std::unique_lock lock(mutex_);
    // Players are woken without the lock, which their calls take.
    const auto callWakes = [&] {
        lock.unlock();
        for (auto &wake : wakes)
            if (wake)
                wake();
        lock.lock();
    };
    // The device write may block for as long as its buffer is full: never
    // under the lock.
    const auto toDevice = [&](const int16_t *samples, uint32_t frames) {
        lock.unlock();
        const int32_t written = writeDevice(samples, frames);
        lock.lock();
        lastWrite = Clock::now();
        lost_ = written == KV_MODULE_DEVICE_LOST;
    };
    while (!quit_) {
        if (lost_) {
            wakes.clear();
            if (!lossTold) {
                wakeAll(wakes);
                nextReopen = Clock::now() + kReopenPeriod;
            }
            lossTold = true;
            // Pauses, stops and seeks made meanwhile take effect at once.
            finishTransitions(wakes, false);
            callWakes();
            if (quit_)
                break;
            if (Clock::now() < nextReopen) {
                wake_.wait_until(lock, nextReopen);
                continue;
            }
            nextReopen = Clock::now() + kReopenPeriod;
            lock.unlock();
            const bool back = reopenDevice();
            lock.lock();
            if (back) {
                lost_ = false;
                lossTold = false;
                lastWrite = Clock::now();
                // What was cut off by the loss comes back faded in.
                for (auto &input : inputs_)
                    if (input->run == Run::Playing && input->startRunGain < 0.0f)
                        input->startRunGain = 0.0f;
                wakes.clear();
                wakeAll(wakes);
                callWakes();
            }
            continue;
        }
        size_t slice = 0;
        for (auto &input : inputs_) {
            if (input->run == Run::Idle)
                continue;
            refill(*input, kSliceFrames);
            slice = std::max(slice, input->staging.size() / 2);
        }
        wakes.clear();
        // With no song to play the voice alone may still sound.
        slice = mixSlice(slice, out);
        if (slice == 0) {
            finishTransitions(wakes);
            callWakes();
            if (!wakes.empty())
                continue;
            const auto now = Clock::now();
            if (now < lastWrite + kHold) {
                wake_.wait_until(lock, lastWrite + kHold);
                continue;
            }
            const auto idle = std::chrono::duration<double>(now - lastWrite).count();
            const auto frames =
                static_cast<uint32_t>(std::clamp<double>(idle * rate_, 64.0, kMaxSilenceFrames));
            silenceSlice(frames, silence);
            toDevice(silence.data(), frames);
            continue;
        }

        // The slice is gone with the device (a few milliseconds); counting
        // it keeps the time codes true to the audio that follows.
        toDevice(out.data(), static_cast<uint32_t>(slice));
        // What was handed to the device counts as played.
        for (auto &input : inputs_) {
            if (input->inFlight > 0 && input->inFlightGeneration == input->generation &&
                input->staging.empty()) {
                input->played += input->inFlight;
                input->inFlight = 0;
                wakes.push_back(input->wake);
            }
        }
        finishTransitions(wakes);
        lock.unlock();
        space_.notify_all();
        for (auto &wake : wakes)
            if (wake)
                wake();
        lock.lock();
    }
}

MixerSink::MixerSink(std::shared_ptr<const Module> module, std::string device,
                     std::function<void()> wake)
    : module_(std::move(module)), device_(std::move(device)), wake_(std::move(wake)) {}

MixerSink::~MixerSink() {
    if (mixer_)
        mixer_->detach(input_);
}

Error MixerSink::open(uint32_t rate) {
    if (mixer_)
        return Error::None;
    Error error = Error::None;
    mixer_ = Mixer::acquire(module_, device_, rate, error);
    if (!mixer_)
        return error;
    input_ = mixer_->attach(wake_);
    mixer_->setLevels(*input_, levels_);
    mixer_->setPitch(*input_, pitch_);
    mixer_->setGain(*input_, gain_);
    return Error::None;
}

void MixerSink::setPlaying(bool playing, bool fade) {
    if (mixer_)
        mixer_->setPlaying(*input_, playing, fade);
}

void MixerSink::flush(bool fade) {
    if (mixer_)
        mixer_->flush(*input_, fade);
}

void MixerSink::markComplete() {
    if (mixer_)
        mixer_->markComplete(*input_);
}

void MixerSink::setLevels(const LevelSettings &levels) {
    levels_ = levels;
    if (mixer_)
        mixer_->setLevels(*input_, levels);
}

void MixerSink::setGain(float factor) {
    gain_ = factor;
    if (mixer_)
        mixer_->setGain(*input_, factor);
}

void MixerSink::setPitch(int perMille) {
    pitch_ = perMille;
    if (mixer_)
        mixer_->setPitch(*input_, perMille);
}

int32_t MixerSink::write(const int16_t *samples, uint32_t bytes, uint32_t channels, uint32_t rate) {
    channels = channels == 0 ? 1 : channels;
    if (rate != 0)
        rate_ = rate;
    if (!mixer_ && open(rate_) != Error::None)
        return KV_MODULE_UNSUPPORTED;
    mixer_->push(*input_, samples, bytes / (2 * channels), channels, rate_);
    return KV_MODULE_OK;
}

int32_t MixerSink::control(kv_output_format *format, uint32_t flags) {
    if ((flags & KV_CONTROL_FORMAT) != 0 && format != nullptr && format->rate != 0) {
        rate_ = format->rate;
        if (open(rate_) != Error::None)
            return KV_MODULE_UNSUPPORTED;
    }
    return KV_MODULE_OK;
}

namespace speech {

int32_t write(const int16_t *samples, uint32_t frames, uint32_t rate) {
    if (samples == nullptr || frames == 0 || rate == 0)
        return -1;
    SpeechBus &bus = speechBus();
    std::lock_guard lock(bus.mutex);
    if (bus.mixers.empty())
        return 1;
    Mixer *target = bus.mixers.back();
    if (bus.owner != target) {
        bus.samples.clear();
        bus.owner = target;
        bus.ownerRate = target->rate();
    }
    if (rate == bus.ownerRate) {
        bus.samples.insert(bus.samples.end(), samples, samples + frames);
    } else {
        const double ratio = static_cast<double>(bus.ownerRate) / rate;
        std::vector<int16_t> made(static_cast<size_t>(std::ceil(frames * ratio)) + 16);
        size_t done = 0;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        if (soxr_oneshot(rate, bus.ownerRate, 1, samples, frames, nullptr, made.data(), made.size(),
                         &done, &io, &quality, nullptr) != nullptr)
            return -1;
        bus.samples.insert(bus.samples.end(), made.begin(),
                           made.begin() + static_cast<std::ptrdiff_t>(done));
    }
    target->nudge();
    return 0;
}

void clear() {
    SpeechBus &bus = speechBus();
    std::lock_guard lock(bus.mutex);
    bus.samples.clear();
}

uint32_t pendingMilliseconds() {
    SpeechBus &bus = speechBus();
    std::lock_guard lock(bus.mutex);
    if (bus.samples.empty())
        return 0;
    // Any speech at all counts, however short: the voice is not done.
    return static_cast<uint32_t>(std::max<uint64_t>(1, bus.samples.size() * 1000 / bus.ownerRate));
}

void setDuckDepth(int32_t hundredths) {
    speechBus().duckHundredths = std::clamp(hundredths, 0, KV_DUCK_DEPTH_MAX);
}

} // namespace speech

} // namespace kelvra

#include "espeak_voice.h"

#include "sound_device.h"

#include <SDL2/SDL.h>
#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace velbrin::platform {

namespace {

// The synthesiser hands over sound in pieces of this length.
constexpr int kBufferMilliseconds = 80;

// The synthesiser keeps global state; only one voice may own it at a time.
// It is initialised once per process and never terminated: a second
// initialisation after espeak_Terminate hangs in the library.
std::atomic<bool> synthesiserTaken{false};

// How long the device stays open after its queue has run dry: what SDL and
// the sound server still hold is heard before the stream goes.
constexpr auto kTailTime = std::chrono::milliseconds(300);

int synthesiserRate() {
    static const int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, kBufferMilliseconds,
                                              nullptr, espeakINITIALIZE_DONT_EXIT);
    return rate;
}

struct Utterance {
    std::string text; // UTF-8
    std::string voice;
    int wordsPerMinute;
    uint64_t generation;
};

} // namespace

struct EspeakVoice::Impl {
    int sampleRate = 0;
    bool ok = false;
    bool ownsSynthesiser = false;
    // Open, with a reference on the audio subsystem, only while there is
    // speech to play.
    SDL_AudioDeviceID device = 0;
    QStringList descriptions;
    std::vector<std::string> identifiers;

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<Utterance> queue;
    std::string voice;
    int wordsPerMinute = espeakRATE_NORMAL;
    uint64_t generation = 0; // raised by every stop
    bool synthesising = false;
    bool quit = false;
    std::shared_ptr<SpeechOutput> output;
    std::thread worker;

    // Worker-thread state while one utterance is synthesised.
    uint64_t current = 0;
    std::vector<int16_t> samples;

    bool cancelled() {
        std::lock_guard lock(mutex);
        return quit || generation != current;
    }

    static int onSamples(short *wav, int count, espeak_EVENT *events);
    void run();
    SDL_AudioSpec spec() const;
    bool deviceLost() const {
        return device != 0 && SDL_GetAudioDeviceStatus(device) == SDL_AUDIO_STOPPED;
    }
    // `mutex` not held: opening waits on the sound server.
    void openDevice();
    // `mutex` held through `lock`, released while the device closes.
    void closeDevice(std::unique_lock<std::mutex> &lock);
    void closeWhenHeard(std::unique_lock<std::mutex> &lock);
};

namespace {
EspeakVoice::Impl *active = nullptr; // the one instance the callback serves
}

int EspeakVoice::Impl::onSamples(short *wav, int count, espeak_EVENT *) {
    Impl *self = active;
    if (self == nullptr || self->cancelled()) {
        return 1; // ends this synthesis
    }
    if (wav != nullptr && count > 0) {
        self->samples.insert(self->samples.end(), wav, wav + count);
    }
    return 0;
}

void EspeakVoice::Impl::run() {
    for (;;) {
        Utterance u;
        {
            std::unique_lock lock(mutex);
            if (device != 0 && queue.empty() && !quit) {
                closeWhenHeard(lock);
            }
            wake.wait(lock, [this] { return quit || !queue.empty(); });
            if (quit) {
                return;
            }
            u = std::move(queue.front());
            queue.pop_front();
            synthesising = true;
        }
        current = u.generation;
        samples.clear();
        if (!u.voice.empty()) {
            espeak_SetVoiceByName(u.voice.c_str());
        }
        espeak_SetParameter(espeakRATE, u.wordsPerMinute, 0);
        // Plain text only: no markup, no phoneme input. Synthesis runs at
        // hundreds of times real time, so the whole text is made at once and
        // queued behind what is still playing.
        espeak_Synth(u.text.c_str(), u.text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8,
                     nullptr, nullptr);
        bool open = false;
        {
            std::unique_lock lock(mutex);
            // Into the songs' mix when it takes the sound; under the lock, so
            // a stop either clears it there or comes first and it is dropped.
            if (output && !quit && generation == current && !samples.empty() &&
                output->write(samples.data(), samples.size(), sampleRate)) {
                synthesising = false;
                continue;
            }
            // A device SDL has stopped (its sound server went away) is
            // replaced by a new one, so speech is heard again once a server
            // is back.
            if (deviceLost()) {
                closeDevice(lock);
            }
            open = device != 0;
        }
        if (!open && !samples.empty() && !cancelled()) {
            openDevice();
        }
        std::lock_guard lock(mutex);
        // Queued under the lock, so a stop either sees this sound and clears
        // it or comes first and this is dropped.
        if (!quit && generation == current && !samples.empty() && device != 0) {
            SDL_QueueAudio(device, samples.data(),
                           static_cast<Uint32>(samples.size() * sizeof(int16_t)));
        }
        synthesising = false;
    }
}

SDL_AudioSpec EspeakVoice::Impl::spec() const {
    SDL_AudioSpec want{};
    want.freq = sampleRate;
    want.format = AUDIO_S16SYS;
    want.channels = 1;
    want.samples = 1024;
    return want;
}

void EspeakVoice::Impl::openDevice() {
    // An open device streams silence to the sound server all the time, and
    // the sound library's device watch polls while its audio is started; both
    // wait until there is something to say.
    if (!sound::acquire()) {
        return;
    }
    const SDL_AudioDeviceID opened = sound::openOutput(spec(), nullptr);
    if (opened == 0) {
        sound::release();
        return;
    }
    SDL_PauseAudioDevice(opened, 0);
    std::lock_guard lock(mutex);
    device = opened;
}

void EspeakVoice::Impl::closeDevice(std::unique_lock<std::mutex> &lock) {
    const SDL_AudioDeviceID closing = std::exchange(device, 0);
    lock.unlock();
    sound::closeOutput(closing);
    sound::release();
    lock.lock();
}

void EspeakVoice::Impl::closeWhenHeard(std::unique_lock<std::mutex> &lock) {
    const auto more = [this] { return quit || !queue.empty(); };
    while (!more() && !deviceLost() && SDL_GetQueuedAudioSize(device) > 0) {
        wake.wait_for(lock, std::chrono::milliseconds(20));
    }
    if (more() || wake.wait_for(lock, kTailTime, more)) {
        return;
    }
    closeDevice(lock);
}

EspeakVoice::EspeakVoice() : impl_(std::make_unique<Impl>()) {}

std::unique_ptr<EspeakVoice> EspeakVoice::create() {
    std::unique_ptr<EspeakVoice> voice(new EspeakVoice());
    Impl &d = *voice->impl_;
    if (synthesiserTaken.exchange(true)) {
        return voice;
    }
    d.ownsSynthesiser = true;
    d.sampleRate = synthesiserRate();
    if (d.sampleRate <= 0) {
        return voice;
    }
    if (const espeak_VOICE **list = espeak_ListVoices(nullptr)) {
        for (; *list != nullptr; ++list) {
            const espeak_VOICE *v = *list;
            if (v->name == nullptr || v->identifier == nullptr) {
                continue;
            }
            d.descriptions << QString::fromUtf8(v->name);
            d.identifiers.emplace_back(v->identifier);
        }
    }
    if (d.descriptions.isEmpty() || !sound::acquire()) {
        return voice;
    }
    // A stream of its own at the sound server, mixed there with the music.
    // Without a server nothing would be heard; the program then runs silently
    // rather than speaking into nowhere. The device is tried here and opened
    // again for each stretch of speech; the subsystem is not held meanwhile,
    // as the engine's output finds a sound server started later only when the
    // subsystem starts afresh.
    const SDL_AudioDeviceID probe = sound::openOutput(d.spec(), nullptr);
    sound::closeOutput(probe);
    sound::release();
    if (probe == 0) {
        return voice;
    }
    espeak_SetSynthCallback(&Impl::onSamples);
    active = &d;
    d.ok = true;
    d.worker = std::thread([&d] { d.run(); });
    return voice;
}

EspeakVoice::~EspeakVoice() {
    Impl &d = *impl_;
    if (d.worker.joinable()) {
        {
            std::lock_guard lock(d.mutex);
            d.quit = true;
            ++d.generation;
        }
        d.wake.notify_all();
        d.worker.join();
    }
    if (d.device != 0) {
        sound::closeOutput(d.device);
        sound::release();
    }
    if (d.ownsSynthesiser) {
        active = nullptr;
        synthesiserTaken = false;
    }
}

bool EspeakVoice::available() const {
    return impl_->ok;
}

QStringList EspeakVoice::voices() const {
    return impl_->descriptions;
}

bool EspeakVoice::setVoice(int index) {
    Impl &d = *impl_;
    if (index < 0 || static_cast<size_t>(index) >= d.identifiers.size()) {
        return false;
    }
    std::lock_guard lock(d.mutex);
    d.voice = d.identifiers[static_cast<size_t>(index)];
    return true;
}

int EspeakVoice::wordsPerMinute(int rate) {
    const double r = std::clamp(rate, -10, 10);
    const double wpm = espeakRATE_NORMAL * std::pow(3.0, r / 10.0);
    return std::clamp(static_cast<int>(std::lround(wpm)), espeakRATE_MINIMUM, espeakRATE_MAXIMUM);
}

void EspeakVoice::setRate(int rate) {
    std::lock_guard lock(impl_->mutex);
    impl_->wordsPerMinute = wordsPerMinute(rate);
}

void EspeakVoice::stop() {
    Impl &d = *impl_;
    std::lock_guard lock(d.mutex);
    d.queue.clear();
    ++d.generation;
    if (d.device != 0) {
        SDL_ClearQueuedAudio(d.device);
    }
    if (d.output) {
        d.output->clear();
    }
}

void EspeakVoice::setOutput(std::shared_ptr<SpeechOutput> output) {
    std::lock_guard lock(impl_->mutex);
    impl_->output = std::move(output);
}

void EspeakVoice::speak(const QString &text) {
    Impl &d = *impl_;
    if (!d.ok || text.isEmpty()) {
        return;
    }
    {
        std::lock_guard lock(d.mutex);
        d.queue.push_back({text.toUtf8().toStdString(), d.voice, d.wordsPerMinute, d.generation});
    }
    d.wake.notify_one();
}

bool EspeakVoice::busy() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->synthesising || !impl_->queue.empty() ||
           (impl_->device != 0 && SDL_GetAudioDeviceStatus(impl_->device) != SDL_AUDIO_STOPPED &&
            SDL_GetQueuedAudioSize(impl_->device) > 0) ||
           (impl_->output && impl_->output->pendingMilliseconds() > 0);
}

} // namespace velbrin::platform

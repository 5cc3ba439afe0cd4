#include "player.h"

#include "feedback.h"
#include "mixer.h"
#include "trace.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>
#include <unistd.h>

namespace kelvra {

static_assert(static_cast<int>(Error::OutputDeviceLost) == KV_OUTPUT_STATE_LOST);

namespace {

constexpr const char *kPitchName = "OUTPUT.DIRECTSOUND.PITCH";
// Samples per decoder read: a few MPEG frames.
constexpr size_t kBlockSamples = 1152 * 2 * 2;
// Frames given to a feedback handler per event: one MP3 frame's worth.
constexpr size_t kFeedbackFrames = 1152;
// How long a player that is not playing sleeps when nothing wakes it: it has
// no clock to follow then, and commands and the mixer wake it at once.
constexpr auto kIdleWait = std::chrono::seconds(1);
constexpr auto kPlayingWait = std::chrono::milliseconds(20);
// The longest a playing player sleeps on its own clock: time codes and
// positions are this late at most.
constexpr auto kClockWait = std::chrono::milliseconds(40);
// How long after a command the mixer's every wake is answered.
constexpr auto kPromptAfterCommand = std::chrono::milliseconds(200);

std::atomic<uint64_t> nextSerial{1};

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

std::string withSlashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

bool isSoundCardName(std::string_view name) {
    return name.starts_with("/dev/dsound/") || name.starts_with("/dev/wave/");
}

bool nullOutputRequested() {
    const char *value = std::getenv("KELVRA_OUTPUT");
    return value != nullptr && std::strcmp(value, "null") == 0;
}

} // namespace

Player::Player(kv_window **window) : mailbox_(window, nextSerial.fetch_add(1)) {
    host_.iface.interface_version = KV_OUTPUT_MODULE_INTERFACE_VERSION;
    host_.iface.get_environment_integer = &hostGetInteger;
    host_.iface.add_environment_listener = &hostAddListener;
    host_.iface.remove_environment_listener = &hostRemoveListener;
    host_.player = this;

    outputModules_.push_back({"WAV File Output",
                              "16-bit PCM RIFF WAV files written at decoding speed",
                              {"wav:"},
                              std::string(kWavModule)});
    outputModules_.push_back(
        {"Silent Output", "Discards audio in real time", {"null:"}, std::string()});

    // Filters every player of the process starts with.
    if (const char *preload = std::getenv("KELVRA_FILTERS"); preload != nullptr) {
        std::string_view list(preload);
        while (!list.empty()) {
            const size_t end = std::min(list.find(';'), list.size());
            const std::string location(list.substr(0, end));
            list.remove_prefix(std::min(end + 1, list.size()));
            if (location.empty())
                continue;
            const ModuleLookup lookup = loadModule(location);
            if (!lookup.module || lookup.module->isDevice()) {
                const std::string line = "KELVRA_FILTERS: cannot load \"" + location + "\": " +
                                         errorText(static_cast<int32_t>(
                                             lookup.module ? Error::NotAFilter : lookup.error));
                std::fprintf(stderr, "kelvra: %s\n", line.c_str());
                traceLine(line);
                continue;
            }
            filters_.push_back({lookup.module, location, nextFilterId_++});
        }
    }
    decodeBuffer_.resize(kBlockSamples);
    thread_ = std::thread([this] { run(); });
}

Player::~Player() {
    {
        std::lock_guard lock(signal_->mutex);
        signal_->quit = true;
    }
    signal_->changed.notify_all();
    if (thread_.joinable())
        thread_.join();
    dropOutput();
}

void Player::send(Command command) {
    {
        std::lock_guard lock(signal_->mutex);
        signal_->queue.push_back(std::move(command));
    }
    signal_->changed.notify_one();
}

std::function<void()> Player::wakeFunction() const {
    return [signal = signal_] {
        if (!signal->wantWakes.load())
            return;
        {
            std::lock_guard lock(signal->mutex);
            signal->woken = true;
        }
        signal->changed.notify_one();
    };
}

void Player::setPriority(uint32_t priority) {
    priority_ = static_cast<int32_t>(std::min<uint32_t>(priority, 4));
    applyThreadPriority();
}

void Player::applyThreadPriority() {
    // 0 "Lowest" to 4 "Highest" as nice values. Raising above normal needs
    // privileges; where the system refuses, the thread keeps its priority.
    static constexpr int kNice[5] = {10, 5, 0, 0, -5};
    const int tid = threadId_.load();
    if (tid != 0)
        (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), kNice[priority_.load()]);
}

void Player::run() {
    threadId_ = static_cast<int>(gettid());
    applyThreadPriority();
    Signal &signal = *signal_;
    while (true) {
        std::optional<Command> command;
        {
            std::lock_guard lock(signal.mutex);
            if (signal.quit)
                break;
            if (!signal.queue.empty()) {
                command = std::move(signal.queue.front());
                signal.queue.pop_front();
            }
        }
        if (command) {
            lastCommand_ = std::chrono::steady_clock::now();
            signal.wantWakes = true;
            execute(*command);
            continue;
        }
        const bool busy = pump();
        const std::chrono::milliseconds wait = nextWait();
        std::unique_lock lock(signal.mutex);
        if (!busy && signal.queue.empty() && !signal.quit && !signal.woken)
            signal.changed.wait_for(lock, wait);
        signal.woken = false;
    }
}

std::chrono::milliseconds Player::nextWait() {
    if (state_ != State::Playing) {
        signal_->wantWakes = true;
        return std::chrono::duration_cast<std::chrono::milliseconds>(kIdleWait);
    }
    const bool steady = inputOpen_ && !decodeDone_ && sink_ && sink_->realTime() &&
                        std::chrono::steady_clock::now() - lastCommand_ > kPromptAfterCommand;
    signal_->wantWakes = !steady;
    if (!steady)
        return kPlayingWait;
    auto wait = kClockWait;
    if (feedbackEnabled_ && info_.rate != 0) {
        const auto playing = static_cast<uint64_t>(playedSeconds() * info_.rate);
        const uint64_t frames = nextFeedbackFrame_ > playing ? nextFeedbackFrame_ - playing : 0;
        wait = std::min(wait, std::chrono::milliseconds(frames * 1000 / info_.rate + 1));
    }
    return wait;
}

void Player::post(std::unique_ptr<Notification> notification) {
    mailbox_.post(std::move(notification));
}

void Player::postNack(int32_t command, Error error, const std::string &detail) {
    post(makeNack(command, static_cast<int16_t>(error)));
    if (!detail.empty())
        post(makeError(static_cast<int16_t>(error), detail));
}

void Player::postState(State state) {
    if (state == state_)
        return;
    state_ = state;
    post(makeState(KV_NOTIFY_PLAYER_STATE, static_cast<uint8_t>(state)));
}

void Player::postOutputState() {
    outputLost_ = sink_ && sink_->lost();
    const Error shown = outputError_ != Error::None ? outputError_
                        : outputLost_               ? Error::OutputDeviceLost
                                                    : Error::None;
    post(makeState(KV_NOTIFY_OUTPUT_STATE, static_cast<uint8_t>(shown)));
}

// The mixer wakes this thread when its device goes or comes back.
void Player::watchOutput() {
    if ((sink_ && sink_->lost()) != outputLost_)
        postOutputState();
}

// ---------------------------------------------------------------------------
// Playback

double Player::playedSeconds() const {
    if (!inputOpen_ || info_.rate == 0)
        return 0.0;
    double seconds = static_cast<double>(baseFrame_) / info_.rate;
    if (sink_ && sink_->rate() != 0)
        seconds += static_cast<double>(sink_->playedFrames()) / sink_->rate();
    return seconds;
}

void Player::postTimecode(uint64_t second) {
    auto n = std::make_unique<Notification>(KV_NOTIFY_INPUT_TIMECODE);
    n->message.Data.TimeCode.H = static_cast<uint8_t>(std::min<uint64_t>(second / 3600, 255));
    n->message.Data.TimeCode.M = static_cast<uint8_t>(second / 60 % 60);
    n->message.Data.TimeCode.S = static_cast<uint8_t>(second % 60);
    n->message.Data.TimeCode.F = 0;
    post(std::move(n));
}

void Player::postPosition(bool force) {
    if (!inputOpen_)
        return;
    const double total = info_.rate != 0 ? static_cast<double>(info_.frames) / info_.rate : 0.0;
    uint32_t offset = 0;
    if (total > 0.0) {
        const double fraction = std::clamp(playedSeconds() / total, 0.0, 1.0);
        offset = static_cast<uint32_t>(fraction * positionRange_);
    }
    if (!force && lastOffset_ && *lastOffset_ == offset)
        return;
    // A very short song would otherwise report hundreds of positions a
    // second.
    const auto now = std::chrono::steady_clock::now();
    if (!force && lastOffset_ && offset != positionRange_ &&
        now - lastPositionTime_ < std::chrono::milliseconds(100))
        return;
    lastOffset_ = offset;
    lastPositionTime_ = now;
    auto n = std::make_unique<Notification>(KV_NOTIFY_INPUT_POSITION);
    n->message.Data.Position.Offset = offset;
    n->message.Data.Position.Range = positionRange_;
    post(std::move(n));
}

void Player::updateClock() {
    if (state_ != State::Playing || !inputOpen_ || info_.rate == 0)
        return;
    // The last time code is that of the second holding the last sample.
    const uint64_t lastSecond = info_.frames > 0 ? (info_.frames - 1) / info_.rate : 0;
    const auto second =
        std::min(static_cast<uint64_t>(std::floor(playedSeconds() + 1e-9)), lastSecond);
    if (!lastSecond_) {
        postTimecode(second);
        lastSecond_ = second;
    }
    // One time code per second played, none skipped even if the thread was
    // late.
    while (*lastSecond_ < second) {
        lastSecond_ = *lastSecond_ + 1;
        postTimecode(*lastSecond_);
    }
    postPosition(false);
    feedHeardAudio();
    if (decodeDone_ && sink_ && sink_->drained())
        finishStream();
}

void Player::finishStream() {
    sink_->setPlaying(false, false);
    sink_->finish();
    postState(State::EndOfStream);
}

void Player::feedHeardAudio() {
    if (!feedbackEnabled_ || state_ != State::Playing || info_.rate == 0)
        return;
    // Decoding runs a fifth of a second and more ahead of the sound; the
    // handler is given the audio at the position being played, so what it
    // shows is what is heard.
    const auto playing = static_cast<uint64_t>(playedSeconds() * info_.rate);
    if (playing < nextFeedbackFrame_)
        return;
    const kv_feedback_audio_event_fn event = feedbackAudioEvent(feedbackHandler_);
    if (event == nullptr)
        return;
    const uint64_t period =
        std::max<uint64_t>(1, static_cast<uint64_t>(feedbackPeriodMs_) * info_.rate / 1000);
    // A late turn skips the periods it missed rather than catching up on them.
    nextFeedbackFrame_ = playing + period;
    uint64_t first = 0;
    const std::span<const int16_t> block = heard_.from(playing, kFeedbackFrames, first);
    if (block.empty())
        return;
    KV_AudioEvent audio{};
    const double seconds = static_cast<double>(first) / info_.rate;
    audio.When.Seconds = static_cast<uint32_t>(seconds);
    audio.When.MicroSeconds = static_cast<uint32_t>((seconds - std::floor(seconds)) * 1e6);
    audio.SamplingFrequency = info_.rate;
    audio.NB_Channels = static_cast<uint16_t>(heard_.channels());
    audio.NB_Samples = static_cast<uint16_t>(block.size() / heard_.channels());
    audio.Samples = block.data();
    event(nullptr, &audio);
}

void Player::decodeBlock() {
    size_t samples = 0;
    const Decoder::ReadResult result = decoder_.read(decodeBuffer_, samples);
    if (decoder_.takeFormatChange(info_)) {
        // Joined files: the stages after the decoder are told before the
        // first block in the new format reaches them.
        kv_output_format format{info_.rate, info_.channels, 16, 0};
        chain_.control(&format, KV_CONTROL_FORMAT);
    }
    if (result == Decoder::ReadResult::Data) {
        const uint32_t channels = std::max<uint32_t>(info_.channels, 1);
        // A second of it: more than is ever decoded ahead of the sound.
        heard_.keep(decodeBuffer_.data(), samples / channels, channels,
                    std::max<size_t>(info_.rate, kFeedbackFrames));
        if (chain_.write(decodeBuffer_.data(), static_cast<uint32_t>(samples * 2), channels,
                         info_.rate) < 0 &&
            outputError_ == Error::None) {
            outputError_ = Error::OutputWriteFailed;
            post(makeError(static_cast<int16_t>(Error::OutputWriteFailed),
                           "The output chain refused audio of " + inputName_));
        }
        return;
    }
    if (result == Decoder::ReadResult::Error)
        post(makeError(static_cast<int16_t>(Error::DecoderFailed),
                       "Decoding stopped early: the rest of " + inputName_ + " is damaged"));
    kv_output_format format{info_.rate, info_.channels, 16, 0};
    chain_.control(&format, KV_CONTROL_DRAIN);
    sink_->markComplete();
    decodeDone_ = true;
}

bool Player::pump() {
    watchOutput();
    if (!inputOpen_ || !sink_ || outputError_ != Error::None || decodeDone_) {
        updateClock();
        return false;
    }
    bool busy = false;
    if (sink_->realTime()) {
        if (sink_->room() > 0) {
            decodeBlock();
            busy = true;
        }
    } else if (state_ == State::Playing) {
        // Files are written as fast as decoding goes; commands still get a
        // turn between every few blocks.
        for (int i = 0; i < 8 && !decodeDone_; ++i)
            decodeBlock();
        busy = true;
    }
    updateClock();
    return busy;
}

void Player::restartAt(uint64_t frame, bool fade) {
    if (sink_) {
        sink_->flush(fade);
        kv_output_format format{info_.rate, info_.channels, 16, 0};
        chain_.control(&format, KV_CONTROL_RESET);
    }
    if (inputOpen_)
        decoder_.seek(frame);
    baseFrame_ = frame;
    decodeDone_ = false;
    lastSecond_.reset();
    lastOffset_.reset();
    heard_.restart(frame);
    nextFeedbackFrame_ = frame;
}

bool Player::beingHeard() const {
    if (state_ == State::Playing)
        return true;
    return state_ == State::Paused && sink_ && sink_->playedFrames() > 0;
}

Error Player::checkFileTarget(std::string &detail) const {
    const std::string path = withSlashes(outputName_.substr(4));
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    const std::string where = folder.empty() ? std::string(".") : folder.string();
    if (::access(where.c_str(), W_OK) != 0) {
        detail = "Cannot create the WAV file \"" + path + "\"";
        return Error::OutputFileFailed;
    }
    return Error::None;
}

bool Player::fileOutputNamed() const {
    return startsWithNoCase(outputName_, "wav:");
}

Error Player::buildFileOutputForPlay() {
    outputErrorDetail_.clear();
    outputError_ = buildOutput(outputErrorDetail_);
    if (outputError_ == Error::None) {
        sink_->flush(false);
        sink_->setPlaying(false, false);
        restartAt(baseFrame_, false);
    } else {
        post(makeError(static_cast<int16_t>(outputError_), outputErrorDetail_));
    }
    postOutputState();
    return outputError_;
}

void Player::retargetOutput() {
    if (fileOutputNamed()) {
        // Made at the next Play, like any WAV file.
        dropOutput();
        outputError_ = Error::None;
        outputErrorDetail_.clear();
        return;
    }
    // Whatever was decoded ahead for the old output is decoded again for the new one.
    const uint64_t frame = baseFrame_;
    outputErrorDetail_.clear();
    outputError_ = buildOutput(outputErrorDetail_);
    if (outputError_ == Error::None) {
        sink_->flush(false);
        sink_->setPlaying(false, false);
        restartAt(frame, false);
    } else {
        post(makeError(static_cast<int16_t>(outputError_), outputErrorDetail_));
    }
    postOutputState();
}

void Player::clearChain() {
    // Listeners of instances that go away are dropped even if the module
    // forgot to remove them, so a later value change cannot call into a
    // deleted instance.
    const std::vector<void *> gone = chain_.instances();
    chain_.clear();
    std::erase_if(listeners_, [&](const Listener &l) {
        return std::find(gone.begin(), gone.end(), l.instance) != gone.end();
    });
}

void Player::dropOutput() {
    clearChain();
    if (sink_)
        sink_->finish();
    sink_.reset();
    activeOutputName_.clear();
    activeOutputModule_ = -1;
}

Error Player::buildOutput(std::string &detail) {
    std::string name = outputName_.empty() ? std::string("/dev/dsound/0") : outputName_;
    const bool isFile = startsWithNoCase(name, "wav:");
    if (sink_ && name == activeOutputName_ && !chainDirty_ && !isFile) {
        kv_output_format format{info_.rate, info_.channels, 16, 0};
        chain_.control(&format, KV_CONTROL_FORMAT);
        return Error::None;
    }
    dropOutput();
    Error error = Error::None;
    std::unique_ptr<Sink> sink;
    if (isFile) {
        const ModuleLookup wav = loadModule(kWavModule);
        if (!wav.module) {
            detail = "The WAV writer module is missing";
            return wav.error;
        }
        const std::string path = withSlashes(name.substr(4));
        sink = DirectSink::create(wav.module, "wav:" + path, &host_.iface, error);
        if (!sink) {
            detail = "Cannot create the WAV file \"" + path + "\"";
            return error;
        }
        activeOutputModule_ = 0;
    } else {
        std::shared_ptr<const Module> module;
        std::string device = name;
        if (name == "null:" || (nullOutputRequested() && isSoundCardName(name))) {
            module = nullOutputModule();
            device = "null";
            activeOutputModule_ = 1;
        } else if (isSoundCardName(name)) {
            registerOutputModule(std::string(kSoundCardModule), false);
            const ModuleLookup card = loadModule(kSoundCardModule);
            if (!card.module) {
                detail = "The sound card output module is missing";
                return card.error;
            }
            module = card.module;
            for (size_t i = 0; i < outputModules_.size(); ++i)
                if (outputModules_[i].location == kSoundCardModule)
                    activeOutputModule_ = static_cast<int32_t>(i);
        } else {
            detail = "No output module serves \"" + name + "\"";
            return Error::NotADevice;
        }
        auto mixerSink = std::make_unique<MixerSink>(module, device, wakeFunction());
        mixerSink->setPitch(pitch_);
        sink = std::move(mixerSink);
    }
    sink->setLevels(levels_);
    sink->setGain(openInputGain_);
    sink_ = std::move(sink);
    std::vector<std::string> failed;
    clearChain();
    chain_.build(filters_, &host_.iface, sink_.get(), failed);
    for (const std::string &location : failed)
        post(makeError(static_cast<int16_t>(Error::ModuleRefused),
                       "The output filter \"" + location + "\" did not start"));
    activeOutputName_ = name;
    chainDirty_ = false;
    kv_output_format format{info_.rate != 0 ? info_.rate : 44100,
                            info_.channels != 0 ? info_.channels : 2, 16, 0};
    if (chain_.control(&format, KV_CONTROL_FORMAT) < 0) {
        detail = "The sound output \"" + name + "\" cannot be opened";
        dropOutput();
        return Error::OutputDeviceFailed;
    }
    return Error::None;
}

// ---------------------------------------------------------------------------
// Commands

void Player::play() {
    if (!inputOpen_) {
        postNack(KV_CMD_PLAY, Error::NoInput);
        return;
    }
    if (!sink_ && outputError_ == Error::None && fileOutputNamed())
        buildFileOutputForPlay();
    if (outputError_ != Error::None || !sink_) {
        postNack(KV_CMD_PLAY,
                 outputError_ != Error::None ? outputError_ : Error::OutputDeviceFailed,
                 outputErrorDetail_.empty() ? std::string("No usable sound output")
                                            : outputErrorDetail_);
        return;
    }
    if (state_ == State::Playing)
        return;
    if (state_ == State::EndOfStream)
        restartAt(0, false);
    // Resuming mid-song fades in; a start plays its first sample as it is,
    // also when the input was paused before anything was heard.
    sink_->setPlaying(true, state_ == State::Paused && sink_->playedFrames() > 0);
    postState(State::Playing);
    updateClock();
}

void Player::pause() {
    if (!inputOpen_) {
        postNack(KV_CMD_PAUSE, Error::NoInput);
        return;
    }
    if (state_ == State::Playing)
        sink_->setPlaying(false, true);
    if (state_ == State::Playing || state_ == State::Stopped)
        postState(State::Paused);
}

void Player::stop() {
    if (state_ == State::Stopped || state_ == State::EndOfStream || !inputOpen_) {
        // Already quiet: nothing to report, so a late "stopped" cannot
        // overwrite what the receiver shows for the end of the stream. The
        // input goes back to its start all the same.
        if (state_ == State::EndOfStream)
            restartAt(0, false);
        state_ = State::Stopped;
        return;
    }
    if (sink_) {
        sink_->setPlaying(false, true);
        restartAt(0, true);
        sink_->finish();
    }
    postState(State::Stopped);
}

void Player::seek(uint32_t offset, uint32_t range) {
    if (!inputOpen_) {
        postNack(KV_CMD_INPUT_SEEK, Error::NoInput);
        return;
    }
    if (range == 0)
        offset = 0;
    offset = std::min(offset, range);
    const uint64_t frame =
        range == 0 ? 0
                   : static_cast<uint64_t>(static_cast<long double>(info_.frames) * offset / range);
    restartAt(std::min(frame, info_.frames), state_ == State::Playing);
    if (state_ == State::EndOfStream)
        state_ = State::Stopped;
    postPosition(true);
    updateClock();
}

void Player::inputOpen(const std::string &requested) {
    if (inputOpen_ && (state_ == State::Playing || state_ == State::Paused)) {
        if (sink_) {
            sink_->setPlaying(false, true);
            sink_->flush(true);
        }
        postState(State::Stopped);
    }
    state_ = State::Stopped;
    if (sink_)
        sink_->finish();
    decoder_.close();
    inputOpen_ = false;
    forgetAudibleEnd();

    std::string name = requested;
    StreamInfo info;
    Error error = decoder_.open(name, info);
    if (error == Error::FileNotFound && name.find('\\') != std::string::npos) {
        name = withSlashes(name);
        error = decoder_.open(name, info);
    }
    if (error != Error::None) {
        postNack(KV_CMD_INPUT_OPEN, error,
                 std::string("Cannot open \"") + requested +
                     "\": " + errorText(static_cast<int32_t>(error)));
        return;
    }
    info_ = info;
    inputName_ = requested;
    inputOpen_ = true;
    openInputGain_ = static_cast<float>(std::pow(10.0, inputGainHundredths_ / 2000.0));
    baseFrame_ = 0;
    decodeDone_ = false;
    lastSecond_.reset();
    lastOffset_.reset();
    heard_.restart(0);
    nextFeedbackFrame_ = 0;
    // A WAV file stays a faithful decode; so does a song of gapless playback.
    if (quietEnds_ && !fileOutputNamed() && info_.rate != 0) {
        skipOpeningSilence();
        endScan_ = std::make_unique<EndScan>(name, info_.frames, info_.rate, audibleEndMs_);
    }

    post(makeText(KV_NOTIFY_INPUT_NAME, requested));
    post(makeU32(KV_NOTIFY_STREAM_DURATION, static_cast<uint32_t>(info_.frames / info_.rate)));
    auto parameters = std::make_unique<Notification>(KV_NOTIFY_STREAM_PARAMETERS);
    parameters->message.Data.Stream_Parameters.Frequency = info_.rate;
    parameters->message.Data.Stream_Parameters.BitRate = static_cast<int16_t>(info_.bitrateKbps);
    parameters->message.Data.Stream_Parameters.NB_Channels = static_cast<uint8_t>(info_.channels);
    post(std::move(parameters));
    post(makeText(KV_NOTIFY_STREAM_MIME_TYPE, "audio/mpeg"));
    post(makeProperties({{"Layer", info_.layer},
                         {"Channel mode", std::string(info_.channels == 1 ? "Mono" : "Stereo")}}));

    outputErrorDetail_.clear();
    // A WAV file is made when the song starts playing: the program names the
    // file after opening the song, and a file made now for the previous name
    // would overwrite that song's finished file.
    if (fileOutputNamed()) {
        dropOutput();
        // The folder is checked now so a file that cannot be made is reported
        // with the song, as a failing device is.
        outputError_ = checkFileTarget(outputErrorDetail_);
    } else {
        outputError_ = buildOutput(outputErrorDetail_);
    }
    if (outputError_ == Error::None) {
        if (sink_) {
            sink_->flush(false);
            sink_->setPlaying(false, false);
            // A sink kept from the previous song still has that song's gain.
            sink_->setGain(openInputGain_);
        }
    } else {
        post(makeError(static_cast<int16_t>(outputError_), outputErrorDetail_));
    }
    postOutputState();
    postPosition(true);
}

void Player::inputClose() {
    if (state_ == State::Playing || state_ == State::Paused)
        postState(State::Stopped);
    state_ = State::Stopped;
    if (sink_) {
        sink_->setPlaying(false, true);
        sink_->flush(true);
        sink_->finish();
    }
    decoder_.close();
    inputOpen_ = false;
    forgetAudibleEnd();
    info_ = {};
    inputName_.clear();
    post(makeAck(KV_CMD_INPUT_CLOSE));
}

void Player::forgetAudibleEnd() {
    endScan_.reset();
    audibleEndMs_ = -1;
}

void Player::skipOpeningSilence() {
    // Decoding runs at hundreds of times real time: even a long silence is
    // read through in milliseconds before the first block is heard.
    const auto longest = static_cast<uint64_t>(kLongestOpeningSilence * info_.rate);
    const unsigned channels = std::max(info_.channels, 1u);
    std::vector<int16_t> block(4096 * channels);
    uint64_t at = 0;
    uint64_t first = 0;
    bool found = false;
    while (at < longest) {
        size_t samples = 0;
        if (decoder_.read(block, samples) != Decoder::ReadResult::Data || samples == 0)
            break;
        const size_t frames = samples / channels;
        if (const size_t f = firstAudibleFrame(block.data(), frames, channels); f < frames) {
            first = at + f;
            found = true;
            break;
        }
        at += frames;
    }
    StreamInfo changed;
    decoder_.takeFormatChange(changed);
    const uint64_t start = found ? first : 0;
    decoder_.seek(start);
    baseFrame_ = start;
    heard_.restart(start);
    nextFeedbackFrame_ = start;
}

void Player::postVolume() {
    for (int32_t code : {KV_NOTIFY_OUTPUT_VOLUME, KV_NOTIFY_OUTPUT_BALANCE,
                         KV_NOTIFY_OUTPUT_PCM_LEVEL, KV_NOTIFY_OUTPUT_MASTER_LEVEL}) {
        auto n = std::make_unique<Notification>(code);
        n->message.Data.Volume.Master_Level = static_cast<int8_t>(levels_.master);
        n->message.Data.Volume.PCM_Level = static_cast<int8_t>(levels_.pcm);
        n->message.Data.Volume.Balance = static_cast<int8_t>(levels_.balance);
        post(std::move(n));
    }
}

void Player::setVolume(int32_t balance, int32_t pcm, int32_t master) {
    auto apply = [](int &level, int32_t value) {
        if (value >= 0)
            level = std::min(value, KV_LEVEL_MAX);
    };
    apply(levels_.balance, balance);
    apply(levels_.pcm, pcm);
    apply(levels_.master, master);
    if (sink_)
        sink_->setLevels(levels_);
    postVolume();
}

void Player::postEqualizer() {
    auto n = std::make_unique<Notification>(KV_NOTIFY_CODEC_EQUALIZER);
    if (equalizer_)
        n->equalizer = *equalizer_;
    n->bindTexts();
    post(std::move(n));
}

bool Player::registerOutputModule(const std::string &location, bool report) {
    const ModuleLookup lookup = loadModule(location);
    if (!lookup.module) {
        if (report)
            postNack(KV_CMD_OUTPUT_MODULE_REGISTER, lookup.error,
                     "Cannot register the output module \"" + location +
                         "\": " + errorText(static_cast<int32_t>(lookup.error)));
        return false;
    }
    for (const OutputEntry &entry : outputModules_)
        if (!entry.location.empty() && loadModule(entry.location).module == lookup.module)
            return true; // registering the same module again changes nothing
    OutputEntry entry{lookup.module->name, lookup.module->description, {}, location};
    if (loadModule(kSoundCardModule).module == lookup.module)
        entry.devices = {"/dev/dsound/0", "/dev/wave/0"};
    outputModules_.push_back(std::move(entry));
    return true;
}

void Player::addFilter(const std::string &location, int32_t where) {
    const ModuleLookup lookup = loadModule(location);
    if (!lookup.module) {
        postNack(KV_CMD_OUTPUT_ADD_FILTER, lookup.error,
                 "Cannot load the output filter \"" + location +
                     "\": " + errorText(static_cast<int32_t>(lookup.error)));
        return;
    }
    if (lookup.module->isDevice()) {
        postNack(KV_CMD_OUTPUT_ADD_FILTER, Error::NotAFilter);
        return;
    }
    FilterEntry entry{lookup.module, location, nextFilterId_++};
    if (nextFilterId_ == 0)
        nextFilterId_ = 1;
    const auto at = where < 0 || static_cast<size_t>(where) > filters_.size()
                        ? filters_.end()
                        : filters_.begin() + where;
    filters_.insert(at, entry);
    chainDirty_ = true;
    post(makeAck(KV_CMD_OUTPUT_ADD_FILTER));
}

void Player::removeFilter(const std::string &location, int32_t id) {
    auto it = std::find_if(filters_.begin(), filters_.end(), [&](const FilterEntry &f) {
        return id > 0 ? f.id == id : f.location == location;
    });
    if (it == filters_.end()) {
        postNack(KV_CMD_OUTPUT_REMOVE_FILTER, Error::FilterNotFound);
        return;
    }
    filters_.erase(it);
    chainDirty_ = true;
    post(makeAck(KV_CMD_OUTPUT_REMOVE_FILTER));
}

void Player::listOutputModules() {
    for (size_t i = 0; i < outputModules_.size(); ++i) {
        const OutputEntry &entry = outputModules_[i];
        auto info = std::make_unique<Notification>(KV_NOTIFY_OUTPUT_MODULE_INFO);
        info->message.Data.Module_Info.ID = static_cast<uint8_t>(i);
        info->message.Data.Module_Info.NB_Devices = static_cast<uint8_t>(entry.devices.size());
        info->text1 = entry.name;
        info->text2 = entry.description;
        info->bindTexts();
        post(std::move(info));
        for (size_t d = 0; d < entry.devices.size(); ++d) {
            auto device = std::make_unique<Notification>(KV_NOTIFY_OUTPUT_DEVICE_INFO);
            device->message.Data.Device_Info.Module_ID = static_cast<uint8_t>(i);
            device->message.Data.Device_Info.Index = static_cast<uint8_t>(d);
            device->message.Data.Device_Info.Flags = 0;
            device->text1 = entry.devices[d];
            device->text2 = entry.name;
            device->bindTexts();
            post(std::move(device));
        }
    }
}

void Player::setEnvironmentInteger(const std::string &name, std::optional<int32_t> value) {
    if (value)
        environment_[name] = *value;
    else
        environment_.erase(name);
    if (name == kPitchName) {
        pitch_ = value ? std::clamp(*value, 0, 2000) : 1000;
        if (sink_)
            sink_->setPitch(pitch_);
    }
    // Copy first: a listener may add or remove listeners.
    const std::vector<Listener> listeners = listeners_;
    for (const Listener &l : listeners)
        if (l.name == name && l.function != nullptr)
            l.function(l.instance, name.c_str(), value ? &*value : nullptr);
}

int32_t Player::hostGetInteger(kv_host_interface *host, const char *name, int32_t *value) {
    if (host == nullptr || name == nullptr)
        return -1;
    Player &player = *reinterpret_cast<Host *>(host)->player;
    const auto it = player.environment_.find(name);
    if (it == player.environment_.end() || !std::holds_alternative<int32_t>(it->second))
        return -1;
    if (value != nullptr)
        *value = std::get<int32_t>(it->second);
    return 0;
}

int32_t Player::hostAddListener(kv_host_interface *host, const char *name, void *instance,
                                kv_environment_listener_fn listener, int32_t *handle) {
    if (host == nullptr || name == nullptr || listener == nullptr)
        return -1;
    Player &player = *reinterpret_cast<Host *>(host)->player;
    const int32_t h = player.nextListenerHandle_++;
    player.listeners_.push_back({h, name, instance, listener});
    if (handle != nullptr)
        *handle = h;
    return 0;
}

void Player::hostRemoveListener(kv_host_interface *host, int32_t handle) {
    if (host == nullptr)
        return;
    Player &player = *reinterpret_cast<Host *>(host)->player;
    std::erase_if(player.listeners_, [handle](const Listener &l) { return l.handle == handle; });
}

void Player::executeExtension(const Command &c) {
    switch (static_cast<ExtensionCommand>(c.code)) {
    case ExtensionCommand::SetInputGain:
        inputGainHundredths_ = std::clamp(c.ints[0], KV_INPUT_GAIN_MIN, KV_INPUT_GAIN_MAX);
        break;
    case ExtensionCommand::SetQuietEnds:
        quietEnds_ = c.ints[0] != 0;
        break;
    }
}

void Player::execute(const Command &c) {
    if (c.extension) {
        executeExtension(c);
        return;
    }
    const int32_t code = c.code;
    switch (code) {
    case KV_CMD_SYNCHRONIZE:
        post(makeAck(code));
        break;
    case KV_CMD_PING: {
        auto n = std::make_unique<Notification>(KV_NOTIFY_PONG);
        n->message.Data.Tag = static_cast<uint32_t>(c.ints[0]);
        post(std::move(n));
        break;
    }
    case KV_CMD_PLAY:
        play();
        break;
    case KV_CMD_PAUSE:
        pause();
        break;
    case KV_CMD_STOP:
        stop();
        break;
    case KV_CMD_INPUT_SEEK:
        seek(static_cast<uint32_t>(c.ints[0]), static_cast<uint32_t>(c.ints[1]));
        break;
    case KV_CMD_INPUT_OPEN:
        inputOpen(c.text1);
        break;
    case KV_CMD_INPUT_CLOSE:
        inputClose();
        break;
    case KV_CMD_INPUT_SEND_MESSAGE:
    case KV_CMD_OUTPUT_SEND_MESSAGE:
    case KV_CMD_CODEC_SEND_MESSAGE:
    case KV_CMD_INPUT_ADD_FILTER:
    case KV_CMD_INPUT_REMOVE_FILTER:
    case KV_CMD_INPUT_MODULE_REGISTER:
    case KV_CMD_CODEC_MODULE_REGISTER:
        // Nothing here understands module messages or takes input-side
        // plug-ins.
        postNack(code, Error::Unsupported);
        break;
    case KV_CMD_INPUT_FILTER_LIST:
        post(makeAck(code));
        break;
    case KV_CMD_INPUT_MODULE_QUERY:
    case KV_CMD_INPUT_MODULES_LIST:
    case KV_CMD_CODEC_MODULE_QUERY:
    case KV_CMD_CODEC_MODULES_LIST: {
        const bool input = code == KV_CMD_INPUT_MODULE_QUERY || code == KV_CMD_INPUT_MODULES_LIST;
        const bool list = code == KV_CMD_INPUT_MODULES_LIST || code == KV_CMD_CODEC_MODULES_LIST;
        if (!list && c.ints[0] != 0) {
            postNack(code, Error::InvalidArgument);
            break;
        }
        auto info = std::make_unique<Notification>(input ? KV_NOTIFY_INPUT_MODULE_INFO
                                                         : KV_NOTIFY_CODEC_MODULE_INFO);
        info->message.Data.Module_Info.ID = 0;
        info->message.Data.Module_Info.NB_Devices = 1;
        info->text1 = input ? "File Input" : "MPEG Audio Decoder";
        info->text2 = input ? "Local files" : "MPEG 1, 2 and 2.5, layers 1 to 3 (libmpg123)";
        info->bindTexts();
        post(std::move(info));
        if (list) {
            auto device = std::make_unique<Notification>(input ? KV_NOTIFY_INPUT_DEVICE_INFO
                                                               : KV_NOTIFY_CODEC_DEVICE_INFO);
            device->text1 = input ? "file" : "mpeg";
            device->text2 = input ? "Files by path" : "MPEG audio";
            device->bindTexts();
            post(std::move(device));
        }
        break;
    }
    case KV_CMD_OUTPUT_OPEN:
        outputName_ = c.text1;
        if (!inputOpen_) {
            outputErrorDetail_.clear();
            outputError_ = buildOutput(outputErrorDetail_);
            postOutputState();
        }
        post(makeAck(code));
        break;
    case KV_CMD_OUTPUT_CLOSE:
        if (state_ == State::Playing || state_ == State::Paused)
            stop();
        dropOutput();
        outputError_ = Error::OutputDeviceFailed;
        outputErrorDetail_ = "The output is closed";
        post(makeAck(code));
        break;
    case KV_CMD_OUTPUT_MUTE:
    case KV_CMD_OUTPUT_UNMUTE:
        levels_.muted = code == KV_CMD_OUTPUT_MUTE;
        if (sink_)
            sink_->setLevels(levels_);
        post(makeAck(code));
        break;
    case KV_CMD_OUTPUT_RESET:
        // Drop what is buffered without losing the place in the song.
        if (inputOpen_ && sink_ && info_.rate != 0) {
            const auto frame = static_cast<uint64_t>(playedSeconds() * info_.rate);
            restartAt(std::min(frame, info_.frames), state_ == State::Playing);
        }
        post(makeAck(code));
        break;
    case KV_CMD_OUTPUT_DRAIN:
        if (sink_) {
            kv_output_format format{info_.rate, info_.channels, 16, 0};
            chain_.control(&format, KV_CONTROL_DRAIN);
        }
        post(makeAck(code));
        break;
    case KV_CMD_OUTPUT_ADD_FILTER:
        addFilter(c.text1, c.ints[0]);
        break;
    case KV_CMD_OUTPUT_REMOVE_FILTER:
        removeFilter(c.text1, c.ints[0]);
        break;
    case KV_CMD_OUTPUT_FILTER_LIST:
        for (const FilterEntry &f : filters_) {
            auto n = std::make_unique<Notification>(KV_NOTIFY_OUTPUT_FILTER_INFO);
            n->text1 = f.location;
            n->message.Data.Filter_Info.ID = f.id;
            n->bindTexts();
            post(std::move(n));
        }
        break;
    case KV_CMD_OUTPUT_MODULE_REGISTER:
        if (registerOutputModule(c.text1, true))
            post(makeAck(code));
        break;
    case KV_CMD_OUTPUT_MODULE_QUERY: {
        const auto id = static_cast<uint32_t>(c.ints[0]);
        if (id >= outputModules_.size()) {
            postNack(code, Error::InvalidArgument);
            break;
        }
        auto info = std::make_unique<Notification>(KV_NOTIFY_OUTPUT_MODULE_INFO);
        info->message.Data.Module_Info.ID = static_cast<uint8_t>(id);
        info->message.Data.Module_Info.NB_Devices =
            static_cast<uint8_t>(outputModules_[id].devices.size());
        info->text1 = outputModules_[id].name;
        info->text2 = outputModules_[id].description;
        info->bindTexts();
        post(std::move(info));
        break;
    }
    case KV_CMD_OUTPUT_MODULES_LIST:
        listOutputModules();
        break;
    case KV_CMD_SET_PLAYER_MODE:
        mode_ = static_cast<uint32_t>(c.ints[0]);
        [[fallthrough]];
    case KV_CMD_GET_PLAYER_MODE:
        post(makeU32(KV_NOTIFY_PLAYER_MODE, mode_));
        break;
    case KV_CMD_SET_PLAYER_ENVIRONMENT_INTEGER:
        setEnvironmentInteger(c.text1, c.ints[0]);
        post(makeAck(code));
        break;
    case KV_CMD_GET_PLAYER_ENVIRONMENT_INTEGER:
    case KV_CMD_GET_PLAYER_ENVIRONMENT_STRING: {
        const bool integer = code == KV_CMD_GET_PLAYER_ENVIRONMENT_INTEGER;
        const auto it = environment_.find(c.text1);
        if (it == environment_.end() || std::holds_alternative<int32_t>(it->second) != integer) {
            postNack(code, Error::NoSuchEnvironmentValue);
            break;
        }
        auto n = std::make_unique<Notification>(integer ? KV_NOTIFY_PLAYER_ENVIRONMENT_INTEGER
                                                        : KV_NOTIFY_PLAYER_ENVIRONMENT_STRING);
        n->text1 = c.text1;
        if (integer)
            n->message.Data.Environment_Info.Value.Integer_Value = std::get<int32_t>(it->second);
        else
            n->text2 = std::get<std::string>(it->second);
        n->bindTexts();
        post(std::move(n));
        break;
    }
    case KV_CMD_SET_PLAYER_ENVIRONMENT_STRING:
        if (environment_.contains(c.text1) &&
            std::holds_alternative<int32_t>(environment_[c.text1]))
            setEnvironmentInteger(c.text1, std::nullopt);
        environment_[c.text1] = c.text2;
        post(makeAck(code));
        break;
    case KV_CMD_UNSET_PLAYER_ENVIRONMENT:
        if (environment_.contains(c.text1) &&
            std::holds_alternative<int32_t>(environment_[c.text1]))
            setEnvironmentInteger(c.text1, std::nullopt);
        else
            environment_.erase(c.text1);
        post(makeAck(code));
        break;
    case KV_CMD_SET_INPUT_NAME:
    case KV_CMD_GET_INPUT_NAME:
        post(makeText(KV_NOTIFY_INPUT_NAME, inputName_));
        break;
    case KV_CMD_SET_INPUT_MODULE:
    case KV_CMD_SET_OUTPUT_MODULE: {
        const bool output = code == KV_CMD_SET_OUTPUT_MODULE;
        const size_t count = output ? outputModules_.size() : 1;
        if (c.ints[0] < 0 || static_cast<size_t>(c.ints[0]) >= count) {
            postNack(code, Error::InvalidArgument);
            break;
        }
        auto n = std::make_unique<Notification>(output ? KV_NOTIFY_OUTPUT_MODULE
                                                       : KV_NOTIFY_INPUT_MODULE);
        n->message.Data.Module_ID = static_cast<int16_t>(c.ints[0]);
        post(std::move(n));
        break;
    }
    case KV_CMD_GET_INPUT_MODULE:
    case KV_CMD_GET_OUTPUT_MODULE: {
        const bool output = code == KV_CMD_GET_OUTPUT_MODULE;
        auto n = std::make_unique<Notification>(output ? KV_NOTIFY_OUTPUT_MODULE
                                                       : KV_NOTIFY_INPUT_MODULE);
        n->message.Data.Module_ID =
            static_cast<int16_t>(output ? activeOutputModule_ : (inputOpen_ ? 0 : -1));
        post(std::move(n));
        break;
    }
    case KV_CMD_SET_INPUT_POSITION_RANGE:
        if (c.ints[0] <= 0) {
            postNack(code, Error::InvalidArgument);
            break;
        }
        positionRange_ = static_cast<uint32_t>(c.ints[0]);
        lastOffset_.reset();
        [[fallthrough]];
    case KV_CMD_GET_INPUT_POSITION_RANGE:
        post(makeU32(KV_NOTIFY_INPUT_POSITION_RANGE, positionRange_));
        break;
    case KV_CMD_SET_INPUT_TIMECODE_GRANULARITY:
        granularity_ = static_cast<uint32_t>(c.ints[0]);
        [[fallthrough]];
    case KV_CMD_GET_INPUT_TIMECODE_GRANULARITY:
        post(makeU32(KV_NOTIFY_INPUT_TIMECODE_GRANULARITY, granularity_));
        break;
    case KV_CMD_SET_OUTPUT_NAME:
        // A player that is being heard keeps its output until the next
        // InputOpen, so a song still fading out keeps writing where it was.
        // One that is opened but not yet heard (the program opens a song and
        // then names its output) plays to the new name from its next Play.
        outputName_ = c.text1;
        if (inputOpen_ && outputName_ != activeOutputName_ && !beingHeard())
            retargetOutput();
        [[fallthrough]];
    case KV_CMD_GET_OUTPUT_NAME:
        post(makeText(KV_NOTIFY_OUTPUT_NAME, outputName_));
        break;
    case KV_CMD_SET_OUTPUT_VOLUME:
        setVolume(c.ints[0], c.ints[1], c.ints[2]);
        break;
    case KV_CMD_GET_OUTPUT_VOLUME: {
        auto n = std::make_unique<Notification>(KV_NOTIFY_OUTPUT_VOLUME);
        n->message.Data.Volume.Master_Level = static_cast<int8_t>(levels_.master);
        n->message.Data.Volume.PCM_Level = static_cast<int8_t>(levels_.pcm);
        n->message.Data.Volume.Balance = static_cast<int8_t>(levels_.balance);
        post(std::move(n));
        break;
    }
    case KV_CMD_SET_OUTPUT_CHANNELS:
        if (c.ints[0] < 0 || c.ints[0] > KV_CHANNELS_MONO_MIX) {
            postNack(code, Error::InvalidArgument);
            break;
        }
        levels_.channelMode = c.ints[0];
        if (sink_)
            sink_->setLevels(levels_);
        [[fallthrough]];
    case KV_CMD_GET_OUTPUT_CHANNELS:
        post(makeState(KV_NOTIFY_OUTPUT_CHANNELS, static_cast<uint8_t>(levels_.channelMode)));
        break;
    case KV_CMD_SET_OUTPUT_PORTS:
        ports_ = static_cast<uint32_t>(c.ints[0]);
        [[fallthrough]];
    case KV_CMD_GET_OUTPUT_PORTS:
        post(makeU32(KV_NOTIFY_OUTPUT_PORTS, ports_));
        break;
    case KV_CMD_SET_CODEC_QUALITY:
        quality_ = static_cast<uint32_t>(c.ints[0]) & 0xFFu;
        [[fallthrough]];
    case KV_CMD_GET_CODEC_QUALITY:
        post(makeState(KV_NOTIFY_CODEC_QUALITY, static_cast<uint8_t>(quality_)));
        break;
    case KV_CMD_SET_CODEC_EQUALIZER:
        if (c.nullPointer || c.data.size() < sizeof(KV_EqualizerInfo)) {
            equalizer_.reset();
            decoder_.setEqualizer(nullptr, nullptr);
        } else {
            KV_EqualizerInfo eq{};
            std::memcpy(&eq, c.data.data(), sizeof eq);
            equalizer_ = eq;
            decoder_.setEqualizer(eq.Left, eq.Right);
        }
        [[fallthrough]];
    case KV_CMD_GET_CODEC_EQUALIZER:
        postEqualizer();
        break;
    case KV_CMD_SET_NOTIFICATION_MASK:
        notificationMask_ = static_cast<uint32_t>(c.ints[0]);
        [[fallthrough]];
    case KV_CMD_GET_NOTIFICATION_MASK:
        post(makeU32(KV_NOTIFY_NOTIFICATION_MASK, notificationMask_));
        break;
    case KV_CMD_SET_DEBUG_LEVEL:
        debugLevel_ = static_cast<uint32_t>(c.ints[0]) & 0xFFu;
        [[fallthrough]];
    case KV_CMD_GET_DEBUG_LEVEL:
        post(makeState(KV_NOTIFY_DEBUG_LEVEL, static_cast<uint8_t>(debugLevel_)));
        break;
    case KV_CMD_FEEDBACK_REGISTER: {
        const auto address = parseFeedbackLocation(c.text1);
        const int index = address ? installFeedbackHandler(*address) : -1;
        if (index < 0) {
            postNack(code, Error::InvalidArgument,
                     "Cannot install the feedback handler \"" + c.text1 + "\"");
            break;
        }
        if (feedbackHandler_ < 0)
            feedbackHandler_ = index;
        post(makeAck(code));
        break;
    }
    case KV_CMD_FEEDBACK_SELECT: {
        const int index = findFeedbackHandler(c.text1);
        if (index < 0) {
            postNack(code, Error::InvalidArgument);
            break;
        }
        feedbackHandler_ = index;
        post(makeAck(code));
        break;
    }
    case KV_CMD_FEEDBACK_SET_PERIOD:
        feedbackPeriodMs_ = static_cast<uint32_t>(std::max(c.ints[0], 0));
        post(makeAck(code));
        break;
    case KV_CMD_FEEDBACK_ENABLE:
        if (feedbackHandler_ < 0) {
            postNack(code, Error::InvalidArgument);
            break;
        }
        feedbackEnabled_ = true;
        post(makeAck(code));
        break;
    default:
        postNack(code, Error::UnknownCommand);
        break;
    }
}

} // namespace kelvra

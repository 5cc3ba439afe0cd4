#include "PlaybackController.h"

#include "EngineDurationProbe.h"
#include "KelvraSpectrum.h"
#include "id3v1.h"
#include "play_order.h"
#include "playlist_files.h"
#include "settings_store.h"
#include "shared_helpers.h"
#include "song_library.h"

#include <QDir>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <algorithm>
#include <optional>

namespace velbrin::player {

using engine::TKelvraSpectrum;

namespace {

const char *const kOutputModule = "dsound_output_module_register@kv_dsound_output.dll";
const char *const kWindowVariable = "OUTPUT.DIRECTSOUND.WINDOW";
const QString kSettings = QStringLiteral("Settings");

std::string ansi(const QString &text) {
    return text.toLocal8Bit().toStdString();
}

int storedOutputChoice() {
    return ReadIntegerSetting(QStringLiteral("Engine"), QStringLiteral("OutputModule"),
                              static_cast<int>(OutputChoice::SoundCard));
}

// Runs the steps of one command, each even when an earlier one failed, so a
// command such as Stop is never left half done; the first failure is kept for
// one report.
class Steps {
public:
    template <typename F> void run(F &&step) {
        try {
            step();
        } catch (const std::exception &e) {
            if (!failure_) {
                failure_ = QString::fromLocal8Bit(e.what());
            }
        }
    }
    const std::optional<QString> &failure() const { return failure_; }

private:
    std::optional<QString> failure_;
};

} // namespace

PlaybackController::PlaybackController(Options options, QObject *parent)
    : QObject(parent), options_(std::move(options)), tags_(std::make_unique<library::TagReader>()) {
    spelare1_ = new TKelvraSpectrum(this);
    spelare2_ = new TKelvraSpectrum(this);
    player3_ = new TKelvraSpectrum(this);
    for (auto [player, name] :
         {std::pair{spelare1_, "KelvraSpelare1"}, std::pair{spelare2_, "KelvraSpelare2"},
          std::pair{player3_, "KelvraPlayer3"}}) {
        player->setObjectName(QLatin1String(name));
        player->setPriority(4);
        player->setKelvraPath(options_.enginePath);
    }
    current_ = spelare1_;
    previous_ = spelare2_;
    bindPlayer(spelare1_);
    bindPlayer(spelare2_);
    probe_ = std::make_unique<library::EngineDurationProbe>(*player3_);
}

PlaybackController::~PlaybackController() = default;

void PlaybackController::bindPlayer(TKelvraSpectrum *p) {
    connect(p, &TKelvraSpectrum::OnNotifyPlayerState, this, &PlaybackController::onPlayerState);
    connect(p, &TKelvraSpectrum::OnNotifyNack, this, &PlaybackController::onNack);
    connect(p, &TKelvraSpectrum::OnNotifyError, this, &PlaybackController::onError);
    // Only the notification right after a refusal can be its wording.
    connect(p, &TKelvraSpectrum::OnNotifyMessage, this, [this](TKelvraSpectrum *s, KV_Message &m) {
        if (s == refusedBy_ && m.Code != KV_NOTIFY_ERROR) {
            refusedBy_ = nullptr;
        }
    });
    connect(p, &TKelvraSpectrum::OnNotifyReady, this, [this](TKelvraSpectrum *s) {
        if (s == current_) {
            tracking_ = false;
        }
    });
    connect(p, &TKelvraSpectrum::OnNotifyInputPosition, this, &PlaybackController::onPosition);
    connect(p, &TKelvraSpectrum::OnNotifyInputTimecode, this,
            [this](TKelvraSpectrum *s, uint8_t h, uint8_t m, uint8_t sec, uint8_t) {
                onTimecode(s, h, m, sec);
            });
    connect(p, &TKelvraSpectrum::OnNotifyStreamDuration, this, &PlaybackController::onDuration);
    connect(p, &TKelvraSpectrum::OnNotifyStreamParameters, this,
            &PlaybackController::onStreamParameters);
    connect(p, &TKelvraSpectrum::OnNotifyOutputVolume, this, &PlaybackController::onVolume);
    connect(p, &TKelvraSpectrum::OnNotifyOutputState, this, &PlaybackController::onOutputState);
}

// --- set-up ---------------------------------------------------------------------------

void PlaybackController::start() {
    // Each step on its own, so a missing engine is reported once per step the
    // user would otherwise silently lose, as the program always has.
    runCommand([this] {
        configureOutput(spelare1_);
        configureOutput(spelare2_);
        selectOutput({spelare1_, spelare2_});
    });
    runCommand([this] {
        current_->Init();
        previous_->Init();
    });
    try {
        configureOutput(player3_);
        selectOutput({player3_});
        player3_->Init();
        player3_->Stop();
        player3_->OutputReset();
        player3_->Synchronize();
    } catch (const std::exception &e) {
        reportError(QStringLiteral("There was an error initializing the PlayListPlayer!\r\r") +
                    QString::fromLocal8Bit(e.what()));
    }
    overlapMode_ = playModeIndex(ReadSetting(kSettings, QStringLiteral("PlayMode")));
    WriteSetting(kSettings, QStringLiteral("PlayMode"), playModeCaptions().at(overlapMode_));
}

void PlaybackController::setLibrary(library::SongLibrary *songs,
                                    library::DurationQueue *durations) {
    songs_ = songs;
    songs_->startFirstSong = [this](const QString &path) { playFile(path); };
    songs_->shuffleOn = [this] { return modes_.shuffle; };
    if (durations != nullptr) {
        probe_->attach(*durations);
    }
    order_ = std::make_unique<library::PlayOrder>(songs->list, songs->categories, [](int n) {
        return static_cast<int>(QRandomGenerator::global()->bounded(n));
    });
    order_->modes = modes_;
}

void PlaybackController::shutDown() {
    for (TKelvraSpectrum *p : {spelare1_, spelare2_}) {
        try {
            if (p != nullptr) {
                p->Stop();
            }
        } catch (const std::exception &) {
            // A player that never started has nothing to stop.
        }
    }
    // Deleting the players waits, bounded, for the engine to finish, so a WAV
    // file being written is complete before the process ends.
    probe_.reset();
    delete std::exchange(spelare1_, nullptr);
    delete std::exchange(spelare2_, nullptr);
    delete std::exchange(player3_, nullptr);
    current_ = nullptr;
    previous_ = nullptr;
}

// --- output selection ----------------------------------------------------------------------

void PlaybackController::configureOutput(TKelvraSpectrum *player) {
    player->OutputModuleRegister(kOutputModule);
    player->SetPlayerEnvironmentInteger(kWindowVariable,
                                        options_.windowHandle ? options_.windowHandle() : 0);
}

void PlaybackController::selectOutput(std::initializer_list<TKelvraSpectrum *> players) {
    const int output = storedOutputChoice();
    wavFileOutput_ = output == static_cast<int>(OutputChoice::WavFile);
    if (auto name = deviceOutputName(output)) {
        for (TKelvraSpectrum *p : players) {
            p->SetOutputName(ansi(*name));
        }
    }
}

bool PlaybackController::chooseOutputForSong(const QString &path) {
    if (!wavFileOutput_) {
        selectOutput({spelare1_, spelare2_});
        return true;
    }
    QString folder = ReadSetting(kSettings, QStringLiteral("WAVDir"));
    if (folder.isEmpty() || !QDir(folder).exists()) {
        folder = options_.chooseWavFolder ? options_.chooseWavFolder() : QString();
        if (folder.isEmpty()) {
            return false;
        }
        WriteSetting(kSettings, QStringLiteral("WAVDir"), folder);
    }
    const std::string name = ansi(wavOutputName(folder, path));
    spelare1_->SetOutputName(name);
    spelare2_->SetOutputName(name);
    return true;
}

// --- commands -------------------------------------------------------------------------------

void PlaybackController::runCommand(const std::function<void()> &command) {
    Steps steps;
    steps.run(command);
    if (steps.failure()) {
        reportError(*steps.failure());
    }
}

void PlaybackController::playFile(const QString &path) {
    if (current_ == nullptr) {
        return;
    }
    try {
        current_->Stop();
        current_->OutputReset();
        current_->Synchronize();
        current_->InputOpen(ansi(path));
        setCurrentSong(path);
        if (!chooseOutputForSong(path)) {
            return;
        }
        showSong(path);
        current_->Play();
        emit playStarted();
    } catch (const std::exception &) {
        reportError(QStringLiteral("There was an error opening the file: ") + path);
    }
}

void PlaybackController::play() {
    if (current_ == nullptr) {
        return;
    }
    runCommand([this] { current_->Play(); });
    emit playStarted();
}

void PlaybackController::pause() {
    if (current_ != nullptr) {
        runCommand([this] { current_->Pause(); });
    }
}

void PlaybackController::playPause() {
    if (isPlaying()) {
        pause();
    } else {
        play();
    }
}

void PlaybackController::stop() {
    if (current_ == nullptr) {
        return;
    }
    Steps steps;
    for (TKelvraSpectrum *p : {spelare1_, spelare2_}) {
        steps.run([p] { p->Stop(); });
    }
    for (TKelvraSpectrum *p : {spelare1_, spelare2_}) {
        steps.run([p] { p->OutputReset(); });
    }
    for (TKelvraSpectrum *p : {spelare1_, spelare2_}) {
        steps.run([p] { p->Synchronize(); });
    }
    steps.run([this] { resetOutput(current_); });
    steps.run([this] { current_->InputSeek(0, 0); });
    lastPlayFirstWrite_ = true;
    if (steps.failure()) {
        reportError(*steps.failure());
    }
}

void PlaybackController::resetOutput(TKelvraSpectrum *player) {
    player->Init();
    configureOutput(player);
    selectOutput({player});
}

void PlaybackController::resetCurrentOutput() {
    if (current_ != nullptr) {
        runCommand([this] { resetOutput(current_); });
    }
}

void PlaybackController::stopAndForget() {
    stop();
    setCurrentSong(QString());
}

void PlaybackController::playSelection() {
    if (songs_ == nullptr) {
        return;
    }
    const library::SongList &list = songs_->list;
    const int i = list.itemIndex();
    const QString path = i >= 0 && i < list.count() ? list.path(i) : QString();
    emit selectionChanged();
    // A step that found no song only refreshes the buttons; nothing is opened.
    if (!path.isEmpty()) {
        playFile(path);
    }
}

void PlaybackController::navigate(library::NavOutcome outcome) {
    if (outcome == library::NavOutcome::PlaySelection) {
        playSelection();
    } else if (outcome == library::NavOutcome::RefreshButtons) {
        emit selectionChanged();
    }
}

void PlaybackController::next() {
    if (order_ != nullptr) {
        navigate(order_->StepSong(+1));
    }
}

void PlaybackController::previous() {
    if (order_ != nullptr) {
        navigate(order_->StepSong(-1));
    }
}

library::NavOutcome PlaybackController::nextFolder() {
    if (order_ == nullptr) {
        return library::NavOutcome::Nothing;
    }
    const library::NavOutcome outcome = order_->MoveToDirectory(true);
    navigate(outcome);
    return outcome;
}

library::NavOutcome PlaybackController::previousFolder() {
    if (order_ == nullptr) {
        return library::NavOutcome::Nothing;
    }
    const library::NavOutcome outcome = order_->MoveToDirectory(false);
    navigate(outcome);
    return outcome;
}

library::NavButtons PlaybackController::navButtons() const {
    return order_ != nullptr ? order_->initButtons() : library::NavButtons{};
}

void PlaybackController::seek(uint32_t offset, uint32_t range) {
    if (current_ != nullptr) {
        runCommand([&] { current_->InputSeek(offset, range); });
        emit seekSent(offset, range);
    }
}

void PlaybackController::seekToSeconds(int seconds) {
    if (duration_ == 0) {
        return;
    }
    const int64_t target = std::clamp<int64_t>(seconds, 0, duration_);
    seek(static_cast<uint32_t>(target), duration_);
}

void PlaybackController::seekBy(int seconds) {
    seekToSeconds(static_cast<int>(timeCode_) + seconds);
}

void PlaybackController::setOutputLevels(int master, int pcm, int balance,
                                         TKelvraSpectrum *player) {
    TKelvraSpectrum *target = player != nullptr ? player : current_;
    if (isSongPlayer(target)) {
        runCommand([&] { target->SetOutputVolume(balance, pcm, master); });
    }
}

void PlaybackController::setMuted(bool muted) {
    if (current_ != nullptr) {
        runCommand([&] { muted ? current_->OutputMute() : current_->OutputUnmute(); });
    }
}

void PlaybackController::setChannels(kv_channel_mode mode) {
    if (current_ != nullptr) {
        runCommand([&] { current_->SetOutputChannels(static_cast<uint32_t>(mode)); });
    }
}

void PlaybackController::setEqualizer(const KV_EqualizerInfo *equalizer) {
    if (current_ == nullptr) {
        return;
    }
    Steps steps;
    for (TKelvraSpectrum *p : {spelare1_, spelare2_}) {
        steps.run([&] { p->SetCodecEqualizer(equalizer); });
    }
    if (steps.failure()) {
        reportError(*steps.failure());
    }
}

// --- hand-over --------------------------------------------------------------------------------

QString PlaybackController::chooseNextSong() {
    QString path;
    if (order_ != nullptr && order_->ChooseNextSong(currentSongFile_, path)) {
        emit selectionChanged();
        return path;
    }
    return QString();
}

bool PlaybackController::openOnOtherPlayer(const QString &path) {
    if (previous_ == nullptr) {
        return false;
    }
    try {
        previous_->Stop();
        previous_->OutputReset();
        previous_->Synchronize();
        previous_->InputOpen(ansi(path));
        pendingSongFile_ = path;
        return chooseOutputForSong(path);
    } catch (const std::exception &) {
        reportError(QStringLiteral("There was an error opening the file: ") + path);
        return false;
    }
}

void PlaybackController::startOtherPlayer() {
    if (previous_ == nullptr) {
        return;
    }
    std::swap(current_, previous_);
    emit playersSwapped(current_, previous_);
    previousSongFile_ = currentSongFile_;
    const QString path = std::exchange(pendingSongFile_, QString());
    setCurrentSong(path);
    showSong(path);
    runCommand([this] { current_->Play(); });
    emit playStarted();
}

// --- end of a song --------------------------------------------------------------------------

void PlaybackController::endOfSong() {
    if (endOfSongHook_ && endOfSongHook_()) {
        return;
    }
    stop();
    setState(PlayState::EndOfSong);
    bool selectedIsLast = true;
    if (songs_ != nullptr) {
        const library::SongList &list = songs_->list;
        selectedIsLast = list.itemIndex() < 0 || list.itemIndex() >= list.count() - 1;
    }
    switch (
        afterEndOfSong({modes_.currentTrack, selectedIsLast, modes_.shuffle, modes_.repeatAll})) {
    case AfterSong::PlayAgain:
        play();
        break;
    case AfterSong::PlayNext:
        next();
        break;
    case AfterSong::PlayFirst:
        if (songs_ != nullptr && !songs_->list.isEmpty()) {
            songs_->list.select(0);
            playSelection();
        }
        break;
    case AfterSong::Nothing:
        break;
    }
}

// --- play modes ------------------------------------------------------------------------------

void PlaybackController::applyModes(PlayModes modes) {
    const bool changed = modes != modes_;
    modes_ = modes;
    if (order_ != nullptr) {
        order_->modes = modes_;
    }
    WriteBooleanSetting(kSettings, QStringLiteral("ShuffleOn"), modes_.shuffle);
    WriteBooleanSetting(kSettings, QStringLiteral("RepeatAll"), modes_.repeatAll);
    if (changed) {
        emit playModesChanged(modes_);
    }
}

void PlaybackController::setShuffle(bool on) {
    if (on == modes_.shuffle) {
        return;
    }
    PlayModes m = modes_;
    m.shuffle = on;
    applyModes(m);
    if (order_ != nullptr && order_->shuffleClicked(on)) {
        next(); // a random song starts at once
    }
}

void PlaybackController::setRepeatAll(bool on) {
    if (on == modes_.repeatAll) {
        return;
    }
    PlayModes m = modes_;
    m.repeatAll = on;
    m.currentTrack = m.currentTrack && !on;
    applyModes(m);
    emit selectionChanged(); // the buttons at the end of the list change
}

void PlaybackController::setCurrentTrack(bool on) {
    if (on == modes_.currentTrack) {
        return;
    }
    PlayModes m = modes_;
    m.currentTrack = on;
    m.repeatAll = m.repeatAll && !on;
    applyModes(m);
}

void PlaybackController::setOverlapMode(int index) {
    index = std::clamp<int>(index, 0, static_cast<int>(playModeCaptions().size()) - 1);
    WriteSetting(kSettings, QStringLiteral("PlayMode"), playModeCaptions().at(index));
    if (std::exchange(overlapMode_, index) != index) {
        emit overlapModeChanged(index);
    }
}

// --- command line and the played-songs record --------------------------------------------------

void PlaybackController::addCommandLine(const QStringList &entries) {
    if (songs_ != nullptr) {
        // The command line follows the rules of a drop: missing paths and
        // other files add nothing, a name repeated right after itself once.
        const library::SongLibrary::DropResult result =
            songs_->dropFiles(entries, isPlaying(), currentSongFile_);
        for (const QString &message : result.messages) {
            reportError(message);
        }
        emit selectionChanged();
    }
    // The saved modes come back last; turning shuffle on here starts a random
    // song, as the check box would.
    const bool shuffle = ReadBooleanSetting(kSettings, QStringLiteral("ShuffleOn"), false);
    const bool repeatAll = ReadBooleanSetting(kSettings, QStringLiteral("RepeatAll"), false);
    setShuffle(shuffle);
    setRepeatAll(repeatAll);
    emit commandLineProcessed();
}

QString PlaybackController::lastPlayPath() const {
    return library::lastPlayPath(options_.appDir,
                                 QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

void PlaybackController::logCurrentSong() {
    library::LastPlayLog log(lastPlayPath());
    log.LastPlayFirstWrite = lastPlayFirstWrite_;
    log.addSong2TextFile(currentSongFile_);
    lastPlayFirstWrite_ = log.LastPlayFirstWrite;
}

// --- state -----------------------------------------------------------------------------------

NowPlaying PlaybackController::describeSong(const QString &path) const {
    using library::TagField;
    TagTexts tag;
    tag.artist = tags_->getInfo(path, TagField::Artist);
    tag.title = tags_->getInfo(path, TagField::Title);
    tag.album = tags_->getInfo(path, TagField::Album);
    tag.year = tags_->getInfo(path, TagField::Year);
    tag.comment = tags_->getInfo(path, TagField::Comment);
    tag.genre = tags_->getInfo(path, TagField::Genre);
    return nowPlayingFor(path, tag);
}

void PlaybackController::showSong(const QString &path) {
    nowPlaying_ = describeSong(path);
    emit nowPlayingChanged(nowPlaying_);
}

void PlaybackController::setCurrentSong(const QString &path) {
    if (std::exchange(currentSongFile_, path) != path) {
        emit currentSongChanged(path);
    }
}

void PlaybackController::setState(PlayState state) {
    state_ = state;
    emit stateChanged(state);
}

// --- errors ------------------------------------------------------------------------------------

void PlaybackController::reportError(const QString &text, ErrorKind kind) {
    emit errorOccurred(text, kind);
}

void PlaybackController::onNack(TKelvraSpectrum *sender, uint8_t command, int16_t code) {
    if (sender != current_) {
        return;
    }
    QString text;
    if (command == KV_CMD_PLAY) {
        text = QStringLiteral("Cannot Play Stream");
    } else if (command == KV_CMD_INPUT_OPEN) {
        text = QStringLiteral("Cannot Open Input");
    } else {
        return;
    }
    QString message;
    try {
        message = EngineErrorMessage(
            text, code, [sender](int c) { return QString::fromLocal8Bit(sender->ErrorString(c)); });
    } catch (const std::exception &e) {
        message = QString::fromLocal8Bit(e.what());
    }
    // The engine words a refusal once more in an error notification that
    // follows at once; the user hears of it once, here.
    refusedCode_ = code;
    refusedBy_ = sender;
    reportError(message, ErrorKind::Engine);
}

void PlaybackController::onError(TKelvraSpectrum *sender, uint8_t, int16_t code,
                                 const std::string &message) {
    if (std::exchange(refusedBy_, nullptr) == sender && code == refusedCode_) {
        return;
    }
    // Only the song being heard concerns the user; a player fading out or one
    // that measures durations fails quietly, song by song.
    const QString detail = QString::fromLocal8Bit(message);
    if (sender == current_ && !detail.isEmpty()) {
        reportError(detail, ErrorKind::Engine);
    }
}

// --- engine reports ------------------------------------------------------------------------------

void PlaybackController::onPlayerState(TKelvraSpectrum *sender, int state) {
    if (sender != current_) {
        return;
    }
    switch (state) {
    case KV_PLAYER_STATE_EOS:
        endOfSong();
        break;
    case KV_PLAYER_STATE_STOPPED:
    case KV_PLAYER_STATE_PLAYING:
    case KV_PLAYER_STATE_PAUSED:
        setState(static_cast<PlayState>(state));
        break;
    default:
        break;
    }
}

void PlaybackController::onPosition(TKelvraSpectrum *sender, uint32_t offset, uint32_t range) {
    if (sender != current_) {
        return;
    }
    positionOffset_ = offset;
    positionRange_ = range;
    if (!tracking_) {
        emit positionChanged(offset, range);
    }
}

void PlaybackController::onTimecode(TKelvraSpectrum *sender, uint8_t h, uint8_t m, uint8_t s) {
    if (sender != current_) {
        return;
    }
    timeCode_ = uint32_t{h} * 3600 + uint32_t{m} * 60 + s;
    emit timeCodeChanged(timeCode_);
}

void PlaybackController::onDuration(TKelvraSpectrum *sender, uint32_t duration) {
    if (sender == current_) {
        duration_ = duration;
        emit durationChanged(duration);
    }
}

void PlaybackController::onStreamParameters(TKelvraSpectrum *sender, uint32_t frequency,
                                            int16_t bitrate, uint8_t channels) {
    if (sender == current_) {
        streamParameters_ = streamParametersText(frequency, bitrate, channels);
        emit streamParametersChanged(streamParameters_);
    }
}

void PlaybackController::onVolume(TKelvraSpectrum *sender, uint8_t master, uint8_t pcm,
                                  uint8_t balance) {
    if (sender == current_) {
        levels_ = {master, pcm, balance};
        emit levelsChanged(levels_);
    }
}

void PlaybackController::onOutputState(TKelvraSpectrum *sender, int state) {
    if (sender == current_) {
        emit outputAvailableChanged(state == 0);
    }
}

} // namespace velbrin::player

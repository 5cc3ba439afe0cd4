#include "PlaybackController.h"

#include "EngineDurationProbe.h"
#include "KelvraSpectrum.h"
#include "KelvraSpeechOutput.h"
#include "PlayerInformation.h"
#include "PlayerSpectrum.h"
#include "id3v1.h"
#include "loudness_analyser.h"
#include "play_order.h"
#include "playlist_files.h"
#include "settings_store.h"
#include "shared_helpers.h"
#include "song_library.h"
#include "studio_sound.h"

#include <QRandomGenerator>
#include <QStandardPaths>

#include <algorithm>
#include <optional>

namespace velbrin::player {

using engine::TKelvraSpectrum;

namespace {

const QString kSettings = QStringLiteral("Settings");

std::string ansi(const QString &text) {
    return text.toLocal8Bit().toStdString();
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
    : QObject(parent), options_(std::move(options)),
      settings_(options_.settings != nullptr ? *options_.settings : ProgramSettings()),
      tags_(std::make_unique<library::TagReader>()),
      loudness_(std::make_unique<library::LoudnessAnalyser>(
          library::LoudnessAnalyser::defaultCacheFile())) {
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
    output_ = std::make_unique<SoundOutput>(
        *spelare1_, *spelare2_, settings_,
        SoundOutput::Options{options_.windowHandle, options_.chooseWavFolder});
    changer_ = std::make_unique<SongChanger>(*spelare1_, *spelare2_, settings_, songChangerHooks());
    information_ = new PlayerInformation([this] { return currentPlayer(); }, this);
    size_t n = 0;
    for (TKelvraSpectrum *p : {spelare1_, spelare2_}) {
        bindPlayer(p);
        information_->watch(*p);
        spectra_.at(n++) = new PlayerSpectrum(*p);
        p->setInputGainSource(
            [this](const std::string &file) { return songGainDb(QString::fromLocal8Bit(file)); });
        p->setQuietEndsSource([this] { return changer_->quietEnds(); });
    }
    probe_ = std::make_unique<library::EngineDurationProbe>(*player3_);
}

PlaybackController::~PlaybackController() {
    if (options_.voice && speechOutput_) {
        options_.voice->setOutput(nullptr);
    }
}

SongChanger::Hooks PlaybackController::songChangerHooks() {
    SongChanger::Hooks h;
    h.chooseNextSong = [this] { return chooseNextSong(); };
    h.prepareOutput = [this](TKelvraSpectrum &player, const QString &path) {
        return prepareOutput(player, path, false);
    };
    h.showSong = [this](const QString &path) {
        noteCurrentSong();
        showSong(path);
    };
    h.showDuration = [this](int64_t) { emit durationChanged(duration()); };
    h.playStarted = [this] { emit playStarted(); };
    h.setTimer = [this](bool on) { emit songChangeTimer(on); };
    h.showLevel = [this](int level) { emit levelsShown(std::nullopt, level, std::nullopt); };
    // The placeholders are checked against what the display shows now.
    h.shownFields = [this] {
        return AnnouncedFields{nowPlaying_.currentTitleText, nowPlaying_.artist, nowPlaying_.album,
                               nowPlaying_.year};
    };
    h.tagsOf = [this](const QString &path) {
        using library::TagField;
        return AnnouncedFields{
            tags_->getInfo(path, TagField::Title), tags_->getInfo(path, TagField::Artist),
            tags_->getInfo(path, TagField::Album), tags_->getInfo(path, TagField::Year)};
    };
    h.speak = [this](const QString &text) { speak(text); };
    h.stopSpeaking = [this] {
        if (options_.voice) {
            options_.voice->stop();
        }
    };
    h.drawDigit = [] { return static_cast<int>(QRandomGenerator::global()->bounded(10)); };
    h.reportSkipped = [this](const QString &path, const QString &message) {
        emit statusNotice(fileNamePart(path) + QStringLiteral(" skipped: ") + message);
    };
    h.halt = [this](SongChanger::Halt why, bool playsOn) { halt(why, playsOn); };
    h.songCount = [this] { return songs_ != nullptr ? songs_->list.count() : 0; };
    h.playersSwapped = [this] { emit playersSwapped(); };
    h.ducksUnderSpeech = [this] { return speechInTheMix(); };
    h.defer = [this](std::function<void()> step) {
        QMetaObject::invokeMethod(this, std::move(step), Qt::QueuedConnection);
    };
    return h;
}

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
        if (s == currentPlayer()) {
            tracking_ = false;
        }
    });
    connect(p, &TKelvraSpectrum::OnNotifyInputPosition, this, &PlaybackController::onPosition);
    connect(p, &TKelvraSpectrum::OnNotifyInputTimecode, this,
            [this](TKelvraSpectrum *s, uint8_t h, uint8_t m, uint8_t sec, uint8_t) {
                onTimecode(s, h, m, sec);
            });
    // The current player's duration is shown; the other's is kept for a Norm
    // hand-over.
    connect(p, &TKelvraSpectrum::OnNotifyStreamDuration, this,
            [this](TKelvraSpectrum *s, uint32_t duration) {
                if (live()) {
                    changer_->OnNotifyStreamDuration(s, duration);
                }
            });
    connect(p, &TKelvraSpectrum::OnNotifyStreamParameters, this,
            &PlaybackController::onStreamParameters);
    connect(p, &TKelvraSpectrum::OnNotifyOutputVolume, this,
            [this](TKelvraSpectrum *s, uint8_t master, uint8_t pcm, uint8_t balance) {
                onVolume(s, master, pcm, balance);
            });
    connect(p, &TKelvraSpectrum::OnNotifyOutputPcmLevel, this,
            [this](TKelvraSpectrum *s, uint8_t pcm) { onVolume(s, {}, pcm, {}); });
    connect(p, &TKelvraSpectrum::OnNotifyOutputMasterLevel, this,
            [this](TKelvraSpectrum *s, uint8_t master) { onVolume(s, master, {}, {}); });
    connect(p, &TKelvraSpectrum::OnNotifyOutputBalance, this,
            [this](TKelvraSpectrum *s, uint8_t balance) { onVolume(s, {}, {}, balance); });
    connect(p, &TKelvraSpectrum::OnNotifyOutputState, this, &PlaybackController::onOutputState);
    connect(p, &TKelvraSpectrum::OnNotifyCodecEqualizer, this,
            [this](TKelvraSpectrum *s, KV_EqualizerInfo &equalizer) {
                if (s == currentPlayer()) {
                    emit equalizerReported(equalizer);
                }
            });
}

// --- set-up ---------------------------------------------------------------------------

void PlaybackController::start() {
    // Each step on its own, so a missing engine is reported once per step the
    // user would otherwise silently lose, as the program always has.
    runCommand([this] {
        output_->setUp(*spelare1_);
        output_->setUp(*spelare2_);
    });
    runCommand([this] {
        spelare1_->Init();
        spelare2_->Init();
    });
    try {
        output_->setUp(*player3_);
        player3_->Init();
        player3_->Stop();
        player3_->OutputReset();
        player3_->Synchronize();
    } catch (const std::exception &e) {
        reportError(QStringLiteral("There was an error initializing the PlayListPlayer!\r\r") +
                    QString::fromLocal8Bit(e.what()));
    }
    const int mode = playModeIndex(settings_.read(kSettings, QStringLiteral("PlayMode")));
    changer_->setMode(static_cast<PlayMode>(mode));
    settings_.write(kSettings, QStringLiteral("PlayMode"), playModeCaptions().at(mode));
    // The voice joins the songs' mix when the engine offers one; it plays by
    // itself otherwise, as it always has.
    if (live() && spelare1_->libraryLoaded()) {
        speechOutput_ = engine::KelvraSpeechOutput::bind(options_.enginePath);
    }
    if (speechOutput_) {
        setDuckDepth(readStudioSound(settings_).duckDepthDb);
        if (options_.voice) {
            options_.voice->setOutput(speechOutput_);
        }
    }
}

void PlaybackController::setDuckDepth(int decibels) {
    if (speechOutput_) {
        speechOutput_->setDuckDepth(decibels);
    }
}

void PlaybackController::setLibrary(library::SongLibrary *songs,
                                    library::DurationQueue *durations) {
    songs_ = songs;
    songs_->startFirstSong = [this](const QString &path) { playFile(path); };
    songs_->loudness = loudness_.get();
    songs_->shuffleOn = [this] { return modes_.shuffle; };
    if (durations != nullptr) {
        probe_->attach(*durations);
    }
    order_ = std::make_unique<library::PlayOrder>(songs->list, songs->categories, [](int n) {
        return static_cast<int>(QRandomGenerator::global()->bounded(n));
    });
    order_->modes = modes_;
}

PlayerSpectrum *PlaybackController::currentSpectrum() const {
    if (!live()) {
        return nullptr;
    }
    return spectra_.at(currentPlayer() == spelare1_ ? 0 : 1);
}

void PlaybackController::setPriority(int priority) {
    for (TKelvraSpectrum *p : {spelare1_, spelare2_}) {
        if (p != nullptr) {
            runCommand([&] { p->setPriority(static_cast<uint32_t>(priority)); });
        }
    }
}

void PlaybackController::shutDown() {
    if (!live()) {
        return;
    }
    // Nothing of a song change may follow: no tick, no continuation, no DJ.
    changer_->stop();
    for (TKelvraSpectrum *p : {spelare1_, spelare2_}) {
        try {
            p->Stop();
        } catch (const std::exception &) {
            // A player that never started has nothing to stop.
        }
    }
    output_->detach();
    probe_.reset();
    if (speechOutput_) {
        if (options_.voice) {
            options_.voice->setOutput(nullptr);
        }
        speechOutput_.reset();
    }
    // The handler that asked may be one of theirs. Deleting a player waits,
    // bounded, for the engine to finish, so a WAV file being written is
    // complete before the process ends.
    for (TKelvraSpectrum *p : {spelare1_, spelare2_, player3_}) {
        p->deleteLater();
    }
    spelare1_ = spelare2_ = player3_ = nullptr;
    spectra_ = {};
}

// --- output selection ----------------------------------------------------------------------

bool PlaybackController::prepareOutput(TKelvraSpectrum &player, const QString &path, bool byHand) {
    using Start = SoundOutput::Start;
    return output_->prepareSong(player, path, byHand ? Start::ByHand : Start::InAChange) && live();
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
    const bool automatic = std::exchange(automaticOpen_, false);
    TKelvraSpectrum *player = currentPlayer();
    if (player == nullptr) {
        return;
    }
    try {
        player->Stop();
        player->OutputReset();
        player->Synchronize();
        player->InputOpen(ansi(path));
        changer_->songOpened(path, automatic);
        noteCurrentSong();
        if (!prepareOutput(*player, path, !automatic)) {
            // A cancelled folder choice is the user's answer; an automatic
            // change never asks, and says why it stopped.
            if (automatic && live()) {
                halt(SongChanger::Halt::NoWavFolder, false);
            }
            return;
        }
        showSong(path);
        changer_->beforePlay();
        player->Play();
        emit playStarted();
    } catch (const std::exception &) {
        reportError(QStringLiteral("There was an error opening the file: ") + path);
    }
}

void PlaybackController::play() {
    if (!live()) {
        return;
    }
    runCommand([this] {
        changer_->beforePlay();
        currentPlayer()->Play();
        changer_->resume();
    });
    emit playStarted();
}

void PlaybackController::pause() {
    if (live()) {
        // A change half made is finished first, so both its songs wait.
        runCommand([this] {
            changer_->pause();
            currentPlayer()->Pause();
        });
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
    if (!live()) {
        return;
    }
    changer_->stop();
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
    steps.run([this] { output_->reset(*currentPlayer()); });
    steps.run([this] { currentPlayer()->InputSeek(0, 0); });
    lastPlayFirstWrite_ = true;
    if (steps.failure()) {
        reportError(*steps.failure());
    }
}

void PlaybackController::resetCurrentOutput() {
    if (live()) {
        runCommand([this] { output_->reset(*currentPlayer()); });
    }
}

void PlaybackController::stopAndForget() {
    stop();
    if (live()) {
        changer_->songOpened(QString());
        noteCurrentSong();
    }
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
    if (live()) {
        runCommand([&] { currentPlayer()->InputSeek(offset, range); });
        emit seekSent(offset, range);
    }
}

void PlaybackController::seekToSeconds(int seconds) {
    if (duration() == 0) {
        return;
    }
    const int64_t target = std::clamp<int64_t>(seconds, 0, duration());
    seek(static_cast<uint32_t>(target), duration());
}

void PlaybackController::seekBy(int seconds) {
    seekToSeconds(static_cast<int>(timeCode_) + seconds);
}

void PlaybackController::setOutputLevels(int master, int pcm, int balance) {
    if (live()) {
        runCommand([&] { currentPlayer()->SetOutputVolume(balance, pcm, master); });
    }
}

void PlaybackController::setMuted(bool muted) {
    if (live()) {
        runCommand(
            [&] { muted ? currentPlayer()->OutputMute() : currentPlayer()->OutputUnmute(); });
    }
}

void PlaybackController::setChannels(kv_channel_mode mode) {
    if (live()) {
        runCommand([&] { currentPlayer()->SetOutputChannels(static_cast<uint32_t>(mode)); });
    }
}

void PlaybackController::setEqualizer(const KV_EqualizerInfo *equalizer) {
    if (!live()) {
        return;
    }
    Steps steps;
    for (TKelvraSpectrum *p : {spelare1_, spelare2_}) {
        steps.run([&] {
            p->SetCodecEqualizer(equalizer);
            if (equalizer != nullptr) {
                p->GetCodecEqualizer();
            }
        });
    }
    if (steps.failure()) {
        reportError(*steps.failure());
    }
}

// --- song changes ------------------------------------------------------------------------------

QString PlaybackController::chooseNextSong() {
    QString path;
    if (order_ != nullptr && order_->ChooseNextSong(currentSongFile(), path)) {
        emit selectionChanged();
        return path;
    }
    return QString();
}

void PlaybackController::Timer5Timer() {
    if (!live()) {
        return; // a tick left over after shutDown
    }
    try {
        changer_->Timer5Timer();
    } catch (const std::exception &) {
        // A level the engine would not take; the players' own error reports
        // tell the user what is wrong, a tick twice a second must not.
    }
}

// --- end of a song --------------------------------------------------------------------------

void PlaybackController::endOfSong() {
    stop();
    setState(PlayState::EndOfSong);
    if (!live()) {
        return;
    }
    bool selectedIsLast = true;
    if (songs_ != nullptr) {
        const library::SongList &list = songs_->list;
        selectedIsLast = list.itemIndex() < 0 || list.itemIndex() >= list.count() - 1;
    }
    // The song that follows was not chosen by the user: one the engine refuses
    // is skipped (see onNack).
    automaticOpen_ = true;
    switch (
        afterEndOfSong({modes_.currentTrack, selectedIsLast, modes_.shuffle, modes_.repeatAll})) {
    case AfterSong::PlayAgain:
        // The song starts over, so its overlap or preload is due again.
        changer_->songOpened(currentSongFile());
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
    automaticOpen_ = false;
}

// --- play modes ------------------------------------------------------------------------------

void PlaybackController::applyModes(PlayModes modes) {
    const bool changed = modes != modes_;
    modes_ = modes;
    if (order_ != nullptr) {
        order_->modes = modes_;
    }
    settings_.writeBoolean(kSettings, QStringLiteral("ShuffleOn"), modes_.shuffle);
    settings_.writeBoolean(kSettings, QStringLiteral("RepeatAll"), modes_.repeatAll);
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
    settings_.write(kSettings, QStringLiteral("PlayMode"), playModeCaptions().at(index));
    const auto mode = static_cast<PlayMode>(index);
    if (changer_->mode() != mode) {
        changer_->setMode(mode);
        emit overlapModeChanged(index);
    }
}

// --- command line and the played-songs record --------------------------------------------------

void PlaybackController::addCommandLine(const QStringList &entries) {
    if (songs_ != nullptr) {
        // The command line follows the rules of a drop: missing paths and
        // other files add nothing, a name repeated right after itself once.
        const library::SongLibrary::DropResult result =
            songs_->dropFiles(entries, isPlaying(), currentSongFile());
        for (const QString &message : result.messages) {
            reportError(message);
        }
        emit selectionChanged();
    }
    // The saved modes come back last; turning shuffle on here starts a random
    // song, as the check box would.
    const bool shuffle = settings_.readBoolean(kSettings, QStringLiteral("ShuffleOn"), false);
    const bool repeatAll = settings_.readBoolean(kSettings, QStringLiteral("RepeatAll"), false);
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
    log.addSong2TextFile(currentSongFile());
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

double PlaybackController::songGainDb(const QString &path) const {
    const QString setting = settings_.read(QStringLiteral("Engine"), QStringLiteral("Loudness"));
    if (setting.compare(QLatin1String("Off"), Qt::CaseInsensitive) == 0) {
        return 0.0;
    }
    return library::playbackGainDb(loudness_->infoFor(path));
}

void PlaybackController::showSong(const QString &path) {
    nowPlaying_ = describeSong(path);
    emit nowPlayingChanged(nowPlaying_);
}

void PlaybackController::noteCurrentSong() {
    if (announcedSong_ != currentSongFile()) {
        announcedSong_ = currentSongFile();
        emit currentSongChanged(announcedSong_);
    }
}

void PlaybackController::setState(PlayState state) {
    state_ = state;
    emit stateChanged(state);
}

// --- errors and notices ----------------------------------------------------------------------

void PlaybackController::reportError(const QString &text, ErrorKind kind) {
    // Shown once the handler that found it has returned: a message box runs
    // an event loop of its own.
    QMetaObject::invokeMethod(
        this, [this, text, kind] { emit errorOccurred(text, kind); }, Qt::QueuedConnection);
}

void PlaybackController::halt(SongChanger::Halt why, bool playsOn) {
    if (!playsOn) {
        stop();
        setState(PlayState::Stopped);
    }
    if (why == SongChanger::Halt::NoWavFolder) {
        emit statusNotice(QStringLiteral("Stopped: the folder for WAV files is missing"));
    } else {
        emit statusNotice(playsOn ? QStringLiteral("No playable song follows this one")
                                  : QStringLiteral("Stopped: no playable song left"));
    }
}

void PlaybackController::speak(const QString &text) {
    if (options_.voice && options_.voice->available()) {
        options_.voice->speak(SpeechTextFor(text));
    }
}

void PlaybackController::onNack(TKelvraSpectrum *sender, uint8_t command, int16_t code) {
    if (!isSongPlayer(sender)) {
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
    const QString oneLine = QString(message).replace(QLatin1Char('\r'), QLatin1Char(' '));
    if (changer_->refused(sender, command, oneLine) == SongChanger::Refusal::ForTheUser) {
        reportError(message, ErrorKind::Engine);
    }
}

void PlaybackController::onError(TKelvraSpectrum *sender, uint8_t, int16_t code,
                                 const std::string &message) {
    if (std::exchange(refusedBy_, nullptr) == sender && code == refusedCode_) {
        return;
    }
    // Only the song being heard concerns the user; a player fading out or one
    // that measures durations fails quietly, song by song.
    const QString detail = QString::fromLocal8Bit(message);
    if (sender == currentPlayer() && !detail.isEmpty()) {
        reportError(detail, ErrorKind::Engine);
    }
}

// --- engine reports ------------------------------------------------------------------------------

void PlaybackController::onPlayerState(TKelvraSpectrum *sender, int state) {
    if (!isSongPlayer(sender)) {
        return;
    }
    changer_->OnNotifyPlayerState(sender, state);
    if (sender != currentPlayer()) {
        return;
    }
    switch (state) {
    case KV_PLAYER_STATE_EOS:
        // A Norm hand-over, or an end that belongs to a song already replaced.
        if (!changer_->endOfStream(sender)) {
            endOfSong();
        }
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
    if (sender != currentPlayer()) {
        return;
    }
    positionOffset_ = offset;
    positionRange_ = range;
    if (!tracking_) {
        emit positionChanged(offset, range);
    }
}

void PlaybackController::onTimecode(TKelvraSpectrum *sender, uint8_t h, uint8_t m, uint8_t s) {
    if (sender != currentPlayer()) {
        return;
    }
    timeCode_ = uint32_t{h} * 3600 + uint32_t{m} * 60 + s;
    emit timeCodeChanged(timeCode_);
    // May start the overlap or the Norm preload.
    if (live()) {
        changer_->OnNotifyInputTimecode(sender, h, m, s);
    }
}

void PlaybackController::onStreamParameters(TKelvraSpectrum *sender, uint32_t frequency,
                                            int16_t bitrate, uint8_t channels) {
    if (sender == currentPlayer()) {
        streamParameters_ = streamParametersText(frequency, bitrate, channels);
        emit streamParametersChanged(streamParameters_);
    }
}

void PlaybackController::onVolume(TKelvraSpectrum *sender, std::optional<int> master,
                                  std::optional<int> pcm, std::optional<int> balance) {
    if (sender != currentPlayer()) {
        return;
    }
    levels_ = {master.value_or(levels_.master), pcm.value_or(levels_.pcm),
               balance.value_or(levels_.balance)};
    emit levelsChanged(levels_);
    emit levelsShown(master, pcm, balance);
}

void PlaybackController::onOutputState(TKelvraSpectrum *sender, int state) {
    if (sender == currentPlayer()) {
        emit outputAvailableChanged(state == 0);
        if (const bool lost = state == KV_OUTPUT_STATE_LOST; lost != outputLost_) {
            outputLost_ = lost;
            changer_->holdForLostOutput(lost);
            emit soundOutputLost(lost);
        }
    }
}

} // namespace velbrin::player

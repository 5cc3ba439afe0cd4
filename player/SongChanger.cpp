#include "SongChanger.h"

#include "KelvraSpectrum.h"
#include "settings_store.h"
#include "studio_sound.h"

#include <utility>

namespace velbrin::player {

SongChanger::SongChanger(Player &first, Player &second, const SettingsStore &settings, Hooks hooks)
    : spelare1_(&first), spelare2_(&second), current_(&first), old_(&second), settings_(settings),
      hooks_(std::move(hooks)) {}

bool SongChanger::quietEnds() const {
    return mode_ != PlayMode::Norm && readStudioSound(settings_).skipSilence;
}

bool SongChanger::normDipsForTheDj() const {
    const bool djSpeaks = hooks_.speak && settings_.readBoolean(QStringLiteral("DJ-Settings"),
                                                                QStringLiteral("UseDJ"), false);
    return djSpeaks && !(hooks_.ducksUnderSpeech && hooks_.ducksUnderSpeech());
}

void SongChanger::SwapPlayers() {
    old_ = current_;
    current_ = current_ == spelare1_ ? spelare2_ : spelare1_;
    awaitingPlay_ = true;
    if (hooks_.playersSwapped) {
        hooks_.playersSwapped();
    }
}

void SongChanger::songOpened(const QString &path, bool automatic) {
    cancelPending();
    CurrentSongFile_ = path;
    Globnewsongexists_ = false;
    GlobNextsongname_.clear();
    trigger_.songStarted();
    automatic_ = automatic;
    awaitingPlay_ = false;
    refusals_ = 0;
}

// --- continuations ------------------------------------------------------------------------------

void SongChanger::later(std::function<void()> step) {
    if (!hooks_.defer) {
        step();
        return;
    }
    pending_ = std::move(step);
    const uint64_t generation = ++generation_;
    hooks_.defer([this, generation] {
        if (generation == generation_) {
            runPendingNow();
        }
    });
}

void SongChanger::cancelPending() {
    pending_ = nullptr;
    ++generation_;
}

void SongChanger::runPendingNow() {
    if (pending_) {
        std::function<void()> step = std::exchange(pending_, nullptr);
        ++generation_;
        step();
    }
}

// --- stop, pause, play ---------------------------------------------------------------------------

void SongChanger::stop() {
    // A preload half made is forgotten; one that is made waits on the other
    // player for the end of the song, which Play after Stop may still reach.
    if (pending_) {
        Globnewsongexists_ = false;
    }
    cancelPending();
    if (changing()) {
        rampRunning_ = rampPaused_ = rampHeld_ = false;
        hooks_.setTimer(false);
    }
    if (std::exchange(djSpoke_, false) && hooks_.stopSpeaking) {
        hooks_.stopSpeaking();
    }
    oldAudible_ = false;
}

void SongChanger::pause() {
    runPendingNow();
    if (!rampRunning_ && !rampHeld_) {
        return;
    }
    rampRunning_ = rampHeld_ = false;
    rampPaused_ = true;
    hooks_.setTimer(false);
    if (oldAudible_) {
        old_->Pause();
    }
}

bool SongChanger::resume() {
    if (!rampPaused_) {
        return false;
    }
    if (oldAudible_) {
        old_->Play();
    }
    startRamp();
    return true;
}

void SongChanger::holdForLostOutput(bool lost) {
    if (lost && rampRunning_) {
        rampRunning_ = false;
        rampHeld_ = true;
        hooks_.setTimer(false);
    } else if (!lost && std::exchange(rampHeld_, false)) {
        startRamp();
    }
}

void SongChanger::beforePlay() {
    if (!changing() && belowFull_[slot(current_)]) {
        setLevel(*current_, kFullLevel);
    }
}

// --- notifications
// ----------------------------------------------------------------------------------

void SongChanger::OnNotifyInputTimecode(Player *sender, int hours, int minutes, int seconds) {
    if (sender != current_ || awaitingPlay_) {
        return;
    }
    const ModeMix mix = readModeMix(settings_, mode_);
    ramp_.overlap = mix.overlap;
    const int64_t elapsed = int64_t{hours} * 3600 + int64_t{minutes} * 60 + seconds;
    // Asked at every time code: the engine learns the audible end while the
    // song plays.
    const int64_t heard = mode_ != PlayMode::Norm
                              ? heardDuration(SongDuration_, current_->AudibleEnd())
                              : SongDuration_;
    switch (trigger_.check(mode_, SongDuration_, elapsed, mix.overlap, heard)) {
    case SongChangeTrigger::Action::StartOverlap: {
        // A song preloaded before the mode changed is the one that follows.
        const QString next = std::exchange(Globnewsongexists_, false)
                                 ? std::exchange(GlobNextsongname_, QString())
                                 : hooks_.chooseNextSong();
        if (!next.isEmpty()) {
            startOverlap(elapsed, heard, next, mix);
        }
        break;
    }
    case SongChangeTrigger::Action::Preload:
        preload(hooks_.chooseNextSong());
        break;
    case SongChangeTrigger::Action::None:
        break;
    }
}

void SongChanger::OnNotifyStreamDuration(Player *sender, uint32_t duration) {
    if (sender == current_) {
        SongDuration_ = duration;
        if (hooks_.showDuration) {
            hooks_.showDuration(duration);
        }
    } else if (sender == old_ && Globnewsongexists_) {
        ramp_.GlobSongDuration = duration;
    }
}

void SongChanger::OnNotifyPlayerState(Player *sender, int state) {
    if (sender == current_ && state == KV_PLAYER_STATE_PLAYING) {
        awaitingPlay_ = false;
        automatic_ = false;
        refusals_ = 0;
    } else if (sender == old_ &&
               (state == KV_PLAYER_STATE_EOS || state == KV_PLAYER_STATE_STOPPED)) {
        oldAudible_ = false;
    }
}

bool SongChanger::endOfStream(Player *sender) {
    if (sender != current_) {
        return true;
    }
    // An end queued by this player for the song it played before the change
    // (a very short song can end before the change goes on).
    if (awaitingPlay_) {
        return true;
    }
    // Whatever the mode is now: the preloaded song is the one that follows.
    if (Globnewsongexists_) {
        handOver();
        return true;
    }
    return false;
}

// --- refusals ----------------------------------------------------------------------------------

SongChanger::Refusal SongChanger::refused(Player *sender, uint8_t command, const QString &message) {
    if (command != KV_CMD_INPUT_OPEN && command != KV_CMD_PLAY) {
        return Refusal::NotOurs;
    }
    // Whichever role the player has now, this Play belongs to a song skipped.
    if (int &stale = stalePlays_[slot(sender)]; command == KV_CMD_PLAY && stale > 0) {
        --stale;
        return Refusal::Stale;
    }
    if (sender == old_ && command == KV_CMD_INPUT_OPEN && Globnewsongexists_) {
        // The preload: the song that would follow is skipped before it is due.
        if (hooks_.reportSkipped) {
            hooks_.reportSkipped(GlobNextsongname_, message);
        }
        const int limit = hooks_.songCount ? hooks_.songCount() : 1;
        Globnewsongexists_ = false;
        if (++refusals_ <= limit) {
            preload(hooks_.chooseNextSong());
        }
        return Refusal::Skipped;
    }
    if (sender != current_) {
        return Refusal::NotOurs;
    }
    if (!automatic_) {
        return Refusal::ForTheUser;
    }
    if (hooks_.reportSkipped) {
        hooks_.reportSkipped(CurrentSongFile_, message);
    }
    // Every automatic start sends a Play right after its open.
    if (command == KV_CMD_INPUT_OPEN) {
        ++stalePlays_[slot(sender)];
    }
    skipCurrent();
    return Refusal::Skipped;
}

void SongChanger::skipCurrent() {
    const int limit = hooks_.songCount ? hooks_.songCount() : 1;
    const QString next = ++refusals_ <= limit ? hooks_.chooseNextSong() : QString();
    if (next.isEmpty()) {
        giveUp(Halt::NothingPlayable);
        return;
    }
    startSong(next);
}

void SongChanger::giveUp(Halt why) {
    automatic_ = false;
    const bool giveBack = why == Halt::NothingPlayable && rampRunning_ && oldAudible_;
    if (giveBack) {
        // The song being faded out is still heard: it becomes current again
        // and plays to its end at full level.
        cancelPending();
        rampRunning_ = false;
        hooks_.setTimer(false);
        std::swap(current_, old_);
        awaitingPlay_ = false;
        oldAudible_ = false;
        CurrentSongFile_ = PreviousSongFile_;
        SongDuration_ = fadingDuration_;
        trigger_.holdOverlap();
        if (hooks_.showDuration) {
            hooks_.showDuration(SongDuration_);
        }
        setLevel(*current_, kFullLevel);
        showLevel(kFullLevel);
        if (hooks_.playersSwapped) {
            hooks_.playersSwapped();
        }
        hooks_.showSong(CurrentSongFile_);
    }
    if (hooks_.halt) {
        hooks_.halt(why, giveBack);
    }
}

// --- the changes ---------------------------------------------------------------------------

void SongChanger::setLevel(Player &player, int level) {
    const int clamped = clampLevel(level);
    player.SetOutputVolume(-1, clamped, -1);
    belowFull_[slot(&player)] = clamped < kFullLevel;
}

void SongChanger::showLevel(int level) {
    if (hooks_.showLevel) {
        hooks_.showLevel(level);
    }
}

void SongChanger::startRamp() {
    rampRunning_ = true;
    rampPaused_ = false;
    hooks_.setTimer(true);
}

void SongChanger::beginChange() {
    SwapPlayers();
    trigger_.songStarted();
    automatic_ = true;
    refusals_ = 0;
    djSpoke_ = false;
}

bool SongChanger::startSong(const QString &path) {
    current_->InputOpen(path.toLocal8Bit().toStdString());
    CurrentSongFile_ = path;
    // The output goes to the player that opens this song only: the other one
    // may still be writing the previous song's WAV file.
    if (!hooks_.prepareOutput(*current_, path)) {
        giveUp(Halt::NoWavFolder);
        return false;
    }
    hooks_.showSong(path);
    current_->Play();
    if (hooks_.playStarted) {
        hooks_.playStarted();
    }
    return true;
}

void SongChanger::startOverlap(int64_t elapsed, int64_t heard, const QString &next,
                               const ModeMix &mix) {
    const int first = ramp_.startOverlap(heard, elapsed, mix);
    fadingDuration_ = SongDuration_;
    PreviousSongFile_ = CurrentSongFile_;
    beginChange();
    oldAudible_ = true;
    current_->InputClose();
    setLevel(*current_, first);
    showLevel(first);
    // The engine has the close before the open either way; what it reports of
    // the closed song is handled first.
    later([this, next] {
        if (startSong(next)) {
            startRamp();
        }
    });
}

void SongChanger::preload(const QString &next) {
    Globnewsongexists_ = !next.isEmpty();
    if (!Globnewsongexists_) {
        return;
    }
    const int level =
        ramp_.preload(readModeMix(settings_, PlayMode::Norm).minvol, !normDipsForTheDj());
    GlobNextsongname_ = next;
    old_->InputClose();
    setLevel(*old_, level);
    later([this, next] { old_->InputOpen(next.toLocal8Bit().toStdString()); });
}

void SongChanger::handOver() {
    // The preload's open goes before this Play.
    runPendingNow();
    Globnewsongexists_ = false;
    beginChange();
    oldAudible_ = false;
    OnNotifyStreamDuration(current_, static_cast<uint32_t>(ramp_.GlobSongDuration));
    PreviousSongFile_ = CurrentSongFile_;
    CurrentSongFile_ = GlobNextsongname_;
    if (!hooks_.prepareOutput(*current_, CurrentSongFile_)) {
        giveUp(Halt::NoWavFolder);
        return;
    }
    hooks_.showSong(CurrentSongFile_);
    current_->Play();
    if (hooks_.playStarted) {
        hooks_.playStarted();
    }
    ramp_.startHandOver(readModeMix(settings_, PlayMode::Norm).overlap);
    startRamp();
}

void SongChanger::Timer5Timer() {
    if (!rampRunning_) {
        return; // a tick queued before a stop or a pause
    }
    hooks_.setTimer(false);
    const int64_t tag = ramp_.tag;
    const CrossfadeRamp::Tick t = ramp_.tick();
    try {
        setLevel(*old_, t.oldLevel);
    } catch (const engine::EKelvraException &) {
        // The fading player may be gone; the new song matters.
    }
    if (t.announce && hooks_.speak) {
        const DjInput in{tag, ramp_.overlap, hooks_.shownFields(),
                         [this] { return hooks_.tagsOf(PreviousSongFile_); }};
        if (const auto text = djAnnouncement(settings_, in, hooks_.drawDigit)) {
            hooks_.speak(*text);
            djSpoke_ = true;
        }
    }
    try {
        setLevel(*current_, t.newLevel);
    } catch (const engine::EKelvraException &) {
        setLevel(*current_, kFullLevel);
    }
    showLevel(t.newLevel);
    if (!t.last) {
        hooks_.setTimer(true);
        return;
    }
    rampRunning_ = false;
    oldAudible_ = false;
    setLevel(*current_, kFullLevel);
    setLevel(*old_, 0);
    showLevel(kFullLevel);
}

} // namespace velbrin::player

#include "SongChanger.h"

#include "KelvraSpectrum.h"

#include <QCoreApplication>

#include <utility>

namespace velbrin::player {

bool UpdatingVolumeControls = false;

SongChanger::SongChanger(Player &first, Player &second, Hooks hooks)
    : spelare1_(&first), spelare2_(&second), current_(&first), old_(&second),
      hooks_(std::move(hooks)) {}

void SongChanger::SwapPlayers() {
    old_ = current_;
    current_ = current_ == spelare1_ ? spelare2_ : spelare1_;
    awaitingPlay_ = true;
    if (hooks_.playersSwapped) {
        hooks_.playersSwapped();
    }
}

void SongChanger::songOpened(const QString &path, bool automatic) {
    CurrentSongFile = path;
    Globnewsongexists = false;
    GlobNextsongname.clear();
    trigger_.songStarted();
    automatic_ = automatic;
    awaitingPlay_ = false;
    refusals_ = 0;
}

void SongChanger::OnNotifyInputTimecode(Player *sender, int hours, int minutes, int seconds) {
    if (sender != current_ || awaitingPlay_) {
        return;
    }
    const ModeMix mix = readModeMix(mode);
    ramp.overlap = mix.overlap;
    const int64_t elapsed = int64_t{hours} * 3600 + int64_t{minutes} * 60 + seconds;
    switch (trigger_.check(mode, SongDuration, elapsed, mix.overlap)) {
    case SongChangeTrigger::Action::StartOverlap:
        if (const QString next = hooks_.chooseNextSong(); !next.isEmpty()) {
            startOverlap(elapsed, next, mix);
        }
        break;
    case SongChangeTrigger::Action::Preload:
        preload(hooks_.chooseNextSong());
        break;
    case SongChangeTrigger::Action::None:
        break;
    }
}

void SongChanger::OnNotifyStreamDuration(Player *sender, uint32_t duration) {
    if (sender == current_) {
        SongDuration = duration;
        if (hooks_.showDuration) {
            hooks_.showDuration(duration);
        }
    } else if (sender == old_ && mode == PlayMode::Norm && Globnewsongexists) {
        ramp.GlobSongDuration = duration;
    }
}

void SongChanger::OnNotifyPlayerState(Player *sender, int state) {
    if (sender == current_ && state == KV_PLAYER_STATE_PLAYING) {
        awaitingPlay_ = false;
        automatic_ = false;
        refusals_ = 0;
    }
}

bool SongChanger::endOfStream(Player *sender) {
    if (sender != current_) {
        return true;
    }
    // An end queued by this player for the song it played before the change
    // (a very short song can end within the change's event-loop pass).
    if (awaitingPlay_) {
        return true;
    }
    if (mode == PlayMode::Norm && Globnewsongexists) {
        handOver();
        return true;
    }
    return false;
}

bool SongChanger::refused(Player *sender, uint8_t command, const QString &message) {
    if (sender != current_ || !automatic_) {
        return false;
    }
    // The Play that followed a refused open is refused too; the skip below
    // already answered for both.
    if (command != KV_CMD_INPUT_OPEN) {
        return true;
    }
    if (hooks_.reportSkipped) {
        hooks_.reportSkipped(message);
    }
    const int limit = hooks_.songCount ? hooks_.songCount() : 1;
    if (++refusals_ > limit) {
        return true; // every song was refused: nothing left to try
    }
    if (const QString next = hooks_.chooseNextSong(); !next.isEmpty()) {
        startSong(next);
    }
    return true;
}

void SongChanger::setLevel(Player &player, int level) {
    player.SetOutputVolume(-1, clampLevel(level), -1);
}

void SongChanger::showVolume(std::optional<int> master, std::optional<int> pcm,
                             std::optional<int> balance) {
    if (hooks_.volume == nullptr) {
        return;
    }
    UpdatingVolumeControls = true;
    hooks_.volume->showLevels(master, pcm, balance);
    UpdatingVolumeControls = false;
}

bool SongChanger::startSong(const QString &path) {
    current_->InputOpen(path.toLocal8Bit().toStdString());
    CurrentSongFile = path;
    // The WAV name goes to the player that opens this song only: the other
    // one is still writing the previous song's file.
    if (WavFileOutput && !hooks_.chooseWavOutput(*current_, path)) {
        return false;
    }
    hooks_.showSong(path);
    current_->Play();
    if (hooks_.playStarted) {
        hooks_.playStarted();
    }
    return true;
}

void SongChanger::startOverlap(int64_t elapsed, const QString &next, const ModeMix &mix) {
    const int first = ramp.startOverlap(SongDuration, elapsed, mix);
    PreviousSongFile = CurrentSongFile;
    SwapPlayers();
    trigger_.songStarted();
    automatic_ = true;
    refusals_ = 0;
    current_->InputClose();
    setLevel(*current_, first);
    showVolume(std::nullopt, first, std::nullopt);
    QCoreApplication::processEvents();
    if (!startSong(next)) {
        return;
    }
    hooks_.setTimer(true);
}

void SongChanger::preload(const QString &next) {
    Globnewsongexists = !next.isEmpty();
    if (!Globnewsongexists) {
        return;
    }
    const int level = ramp.preload(readModeMix(PlayMode::Norm).minvol);
    GlobNextsongname = next;
    old_->InputClose();
    setLevel(*old_, level);
    QCoreApplication::processEvents();
    old_->InputOpen(next.toLocal8Bit().toStdString());
}

void SongChanger::handOver() {
    Globnewsongexists = false;
    SwapPlayers();
    trigger_.songStarted();
    automatic_ = true;
    refusals_ = 0;
    OnNotifyStreamDuration(current_, static_cast<uint32_t>(ramp.GlobSongDuration));
    PreviousSongFile = CurrentSongFile;
    CurrentSongFile = GlobNextsongname;
    if (WavFileOutput && !hooks_.chooseWavOutput(*current_, CurrentSongFile)) {
        return;
    }
    hooks_.showSong(CurrentSongFile);
    current_->Play();
    if (hooks_.playStarted) {
        hooks_.playStarted();
    }
    ramp.startHandOver(readModeMix(PlayMode::Norm).overlap);
    hooks_.setTimer(true);
}

void SongChanger::Timer5Timer() {
    hooks_.setTimer(false);
    const int64_t tag = ramp.tag;
    const CrossfadeRamp::Tick t = ramp.tick();
    try {
        setLevel(*old_, t.oldLevel);
    } catch (const engine::EKelvraException &) {
        // The fading player may be gone; the new song matters.
    }
    if (t.announce && hooks_.speak) {
        const DjInput in{tag, ramp.overlap, hooks_.shownFields(),
                         [this] { return hooks_.tagsOf(PreviousSongFile); }};
        if (const auto text = djAnnouncement(in, hooks_.drawDigit)) {
            hooks_.speak(*text);
        }
    }
    try {
        setLevel(*current_, t.newLevel);
    } catch (const engine::EKelvraException &) {
        setLevel(*current_, kFullLevel);
    }
    showVolume(std::nullopt, t.newLevel, std::nullopt);
    if (!t.last) {
        hooks_.setTimer(true);
        return;
    }
    setLevel(*current_, kFullLevel);
    setLevel(*old_, 0);
    showVolume(std::nullopt, kFullLevel, std::nullopt);
}

void SongChanger::OnNotifyOutputVolume(Player *sender, int master, int pcm, int balance) {
    if (sender == current_) {
        showVolume(master, pcm, balance);
    }
}

void SongChanger::OnNotifyOutputPcmLevel(Player *sender, int pcm) {
    if (sender == current_) {
        showVolume(std::nullopt, pcm, std::nullopt);
    }
}

void SongChanger::OnNotifyOutputMasterLevel(Player *sender, int master) {
    if (sender == current_) {
        showVolume(master, std::nullopt, std::nullopt);
    }
}

void SongChanger::OnNotifyOutputBalance(Player *sender, int balance) {
    if (sender == current_) {
        showVolume(std::nullopt, std::nullopt, balance);
    }
}

void SongChanger::OnNotifyOutputState(Player *sender, int state) {
    if (sender == current_ && hooks_.volume != nullptr) {
        hooks_.volume->setOutputAvailable(state == 0);
    }
}

} // namespace velbrin::player

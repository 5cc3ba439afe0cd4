#pragma once

#include "CrossfadeRamp.h"
#include "DjAnnouncer.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>

namespace velbrin {
class SettingsStore;
}

namespace velbrin::engine {
class TKelvraSpectrum;
}

namespace velbrin::player {

// The song changes of the play modes between the two song players: the
// Studio/Live overlap start, the Norm preload and hand-over, the half-second
// ramp (`Timer5Timer`) with the DJ announcement, and the skipping of songs the
// engine refuses during a change. It alone decides which player is current
// (`KelvraSpectrum1`) and which song is current, and sends the engine
// commands of a change itself, in the order the modes have always used; what
// needs the song list, the display or the output it asks through `Hooks`.
//
// Its handlers never wait: where a change must let the engine's reports of a
// closed song be handled before it goes on, it asks `Hooks::defer` for a
// queued continuation, which `stop` and a song started by hand cancel.
//
// Threads: user-interface thread only.
class SongChanger {
public:
    using Player = engine::TKelvraSpectrum;

    // Why an automatic change gave up.
    enum class Halt {
        NothingPlayable, // every song that could follow was refused
        NoWavFolder,     // songs go into WAV files and the folder is gone
    };

    struct Hooks {
        // The song that follows by the play order, selected in the list; empty
        // when none follows. Also refreshes the navigation buttons.
        std::function<QString()> chooseNextSong;
        // Points `player` at the output for the song; false when there is none
        // (WAV files and no folder; nothing is asked in a change).
        std::function<bool(Player &player, const QString &path)> prepareOutput;
        // The song now current: display, playlist selection.
        std::function<void(const QString &path)> showSong;
        // The duration label of the current song.
        std::function<void(int64_t seconds)> showDuration;
        // A Play was sent (the played-songs timer restarts).
        std::function<void()> playStarted;
        // The half-second timer: on or off.
        std::function<void(bool on)> setTimer;
        // The level the ramp gives the current song, for the volume window.
        std::function<void(int level)> showLevel;
        // The display's texts for the placeholder check, and a song's tag.
        std::function<AnnouncedFields()> shownFields;
        std::function<AnnouncedFields(const QString &path)> tagsOf;
        std::function<void(const QString &text)> speak;
        std::function<void()> stopSpeaking;
        std::function<int()> drawDigit;
        // A song refused during an automatic change, with the engine's words,
        // to be said once in the status bar.
        std::function<void(const QString &path, const QString &message)> reportSkipped;
        // The change gave up, and the user is to be told why. Playing stops,
        // unless the song being faded out was still heard and plays on
        // (`playsOn`).
        std::function<void(Halt why, bool playsOn)> halt;
        std::function<int()> songCount;
        // The players changed roles (`SwapPlayers`).
        std::function<void()> playersSwapped;
        // Runs `step` once the handler that asks has returned (a queued call).
        // Without it the step runs at once.
        std::function<void(std::function<void()> step)> defer;
        // Whether the engine lowers the music under the DJ's voice itself.
        // Without that, a Norm change the DJ speaks at lowers the next song by
        // its levels, so the voice is heard.
        std::function<bool()> ducksUnderSpeech;
    };

    SongChanger(Player &first, Player &second, const SettingsStore &settings, Hooks hooks);

    // The quiet ends a song opened now on a song player gets: Studio and Live
    // with "SkipSilence" on find where a song's trailing silence starts and
    // overlap from there; Norm plays every sample, as gapless songs need.
    bool quietEnds() const;

    Player *KelvraSpectrum1() const { return current_; }
    Player *KelvraSpectrumOld() const { return old_; }

    PlayMode mode() const { return mode_; }
    void setMode(PlayMode mode) { mode_ = mode; }
    // The path open on the current player; the song whose fade-out or
    // hand-over started last; the current song's duration in seconds.
    const QString &currentSongFile() const { return CurrentSongFile_; }
    const QString &previousSongFile() const { return PreviousSongFile_; }
    int64_t songDuration() const { return SongDuration_; }
    // The half-second ramp runs (or waits, paused).
    bool changing() const { return rampRunning_ || rampPaused_ || rampHeld_; }

    // A song opened on the current player by the user (or, `automatic`, by
    // the end of the previous song): a preload or continuation made for the
    // song it replaced is forgotten, and the triggers are armed again. An
    // automatic song that the engine refuses is skipped like one of an
    // overlap or a hand-over.
    void songOpened(const QString &path, bool automatic = false);

    // Stop: the ramp, a waiting continuation and the DJ end; the next song
    // started on the current player plays at full level (`beforePlay`).
    void stop();
    // Before the current player pauses: a change half made is finished, and
    // during a cross-fade the fading song and the ramp wait as well; `resume`
    // goes on with both. False when there was nothing to resume.
    void pause();
    bool resume();
    // While the sound output is lost the engine holds both songs where they
    // were; the ramp and the DJ's tick wait with them, so the cross-fade goes
    // on from the same point when the output is back.
    void holdForLostOutput(bool lost);
    // Before a Play of the current player outside a change: a level that a
    // stopped change left below full is set back to full.
    void beforePlay();

    // Notification handlers; each filters on the sender itself.
    void OnNotifyInputTimecode(Player *sender, int hours, int minutes, int seconds);
    void OnNotifyStreamDuration(Player *sender, uint32_t duration);
    void OnNotifyPlayerState(Player *sender, int state);
    // True when the end of stream was taken care of here (a hand-over to the
    // preloaded song) or is to be ignored; false leaves it to the end-of-song
    // handling.
    bool endOfStream(Player *sender);

    // What became of an engine refusal of an open or a play.
    enum class Refusal {
        Skipped,    // a song of an automatic change; the next one was started
        Stale,      // the Play of a song already skipped
        ForTheUser, // a song the user started: the message box
        NotOurs,    // another player's, or another command
    };
    Refusal refused(Player *sender, uint8_t command, const QString &message);

    // One step of the half-second timer.
    void Timer5Timer();

private:
    void SwapPlayers();
    void beginChange();
    void startOverlap(int64_t elapsed, int64_t heard, const QString &next, const ModeMix &mix);
    // The DJ speaks at a Norm change and the engine does not lower the music.
    bool normDipsForTheDj() const;
    void preload(const QString &next);
    void handOver();
    bool startSong(const QString &path);
    void skipCurrent();
    void giveUp(Halt why);
    void startRamp();
    void setLevel(Player &player, int level);
    void showLevel(int level);
    void later(std::function<void()> step);
    void cancelPending();
    void runPendingNow();
    size_t slot(const Player *player) const { return player == spelare1_ ? 0 : 1; }

    Player *spelare1_;
    Player *spelare2_;
    Player *current_;
    Player *old_;
    const SettingsStore &settings_;
    Hooks hooks_;
    SongChangeTrigger trigger_;
    CrossfadeRamp ramp_;

    PlayMode mode_ = PlayMode::Norm;
    QString CurrentSongFile_;
    QString PreviousSongFile_;
    int64_t SongDuration_ = 0;
    // The whole duration of the song being faded out (the ramp has what is heard).
    int64_t fadingDuration_ = 0;
    // Norm: a next song preloaded on the other player, and its path.
    bool Globnewsongexists_ = false;
    QString GlobNextsongname_;

    bool rampRunning_ = false;
    bool rampPaused_ = false;
    bool rampHeld_ = false; // waits for the sound output
    // The song being faded out still plays (Studio and Live; a Norm
    // hand-over follows a song that has ended).
    bool oldAudible_ = false;
    bool djSpoke_ = false;
    // Per player: its PCM level was left below full by a change.
    std::array<bool, 2> belowFull_{};
    // The current player has not yet reported playing the song it was given
    // by a song change: what it reports until then belongs to its old song.
    bool awaitingPlay_ = false;
    // The current song came from an automatic change and has not played yet,
    // so a refusal skips on.
    bool automatic_ = false;
    int refusals_ = 0;
    // Per player: Plays of skipped songs still to be refused (the engine
    // refuses the Play that follows a refused open).
    std::array<int, 2> stalePlays_{};
    // The continuation of a change, and the count that cancels it.
    std::function<void()> pending_;
    uint64_t generation_ = 0;
};

} // namespace velbrin::player

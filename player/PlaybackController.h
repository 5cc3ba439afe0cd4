#pragma once

#include "PlayerLogic.h"
#include "SongChanger.h"
#include "SoundOutput.h"
#include "kelvra_interface.h"
#include "play_order.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace velbrin {
class SettingsStore;
}

namespace velbrin::engine {
class KelvraSpeechOutput;
class TKelvraSpectrum;
} // namespace velbrin::engine

namespace velbrin::platform {
class SpeechVoice;
}

namespace velbrin::library {
class DurationQueue;
class EngineDurationProbe;
class LoudnessAnalyser;
class SongLibrary;
class TagReader;
} // namespace velbrin::library

namespace velbrin::player {

class PlayerInformation;
class PlayerSpectrum;

// The play modes of the main window's check boxes ("Shuffle", "All songs",
// "Current track"). The controller holds the one copy; the check boxes, keys
// and remote controls show and change it through the controller.
using PlayModes = library::PlayModes;

// How a failure is shown: as information, or as the engine's own error.
enum class ErrorKind { Information, Engine };

// Levels as the engine reports them: 0 to 99, balance 50 centred.
struct OutputLevels {
    int master = KV_LEVEL_MAX;
    int pcm = KV_LEVEL_MAX;
    int balance = KV_BALANCE_CENTRE;
    friend bool operator==(const OutputLevels &, const OutputLevels &) = default;
};

// Everything that drives playback, without a widget: the two song players that
// take turns and the duration probe (`KelvraPlayer3`), the commands, the
// end-of-song decision, the play modes, the command line and the played-songs
// record. It owns the players and lends them to no one. Narrower owners under
// it decide the rest alone:
// - the song changer: which song player is current (`KelvraSpectrum1`), the
//   current song, and the cross-fades and hand-overs of the overlap modes;
// - the sound output: output module, output names and the WAV flag;
// - the player information: what the information window shows and asks;
// - one spectrum per song player, for the live spectrum display.
// Windows, keys, hot keys and remote controls call its commands and draw what
// it emits; every error meant for the user leaves through `errorOccurred`,
// once.
//
// Re-entrancy, the rule kept here and by everything that draws what this
// reports: a notification handler decides and returns. It never blocks and
// never runs a nested event loop (no modal dialog, no event-loop pass, no
// wait), so nothing can happen under it that it does not expect:
// - a message for the user is raised after the handler that found it has
//   returned, as a queued call (`errorOccurred`);
// - a song change that lets the engine's reports be handled before it goes on
//   continues in a queued call, which Stop, a song started by hand and
//   `shutDown` cancel;
// - the WAV folder is asked for only when playing starts by hand (or WAV
//   output is chosen); an automatic change without one stops and says so;
// - `shutDown` first stops the half-second timer and the song changer, then
//   frees the players with `deleteLater`, once no handler of theirs is on the
//   stack; every command and report after it does nothing.
//
// Threads: user-interface thread only. The engine's notifications reach it as
// signals of the players, on this thread.
class PlaybackController : public QObject {
    Q_OBJECT
    Q_PROPERTY(PlayState state READ state NOTIFY stateChanged)
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY stateChanged)
    Q_PROPERTY(QString currentSongFile READ currentSongFile NOTIFY currentSongChanged)
    Q_PROPERTY(uint timeCode READ timeCode NOTIFY timeCodeChanged)
    Q_PROPERTY(uint duration READ duration NOTIFY durationChanged)
public:
    // The engine's player states (the same numbers); `EndOfSong` is shown for
    // the moment between the end of a stream and what follows it.
    enum class PlayState {
        Stopped = KV_PLAYER_STATE_STOPPED,
        Playing = KV_PLAYER_STATE_PLAYING,
        Paused = KV_PLAYER_STATE_PAUSED,
        EndOfSong = KV_PLAYER_STATE_EOS,
    };
    Q_ENUM(PlayState)

    struct Options {
        // The engine library the three players load ("kelvra.dll" resolves to
        // libkelvra.so beside the program).
        std::string enginePath = "kelvra.dll";
        // The native window the sound-card output module is told about.
        std::function<int()> windowHandle;
        // Asked when songs go into WAV files and no usable folder is stored; an
        // empty answer cancels opening the song.
        std::function<QString()> chooseWavFolder;
        // Folder of the program, with a trailing separator; "lastplay.txt" goes
        // there when it can be written.
        QString appDir;
        // The settings store (the program's when null) and the DJ's voice
        // (silent when null).
        SettingsStore *settings = nullptr;
        std::shared_ptr<platform::SpeechVoice> voice;
    };

    explicit PlaybackController(Options options, QObject *parent = nullptr);
    ~PlaybackController() override;
    PlaybackController(const PlaybackController &) = delete;
    PlaybackController &operator=(const PlaybackController &) = delete;

    // --- set-up -------------------------------------------------------------------
    // Binds the players, registers the output module, selects the stored output
    // and prepares the probe. Engine failures go to `errorOccurred`.
    void start();
    // The song list (owned by the playlist window) and its duration queue; the
    // play order works on this list from now on.
    void setLibrary(library::SongLibrary *songs, library::DurationQueue *durations);
    library::SongLibrary *library() const { return songs_; }
    library::PlayOrder *playOrder() const { return order_.get(); }
    library::EngineDurationProbe &durationProbe() { return *probe_; }

    // --- owners under the controller ---------------------------------------------------
    // Where the song players' sound goes; the settings window and the "Make
    // Wave-file" command choose through it.
    SoundOutput &soundOutput() { return *output_; }
    const SoundOutput &soundOutput() const { return *output_; }
    PlayerInformation &information() { return *information_; }
    // The spectrum of the song being heard; null after `shutDown`.
    // `playersSwapped` tells when another player takes over.
    PlayerSpectrum *currentSpectrum() const;
    // The engine thread priority of both song players (0 to 4).
    void setPriority(int priority);
    // How far the engine lowers the music under the DJ's voice, in decibels
    // (0 to 24, 0 leaves it alone). At start it is "DJ-Settings"/"DuckDepth".
    void setDuckDepth(int decibels);
    // Whether the DJ's voice joins the songs' mix, lowered under it.
    bool speechInTheMix() const { return speechOutput_ != nullptr; }
    // Stops the timer, the song changer and both song players, and frees all
    // three players once the handler that asks has returned; the engine then
    // waits, bounded, to finish a WAV file. Commands afterwards do nothing.
    void shutDown();

    // --- commands -----------------------------------------------------------------
    // `initPlayer`: stops the current player, opens the song on it, selects the
    // output, shows the song and plays it.
    void playFile(const QString &path);
    void play();
    void pause();
    // Play while stopped or paused, pause while playing.
    void playPause();
    // Stops both players, resets their outputs and rewinds the current one.
    void stop();
    // `ResetCurrentOutput`: the current player's output as at start.
    void resetCurrentOutput();
    // Like `stop`, and forgets the current song (the list it came from is gone).
    void stopAndForget();
    // Next and previous song by the play order and the modes; the folder steps.
    void next();
    void previous();
    // The folder steps say what they did: after `RefreshButtons` the button
    // that asked has nothing more to go to.
    library::NavOutcome nextFolder();
    library::NavOutcome previousFolder();
    // Which navigation buttons make sense for the list's current entry.
    library::NavButtons navButtons() const;
    // Plays the song list's current entry.
    void playSelection();
    // An absolute position as the fraction offset / range of the song.
    void seek(uint32_t offset, uint32_t range);
    // Seconds from the start, and seconds forwards (negative: backwards) from
    // the last reported time code; both are kept inside the song.
    void seekToSeconds(int seconds);
    void seekBy(int seconds);
    // Levels of the current player; -1 leaves a level as it is.
    void setOutputLevels(int master, int pcm, int balance);
    void setMuted(bool muted);
    void setChannels(kv_channel_mode mode);
    // Null switches the equalizer off. Both song players get it, so the next
    // song sounds the same, and each reads it back (`equalizerReported`).
    void setEqualizer(const KV_EqualizerInfo *equalizer);

    // --- song changes between the song players ----------------------------------------
    // Moves the list's selection to the song that follows by the play order and
    // returns its path without opening it; empty when none follows.
    QString chooseNextSong();
    // One half-second step of a cross-fade or hand-over, while
    // `songChangeTimer` has asked for the timer.
    void Timer5Timer();

    // --- play modes -----------------------------------------------------------------
    PlayModes playModes() const { return modes_; }
    // "All songs" and "Current track" exclude each other. Turning shuffle on
    // starts a random song. Every change is stored and reported.
    void setShuffle(bool on);
    void setRepeatAll(bool on);
    void setCurrentTrack(bool on);
    // The overlap mode: 0 "Norm", 1 "Studio", 2 "Live".
    int overlapMode() const { return static_cast<int>(changer_->mode()); }
    void setOverlapMode(int index);

    // --- command line and the played-songs record -------------------------------------
    // Adds files, playlists and folders as a drop would, in their order; the
    // first song of an empty list starts.
    void addCommandLine(const QStringList &entries);
    // Writes the current song into "lastplay.txt" (ten seconds after it started).
    void logCurrentSong();
    QString lastPlayPath() const;
    // `AppDir`: the program's folder, with a trailing separator.
    QString appDir() const { return options_.appDir; }
    void setAppDir(const QString &dir) { options_.appDir = dir; }

    // --- state ------------------------------------------------------------------------
    PlayState state() const { return state_; }
    bool isPlaying() const { return state_ == PlayState::Playing; }
    QString currentSongFile() const { return changer_->currentSongFile(); }
    // The song whose fade-out or hand-over started last.
    QString previousSongFile() const { return changer_->previousSongFile(); }
    // The now-playing texts of the current song, and those any song would show.
    const NowPlaying &nowPlaying() const { return nowPlaying_; }
    NowPlaying describeSong(const QString &path) const;
    uint32_t timeCode() const { return timeCode_; }
    uint32_t duration() const { return static_cast<uint32_t>(changer_->songDuration()); }
    uint32_t positionOffset() const { return positionOffset_; }
    uint32_t positionRange() const { return positionRange_; }
    QString streamParameters() const { return streamParameters_; }
    OutputLevels levels() const { return levels_; }
    // While the user drags the position slider, position reports are not shown.
    void setTracking(bool tracking) { tracking_ = tracking; }
    bool tracking() const { return tracking_; }

    // The one way to tell the user of a failure; windows route theirs here too.
    void reportError(const QString &text, ErrorKind kind = ErrorKind::Information);

signals:
    void stateChanged(velbrin::player::PlaybackController::PlayState state);
    void currentSongChanged(const QString &path);
    void nowPlayingChanged(const velbrin::player::NowPlaying &view);
    // Offset / range of the current song; not raised while tracking.
    void positionChanged(uint32_t offset, uint32_t range);
    // A seek was sent to the current player (slider, keys or remote control).
    void seekSent(uint32_t offset, uint32_t range);
    void timeCodeChanged(uint32_t seconds);
    void durationChanged(uint32_t seconds);
    void streamParametersChanged(const QString &text);
    void levelsChanged(const velbrin::player::OutputLevels &levels);
    // What the volume window shows: the levels the current player reports,
    // and the level a song change gives it; a missing level stays as shown.
    void levelsShown(std::optional<int> master, std::optional<int> pcm, std::optional<int> balance);
    // Whether the current player's output works (the volume window needs it).
    void outputAvailableChanged(bool available);
    // The sound device went away (true) and came back (false); meanwhile the
    // engine holds the song where it was.
    void soundOutputLost(bool lost);
    // The equalizer the current player read back after `setEqualizer`.
    void equalizerReported(const KV_EqualizerInfo &equalizer);
    void playModesChanged(const velbrin::player::PlayModes &modes);
    void overlapModeChanged(int index);
    // Another song player is current (`currentSpectrum` follows).
    void playersSwapped();
    // A Play was sent to the current player (the played-songs timer restarts).
    void playStarted();
    // The half-second timer of a song change, on or off; each of its ticks
    // calls `Timer5Timer`.
    void songChangeTimer(bool on);
    // Said once in the status bar: a song refused during an automatic change
    // was skipped (unattended play goes on), or an automatic change stopped.
    void statusNotice(const QString &text);
    // The list's current entry moved; the playlist window follows.
    void selectionChanged();
    // The command line was added.
    void commandLineProcessed();
    void errorOccurred(const QString &text,
                       velbrin::player::ErrorKind kind = velbrin::player::ErrorKind::Information);

private:
    using Player = engine::TKelvraSpectrum;
    void bindPlayer(Player *player);
    Player *currentPlayer() const { return live() ? changer_->KelvraSpectrum1() : nullptr; }
    bool isSongPlayer(const Player *player) const {
        return live() && player != nullptr && (player == spelare1_ || player == spelare2_);
    }
    bool live() const { return spelare1_ != nullptr; }
    // The output for a song about to play on `player`; the WAV folder is
    // asked for only for a song the user started.
    bool prepareOutput(Player &player, const QString &path, bool byHand);
    SongChanger::Hooks songChangerHooks();
    void halt(SongChanger::Halt why, bool playsOn);
    void endOfSong();
    void navigate(library::NavOutcome outcome);
    void applyModes(PlayModes modes);
    void setState(PlayState state);
    // Raises `currentSongChanged` when the song changer's current song moved.
    void noteCurrentSong();
    void showSong(const QString &path);
    void runCommand(const std::function<void()> &command);
    void speak(const QString &text);
    // The gain a song is opened with: the loudness match, or unity with the
    // setting "Engine"/"Loudness" at "Off".
    double songGainDb(const QString &path) const;

    void onPlayerState(Player *sender, int state);
    void onNack(Player *sender, uint8_t command, int16_t code);
    void onError(Player *sender, uint8_t source, int16_t code, const std::string &message);
    void onPosition(Player *sender, uint32_t offset, uint32_t range);
    void onTimecode(Player *sender, uint8_t h, uint8_t m, uint8_t s);
    void onStreamParameters(Player *sender, uint32_t frequency, int16_t bitrate, uint8_t channels);
    void onVolume(Player *sender, std::optional<int> master, std::optional<int> pcm,
                  std::optional<int> balance);
    void onOutputState(Player *sender, int state);

    Options options_;
    SettingsStore &settings_;
    Player *spelare1_ = nullptr; // child objects
    Player *spelare2_ = nullptr;
    Player *player3_ = nullptr;
    std::array<PlayerSpectrum *, 2> spectra_{}; // children of the song players
    std::unique_ptr<SoundOutput> output_;
    std::unique_ptr<SongChanger> changer_;
    PlayerInformation *information_ = nullptr; // child object
    std::unique_ptr<library::TagReader> tags_;
    std::unique_ptr<library::LoudnessAnalyser> loudness_;
    std::unique_ptr<library::EngineDurationProbe> probe_;
    // The engine's speech mix, lent to the voice from start to `shutDown`;
    // null when the engine has none.
    std::shared_ptr<engine::KelvraSpeechOutput> speechOutput_;
    std::unique_ptr<library::PlayOrder> order_;
    library::SongLibrary *songs_ = nullptr;
    // The song being opened follows the end of the previous one.
    bool automaticOpen_ = false;

    PlayState state_ = PlayState::Stopped;
    PlayModes modes_;
    QString announcedSong_; // the last `currentSongChanged`
    NowPlaying nowPlaying_;
    uint32_t timeCode_ = 0;
    uint32_t positionOffset_ = 0;
    uint32_t positionRange_ = KV_DEFAULT_POSITION_RANGE;
    QString streamParameters_;
    OutputLevels levels_;
    bool tracking_ = false;
    bool outputLost_ = false;
    bool lastPlayFirstWrite_ = true;
    // The refusal just shown, so the engine's wording of it that follows makes
    // no second message.
    int16_t refusedCode_ = 0;
    Player *refusedBy_ = nullptr;
};

} // namespace velbrin::player

#pragma once

#include "PlayerLogic.h"
#include "SongChanger.h"
#include "kelvra_interface.h"
#include "play_order.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace velbrin::engine {
class TKelvraSpectrum;
}

namespace velbrin::library {
class DurationQueue;
class EngineDurationProbe;
class LoudnessAnalyser;
class SongLibrary;
class TagReader;
} // namespace velbrin::library

namespace velbrin::player {

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
// take turns and the duration probe (`KelvraPlayer3`), output selection, the
// commands, the end-of-song decision, the play modes, the command line and the
// played-songs record. Which song player is current (`KelvraSpectrum1`) and
// which is the other (`KelvraSpectrumOld`) is the song changer's to say: it
// makes the cross-fades and hand-overs of the overlap modes, fed here with the
// players' reports. Windows, keys, hot keys and remote controls call its
// commands and draw what it emits; every error meant for the user leaves
// through `errorOccurred`, once.
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

    // --- players ------------------------------------------------------------------
    engine::TKelvraSpectrum *KelvraSpelare1() const { return spelare1_; }
    engine::TKelvraSpectrum *KelvraSpelare2() const { return spelare2_; }
    engine::TKelvraSpectrum *KelvraPlayer3() const { return player3_; }
    // `KelvraSpectrum1` and `KelvraSpectrumOld`, as the song changer has them.
    // `playersSwapped` tells when the roles change, so a volume window or a
    // spectrum display can follow. Null after `shutDown`.
    engine::TKelvraSpectrum *currentPlayer() const {
        return spelare1_ != nullptr ? changer_->KelvraSpectrum1() : nullptr;
    }
    engine::TKelvraSpectrum *previousPlayer() const {
        return spelare1_ != nullptr ? changer_->KelvraSpectrumOld() : nullptr;
    }
    bool isSongPlayer(const engine::TKelvraSpectrum *player) const {
        return player != nullptr && (player == spelare1_ || player == spelare2_);
    }
    // Stops both song players and deletes all three; waits, bounded, for the
    // engine to finish a WAV file. Commands afterwards do nothing.
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
    // Levels of the current player, or of `player` (either song player, for a
    // cross-fade); -1 leaves a level as it is.
    void setOutputLevels(int master, int pcm, int balance,
                         engine::TKelvraSpectrum *player = nullptr);
    void setMuted(bool muted);
    void setChannels(kv_channel_mode mode);
    // Null switches the equalizer off. Both song players get it, so the next
    // song sounds the same.
    void setEqualizer(const KV_EqualizerInfo *equalizer);

    // --- song changes between the song players ----------------------------------------
    // Moves the list's selection to the song that follows by the play order and
    // returns its path without opening it; empty when none follows.
    QString chooseNextSong();
    // One half-second step of a cross-fade or hand-over, while
    // `songChangeTimer` has asked for the timer.
    void Timer5Timer();
    // The volume window, which shows the current player's levels.
    void setVolumeDisplay(VolumeDisplay *display) { changer_->setVolumeDisplay(display); }

    // --- play modes -----------------------------------------------------------------
    PlayModes playModes() const { return modes_; }
    // "All songs" and "Current track" exclude each other. Turning shuffle on
    // starts a random song. Every change is stored and reported.
    void setShuffle(bool on);
    void setRepeatAll(bool on);
    void setCurrentTrack(bool on);
    // The overlap mode: 0 "Norm", 1 "Studio", 2 "Live".
    int overlapMode() const { return static_cast<int>(changer_->mode); }
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
    QString currentSongFile() const { return changer_->CurrentSongFile; }
    // The song whose fade-out or hand-over started last.
    QString previousSongFile() const { return changer_->PreviousSongFile; }
    // The now-playing texts of the current song, and those any song would show.
    const NowPlaying &nowPlaying() const { return nowPlaying_; }
    NowPlaying describeSong(const QString &path) const;
    uint32_t timeCode() const { return timeCode_; }
    uint32_t duration() const { return static_cast<uint32_t>(changer_->SongDuration); }
    uint32_t positionOffset() const { return positionOffset_; }
    uint32_t positionRange() const { return positionRange_; }
    QString streamParameters() const { return streamParameters_; }
    OutputLevels levels() const { return levels_; }
    bool wavFileOutput() const { return changer_->WavFileOutput; }
    // "Make Wave-file" and the settings window's output choice turn WAV output
    // on and off for this and the following songs.
    void setWavFileOutput(bool on) { changer_->WavFileOutput = on; }
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
    // Whether the current player's output works (the volume window needs it).
    void outputAvailableChanged(bool available);
    void playModesChanged(const velbrin::player::PlayModes &modes);
    void overlapModeChanged(int index);
    void playersSwapped(velbrin::engine::TKelvraSpectrum *current,
                        velbrin::engine::TKelvraSpectrum *previous);
    // A Play was sent to the current player (the played-songs timer restarts).
    void playStarted();
    // The half-second timer of a song change, on or off; each of its ticks
    // calls `Timer5Timer`.
    void songChangeTimer(bool on);
    // A song refused during an automatic change was skipped; said once, in
    // the status bar, so unattended play goes on.
    void songSkipped(const QString &text);
    // The list's current entry moved; the playlist window follows.
    void selectionChanged();
    // The command line was added.
    void commandLineProcessed();
    void errorOccurred(const QString &text,
                       velbrin::player::ErrorKind kind = velbrin::player::ErrorKind::Information);

private:
    void bindPlayer(engine::TKelvraSpectrum *player);
    // Output selection, the one place: the output module and its window, the
    // stored choice for `players`, and the per-song WAV file name.
    void configureOutput(engine::TKelvraSpectrum *player);
    void selectOutput(std::initializer_list<engine::TKelvraSpectrum *> players);
    void resetOutput(engine::TKelvraSpectrum *player);
    // The WAV file of a song goes to the player that opens it, never to the one
    // still playing out the previous song.
    bool chooseOutputForSong(engine::TKelvraSpectrum &player, const QString &path);
    SongChanger::Hooks songChangerHooks();
    void endOfSong();
    void navigate(library::NavOutcome outcome);
    void applyModes(PlayModes modes);
    void setState(PlayState state);
    // Raises `currentSongChanged` when the song changer's current song moved.
    void noteCurrentSong();
    void showSong(const QString &path);
    void runCommand(const std::function<void()> &command);
    // The gain a song is opened with: the loudness match, or unity with the
    // setting "Engine"/"Loudness" at "Off".
    double songGainDb(const QString &path) const;

    void onPlayerState(engine::TKelvraSpectrum *sender, int state);
    void onNack(engine::TKelvraSpectrum *sender, uint8_t command, int16_t code);
    void onError(engine::TKelvraSpectrum *sender, uint8_t source, int16_t code,
                 const std::string &message);
    void onPosition(engine::TKelvraSpectrum *sender, uint32_t offset, uint32_t range);
    void onTimecode(engine::TKelvraSpectrum *sender, uint8_t h, uint8_t m, uint8_t s);
    void onDuration(engine::TKelvraSpectrum *sender, uint32_t duration);
    void onStreamParameters(engine::TKelvraSpectrum *sender, uint32_t frequency, int16_t bitrate,
                            uint8_t channels);
    void onVolume(engine::TKelvraSpectrum *sender, std::optional<int> master,
                  std::optional<int> pcm, std::optional<int> balance);
    void onOutputState(engine::TKelvraSpectrum *sender, int state);

    Options options_;
    engine::TKelvraSpectrum *spelare1_ = nullptr; // child objects
    engine::TKelvraSpectrum *spelare2_ = nullptr;
    engine::TKelvraSpectrum *player3_ = nullptr;
    std::unique_ptr<SongChanger> changer_;
    std::unique_ptr<library::TagReader> tags_;
    std::unique_ptr<library::LoudnessAnalyser> loudness_;
    std::unique_ptr<library::EngineDurationProbe> probe_;
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
    bool lastPlayFirstWrite_ = true;
    // The refusal just shown, so the engine's wording of it that follows makes
    // no second message.
    int16_t refusedCode_ = 0;
    engine::TKelvraSpectrum *refusedBy_ = nullptr;
};

} // namespace velbrin::player

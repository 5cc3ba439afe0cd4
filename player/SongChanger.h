#pragma once

#include "CrossfadeRamp.h"
#include "DjAnnouncer.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace velbrin::engine {
class TKelvraSpectrum;
}

namespace velbrin::player {

// Where the volume window's sliders are set from engine reports. While the
// display is being set, `UpdatingVolumeControls` is true so the sliders'
// change handlers send nothing back to the engine.
class VolumeDisplay {
public:
    virtual ~VolumeDisplay() = default;
    virtual void showLevels(std::optional<int> master, std::optional<int> pcm,
                            std::optional<int> balance) = 0;
    virtual void setOutputAvailable(bool available) = 0;
};
extern bool UpdatingVolumeControls;

// The song changes of the play modes between the two song players: the
// Studio/Live overlap start, the Norm preload and hand-over, the half-second
// ramp (`Timer5Timer`) with the DJ announcement, and the volume reports. It
// sends the engine commands itself, in the order the modes have always used;
// what needs the song list, the display or the output choice it asks through
// `Hooks`.
//
// Threads: user-interface thread only.
class SongChanger {
public:
    using Player = engine::TKelvraSpectrum;

    struct Hooks {
        // The song that follows by the play order, selected in the list; empty
        // when none follows. Also refreshes the navigation buttons.
        std::function<QString()> chooseNextSong;
        // WAV output: points `player` at the song's WAV file; false when the
        // user cancelled the folder choice.
        std::function<bool(Player &player, const QString &path)> chooseWavOutput;
        // The song now current: display, playlist selection.
        std::function<void(const QString &path)> showSong;
        // The duration label of the current song.
        std::function<void(int64_t seconds)> showDuration;
        // A Play was sent (the played-songs timer restarts).
        std::function<void()> playStarted;
        // The half-second timer: on or off.
        std::function<void(bool on)> setTimer;
        // The display's texts for the placeholder check, and a song's tag.
        std::function<AnnouncedFields()> shownFields;
        std::function<AnnouncedFields(const QString &path)> tagsOf;
        std::function<void(const QString &text)> speak;
        std::function<int()> drawDigit;
        // A song refused during an automatic change, shown once in the status bar.
        std::function<void(const QString &text)> reportSkipped;
        std::function<int()> songCount;
        // The players changed roles (`SwapPlayers`).
        std::function<void()> playersSwapped;
        VolumeDisplay *volume = nullptr;
    };

    SongChanger(Player &first, Player &second, Hooks hooks);

    Player *KelvraSpectrum1() const { return current_; }
    Player *KelvraSpectrumOld() const { return old_; }
    void SwapPlayers();

    PlayMode mode = PlayMode::Norm;
    bool WavFileOutput = false;
    QString CurrentSongFile;
    QString PreviousSongFile;
    int64_t SongDuration = 0;
    bool Globnewsongexists = false;
    QString GlobNextsongname;
    CrossfadeRamp ramp;

    // A song opened on the current player by the user (or, `automatic`, by
    // the end of the previous song): a preload made for the song it replaced
    // is forgotten, and the triggers are armed again. An automatic song that
    // the engine refuses is skipped like one of an overlap or a hand-over.
    void songOpened(const QString &path, bool automatic = false);

    // The volume window, once it exists.
    void setVolumeDisplay(VolumeDisplay *display) { hooks_.volume = display; }

    // Notification handlers; each filters on the current player itself.
    void OnNotifyInputTimecode(Player *sender, int hours, int minutes, int seconds);
    void OnNotifyStreamDuration(Player *sender, uint32_t duration);
    void OnNotifyPlayerState(Player *sender, int state);
    // True when the end of stream was taken care of here (a Norm hand-over)
    // or is to be ignored; false leaves it to the end-of-song handling.
    bool endOfStream(Player *sender);
    // True when the refusal belongs to an automatic change and was handled by
    // skipping to the next song; false leaves it to the dialog.
    bool refused(Player *sender, uint8_t command, const QString &message);

    void OnNotifyOutputVolume(Player *sender, int master, int pcm, int balance);
    void OnNotifyOutputPcmLevel(Player *sender, int pcm);
    void OnNotifyOutputMasterLevel(Player *sender, int master);
    void OnNotifyOutputBalance(Player *sender, int balance);
    void OnNotifyOutputState(Player *sender, int state);

    // One step of the half-second timer.
    void Timer5Timer();

private:
    void startOverlap(int64_t elapsed, const QString &next, const ModeMix &mix);
    void preload(const QString &next);
    void handOver();
    bool startSong(const QString &path);
    void setLevel(Player &player, int level);
    void showVolume(std::optional<int> master, std::optional<int> pcm, std::optional<int> balance);

    Player *spelare1_;
    Player *spelare2_;
    Player *current_;
    Player *old_;
    Hooks hooks_;
    SongChangeTrigger trigger_;
    // The current player has not yet reported playing the song it was given
    // by a song change: what it reports until then belongs to its old song.
    bool awaitingPlay_ = false;
    // The current song came from an automatic change and has not played yet,
    // so a refusal skips on.
    bool automatic_ = false;
    int refusals_ = 0;
};

} // namespace velbrin::player

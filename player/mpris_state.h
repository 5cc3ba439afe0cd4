#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace velbrin::player::mpris {

// What the desktop's media controls see of the player, worked out without a
// bus so that tests reach it. The bus adaptor only copies these values into
// D-Bus types. Times are in microseconds, as the desktop counts them.

// The engine's player state (stopped 0, playing 1, paused 2, end of stream 3)
// as "Playing", "Paused" or "Stopped". The end of a stream counts as playing:
// the next song follows at once, and the desktop should not flicker to
// stopped between songs.
QString PlaybackStatusFor(int playerState);

struct SongTag {
    QString path;
    QString title;
    QString artist;
    QString album;
    uint32_t durationSeconds = 0;
};

struct Metadata {
    QString trackId; // a D-Bus object path
    QString title;
    QStringList artist;
    QString album;
    int64_t lengthUs = 0;
    QString url;
    QString artUrl; // a file: address, or empty
    friend bool operator==(const Metadata &, const Metadata &) = default;
};

// The track id of "no song": the desktop's own name for it.
inline constexpr const char *kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

// The installed launcher entry's name, without ".desktop": the desktop finds
// the player's icon and name through it.
inline constexpr const char *kDesktopEntry = VELBRIN_APP_ID;

// A song's metadata. The track id names the path and how many songs the player
// had opened before (`serial`), so a song listed twice, or opened again, is a
// new track to the desktop; the same path and serial give the same id. Without
// a title in its tag a song is called by its file name; an empty path is no
// song.
Metadata MetadataFor(const SongTag &tag, uint64_t serial = 0);

// A song's cover picture file as the file: address desktops load it from;
// empty for none.
QString ArtUrlFor(const QString &pictureFile);

// The engine's PCM level 0 to 99 as the desktop's volume 0.0 to 1.0, and back
// (out-of-range and non-finite requests are kept inside the level's range).
double VolumeForLevel(int level);
int LevelForVolume(double volume);

// Seek moves by an offset from the current position: before the start it
// starts the song again, past the end it goes to the next song.
struct SeekResult {
    bool next = false;
    int64_t positionUs = 0;
};
SeekResult SeekTarget(int64_t positionUs, int64_t offsetUs, int64_t lengthUs);

// SetPosition applies only to the song playing and to a position inside it.
bool SetPositionApplies(const QString &trackId, int64_t positionUs, const Metadata &current);

// The main window's "All songs" and "Current track" as the desktop's loop
// status ("Playlist", "Track", "None"), and back; an unknown status is none.
struct LoopModes {
    bool repeatAll = false;
    bool currentTrack = false;
    friend bool operator==(const LoopModes &, const LoopModes &) = default;
};
QString LoopStatusFor(LoopModes modes);
std::optional<LoopModes> LoopModesFor(const QString &loopStatus);

// What Next and Previous would do on the bus, from the song list and the play
// modes, so the desktop greys out exactly the commands that would do nothing.
// Unlike the window's buttons, the bus wraps around the ends of the list with
// "All songs", as the end of a song does: a desktop that shows "repeat the
// list" expects Next on the last song to play the first.
struct ListPosition {
    int count = 0;
    int index = -1; // the list's current entry, -1 for none
    bool shuffle = false;
    bool repeatAll = false;
    int notPlayed = 0; // songs still to come under shuffle
    // Under a genre filter, whether entry i may play; empty without a filter.
    std::function<bool(int)> passes;
};
struct Navigation {
    bool canGoNext = false;
    bool canGoPrevious = false;
    // The step is past an end of the list and wraps to the other end; the
    // play order leaves that to the caller when no filter is on.
    bool nextWraps = false;
    bool previousWraps = false;
};
Navigation NavigationFor(const ListPosition &list);

// Everything the Player interface reports, to tell the desktop what changed.
struct PlayerSnapshot {
    QString playbackStatus = QStringLiteral("Stopped");
    Metadata metadata;
    double volume = 1.0;
    bool canGoNext = false;
    bool canGoPrevious = false;
    bool canPlay = false;
    bool canPause = false;
    bool canSeek = false;
    QString loopStatus = QStringLiteral("None");
    bool shuffle = false;
    friend bool operator==(const PlayerSnapshot &, const PlayerSnapshot &) = default;
};
// The names of the Player properties that differ, in the interface's spelling.
QStringList ChangedProperties(const PlayerSnapshot &before, const PlayerSnapshot &after);

} // namespace velbrin::player::mpris

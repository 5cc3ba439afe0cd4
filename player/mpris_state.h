#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
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

// A song's metadata; the same path always gives the same track id. Without a
// title in its tag a song is called by its file name; an empty path is no
// song.
Metadata MetadataFor(const SongTag &tag);

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

// Everything the Player interface reports, to tell the desktop what changed.
struct PlayerSnapshot {
    QString playbackStatus = QStringLiteral("Stopped");
    Metadata metadata;
    double volume = 1.0;
    bool canGoNext = false;
    bool canGoPrevious = false;
    bool canPlay = false;
    bool canSeek = false;
    QString loopStatus = QStringLiteral("None");
    bool shuffle = false;
    friend bool operator==(const PlayerSnapshot &, const PlayerSnapshot &) = default;
};
// The names of the Player properties that differ, in the interface's spelling.
QStringList ChangedProperties(const PlayerSnapshot &before, const PlayerSnapshot &after);

} // namespace velbrin::player::mpris

#pragma once

// The arithmetic of a song change between the two song players: when the next
// song is started or preloaded, how far each half-second tick moves the two
// volumes, and on which tick the DJ speaks. No player and no widget is touched
// here; the playback controller sends what these decide.

#include <QString>

#include <cstdint>

namespace velbrin {
class SettingsStore;
}

namespace velbrin::player {

enum class PlayMode { Norm = 0, Studio = 1, Live = 2 };

// The captions of the play modes, which are also the suffixes of their
// "DJ-Settings" value names ("OverlapStudio", "MinVolumeLive", ...).
QString playModeCaption(PlayMode mode);

inline constexpr int kFullLevel = 99;
// Norm preloads the next song this many seconds before the end.
inline constexpr int kNormPreloadSeconds = 5;

// Every PCM level sent to the engine lies in 0..99, whatever the formulas give.
int clampLevel(int64_t level);

// The longest overlap taken from the store. An hour covers any song people
// cross-fade, and keeps every product of the ramp far inside 64 bits.
inline constexpr int64_t kMaxOverlapSeconds = 3600;

// The mix settings of one mode, read afresh at every time code so a change in
// the settings window applies to the song that is playing. Stored values are
// clamped as they are read: the overlap to 0..kMaxOverlapSeconds (whole, not
// cut to a byte), the lowest level to 0..99; text that is no number gives the
// default.
struct ModeMix {
    int64_t overlap = 0; // seconds
    int minvol = 75;     // lowest level while the songs overlap
};
ModeMix readModeMix(const SettingsStore &settings, PlayMode mode);

// (99 - minvol) div (2 * overlap), truncating; 99 for a zero (or negative)
// overlap, which would otherwise divide by zero.
int volumeStep(int64_t overlap, int minvol);

// The tag value on which the DJ announcement starts: ((2 * overlap) div 3) * 2.
int64_t announcementTag(int64_t overlap);

// The seconds of a song that are heard: its audible end (milliseconds, -1
// while unknown) to the nearest second when that comes before the song's
// end, else the song's duration.
int64_t heardDuration(int64_t songDuration, int audibleEndMs);

// Decides, at each time code of the current player, whether this is the moment
// to start the overlap (Studio, Live) or to preload the next song (Norm). Each
// fires at most once per song, however often the engine reports a time code
// within the same second. Each has a latch of its own, so a mode changed after
// the preload still gets its overlap.
class SongChangeTrigger {
public:
    enum class Action { None, StartOverlap, Preload };

    // A new song started on the current player (opened by the user, by the
    // end of the previous song, or by a song change of these modes).
    void songStarted() { overlapFired_ = preloadFired_ = false; }
    // The overlap of this song is over (a song it started was given up).
    void holdOverlap() { overlapFired_ = true; }

    Action check(PlayMode mode, int64_t songDuration, int64_t elapsed, int64_t overlap) {
        return check(mode, songDuration, elapsed, overlap, songDuration);
    }
    // `heard`: the song's heardDuration. A song that ends in silence overlaps
    // from its audible end; as that may be learnt only after the overlap's
    // second has passed, any time code from that second to the song's end
    // starts it. A song heard to its end starts at its exact second, as always.
    Action check(PlayMode mode, int64_t songDuration, int64_t elapsed, int64_t overlap,
                 int64_t heard);

private:
    bool overlapFired_ = false;
    bool preloadFired_ = false;
};

// The volume ramp of the half-second timer, with the fields it keeps between
// song changes. A Norm hand-over reuses the step and the count of played
// seconds that the last Studio or Live overlap left behind, as it always has;
// the clamp keeps the intermediate levels that gives within range.
class CrossfadeRamp {
public:
    int64_t overlap = 0;          // of the selected mode, refreshed at each time code
    int minvol = 0;               // lowest level of the last change
    int VolumeSteg = 0;           // level change per tick
    int64_t GlobSongDuration = 0; // duration of the song faded out (Norm: of the preloaded song)
    int64_t PlayedSoFar = 0;      // elapsed seconds of the faded song, one more each tick
    int64_t tag = 0;              // ticks still to run

    // Norm: the preloaded song keeps full level through the hand-over.
    bool fullLevel = false;

    // Studio/Live: the overlap starts at `elapsed` of a song heard for
    // `songDuration` seconds, so it is faded out by then. Returns the level the
    // new song opens at (minvol + step).
    int startOverlap(int64_t songDuration, int64_t elapsed, const ModeMix &mix);

    // Norm: the next song is preloaded with the Norm minimum. Returns the level
    // it opens at (minvol + the step left by the last overlap), or full level
    // with `keepFullLevel`, which holds through the hand-over's ticks: gapless
    // songs then join without a dip.
    int preload(int normMinvol, bool keepFullLevel = false);

    // Norm: the preloaded song has been started; the timer runs 2 * overlap ticks.
    void startHandOver(int64_t overlap);

    // The tag the timer starts with: 2 * overlap. A zero (or negative) overlap
    // still gives one tick, which ends the ramp at once.
    int64_t startTag() const { return 2 * overlap; }

    struct Tick {
        int oldLevel;  // the song fading out
        bool announce; // this is the tick the DJ speaks on
        int newLevel;  // the current song
        bool last;     // the ramp ends: current to 99, old to 0
    };
    // One half-second step, in the order the timer applies it.
    Tick tick();
};

} // namespace velbrin::player

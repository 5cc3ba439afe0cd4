#pragma once

#include <QString>

#include <functional>

namespace velbrin::library {

class GenreCategories;
class SongList;

// Which navigation buttons are enabled.
struct NavButtons {
    bool previousSong = false;
    bool nextSong = false;
    bool previousFolder = false;
    bool nextFolder = false;
    friend bool operator==(const NavButtons &, const NavButtons &) = default;
};

// The state of the main window's mode check boxes.
struct PlayModes {
    bool shuffle = false;
    bool repeatAll = false;    // "All songs"
    bool currentTrack = false; // "Current track" (LoopedCb)
    friend bool operator==(const PlayModes &, const PlayModes &) = default;
};

// What a navigation command asks the window to do next.
enum class NavOutcome {
    PlaySelection,  // `initButtons`, the playlist's "Play", `initPlayer`
    RefreshButtons, // nothing plays; only `initButtons`
    Nothing,        // not even the buttons change
};

// The play order over the song list: which song comes next, forwards,
// backwards, at random, by folder, under the genre filter. It only moves the
// list's current entry and `notplayedlist`; starting a song is the caller's.
// GUI thread only, like the list it works on.
class PlayOrder {
public:
    // Returns a uniform integer in 0..n-1 for n >= 1.
    using RandomSource = std::function<int(int n)>;

    // Without a random source the system's generator is used.
    PlayOrder(SongList &list, const GenreCategories &categories, RandomSource random = {});

    PlayModes modes;

    NavButtons initButtons() const;

    // direction +1 or -1. Stepping past either end, on an empty list or
    // without a current entry only refreshes the buttons.
    NavOutcome StepSong(int direction);
    bool PickShuffleSong();
    // The song after the current one, made current but not started.
    bool ChooseNextSong(const QString &currentSongFile, QString &path);
    NavOutcome MoveToDirectory(bool forward);

    // Whether a song passes the genre filter (every song does while it is off).
    bool passesFilter(int index) const;

    // Mode check box handlers. `shuffleClicked` refills `notplayedlist` either
    // way and returns true when a random song should start now.
    bool shuffleClicked(bool on);
    void repeatAllClicked(bool on);
    void currentTrackClicked(bool on);

    // Folder of a path: everything up to and including the last separator,
    // either "/" or "\".
    static QString folderOf(const QString &path);

private:
    enum class Walk { Reached, Stopped, Exhausted };
    Walk filteredWalk(int direction);
    int drawNotPlayed();

    SongList &list_;
    const GenreCategories &categories_;
    RandomSource random_;
};

} // namespace velbrin::library

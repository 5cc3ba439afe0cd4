#pragma once

#include <QString>

namespace velbrin::library {

// What the playlist window needs from the main window. The main window
// implements it; tests use a fake. Every call comes on the user-interface
// thread.
class PlaylistHost {
public:
    virtual ~PlaylistHost() = default;

    // `initPlayer`: opens and starts the first song of a list that was empty.
    virtual void initPlayer(const QString &path) = 0;
    // `IsPlaying` and `CurrentSongFile` of the main window.
    virtual bool isPlaying() const = 0;
    virtual QString currentSongFile() const = 0;
    // Whether the main window's shuffle check box is checked.
    virtual bool shuffleOn() const = 0;
    // Empties `CurrentSongFile` and runs the Stop command.
    virtual void stopCurrentSong() = 0;
    // The text of the status bar's sixth panel, e.g. "Playlist: 01:02:05".
    virtual void setPlaylistTotal(const QString &panelText) = 0;
    // `initButtons`: the navigation buttons follow the list's current entry.
    virtual void refreshButtons() = 0;
    // Category counts or ticks changed; the categories window shows them again
    // and re-evaluates its filter.
    virtual void categoriesChanged() = 0;
    // The work panel ("Adding files to playlist, please wait...").
    virtual void showWorkPanel(bool visible) = 0;
    // `AppDir`, where the save dialog starts.
    virtual QString appDir() const = 0;
    // Shows the tag editor modally for one song; it may change the song's
    // display text through the window's song list.
    virtual void editTag(const QString &path) = 0;
};

} // namespace velbrin::library

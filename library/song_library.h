#pragma once

#include "folder_walk.h"
#include "genre_categories.h"
#include "id3v1.h"
#include "song_list.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace velbrin::library {

class DurationQueue;
class LoudnessAnalyser;

// Where every way of adding songs ends: the tag read, the song list, the
// category counts and, when automatic playtime is on, the duration queue.
// The windows keep the handlers and call this. GUI thread only.
class SongLibrary {
public:
    TagReader tags;
    SongList list;
    GenreCategories categories;

    // Set by the window: the duration queue (may stay null), the setting
    // "PlayList" / "AutoUpdatePlaytime", the main window's shuffle check box and
    // `initPlayer` for the first song of an empty list (its errors are ignored).
    DurationQueue *durations = nullptr;
    bool autoUpdatePlaytime = false;
    // Every added song is measured there in the background (may stay null).
    LoudnessAnalyser *loudness = nullptr;
    std::function<bool()> shuffleOn;
    std::function<void(const QString &)> startFirstSong;

    // `ProcessFile`: adds one song at the end. Returns false, silently, when
    // `path` names no regular file.
    bool ProcessFile(const QString &path);

    struct PlaylistResult {
        int added = 0;
        std::optional<QString> message; // for `ShowInformation`
    };
    // `ProcessFile2`: adds every song a playlist file names, in file order.
    // Lines naming no file add nothing. When the durations of the added songs
    // are measured, the songs that gave none are in the queue's
    // `errantalplayedforduration` once it reports `finished`
    // (`unmeasuredSongsMessage` words them).
    PlaylistResult ProcessFile2(const QString &playlistPath);

    // `ScanDir` and `scanDisc` (the latter then makes entry 0 current; the
    // caller refreshes the buttons).
    WalkReport ScanDir(const QString &dir);
    WalkReport scanDisc(const QString &dir);

    struct DropResult {
        std::vector<QString> messages; // playlist errors, in drop order
    };
    // Dropped names, in the order given; afterwards the playing song (or entry 0)
    // is current. The caller refreshes the buttons and the count label.
    DropResult dropFiles(const QStringList &names, bool isPlaying, const QString &currentSongFile);

    // "Add file...": playlists by extension, every other chosen file as a song.
    DropResult addChosenFiles(const QStringList &names, bool isPlaying,
                              const QString &currentSongFile);

    // "Clear list": empties the lists, resets the counts, stops measuring and
    // resets the total. The caller stops playback and empties `CurrentSongFile`.
    void clearList();

    // Removes a song file from disk and then its current entry from the list.
    // Only to be called after the user confirmed; the caller stops playback
    // first when it is the playing song. On a failed delete the list is left
    // alone and the error text is returned.
    std::optional<QString> deleteCurrentFromDisk();

    // "Update total Playingtime": measures every song of the list again from a
    // total of 0. Does nothing without a duration queue.
    void updateTotalPlaytime();

    // `checksomechecked`: re-evaluates the filter; returns true when the
    // playing song's genre is not ticked and "Plays next song" must run. With
    // no song playing there is nothing to move away from.
    bool checksomechecked(const QString &currentSongFile);

    // Gives the playing song the genre `row`: its ID3v1 block is rewritten with
    // the song's own texts (never what a window shows in their place for an
    // untagged song) and the genre of an ID3v2 or APEv2 tag changes with it,
    // as that is the one shown. Then it moves one song in the counts from the
    // song's own old genre to `row` and leaves `row` in `tags.LastGenreIndex`.
    // On an error nothing is counted and the error text, naming the file, is
    // returned. List entries keep the genre they were added with. The genre the
    // song has already changes nothing, not even the file.
    std::optional<QString> changePlayingSongGenre(const QString &currentSongFile, int row);

    // Every entry's display text read again from its file, after the tag text
    // encoding changed.
    void rebuildDisplayTexts();

    // Copies every song file of the list, in list order, into `folder`.
    // `progress(done, total)` is called after each file and may return false to
    // stop. A file of the same name already in the folder is replaced only when
    // `replace(destination)` says so; without it the file is kept. A song that
    // is already in the folder is its own copy. Each copy is written to a
    // temporary file first, so a failed copy leaves the old file whole. Returns
    // the songs that were not copied.
    QStringList copySongs(const QString &folder,
                          const std::function<bool(int done, int total)> &progress = {},
                          const std::function<bool(const QString &destination)> &replace = {});

private:
    bool isShuffleOn() const { return shuffleOn && shuffleOn(); }
};

} // namespace velbrin::library

#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace velbrin::library {

// Upper-cased (ASCII letters only) extension from the last "." of the file
// name, the dot included; empty when the name has no dot.
QString upperExtension(const QString &path);

bool isSongExtension(const QString &upperExt);     // ".MP3", ".MP1", ".MP2"
bool isPlaylistExtension(const QString &upperExt); // ".LST", ".PLS", ".M3U", ".M3U8"

struct WalkReport {
    int songs = 0;                // files handed to the callback
    int unreadableFolders = 0;    // folders that could not be listed
    int unrepresentableNames = 0; // names that cannot be turned into text and back
};

// `ScanDir`: walks `dir` depth first, taking each folder's entries in the order
// the file system gives them, and calls `processFile` with folder + "/" + name
// for every regular file with a song extension. Symbolic links are followed, but
// every real folder is visited once, so link loops end. Unreadable folders and
// entries whose type cannot be determined are passed over; they never end the walk.
WalkReport ScanDir(const QString &dir, const std::function<void(const QString &)> &processFile);

// What a drop of files and folders becomes, in the order given.
struct DropAction {
    enum class Kind { Song, Playlist, Folder };
    Kind kind;
    QString path;
    friend bool operator==(const DropAction &, const DropAction &) = default;
};

// A name equal to the one just before it is skipped. A regular file is a song
// when its extension is a song extension (".MP3", ".MP1", ".MP2", as in a
// folder walk) and a playlist for playlist extensions; other files are ignored.
// A folder is walked. Names that are neither (missing, FIFOs, devices) are ignored.
std::vector<DropAction> planDrop(const QStringList &droppedNames);

} // namespace velbrin::library

#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace velbrin::library {

// Saves the paths one per line, each ended by CR LF, in the system code page,
// without a header. The old file is replaced only once the new one is complete.
// Returns an error text, or nothing on success.
std::optional<QString> writeLstPlaylist(const QString &fileName, const QStringList &paths);

struct PlaylistContents {
    QStringList paths; // candidates in file order; missing files are the caller's to skip
    std::optional<QString> error; // the file could not be opened or read
};

// Reads a playlist by its extension. ".PLS": the value of every "FileN=" line,
// relative paths against the playlist's folder. ".M3U" / ".M3U8": every line
// that is not a "#" comment, relative paths against the playlist's folder;
// ".M3U8" is UTF-8, everything else the system code page. Any other file
// (".LST"): every line is a path as written, relative to the working folder.
// CR LF and LF line ends are both accepted and blank lines are skipped. A
// stored path written with "\" separators is taken with "/" when only that
// spelling names an existing file.
PlaylistContents readPlaylist(const QString &fileName);

// `lastplay.txt` goes in the program folder when that folder is writable, else
// in the per-user data folder.
QString lastPlayPath(const QString &programDir, const QString &userDataDir);

// The record of played songs. The first line after start or after Stop
// replaces the file; later lines are appended. Failures are silent and keep
// the first-write state.
class LastPlayLog {
public:
    explicit LastPlayLog(QString fileName) : fileName_(std::move(fileName)) {}

    // `addSong2TextFile`: returns whether the line was written.
    bool addSong2TextFile(const QString &path);
    // Called by the Stop command.
    void markStopped() { LastPlayFirstWrite = true; }

    bool LastPlayFirstWrite = true;

private:
    QString fileName_;
};

// Texts of the messages around playlist reading, built here so the words stay
// the same wherever they are shown.
QString playlistReadErrorMessage(const QString &errorText);
QString unmeasuredSongsMessage(const QStringList &paths);

} // namespace velbrin::library

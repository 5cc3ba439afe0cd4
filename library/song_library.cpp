#include "song_library.h"

#include "duration_probe.h"
#include "loudness_analyser.h"
#include "playlist_files.h"
#include "song_tags.h"
#include "tag_writer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace velbrin::library {

bool SongLibrary::ProcessFile(const QString &path) {
    // Only regular files: a FIFO or device named like a song would hang the reader.
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        return false;
    }
    tags.getInfo(path, TagField::Genre);
    const int genre = tags.LastGenreIndex;
    if (GenreCategories::isRow(genre)) {
        categories.addSong(genre);
    }
    const QString text =
        songDisplayText(tags.getInfo(path, TagField::Artist), tags.getInfo(path, TagField::Album),
                        tags.getInfo(path, TagField::Title), path);
    const int index = list.append(path, text, genre, isShuffleOn());
    if (index == 0) {
        // The first song starts at once, so it is no longer waiting for shuffle.
        list.removeNotPlayedAt(0);
        if (startFirstSong) {
            startFirstSong(path);
        }
    }
    if (autoUpdatePlaytime && durations != nullptr) {
        durations->enqueue(path);
    }
    if (loudness != nullptr) {
        loudness->enqueue(path);
    }
    return true;
}

SongLibrary::PlaylistResult SongLibrary::ProcessFile2(const QString &playlistPath) {
    PlaylistResult result;
    if (durations != nullptr) {
        durations->clearErrant();
    }
    const PlaylistContents contents = readPlaylist(playlistPath);
    for (const QString &path : contents.paths) {
        if (ProcessFile(path)) {
            ++result.added;
        }
    }
    if (contents.error) {
        result.message = playlistReadErrorMessage(*contents.error);
    }
    return result;
}

WalkReport SongLibrary::ScanDir(const QString &dir) {
    return library::ScanDir(dir, [this](const QString &path) { ProcessFile(path); });
}

WalkReport SongLibrary::scanDisc(const QString &dir) {
    const WalkReport report = ScanDir(dir);
    list.select(0);
    return report;
}

SongLibrary::DropResult SongLibrary::dropFiles(const QStringList &names, bool isPlaying,
                                               const QString &currentSongFile) {
    DropResult result;
    for (const DropAction &action : planDrop(names)) {
        switch (action.kind) {
        case DropAction::Kind::Song:
            ProcessFile(action.path);
            break;
        case DropAction::Kind::Playlist:
            if (auto read = ProcessFile2(action.path); read.message) {
                result.messages.push_back(*read.message);
            }
            break;
        case DropAction::Kind::Folder:
            ScanDir(action.path);
            break;
        }
    }
    list.selectAfterAdd(isPlaying, currentSongFile);
    return result;
}

SongLibrary::DropResult SongLibrary::addChosenFiles(const QStringList &names, bool isPlaying,
                                                    const QString &currentSongFile) {
    DropResult result;
    for (const QString &name : names) {
        if (isPlaylistExtension(upperExtension(name))) {
            if (auto read = ProcessFile2(name); read.message) {
                result.messages.push_back(*read.message);
            }
        } else {
            ProcessFile(name);
        }
    }
    list.selectAfterAdd(isPlaying, currentSongFile);
    return result;
}

void SongLibrary::clearList() {
    list.clear(categories);
    if (durations != nullptr) {
        durations->cancel();
        durations->resetTotal();
    }
}

void SongLibrary::updateTotalPlaytime() {
    if (durations == nullptr) {
        return;
    }
    durations->cancel();
    durations->resetTotal();
    durations->clearErrant();
    durations->enqueue(list.filenamelist());
}

bool SongLibrary::checksomechecked(const QString &currentSongFile) {
    categories.reevaluate();
    if (!categories.CategoryFilterActive() || currentSongFile.isEmpty()) {
        return false;
    }
    tags.getInfo(currentSongFile, TagField::Genre);
    return categories.playingSongMustMoveOn(tags.LastGenreIndex);
}

std::optional<QString> SongLibrary::changePlayingSongGenre(const QString &currentSongFile,
                                                           int row) {
    if (currentSongFile.isEmpty()) {
        return QStringLiteral("No song is playing");
    }
    // Asked afresh: the last lookup may have been about another file.
    const SongTags &read = tags.tagsOf(currentSongFile);
    const int oldGenre = read.genre;
    if (oldGenre == row) {
        return std::nullopt; // the song has that genre already
    }
    const TagContents own = contentsOf(read);
    TagContents changed = own;
    changed.genre = row;
    tags.forget();
    // The ID3v2 or APEv2 genre would otherwise still be the one shown.
    if (auto error = saveSongTags(currentSongFile, own, changed)) {
        return error;
    }
    categories.moveSong(oldGenre, row);
    tags.LastGenreIndex = GenreCategories::isRow(row) ? row : NO_GENRE;
    return std::nullopt;
}

void SongLibrary::rebuildDisplayTexts() {
    for (int i = 0; i < list.count(); ++i) {
        const QString path = list.path(i);
        list.setDisplayText(i, songDisplayText(tags.getInfo(path, TagField::Artist),
                                               tags.getInfo(path, TagField::Album),
                                               tags.getInfo(path, TagField::Title), path));
    }
}

namespace {

// Copies one file through a temporary file beside the target, so a failed
// copy never leaves a half-written song in place of an older one.
bool copyOneFile(const QString &source, const QString &target) {
    QFile in(source);
    if (!QFileInfo(source).isFile() || !in.open(QIODevice::ReadOnly)) {
        return false;
    }
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) {
        return false;
    }
    QByteArray buffer;
    while (!(buffer = in.read(1 << 20)).isEmpty()) {
        if (out.write(buffer) != buffer.size()) {
            out.cancelWriting();
            return false;
        }
    }
    if (in.error() != QFileDevice::NoError) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

} // namespace

QStringList SongLibrary::copySongs(const QString &folder,
                                   const std::function<bool(int, int)> &progress,
                                   const std::function<bool(const QString &)> &replace) {
    QStringList failed;
    const QStringList paths = list.filenamelist();
    const QDir target(folder);
    const int total = static_cast<int>(paths.size());
    for (int i = 0; i < total; ++i) {
        const QString &source = paths[i];
        const QString destination = target.filePath(QFileInfo(source).fileName());
        const QFileInfo existing(destination);
        const bool exists = existing.exists();
        if (exists && existing.canonicalFilePath() == QFileInfo(source).canonicalFilePath()) {
            // Already in the folder: nothing to do.
        } else if (exists && !(replace && replace(destination))) {
            failed.append(source);
        } else if (!copyOneFile(source, destination)) {
            failed.append(source);
        }
        if (progress && !progress(i + 1, total)) {
            break;
        }
    }
    return failed;
}

std::optional<QString> SongLibrary::deleteCurrentFromDisk() {
    const int k = list.itemIndex();
    if (k < 0) {
        return QStringLiteral("No song is chosen");
    }
    const QString path = list.path(k);
    QFile file(path);
    if (file.exists() && !file.remove()) {
        return QStringLiteral("Cannot delete \"%1\": %2").arg(path, file.errorString());
    }
    tags.forget();
    list.removeAt(k, categories);
    list.select(k < list.count() ? k : list.count() - 1);
    categories.reevaluate();
    return std::nullopt;
}

} // namespace velbrin::library

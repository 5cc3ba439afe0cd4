#include "song_list.h"

#include "genre_categories.h"
#include "id3v1.h"

#include <QHash>
#include <QLocale>

#include <utility>

namespace velbrin::library {

namespace {

bool validIndex(int index, int count) {
    return index >= 0 && index < count;
}

} // namespace

QString SongList::path(int index) const {
    return validIndex(index, count()) ? filenamelist_[index] : QString();
}

QString SongList::displayText(int index) const {
    return validIndex(index, count()) ? realnamelist_[index] : QString();
}

int SongList::genre(int index) const {
    return validIndex(index, count()) ? genres_[static_cast<size_t>(index)] : NO_GENRE;
}

void SongList::setDisplayText(int index, const QString &text) {
    if (validIndex(index, count())) {
        realnamelist_[index] = text;
    }
}

void SongList::select(int index) {
    itemIndex_ = validIndex(index, count()) ? index : -1;
}

bool SongList::isSelected(int index) const {
    return validIndex(index, count()) && selected_[static_cast<size_t>(index)];
}

void SongList::setSelected(int index, bool selected) {
    if (validIndex(index, count())) {
        selected_[static_cast<size_t>(index)] = selected;
    }
}

void SongList::clearSelection() {
    selected_.assign(selected_.size(), false);
}

std::vector<int> SongList::selectedIndexes() const {
    std::vector<int> result;
    for (int i = 0; i < count(); ++i) {
        if (selected_[static_cast<size_t>(i)]) {
            result.push_back(i);
        }
    }
    return result;
}

int SongList::append(const QString &path, const QString &displayText, int genre, bool shuffleOn) {
    realnamelist_.append(displayText);
    if (shuffleOn) {
        notplayedlist_.append(path);
    }
    filenamelist_.append(path);
    const bool known = genre >= 0 && genre < GenreTableSize;
    genres_.push_back(static_cast<std::uint8_t>(known ? genre : NO_GENRE));
    selected_.push_back(false);
    itemIndex_ = count() - 1;
    return itemIndex_;
}

SongList::EntryMark SongList::entryMark(int index, bool shuffleOn,
                                        const QString &currentSongFile) const {
    if (!currentSongFile.isEmpty() && index == indexOfPathExact(currentSongFile)) {
        return EntryMark::Playing;
    }
    return shuffleOn && isPlayed(index) ? EntryMark::Played : EntryMark::Normal;
}

int SongList::indexOfPath(const QString &path) const {
    for (int i = 0; i < count(); ++i) {
        if (filenamelist_[i].compare(path, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

int SongList::indexOfPathExact(const QString &path) const {
    return static_cast<int>(filenamelist_.indexOf(path));
}

void SongList::removeNotPlayedAt(int position) {
    if (validIndex(position, static_cast<int>(notplayedlist_.size()))) {
        notplayedlist_.removeAt(position);
    }
}

bool SongList::isPlayed(int index) const {
    return validIndex(index, count()) && !notplayedlist_.contains(filenamelist_[index]);
}

void SongList::dropNotPlayedIfOrphan(const QString &path) {
    // The same path may be listed twice; it stays queued as often as the list
    // still holds it, so shuffle never picks a song that is gone.
    if (notplayedlist_.count(path) > filenamelist_.count(path)) {
        notplayedlist_.removeAt(notplayedlist_.indexOf(path));
    }
}

void SongList::removeAt(int index, GenreCategories &categories) {
    if (!validIndex(index, count())) {
        return;
    }
    const QString removed = filenamelist_[index];
    categories.removeSong(genres_[static_cast<size_t>(index)]);
    filenamelist_.removeAt(index);
    realnamelist_.removeAt(index);
    genres_.erase(genres_.begin() + index);
    selected_.erase(selected_.begin() + index);
    dropNotPlayedIfOrphan(removed);
    if (itemIndex_ >= count()) {
        itemIndex_ = count() - 1;
    }
}

bool SongList::removeSelected(const QString &currentSongFile, GenreCategories &categories) {
    const int k = itemIndex_;
    if (k < 0) {
        return false;
    }
    // One pass that keeps the unselected entries, so removing thousands of
    // songs costs no more than removing one.
    bool removedPlaying = false;
    QStringList keptPaths;
    QStringList keptTexts;
    std::vector<std::uint8_t> keptGenres;
    for (int i = 0; i < count(); ++i) {
        const auto at = static_cast<size_t>(i);
        if (!selected_[at]) {
            keptPaths.append(filenamelist_[i]);
            keptTexts.append(realnamelist_[i]);
            keptGenres.push_back(genres_[at]);
            continue;
        }
        if (!currentSongFile.isEmpty() && filenamelist_[i] == currentSongFile) {
            removedPlaying = true;
        }
        categories.removeSong(genres_[at]);
    }
    filenamelist_ = std::move(keptPaths);
    realnamelist_ = std::move(keptTexts);
    genres_ = std::move(keptGenres);
    selected_.assign(genres_.size(), false);
    // Each path stays queued for shuffle at most as often as the list still holds it.
    QHash<QString, int> listed;
    for (const QString &path : filenamelist_) {
        ++listed[path];
    }
    // The earliest surplus entries go, as when one entry is removed.
    std::vector<bool> keep(static_cast<size_t>(notplayedlist_.size()), false);
    for (qsizetype i = notplayedlist_.size() - 1; i >= 0; --i) {
        if (int &left = listed[notplayedlist_[i]]; left > 0) {
            --left;
            keep[static_cast<size_t>(i)] = true;
        }
    }
    QStringList queued;
    for (qsizetype i = 0; i < notplayedlist_.size(); ++i) {
        if (keep[static_cast<size_t>(i)]) {
            queued.append(notplayedlist_[i]);
        }
    }
    notplayedlist_ = std::move(queued);
    // The entry now at the old position becomes current; past the end the last
    // entry does, so the play order always has a place to go on from.
    select(k < count() ? k : count() - 1);
    categories.reevaluate();
    return removedPlaying;
}

void SongList::clear(GenreCategories &categories) {
    filenamelist_.clear();
    realnamelist_.clear();
    genres_.clear();
    selected_.clear();
    notplayedlist_.clear();
    itemIndex_ = -1;
    categories.reset();
}

void SongList::swapEntries(int a, int b) {
    filenamelist_.swapItemsAt(a, b);
    realnamelist_.swapItemsAt(a, b);
    std::swap(genres_[static_cast<size_t>(a)], genres_[static_cast<size_t>(b)]);
    const bool selectedA = selected_[static_cast<size_t>(a)];
    selected_[static_cast<size_t>(a)] = selected_[static_cast<size_t>(b)];
    selected_[static_cast<size_t>(b)] = selectedA;
    // The current entry stays on its song, so the play order goes on from it.
    if (itemIndex_ == a) {
        itemIndex_ = b;
    } else if (itemIndex_ == b) {
        itemIndex_ = a;
    }
}

void SongList::moveSelectedUp() {
    for (int i = 1; i < count(); ++i) {
        if (isSelected(i) && !isSelected(i - 1)) {
            swapEntries(i, i - 1);
        }
    }
}

void SongList::moveSelectedDown() {
    for (int i = count() - 2; i >= 0; --i) {
        if (isSelected(i) && !isSelected(i + 1)) {
            swapEntries(i, i + 1);
        }
    }
}

int SongList::search(const QString &text) {
    clearSelection();
    if (text.isEmpty()) {
        return 0;
    }
    const QLocale locale = QLocale::system();
    const QString wanted = locale.toUpper(text);
    int last = -1;
    int matches = 0;
    for (int i = 0; i < count(); ++i) {
        if (locale.toUpper(realnamelist_[i]).contains(wanted)) {
            selected_[static_cast<size_t>(i)] = true;
            last = i;
            ++matches;
        }
    }
    select(last >= 0 ? last : 0);
    return matches;
}

void SongList::selectAfterAdd(bool isPlaying, const QString &currentSongFile) {
    if (isEmpty()) {
        itemIndex_ = -1;
        return;
    }
    select(isPlaying ? indexOfPathExact(currentSongFile) : 0);
}

} // namespace velbrin::library

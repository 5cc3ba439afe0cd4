#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace velbrin::library {

class GenreCategories;

// The song list the player plays from: `filenamelist` (paths) and
// `realnamelist` (display texts) index-aligned, each entry carrying its genre
// index, the multi-selection of the visible list, the current entry, and
// `notplayedlist` for shuffle. Every operation changes all of them in one step.
// Owned by the GUI thread; no locking.
class SongList {
public:
    int count() const { return static_cast<int>(filenamelist_.size()); }
    bool isEmpty() const { return filenamelist_.isEmpty(); }

    const QStringList &filenamelist() const { return filenamelist_; }
    const QStringList &realnamelist() const { return realnamelist_; }
    const QStringList &notplayedlist() const { return notplayedlist_; }
    QString path(int index) const;
    QString displayText(int index) const;
    int genre(int index) const;
    // The tag editor changes an entry's text only.
    void setDisplayText(int index, const QString &text);

    // The current entry, -1 for none. Selecting entry i always sets both lists.
    int itemIndex() const { return itemIndex_; }
    void select(int index);

    bool isSelected(int index) const;
    void setSelected(int index, bool selected);
    void clearSelection();
    std::vector<int> selectedIndexes() const;

    // Appends an entry and makes it current. With shuffle on its path is also
    // queued as not played. Returns the new index.
    int append(const QString &path, const QString &displayText, int genre, bool shuffleOn);

    // How the visible list colours an entry: the playing song (the first entry
    // with its path) above all, then, under shuffle, songs already played.
    enum class EntryMark { Normal, Played, Playing };
    EntryMark entryMark(int index, bool shuffleOn, const QString &currentSongFile) const;

    // First entry whose path equals `path`, ignoring case as the list search
    // does; -1 when there is none.
    int indexOfPath(const QString &path) const;
    // First entry whose path equals `path` exactly.
    int indexOfPathExact(const QString &path) const;

    // `notplayedlist` operations of the play order.
    void refillNotPlayed() { notplayedlist_ = filenamelist_; }
    void removeNotPlayedAt(int position);
    bool isPlayed(int index) const;

    // Removes entry `index` from both lists, its count from the categories and,
    // when the entry was the last of its path still queued for shuffle, its
    // path from `notplayedlist`.
    void removeAt(int index, GenreCategories &categories);

    // Removes every selected entry; the entry at the old current index (if any
    // is left) becomes current. Returns true when an entry with the path
    // `currentSongFile` was among them: the caller stops playback and empties
    // `CurrentSongFile`.
    bool removeSelected(const QString &currentSongFile, GenreCategories &categories);

    // Empties all three lists and the selection and resets the category counts.
    void clear(GenreCategories &categories);

    // A selected block moves one place towards the start (or end); a block
    // already at that end stays.
    void moveSelectedUp();
    void moveSelectedDown();

    // Selects every entry whose display text contains `text` (case-insensitive,
    // locale-aware); the last match, or entry 0, becomes current. An empty text
    // only clears the selection. Returns the number of matches.
    int search(const QString &text);

    // After adding songs or a drop: the playing song's entry when playing (none
    // when it is not in the list), otherwise entry 0.
    void selectAfterAdd(bool isPlaying, const QString &currentSongFile);

private:
    void swapEntries(int a, int b);
    void dropNotPlayedIfOrphan(const QString &path);

    QStringList filenamelist_;
    QStringList realnamelist_;
    std::vector<std::uint8_t> genres_;
    std::vector<bool> selected_;
    QStringList notplayedlist_;
    int itemIndex_ = -1;
};

} // namespace velbrin::library

#pragma once

#include <QAbstractListModel>
#include <QColor>
#include <QStyledItemDelegate>

#include <functional>

namespace velbrin::library {

class SongList;

// The visible song list's model: one row per entry of `realnamelist`, read
// straight from the song list, so the view can never hold entries the lists do
// not. The window resets it after every change of the list.
class SongListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit SongListModel(const SongList &list, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // The list changed under the model.
    void reload();

private:
    const SongList &list_;
};

// The colours of one drawn entry.
struct SongEntryLook {
    QColor fill;
    QColor border;
    QColor text;
    friend bool operator==(const SongEntryLook &, const SongEntryLook &) = default;
};

// Yellow text on black; a selected entry blue with an aqua border. With shuffle
// on, a song already played is red; the entry of the playing song (the first
// with its path) is lime whatever else holds.
SongEntryLook songEntryLook(const SongList &list, int index, bool selected, bool shuffleOn,
                            const QString &currentSongFile);

// Draws the entries of `realnamelist` in the colours above, nothing at all
// while the window is updating.
class SongEntryDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    struct State {
        std::function<bool()> updating;
        std::function<bool()> shuffleOn;
        std::function<QString()> currentSongFile;
    };
    static constexpr int LineHeight = 13;

    SongEntryDelegate(const SongList &list, State state, QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    const SongList &list_;
    State state_;
};

} // namespace velbrin::library

#include "SongListView.h"

#include "song_list.h"

#include <QPainter>

namespace velbrin::library {

SongListModel::SongListModel(const SongList &list, QObject *parent)
    : QAbstractListModel(parent), list_(list) {}

int SongListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : list_.count();
}

QVariant SongListModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= list_.count()) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return list_.displayText(index.row());
    case Qt::ToolTipRole:
        return list_.path(index.row());
    default:
        return {};
    }
}

void SongListModel::reload() {
    beginResetModel();
    endResetModel();
}

SongEntryLook songEntryLook(const SongList &list, int index, bool selected, bool shuffleOn,
                            const QString &currentSongFile) {
    SongEntryLook look;
    look.fill = selected ? QColor(0, 0, 255) : QColor(0, 0, 0);
    look.border = selected ? QColor(0, 255, 255) : QColor(0, 0, 0);
    look.text = QColor(255, 255, 0);
    if (shuffleOn && list.isPlayed(index)) {
        look.text = QColor(255, 0, 0);
    }
    if (!currentSongFile.isEmpty() && list.indexOfPathExact(currentSongFile) == index) {
        look.text = QColor(0, 255, 0);
    }
    return look;
}

SongEntryDelegate::SongEntryDelegate(const SongList &list, State state, QObject *parent)
    : QStyledItemDelegate(parent), list_(list), state_(std::move(state)) {}

void SongEntryDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const {
    if ((state_.updating && state_.updating()) || !index.isValid() ||
        index.row() >= list_.count()) {
        return;
    }
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const SongEntryLook look =
        songEntryLook(list_, index.row(), selected, state_.shuffleOn && state_.shuffleOn(),
                      state_.currentSongFile ? state_.currentSongFile() : QString());
    painter->save();
    painter->setPen(QPen(look.border, 1));
    painter->setBrush(look.fill);
    painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
    painter->setPen(look.text);
    painter->setFont(option.font);
    painter->setBackgroundMode(Qt::TransparentMode);
    painter->drawText(option.rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                      list_.displayText(index.row()));
    painter->restore();
}

QSize SongEntryDelegate::sizeHint(const QStyleOptionViewItem &option,
                                  const QModelIndex &index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(LineHeight);
    return size;
}

} // namespace velbrin::library

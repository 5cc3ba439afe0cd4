#include "TfrmPlayCategories.h"

#include "genre_categories.h"
#include "id3v1.h"
#include "song_library.h"

#include <QAbstractListModel>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace velbrin::library {

// The 115 rows over the library's category counts and ticks.
class CategoryRowsModel : public QAbstractListModel {
public:
    explicit CategoryRowsModel(GenreCategories &categories, QObject *parent)
        : QAbstractListModel(parent), categories_(categories) {}

    int rowCount(const QModelIndex &parent) const override {
        return parent.isValid() ? 0 : GenreRowCount;
    }
    QVariant data(const QModelIndex &index, int role) const override {
        const int row = index.row();
        switch (role) {
        case Qt::DisplayRole:
            return QString::fromLatin1(GenreNames[static_cast<size_t>(row)]);
        case Qt::CheckStateRole:
            return categories_.isChecked(row) ? Qt::Checked : Qt::Unchecked;
        case Qt::UserRole:
            return categories_.count(row);
        default:
            return {};
        }
    }
    // Every row stays selectable, so the playing song can be moved to a genre
    // that has no songs yet; ticking such a row is refused below.
    Qt::ItemFlags flags(const QModelIndex &) const override {
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
    }
    bool setData(const QModelIndex &index, const QVariant &value, int role) override {
        if (role != Qt::CheckStateRole) {
            return false;
        }
        const bool checked = value.toInt() == Qt::Checked;
        if (!categories_.setChecked(index.row(), checked)) {
            return false;
        }
        emit dataChanged(index, index, {Qt::CheckStateRole});
        return true;
    }
    void refresh() { emit dataChanged(index(0), index(GenreRowCount - 1)); }

private:
    GenreCategories &categories_;
};

namespace {

constexpr int kRowHeight = 16;
constexpr int kCountOffset = 120;

// Yellow on black, blue with an aqua border when selected; the name 2 pixels
// in and the count 120 pixels in. A row without songs draws its check box
// disabled.
class CategoryRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The list stretches every row to its width; this is the least it needs.
    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override {
        return {kCountOffset + 90, kRowHeight};
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const QWidget *widget = opt.widget;
        QStyle *style = widget != nullptr ? widget->style() : QApplication::style();
        const QRect check =
            style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, widget);
        const int count = index.data(Qt::UserRole).toInt();

        painter->save();
        painter->fillRect(opt.rect, QColor(0, 0, 0));
        QStyleOptionViewItem box(opt);
        box.rect = check;
        box.state &= ~QStyle::State_HasFocus;
        box.state = (box.state & ~(QStyle::State_On | QStyle::State_Off)) |
                    (opt.checkState == Qt::Checked ? QStyle::State_On : QStyle::State_Off);
        if (count == 0) {
            box.state &= ~QStyle::State_Enabled;
        }
        // The list's black base would hide the box and its tick.
        box.palette.setColor(QPalette::Base, QColor(255, 255, 255));
        box.palette.setColor(QPalette::Text, QColor(0, 0, 0));
        style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, widget);

        const QRect row(check.right() + 3, opt.rect.top(), opt.rect.right() - check.right() - 3,
                        opt.rect.height());
        const bool selected = (opt.state & QStyle::State_Selected) != 0;
        painter->setPen(QPen(selected ? QColor(0, 255, 255) : QColor(0, 0, 0), 1));
        painter->setBrush(selected ? QColor(0, 0, 255) : QColor(0, 0, 0));
        painter->drawRect(row.adjusted(0, 0, -1, -1));
        painter->setPen(QColor(255, 255, 0));
        painter->setFont(opt.font);
        const int baseline =
            row.top() + (row.height() + opt.fontMetrics.ascent() - opt.fontMetrics.descent()) / 2;
        painter->drawText(row.left() + 2, baseline, index.data(Qt::DisplayRole).toString());
        painter->drawText(row.left() + kCountOffset, baseline,
                          QString::number(count) + QStringLiteral(" songs"));
        painter->restore();
    }
};

} // namespace

TfrmPlayCategories::TfrmPlayCategories(SongLibrary &library, CategoriesHost host, QWidget *parent)
    : QDialog(parent), library_(library), host_(std::move(host)) {
    setObjectName(QStringLiteral("frmPlayCategories"));
    setWindowTitle(QStringLiteral("Select playable categories"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(false);

    GroupBox1 =
        new QGroupBox(QStringLiteral("Select playable categories (none checked = all)"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    CheckListBox1 = new QListView(GroupBox1);
    CheckListBox1->setObjectName(QStringLiteral("CheckListBox1"));
    model_ = new CategoryRowsModel(library_.categories, this);
    CheckListBox1->setModel(model_);
    CheckListBox1->setItemDelegate(new CategoryRowDelegate(CheckListBox1));
    CheckListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    CheckListBox1->setUniformItemSizes(true);
    CheckListBox1->setMinimumSize(260, 22 * kRowHeight);
    QPalette black = CheckListBox1->palette();
    black.setColor(QPalette::Base, QColor(0, 0, 0));
    CheckListBox1->setPalette(black);
    auto *inner = new QVBoxLayout(GroupBox1);
    inner->addWidget(CheckListBox1);

    CloseButton = new QPushButton(QStringLiteral("Close"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    connect(CloseButton, &QPushButton::clicked, this, &TfrmPlayCategories::CloseButtonClick);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Selectthiscategoryforsongcurrentlyplaying1 =
        PopupMenu1->addAction(QStringLiteral("Select this category for song currently playing"));
    Selectthiscategoryforsongcurrentlyplaying1->setObjectName(
        QStringLiteral("Selectthiscategoryforsongcurrentlyplaying1"));
    connect(Selectthiscategoryforsongcurrentlyplaying1, &QAction::triggered, this,
            &TfrmPlayCategories::Selectthiscategoryforsongcurrentlyplaying1Click);
    CheckListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(CheckListBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        PopupMenu1Popup();
        PopupMenu1->popup(CheckListBox1->viewport()->mapToGlobal(at));
    });

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(CloseButton);
    auto *outer = new QVBoxLayout(this);
    outer->addWidget(GroupBox1);
    outer->addLayout(buttons);
}

int TfrmPlayCategories::selectedRow() const {
    const QModelIndexList rows = CheckListBox1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void TfrmPlayCategories::selectRow(int row) {
    CheckListBox1->setCurrentIndex(model_->index(row));
}

void TfrmPlayCategories::checksomechecked() {
    const bool moveOn =
        library_.checksomechecked(host_.currentSongFile ? host_.currentSongFile() : QString());
    model_->refresh();
    if (host_.filterChanged) {
        host_.filterChanged();
    }
    if (moveOn && host_.playNextSong) {
        host_.playNextSong();
    }
}

void TfrmPlayCategories::PopupMenu1Popup() {
    const int row = selectedRow();
    const QString current = host_.currentSongFile ? host_.currentSongFile() : QString();
    // The playing song's own genre, not that of whatever file was read last.
    int playingGenre = NO_GENRE;
    if (!current.isEmpty()) {
        library_.tags.getInfo(current, TagField::Genre);
        playingGenre = library_.tags.LastGenreIndex;
    }
    Selectthiscategoryforsongcurrentlyplaying1->setEnabled(row >= 0 && !current.isEmpty());
    if (row >= 0) {
        Selectthiscategoryforsongcurrentlyplaying1->setText(
            GenreCategories::changeCategoryCaption(playingGenre, row));
    }
}

void TfrmPlayCategories::Selectthiscategoryforsongcurrentlyplaying1Click() {
    const int row = selectedRow();
    if (row < 0) {
        return;
    }
    const QString current = host_.currentSongFile ? host_.currentSongFile() : QString();
    if (const auto error = library_.changePlayingSongGenre(current, row)) {
        QMessageBox::critical(this, QStringLiteral("Error"),
                              QStringLiteral("The genre was not changed.\n") + *error);
        return;
    }
    checksomechecked();
    CheckListBox1->viewport()->update();
    if (host_.songTagChanged) {
        host_.songTagChanged(host_.currentSongFile ? host_.currentSongFile() : current);
    }
}

void TfrmPlayCategories::CloseButtonClick() {
    reject();
}

void TfrmPlayCategories::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        library_.categories.beginChoosing();
    }
}

void TfrmPlayCategories::reject() {
    QDialog::reject();
    library_.categories.endChoosing();
    checksomechecked();
}

} // namespace velbrin::library

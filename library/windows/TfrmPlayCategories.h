#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QAction;
class QGroupBox;
class QListView;
class QMenu;
class QPushButton;

namespace velbrin::library {

class SongLibrary;
class CategoryRowsModel;

// What the categories window needs from the main window; tests fill it with
// their own functions.
struct CategoriesHost {
    std::function<QString()> currentSongFile;
    // "Plays next song": moves on to the next playable song.
    std::function<void()> playNextSong;
    // The filter went on or off: the ">>>" label shows it.
    std::function<void()> filterChanged;
    // The playing song's tag was rewritten: the display shows it again.
    std::function<void(const QString &path)> songTagChanged;
};

// The categories window: one owner-drawn row per genre with its count of songs;
// ticked rows restrict what plays. A row without songs cannot be ticked, but a
// tick that survived "Clear list" can always be taken off, so the filter can
// always be switched off. User-interface thread only.
class TfrmPlayCategories : public QDialog {
    Q_OBJECT
public:
    TfrmPlayCategories(SongLibrary &library, CategoriesHost host, QWidget *parent = nullptr);

    // `checksomechecked`: re-evaluates the filter and moves on from a playing
    // song whose genre is not ticked. Also shows the counts again.
    void checksomechecked();

    // --- handlers -------------------------------------------------------------------
    void PopupMenu1Popup(); // the context menu opens
    void Selectthiscategoryforsongcurrentlyplaying1Click();
    void CloseButtonClick();

    // The selected row, -1 for none.
    int selectedRow() const;
    void selectRow(int row);

    // Controls, by their form names.
    QGroupBox *GroupBox1 = nullptr;
    QListView *CheckListBox1 = nullptr;
    QPushButton *CloseButton = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *Selectthiscategoryforsongcurrentlyplaying1 = nullptr;

public slots:
    void reject() override;

protected:
    // Ticks made while the window is open take effect when it closes.
    void showEvent(QShowEvent *event) override;

private:
    SongLibrary &library_;
    CategoriesHost host_;
    CategoryRowsModel *model_ = nullptr;
};

} // namespace velbrin::library

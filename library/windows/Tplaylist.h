#pragma once

#include "duration_probe.h"
#include "song_library.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

class QAction;
class QCheckBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;

namespace velbrin::player {
class Ttavrelopendialog;
}

namespace velbrin::library {

class PlaylistHost;
class SongListModel;

// The playlist window: shows the song list and is where the user edits it. It
// owns the song list (through its `SongLibrary`) and the queue that measures
// song durations for the playlist total; the main window reaches both through
// `library()` and `durations()`. Handlers keep their form names.
//
// Threads: user-interface thread only. Durations are measured asynchronously
// by the queue, which never touches the list, so any command may run while a
// measurement waits; the visible list is rebuilt from the song list after
// every command, so it cannot drift from `filenamelist`.
class Tplaylist : public QDialog {
    Q_OBJECT
public:
    // `host` and `probe` must outlive the window: while a song is measured the
    // queue ends the measurement through the probe when the window goes.
    Tplaylist(PlaylistHost &host, DurationProbe &probe, QWidget *parent = nullptr,
              std::chrono::milliseconds durationLimit = std::chrono::milliseconds(2000));
    ~Tplaylist() override;

    SongLibrary &library() { return library_; }
    DurationQueue &durations() { return *durations_; }

    // The folder dialog "Add files..." uses; without one (or once it is gone)
    // the window makes its own on first use.
    void setOpenChoiceDialog(player::Ttavrelopendialog *dialog);

    // The path chosen with "Play"; empty otherwise.
    QString filename;
    // While true the song list draws nothing.
    bool fupdating = false;

    // The song list changed outside this window (the play order moved the
    // current entry, the tag editor changed a text, a song started): show it.
    void songListChanged();

    // --- handlers -------------------------------------------------------------------
    void button2Click();      // Play
    void CancelBtnClick();    // Close
    void Edit1Change();       // search
    void BitBtn1Click();      // Move up
    void BitBtn2Click();      // Move down
    void BitBtn4Click();      // Remove
    void Button3Click();      // Clear list
    void BitBtn3Click();      // Add files... (a folder)
    void BitBtn6Click();      // Add file...
    void BitBtn5Click();      // Save this Playlist...
    void SpeedButton1Click(); // Update total Playingtime
    void SpeedButton2Click(); // Copy playlist...
    void CheckBox1Click();
    void EditMP3tagClick();
    void DeleteFileFromDiskClick();

    // The parts of the commands behind their dialogs.
    void addChosenFiles(const QStringList &names);
    void addFolder(const QString &folder, bool makeNewPlaylist);
    bool savePlaylist(const QString &fileName);
    // Copies every song file of the list, in list order, into `folder`; returns
    // the paths that could not be copied.
    QStringList copyPlaylistTo(const QString &folder);
    // Dropped names, in the order given.
    void dropNames(const QStringList &names);

    // Controls, by their form names.
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QCheckBox *CheckBox1 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *DurationText = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QPushButton *SpeedButton1 = nullptr;
    QListView *realnamelist = nullptr;
    QPushButton *SpeedButton2 = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QPushButton *BitBtn2 = nullptr;
    QPushButton *BitBtn4 = nullptr;
    QPushButton *Button3 = nullptr;
    QPushButton *button2 = nullptr;
    QPushButton *BitBtn3 = nullptr;
    QPushButton *BitBtn6 = nullptr;
    QPushButton *BitBtn5 = nullptr;
    QPushButton *CancelBtn = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *EditMP3tag1 = nullptr;
    QAction *Deletefilefromdisk1 = nullptr;
    QFileDialog *SaveDialog1 = nullptr;
    QFileDialog *OpenDialog1 = nullptr;

public slots:
    void reject() override;

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildControls();
    void buildDialogs();
    // Shows the song list as it now is: entries, selection, current entry, count.
    void showList();
    // Copies the view's selection and current row into the song list.
    void takeSelectionFromView();
    void showCount();
    void showTotal(std::int64_t totalSeconds);
    // The playing song's entry (or entry 0) becomes current, then the buttons follow.
    void selectPlayingOrFirst();
    // What every add ends with: the list shown, counts and messages reported.
    void showAdded(const SongLibrary::DropResult &result, const QStringList &names);
    void reportUnmeasuredWhenDone();
    void durationsFinished();
    void repaintList();

    PlaylistHost &host_;
    SongLibrary library_;
    std::unique_ptr<DurationQueue> durations_;
    SongListModel *model_ = nullptr;
    QPointer<player::Ttavrelopendialog> openChoice_;
    bool syncing_ = false;
    bool reportUnmeasured_ = false;
};

} // namespace velbrin::library

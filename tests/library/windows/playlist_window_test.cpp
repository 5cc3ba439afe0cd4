// The playlist window on Qt's offscreen platform, with a fake main window and a
// fake duration probe; songs are tiny generated files with ID3v1 blocks.
#include "PlaylistHost.h"
#include "SongListView.h"
#include "Tplaylist.h"
#include "Ttavrelopendialog.h"
#include "library_test_support.h"
#include "settings_store.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <map>

using velbrin::library::DurationProbe;
using velbrin::library::DurationQueue;
using velbrin::library::PlaylistHost;
using velbrin::library::songEntryLook;
using velbrin::library::Tplaylist;
using velbrin::library::test::rawTag;
using velbrin::library::test::readAll;
using velbrin::library::test::writeFile;

namespace {

class FakeHost : public PlaylistHost {
public:
    void initPlayer(const QString &path) override {
        started.append(path);
        current = path;
        playing = true;
    }
    bool isPlaying() const override { return playing; }
    QString currentSongFile() const override { return current; }
    bool shuffleOn() const override { return shuffle; }
    void stopCurrentSong() override {
        stopsWithFileOnDisk.push_back(QFileInfo::exists(current));
        current.clear();
        playing = false;
    }
    void setPlaylistTotal(const QString &text) override { panel = text; }
    void refreshButtons() override { ++buttonRefreshes; }
    void categoriesChanged() override { ++categoryRefreshes; }
    void showWorkPanel(bool visible) override { workPanelShown += visible ? 1 : 0; }
    QString appDir() const override { return programDir; }
    void editTag(const QString &path) override { tagEdits.append(path); }

    QStringList started;
    QString current;
    bool playing = false;
    bool shuffle = false;
    std::vector<bool> stopsWithFileOnDisk;
    QString panel;
    int buttonRefreshes = 0;
    int categoryRefreshes = 0;
    int workPanelShown = 0;
    QString programDir;
    QStringList tagEdits;
};

// Records what it is asked to measure; the test reports durations itself.
class FakeProbe : public DurationProbe {
public:
    void begin(const QString &path) override { begun.append(path); }
    void end() override { ++ended; }
    QStringList begun;
    int ended = 0;
};

class LibraryPlaylistWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("VELBRIN_SETTINGS", dir.filePath("velbrin.ini").toLocal8Bit());
        host.programDir = dir.path() + QLatin1Char('/');
    }
    void TearDown() override { qunsetenv("VELBRIN_SETTINGS"); }

    std::unique_ptr<Tplaylist>
    makeWindow(std::chrono::milliseconds limit = std::chrono::seconds(2)) {
        return std::make_unique<Tplaylist>(host, probe, nullptr, limit);
    }
    QString song(const QString &name, const QByteArray &artist, const QByteArray &title,
                 unsigned char genre = 17) {
        const QString path = dir.filePath(name);
        writeFile(path, rawTag(title, artist, "Album", "1999", "", genre));
        return path;
    }
    // Songs "s0.mp3" ... with artists "Artist 0" ..., all of genre 17 unless told.
    QStringList songs(int n, const std::map<int, unsigned char> &genres = {}) {
        QStringList paths;
        for (int i = 0; i < n; ++i) {
            const auto g = genres.count(i) ? genres.at(i) : static_cast<unsigned char>(17);
            paths.append(song(QStringLiteral("s%1.mp3").arg(i), "Artist " + QByteArray::number(i),
                              "Title", g));
        }
        return paths;
    }
    static std::vector<int> viewSelection(const Tplaylist &w) {
        std::vector<int> rows;
        for (const QModelIndex &i : w.realnamelist->selectionModel()->selectedRows()) {
            rows.push_back(i.row());
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    static void selectInView(Tplaylist &w, const std::vector<int> &rows) {
        QItemSelectionModel *sel = w.realnamelist->selectionModel();
        sel->clearSelection();
        for (int row : rows) {
            const QModelIndex index = w.realnamelist->model()->index(row, 0);
            sel->setCurrentIndex(index, QItemSelectionModel::Select);
        }
    }
    // The view shows exactly the song list, and the two lists are in step.
    static void expectInStep(Tplaylist &w) {
        const auto &list = w.library().list;
        ASSERT_EQ(list.filenamelist().size(), list.realnamelist().size());
        EXPECT_EQ(w.realnamelist->model()->rowCount(), list.count());
        for (int i = 0; i < list.count(); ++i) {
            EXPECT_EQ(w.realnamelist->model()->index(i, 0).data().toString(), list.displayText(i));
        }
        EXPECT_EQ(w.Label4->text(), QString::number(list.count()));
    }
    // Runs `action`; while it runs, the first visible window of type T is handed
    // to `answer`. Returns whether one was seen.
    template <typename T>
    static bool whileShowing(const std::function<void()> &action,
                             const std::function<void(T *)> &answer) {
        bool seen = false;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (auto *dialog = qobject_cast<T *>(w); dialog && dialog->isVisible()) {
                    poll.stop();
                    seen = true;
                    answer(dialog);
                    return;
                }
            }
        });
        // A dialog the answer failed to close would hang the test: give up on it.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] {
            while (QWidget *modal = QApplication::activeModalWidget()) {
                ADD_FAILURE() << "a modal window stayed open";
                modal->close();
            }
        });
        guard.start(5000);
        poll.start();
        action();
        return seen;
    }
    // Runs `action` and accepts the message box it shows; returns the box's text.
    static QString messageOf(const std::function<void()> &action) {
        QString text;
        whileShowing<QMessageBox>(action, [&text](QMessageBox *box) {
            text = box->text();
            box->accept();
        });
        return text;
    }

    QTemporaryDir dir;
    FakeHost host;
    FakeProbe probe;
};

} // namespace

TEST_F(LibraryPlaylistWindow, ControlsCarryTheirCaptionsAndHints) {
    auto w = makeWindow();
    EXPECT_EQ(w->windowTitle(), "Playlist");
    EXPECT_EQ(w->minimumSize(), QSize(530, 350));
    const std::vector<std::tuple<const char *, const char *, const char *>> buttons = {
        {"SpeedButton1", "Update total Playingtime", ""},
        {"SpeedButton2", "Copy playlist...", ""},
        {"BitBtn1", "Move up    ", "Moves selected files upwards in playlist"},
        {"BitBtn2", "Move down", "Moves selected files downwards in playlist"},
        {"BitBtn4", "Remove", "Removes selected files from playlist"},
        {"Button3", "Clear list", "Clear the playlist of all songs"},
        {"button2", "Play", "Play selected file"},
        {"BitBtn3", "Add files...", "Add files by choosing a directory"},
        {"BitBtn6", "Add file...", "Add single files and saved playlists"},
        {"BitBtn5", "Save this Playlist...", "Save the current playlist"},
        {"CancelBtn", "Close", ""},
    };
    for (const auto &[name, caption, hint] : buttons) {
        auto *b = w->findChild<QPushButton *>(name);
        ASSERT_NE(b, nullptr) << name;
        EXPECT_EQ(b->text(), caption) << name;
        EXPECT_EQ(b->toolTip(), hint) << name;
    }
    const std::vector<std::pair<const char *, const char *>> labels = {
        {"Label3", "Songs in playlist:"},        {"Label4", "0"},
        {"Label5", "Playlist total playtime: "}, {"DurationText", "0"},
        {"Label1", "Search for song:"},
    };
    for (const auto &[name, caption] : labels) {
        auto *l = w->findChild<QLabel *>(name);
        ASSERT_NE(l, nullptr) << name;
        EXPECT_EQ(l->text(), caption) << name;
    }
    auto *check = w->findChild<QCheckBox *>("CheckBox1");
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->text(), "Autoupdate total playtime");
    EXPECT_EQ(check->layoutDirection(), Qt::RightToLeft);
    ASSERT_NE(w->findChild<QLineEdit *>("Edit1"), nullptr);
    auto *list = w->findChild<QListView *>("realnamelist");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_TRUE(list->font().bold());
    EXPECT_EQ(list->font().family(), "Times New Roman");

    auto *menu = w->findChild<QMenu *>("PopupMenu1");
    ASSERT_NE(menu, nullptr);
    const QList<QAction *> items = menu->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->text(), "Edit MP3-tag...");
    EXPECT_EQ(items[0]->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(items[2]->text(), "Delete file from disk");
    // Both need a current entry.
    EXPECT_FALSE(items[0]->isEnabled());
    EXPECT_FALSE(items[2]->isEnabled());

    EXPECT_EQ(w->SaveDialog1->defaultSuffix(), "lst");
    EXPECT_EQ(w->SaveDialog1->nameFilters(), QStringList{"PlayList Files (*.lst)"});
    EXPECT_EQ(w->OpenDialog1->fileMode(), QFileDialog::ExistingFiles);
    const QStringList filters = w->OpenDialog1->nameFilters();
    ASSERT_EQ(filters.size(), 2);
    EXPECT_TRUE(filters[0].startsWith("MPEG-Music files and playlists ("));
    for (const char *pattern :
         {"*.mp3", "*.mp1", "*.mp2", "*.mpg", "*.lst", "*.pls", "*.m3u", "*.m3u8"}) {
        EXPECT_TRUE(filters[0].contains(QLatin1String(pattern))) << pattern;
    }
    EXPECT_TRUE(filters[1].startsWith("All files"));
}

TEST_F(LibraryPlaylistWindow, AutoUpdateCheckBoxFollowsTheStore) {
    velbrin::WriteSetting("PlayList", "AutoUpdatePlaytime", "-1");
    auto w = makeWindow();
    EXPECT_TRUE(w->CheckBox1->isChecked());
    EXPECT_TRUE(w->library().autoUpdatePlaytime);
    w->CheckBox1->click();
    EXPECT_EQ(velbrin::ReadSetting("PlayList", "AutoUpdatePlaytime"), "0");
    EXPECT_FALSE(w->library().autoUpdatePlaytime);
    w->CheckBox1->click();
    EXPECT_EQ(velbrin::ReadSetting("PlayList", "AutoUpdatePlaytime"), "-1");

    velbrin::WriteSetting("PlayList", "AutoUpdatePlaytime", "rubbish");
    EXPECT_FALSE(makeWindow()->CheckBox1->isChecked());
}

TEST_F(LibraryPlaylistWindow, DropsAddInTheGivenOrderAndRefreshTheCount) {
    auto w = makeWindow();
    const QString folderSong = song("folder/inner.mp3", "Inner", "Song");
    const QString single = song("single.mp3", "Single", "Song");
    const QString text = dir.filePath("notes.txt");
    writeFile(text, "text");

    auto *mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(single), QUrl::fromLocalFile(single),
                   QUrl::fromLocalFile(dir.filePath("folder")), QUrl::fromLocalFile(text)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &drop);
    delete mime;

    // The repeated name right after itself is skipped; the text file adds nothing.
    EXPECT_EQ(w->library().list.filenamelist(), (QStringList{single, folderSong}));
    EXPECT_EQ(w->library().list.displayText(0), "Single, Album, Song");
    expectInStep(*w);
    EXPECT_EQ(host.started, QStringList{single});
    // The first song plays, so it is the current entry afterwards.
    EXPECT_EQ(w->library().list.itemIndex(), 0);
    EXPECT_GT(host.buttonRefreshes, 0);
    EXPECT_EQ(w->library().categories.count(17), 2);
}

TEST_F(LibraryPlaylistWindow, SearchSelectsMatchesInTheViewAndMakesTheLastCurrent) {
    auto w = makeWindow();
    w->addChosenFiles({song("a.mp3", "Alpha", "One"), song("b.mp3", "Beta", "Two"),
                       song("c.mp3", "ALPHABET", "Three"), song("d.mp3", "Delta", "Four")});
    w->Edit1->setText(QStringLiteral("alPHa"));
    EXPECT_EQ(viewSelection(*w), (std::vector<int>{0, 2}));
    EXPECT_EQ(w->library().list.selectedIndexes(), (std::vector<int>{0, 2}));
    EXPECT_EQ(w->library().list.itemIndex(), 2);
    EXPECT_EQ(w->realnamelist->currentIndex().row(), 2);
    EXPECT_FALSE(w->fupdating);

    w->Edit1->setText(QStringLiteral("nothing like it"));
    EXPECT_TRUE(viewSelection(*w).empty());
    EXPECT_EQ(w->library().list.itemIndex(), 0);
    w->Edit1->clear();
    EXPECT_TRUE(viewSelection(*w).empty());
    EXPECT_EQ(w->library().list.count(), 4);
}

TEST_F(LibraryPlaylistWindow, MovingSelectedBlocksKeepsTextsPathsAndGenresTogether) {
    auto w = makeWindow();
    const QStringList paths = songs(5, {{2, 8}, {3, 9}});
    w->addChosenFiles(paths);

    selectInView(*w, {2, 3});
    w->BitBtn1->click();
    const auto &list = w->library().list;
    EXPECT_EQ(list.filenamelist(), (QStringList{paths[0], paths[2], paths[3], paths[1], paths[4]}));
    EXPECT_EQ(list.displayText(1), "Artist 2, Album, Title");
    EXPECT_EQ(list.genre(1), 8);
    EXPECT_EQ(list.genre(2), 9);
    EXPECT_EQ(viewSelection(*w), (std::vector<int>{1, 2}));
    expectInStep(*w);

    w->BitBtn1->click();
    w->BitBtn1->click(); // the block is at the top now and stays
    EXPECT_EQ(list.filenamelist(), (QStringList{paths[2], paths[3], paths[0], paths[1], paths[4]}));
    EXPECT_EQ(viewSelection(*w), (std::vector<int>{0, 1}));

    selectInView(*w, {4});
    const QStringList before = list.filenamelist();
    w->BitBtn2->click();
    EXPECT_EQ(list.filenamelist(), before);
    selectInView(*w, {0, 1});
    w->BitBtn2->click();
    EXPECT_EQ(list.filenamelist(), (QStringList{paths[0], paths[2], paths[3], paths[1], paths[4]}));
    expectInStep(*w);
}

TEST_F(LibraryPlaylistWindow, RemoveKeepsTheListsAndCountsInStepAndStopsThePlayingSong) {
    auto w = makeWindow();
    host.shuffle = true;
    const QStringList paths = songs(10, {{1, 8}, {3, 8}, {5, 9}});
    w->addChosenFiles(paths);
    ASSERT_EQ(host.current, paths[0]);
    host.current = paths[3];
    const int categoryRefreshes = host.categoryRefreshes;

    selectInView(*w, {1, 3, 5});
    w->BitBtn4->click();
    const auto &list = w->library().list;
    EXPECT_EQ(list.count(), 7);
    expectInStep(*w);
    EXPECT_EQ(list.indexOfPathExact(paths[3]), -1);
    EXPECT_FALSE(list.notplayedlist().contains(paths[1]));
    EXPECT_EQ(w->library().categories.count(8), 0);
    EXPECT_EQ(w->library().categories.count(9), 0);
    EXPECT_EQ(w->library().categories.count(17), 7);
    EXPECT_EQ(host.stopsWithFileOnDisk.size(), 1u);
    EXPECT_TRUE(host.current.isEmpty());
    EXPECT_GT(host.categoryRefreshes, categoryRefreshes);
    // The entry now at the old current position is current.
    EXPECT_EQ(list.itemIndex(), 5);
    EXPECT_EQ(w->realnamelist->currentIndex().row(), 5);
    // The files stay on disk.
    EXPECT_TRUE(QFileInfo::exists(paths[3]));
}

TEST_F(LibraryPlaylistWindow, ClearListEmptiesEverythingAndResetsTheTotal) {
    velbrin::WriteSetting("PlayList", "AutoUpdatePlaytime", "-1");
    auto w = makeWindow();
    w->addChosenFiles(songs(3));
    ASSERT_EQ(probe.begun.size(), 1);
    w->durations().durationReported(65);
    EXPECT_EQ(w->DurationText->text(), "00:01:05");
    EXPECT_EQ(host.panel, "Playlist: 00:01:05");

    w->Button3->click();
    expectInStep(*w);
    EXPECT_EQ(w->library().list.count(), 0);
    EXPECT_EQ(w->library().categories.count(17), 0);
    EXPECT_FALSE(w->library().categories.isEnabled(17));
    EXPECT_EQ(w->DurationText->text(), "00:00:00");
    EXPECT_EQ(host.panel, "Playlist: 00:00:00");
    EXPECT_EQ(host.stopsWithFileOnDisk.size(), 1u);
    EXPECT_FALSE(w->durations().isBusy());
    // A report for the cancelled measurement arrives late and is not counted.
    w->durations().durationReported(30);
    EXPECT_EQ(w->durations().PlaylistTotalSeconds(), 0);
}

TEST_F(LibraryPlaylistWindow, CommandsDuringADurationWaitLeaveTheListsInStep) {
    velbrin::WriteSetting("PlayList", "AutoUpdatePlaytime", "-1");
    auto w = makeWindow();
    const QStringList paths = songs(4);
    w->addChosenFiles(paths.mid(0, 3));
    ASSERT_TRUE(w->durations().isBusy());
    ASSERT_EQ(probe.begun, QStringList{paths[0]});

    // While the first song is measured: remove one, move one, add one more.
    selectInView(*w, {1});
    w->BitBtn4->click();
    selectInView(*w, {1});
    w->BitBtn1->click();
    w->dropNames({paths[3]});
    expectInStep(*w);
    EXPECT_EQ(w->library().list.filenamelist(), (QStringList{paths[2], paths[0], paths[3]}));

    // The measurements go on in the background and only touch the total.
    w->durations().durationReported(100);
    w->durations().durationReported(20);
    w->durations().durationReported(3);
    w->durations().durationReported(1);
    EXPECT_FALSE(w->durations().isBusy());
    EXPECT_EQ(probe.begun, (QStringList{paths[0], paths[1], paths[2], paths[3]}));
    EXPECT_EQ(w->DurationText->text(), "00:02:04");
    expectInStep(*w);
    EXPECT_EQ(w->library().list.filenamelist(), (QStringList{paths[2], paths[0], paths[3]}));
}

TEST_F(LibraryPlaylistWindow, UpdateTotalMeasuresEverySongAndNamesThoseWithoutADuration) {
    auto w = makeWindow(std::chrono::milliseconds(20));
    const QStringList paths = songs(3);
    w->addChosenFiles(paths);
    w->durations().durationReported(999); // nothing is measured yet: ignored
    EXPECT_EQ(w->durations().PlaylistTotalSeconds(), 0);

    const QString text = messageOf([&] {
        w->SpeedButton1->click();
        EXPECT_EQ(probe.begun, QStringList{paths[0]});
        w->durations().durationReported(61);
        // The second song says nothing; the third reports after it timed out.
        QElapsedTimer clock;
        clock.start();
        while (probe.begun.size() < 3 && clock.elapsed() < 5000) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        }
        w->durations().durationReported(4);
    });
    EXPECT_EQ(text, "Following songs could not be opened and added to total playlisttime:\r" +
                        paths[1] + "\r\n");
    EXPECT_EQ(w->DurationText->text(), "00:01:05");
    EXPECT_EQ(host.panel, "Playlist: 00:01:05");
}

TEST_F(LibraryPlaylistWindow, APlaylistReadNamesItsUnmeasuredSongsOnceAllAreMeasured) {
    velbrin::WriteSetting("PlayList", "AutoUpdatePlaytime", "-1");
    auto w = makeWindow(std::chrono::milliseconds(20));
    const QStringList paths = songs(2);
    const QString file = dir.filePath("two.lst");
    writeFile(file, (paths.join("\r\n") + "\r\n").toLocal8Bit(), 0);
    const QString text = messageOf([&] {
        w->addChosenFiles({file});
        EXPECT_TRUE(w->durations().isBusy()); // no message before the songs are measured
        w->durations().durationReported(7);
        QElapsedTimer clock;
        clock.start();
        while (w->durations().isBusy() && clock.elapsed() < 5000) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        }
    });
    EXPECT_EQ(text, "Following songs could not be opened and added to total playlisttime:\r" +
                        paths[1] + "\r\n");
    EXPECT_EQ(w->DurationText->text(), "00:00:07");
}

TEST_F(LibraryPlaylistWindow, SavedPlaylistReadsBackAsTheSameList) {
    auto w = makeWindow();
    const QStringList paths = songs(3);
    w->addChosenFiles(paths);
    const QString file = dir.filePath("saved.lst");
    ASSERT_TRUE(w->savePlaylist(file));
    EXPECT_EQ(readAll(file), (paths.join("\r\n") + "\r\n").toLocal8Bit());

    const QStringList texts = w->library().list.realnamelist();
    w->Button3->click();
    w->addChosenFiles({file, song("extra.mp3", "Extra", "Song")});
    EXPECT_EQ(w->library().list.filenamelist().mid(0, 3), paths);
    EXPECT_EQ(w->library().list.realnamelist().mid(0, 3), texts);
    EXPECT_EQ(w->library().list.count(), 4);
    expectInStep(*w);
}

TEST_F(LibraryPlaylistWindow, SaveThroughTheDialogAndAFailedSaveSaysSo) {
    auto w = makeWindow();
    w->addChosenFiles(songs(2));
    const QString file = dir.filePath("chosen.lst");
    const bool seen = whileShowing<QFileDialog>(
        [&] { w->BitBtn5->click(); },
        [&](QFileDialog *d) {
            EXPECT_EQ(d, w->SaveDialog1);
            // It starts in the program folder.
            EXPECT_EQ(QDir(d->directory()).absolutePath(), QDir(dir.path()).absolutePath());
            d->setDirectory(dir.path());
            // Typed without the extension.
            d->findChild<QLineEdit *>("fileNameEdit")->setText("chosen");
            static_cast<QDialog *>(d)->accept();
        });
    EXPECT_TRUE(seen);
    EXPECT_EQ(readAll(file).count("\r\n"), 2);

    const QString bad = dir.filePath("missing-folder/x.lst");
    bool saved = true;
    const QString text = messageOf([&] { saved = w->savePlaylist(bad); });
    EXPECT_FALSE(saved);
    EXPECT_EQ(text, "An error occured while saving the file " + bad);
    EXPECT_EQ(w->library().list.count(), 2);
}

TEST_F(LibraryPlaylistWindow, AddFileThroughTheDialogRemembersTheFolder) {
    auto w = makeWindow();
    const QString path = song("picked/one.mp3", "Picked", "One");
    const bool seen = whileShowing<QFileDialog>(
        [&] { w->BitBtn6->click(); },
        [&](QFileDialog *d) {
            EXPECT_EQ(d, w->OpenDialog1);
            d->setDirectory(QFileInfo(path).path());
            // The dialog's model fills in the background,
            // so the name is typed as a user would.
            d->findChild<QLineEdit *>("fileNameEdit")->setText(QFileInfo(path).fileName());
            static_cast<QDialog *>(d)->accept();
        });
    EXPECT_TRUE(seen);
    EXPECT_EQ(w->library().list.filenamelist(), QStringList{path});
    EXPECT_EQ(velbrin::ReadSetting("Settings", "LastDrive"), dir.filePath("picked") + "/");
}

TEST_F(LibraryPlaylistWindow, AddFolderThroughTheOpenChoiceDialog) {
    auto w = makeWindow();
    velbrin::player::Ttavrelopendialog choice;
    w->setOpenChoiceDialog(&choice);
    const QString first = song("one/a.mp3", "First", "A", 8);
    const QString second = song("two/b.mp3", "Second", "B", 9);
    const auto choose = [&](const QString &folder, const char *button) {
        return whileShowing<velbrin::player::Ttavrelopendialog>(
            [&] { w->BitBtn3->click(); },
            [&](velbrin::player::Ttavrelopendialog *d) {
                d->setFolder(folder);
                d->findChild<QPushButton *>(button)->click();
            });
    };
    ASSERT_TRUE(choose(dir.filePath("one"), "AddButton"));
    EXPECT_EQ(w->library().list.filenamelist(), QStringList{first});
    EXPECT_EQ(host.started, QStringList{first});

    ASSERT_TRUE(choose(dir.filePath("two"), "CancelButton"));
    EXPECT_EQ(w->library().list.count(), 1);

    // A new playlist drops the old songs and their category counts with them.
    ASSERT_TRUE(choose(dir.filePath("two"), "MakeNewButton"));
    EXPECT_EQ(w->library().list.filenamelist(), QStringList{second});
    EXPECT_EQ(w->library().categories.count(8), 0);
    EXPECT_EQ(w->library().categories.count(9), 1);
    expectInStep(*w);
}

TEST_F(LibraryPlaylistWindow, DeleteFromDiskAsksFirstAndStopsThePlayingSongBeforeDeleting) {
    auto w = makeWindow();
    const QStringList paths = songs(3);
    w->addChosenFiles(paths);
    selectInView(*w, {1});
    const auto answer = [&](QMessageBox::StandardButton button) {
        return whileShowing<QMessageBox>(
            [&] { w->Deletefilefromdisk1->trigger(); },
            [&](QMessageBox *box) {
                EXPECT_TRUE(box->text().contains(QFileInfo(paths[1]).fileName()));
                box->button(button)->click();
            });
    };
    ASSERT_TRUE(answer(QMessageBox::No));
    EXPECT_TRUE(QFileInfo::exists(paths[1]));
    EXPECT_EQ(w->library().list.count(), 3);

    host.current = paths[1];
    host.playing = true;
    ASSERT_TRUE(answer(QMessageBox::Yes));
    EXPECT_FALSE(QFileInfo::exists(paths[1]));
    EXPECT_EQ(w->library().list.filenamelist(), (QStringList{paths[0], paths[2]}));
    ASSERT_EQ(host.stopsWithFileOnDisk.size(), 1u);
    EXPECT_TRUE(host.stopsWithFileOnDisk[0]);
    EXPECT_EQ(w->library().categories.count(17), 2);
    EXPECT_EQ(w->library().list.itemIndex(), 1);
    expectInStep(*w);
}

TEST_F(LibraryPlaylistWindow, PlayClosesWithTheChosenSongAndCloseChoosesNothing) {
    auto w = makeWindow();
    const QStringList paths = songs(3);
    w->addChosenFiles(paths);
    selectInView(*w, {0, 2});
    w->realnamelist->selectionModel()->setCurrentIndex(w->realnamelist->model()->index(1, 0),
                                                       QItemSelectionModel::NoUpdate);
    EXPECT_EQ(w->realnamelist->toolTip(), paths[1]);
    w->button2->click();
    EXPECT_EQ(w->result(), QDialog::Accepted);
    EXPECT_EQ(w->filename, paths[1]);
    EXPECT_EQ(viewSelection(*w), std::vector<int>{1});

    w->CancelBtn->click();
    EXPECT_EQ(w->result(), QDialog::Rejected);
    EXPECT_TRUE(w->filename.isEmpty());

    auto empty = makeWindow();
    empty->button2->click();
    EXPECT_EQ(empty->result(), QDialog::Accepted);
    EXPECT_TRUE(empty->filename.isEmpty());
}

TEST_F(LibraryPlaylistWindow, CopyPlaylistAsksBeforeReplacingAndReportsTheMissing) {
    auto w = makeWindow();
    const QStringList paths = songs(2);
    w->addChosenFiles(paths);
    QFile::remove(paths[1]);
    const QString target = dir.filePath("copies");
    ASSERT_TRUE(QDir().mkpath(target));
    for (QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        writeFile(target + "/s0.mp3", "old");
        const QByteArray expected =
            answer == QMessageBox::Yes ? readAll(paths[0]) : readAll(target + "/s0.mp3");
        QStringList failed;
        QString asked;
        EXPECT_TRUE(whileShowing<QMessageBox>([&] { failed = w->copyPlaylistTo(target); },
                                              [&](QMessageBox *box) {
                                                  asked = box->text();
                                                  box->button(answer)->click();
                                              }));
        EXPECT_TRUE(asked.contains("s0.mp3")) << asked.toStdString();
        EXPECT_EQ(readAll(target + "/s0.mp3"), expected);
        // A declined replacement is reported with the songs not copied.
        EXPECT_EQ(failed, answer == QMessageBox::Yes ? QStringList{paths[1]} : paths);
    }
    EXPECT_EQ(QDir(target).entryList(QDir::Files), QStringList{"s0.mp3"});
    // Copying into the songs' own folder leaves them as they are.
    EXPECT_EQ(w->copyPlaylistTo(dir.path()), QStringList{paths[1]});
    EXPECT_EQ(readAll(paths[0]).size(), 400 + 128);
    EXPECT_EQ(w->library().list.count(), 2);
}

TEST_F(LibraryPlaylistWindow, EntryColoursFollowSelectionShuffleAndThePlayingSong) {
    auto w = makeWindow();
    host.shuffle = true;
    const QStringList paths = songs(3);
    w->addChosenFiles(paths);
    const auto &list = w->library().list;
    // The first song started at once, so it counts as played.
    const QColor black(0, 0, 0), blue(0, 0, 255), aqua(0, 255, 255);
    const QColor yellow(255, 255, 0), red(255, 0, 0), lime(0, 255, 0);
    EXPECT_EQ(songEntryLook(list, 1, false, true, paths[0]),
              (velbrin::library::SongEntryLook{black, black, yellow}));
    EXPECT_EQ(songEntryLook(list, 1, true, true, paths[0]),
              (velbrin::library::SongEntryLook{blue, aqua, yellow}));
    EXPECT_EQ(songEntryLook(list, 0, false, true, QString()).text, red);
    EXPECT_EQ(songEntryLook(list, 0, false, false, QString()).text, yellow);
    EXPECT_EQ(songEntryLook(list, 0, false, true, paths[0]).text, lime);

    // The delegate really draws them.
    w->resize(600, 400);
    w->show();
    selectInView(*w, {1});
    QApplication::processEvents();
    const QImage image = w->realnamelist->viewport()->grab().toImage();
    const int right = image.width() - 4;
    EXPECT_EQ(QColor(image.pixel(right, 6)), black);
    EXPECT_EQ(QColor(image.pixel(right, 13 + 6)), blue);
    EXPECT_EQ(QColor(image.pixel(right, 13)), aqua);
    w->hide();
}

TEST_F(LibraryPlaylistWindow, EditTagHandsTheCurrentSongToTheTagEditor) {
    auto w = makeWindow();
    const QStringList paths = songs(2);
    w->addChosenFiles(paths);
    selectInView(*w, {1});
    EXPECT_TRUE(w->EditMP3tag1->isEnabled());
    w->library().list.setDisplayText(1, "Changed elsewhere");
    w->EditMP3tag1->trigger();
    EXPECT_EQ(host.tagEdits, QStringList{paths[1]});
    EXPECT_EQ(w->realnamelist->model()->index(1, 0).data().toString(), "Changed elsewhere");
}

int main(int argc, char **argv) {
    // Test discovery runs without the test's environment; windows stay off screen there too.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

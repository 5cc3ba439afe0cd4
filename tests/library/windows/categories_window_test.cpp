// The categories window over a real song library of generated files.
#include "TfrmPlayCategories.h"
#include "song_library.h"
#include "tag_windows_support.h"

#include <QAction>
#include <QImage>
#include <QListView>
#include <QMenu>

using namespace velbrin::library;
using namespace velbrin::library::test;

namespace {

class LibraryCategoriesWindow : public TagWindowFixture {
protected:
    void SetUp() override {
        TagWindowFixture::SetUp();
        CategoriesHost host;
        host.currentSongFile = [this] { return playing; };
        host.playNextSong = [this] { ++movesOn; };
        host.filterChanged = [this] {
            filterShown.push_back(library.categories.CategoryFilterActive());
        };
        host.songTagChanged = [this](const QString &p) { refreshed.append(p); };
        window = std::make_unique<TfrmPlayCategories>(library, std::move(host));
    }
    QString add(const QString &name, unsigned char genre) {
        writeSong(path(name), "Artist", "Title", genre);
        library.ProcessFile(path(name));
        return path(name);
    }
    QModelIndex row(int r) const { return window->CheckListBox1->model()->index(r, 0); }
    bool tick(int r, bool on) {
        return window->CheckListBox1->model()->setData(row(r), on ? Qt::Checked : Qt::Unchecked,
                                                       Qt::CheckStateRole);
    }

    SongLibrary library;
    QString playing;
    int movesOn = 0;
    std::vector<bool> filterShown;
    QStringList refreshed;
    std::unique_ptr<TfrmPlayCategories> window;
};

TEST_F(LibraryCategoriesWindow, RowsCountTheAddedSongs) {
    add("r1.mp3", 17);
    add("r2.mp3", 17);
    add("b.mp3", 0);
    ASSERT_EQ(window->CheckListBox1->model()->rowCount(), 115);
    EXPECT_EQ(row(17).data().toString(), "Rock");
    EXPECT_EQ(row(17).data(Qt::UserRole).toInt(), 2);
    EXPECT_EQ(row(0).data(Qt::UserRole).toInt(), 1);
    int empty = 0;
    for (int r = 0; r < 115; ++r) {
        empty += row(r).data(Qt::UserRole).toInt() == 0 ? 1 : 0;
    }
    EXPECT_EQ(empty, 113);
    // A row without songs cannot be ticked.
    EXPECT_FALSE(tick(8, true));
    EXPECT_TRUE(tick(17, true));
}

TEST_F(LibraryCategoriesWindow, ClosingSwitchesTheFilterAndMovesOnFromAnUntickedSong) {
    add("r.mp3", 17);
    playing = add("b.mp3", 0);
    ASSERT_TRUE(tick(17, true));
    EXPECT_FALSE(library.categories.CategoryFilterActive()); // only on re-evaluation
    window->show();
    window->CloseButtonClick();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(filterShown, std::vector<bool>{true});
    EXPECT_EQ(movesOn, 1);

    ASSERT_TRUE(tick(17, false));
    window->reject();
    EXPECT_EQ(filterShown.back(), false);
    EXPECT_EQ(movesOn, 1);
}

// Songs coming or going while the window is open re-evaluate the filter with
// the ticks in force, not with the choice the user is still making.
TEST_F(LibraryCategoriesWindow, TicksTakeEffectOnlyWhenTheWindowCloses) {
    playing = add("r.mp3", 17);
    add("b.mp3", 0);
    ASSERT_TRUE(tick(17, true));
    window->CloseButtonClick();
    window->show();
    ASSERT_TRUE(tick(17, false));
    ASSERT_TRUE(tick(0, true));
    add("b2.mp3", 0);
    window->checksomechecked(); // as the main window does for added songs
    EXPECT_TRUE(library.categories.passes(17));
    EXPECT_FALSE(library.categories.passes(0));
    EXPECT_EQ(movesOn, 0);
    EXPECT_EQ(row(0).data(Qt::CheckStateRole).toInt(), Qt::Checked) << "the choice stays shown";

    window->CloseButtonClick();
    EXPECT_FALSE(library.categories.passes(17));
    EXPECT_TRUE(library.categories.passes(0));
    EXPECT_EQ(movesOn, 1);
}

TEST_F(LibraryCategoriesWindow, LastSongOfAGenreGoingUnticksAndTheFilterTurnsOff) {
    add("r.mp3", 17);
    ASSERT_TRUE(tick(17, true));
    window->checksomechecked();
    ASSERT_TRUE(library.categories.CategoryFilterActive());
    library.list.removeAt(0, library.categories);
    window->checksomechecked();
    EXPECT_EQ(row(17).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_FALSE(library.categories.CategoryFilterActive());
}

TEST_F(LibraryCategoriesWindow, TickSurvivingClearListCanBeTakenOffButNotPutBack) {
    add("r.mp3", 17);
    ASSERT_TRUE(tick(17, true));
    library.clearList();
    window->checksomechecked();
    EXPECT_EQ(row(17).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_TRUE(library.categories.CategoryFilterActive());
    EXPECT_TRUE(tick(17, false));
    EXPECT_FALSE(tick(17, true));
    window->checksomechecked();
    EXPECT_FALSE(library.categories.CategoryFilterActive());
}

TEST_F(LibraryCategoriesWindow, MenuCaptionNamesThePlayingSongsOwnGenre) {
    playing = add("b.mp3", 0);
    add("r.mp3", 17); // read last, so a stale lookup would say "Rock"
    QAction *item = window->Selectthiscategoryforsongcurrentlyplaying1;
    EXPECT_EQ(item->text(), "Select this category for song currently playing");
    window->PopupMenu1Popup();
    EXPECT_FALSE(item->isEnabled()); // no row selected
    window->selectRow(8);
    window->PopupMenu1Popup();
    EXPECT_TRUE(item->isEnabled());
    EXPECT_EQ(item->text(), "Change playing songs category from Blues to Jazz");
}

TEST_F(LibraryCategoriesWindow, GenreChangeWritesTheFilesOwnFieldsAndMovesTheCount) {
    writeFile(path("bare.mp3"), QByteArray(128, 'x'));
    library.ProcessFile(path("bare.mp3"));
    playing = add("b.mp3", 0);
    window->selectRow(8);
    window->PopupMenu1Popup();
    window->Selectthiscategoryforsongcurrentlyplaying1->trigger();
    EXPECT_EQ(library.tags.getInfo(playing, TagField::Artist), "Artist");
    EXPECT_EQ(library.tags.getInfo(playing, TagField::Genre), "Jazz");
    EXPECT_EQ(row(0).data(Qt::UserRole).toInt(), 0);
    EXPECT_EQ(row(8).data(Qt::UserRole).toInt(), 1);
    EXPECT_EQ(refreshed, QStringList{playing});

    // A song without tag information gets empty texts, not a placeholder.
    playing = path("bare.mp3");
    window->selectRow(17);
    window->Selectthiscategoryforsongcurrentlyplaying1->trigger();
    EXPECT_EQ(readAll(playing).right(128), QByteArray("TAG") + QByteArray(124, ' ') + char(17));
    EXPECT_EQ(row(17).data(Qt::UserRole).toInt(), 1);
}

TEST_F(LibraryCategoriesWindow, GenreChangeToTheSongsOwnGenreChangesNothing) {
    playing = add("r.mp3", 17); // the only Rock song
    ASSERT_TRUE(tick(17, true));
    window->CloseButtonClick();
    const QByteArray before = readAll(playing);
    window->selectRow(17);
    window->Selectthiscategoryforsongcurrentlyplaying1->trigger();
    EXPECT_EQ(row(17).data(Qt::UserRole).toInt(), 1);
    EXPECT_EQ(row(17).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_TRUE(library.categories.CategoryFilterActive());
    EXPECT_EQ(movesOn, 0);
    EXPECT_EQ(readAll(playing), before);
}

TEST_F(LibraryCategoriesWindow, FailedGenreChangeReportsTheFileAndKeepsTheCounts) {
    playing = add("gone.mp3", 0);
    QFile::remove(playing);
    window->selectRow(8);
    const QString message =
        messageOf([&] { window->Selectthiscategoryforsongcurrentlyplaying1->trigger(); });
    EXPECT_TRUE(message.contains("gone.mp3")) << message.toStdString();
    EXPECT_EQ(row(0).data(Qt::UserRole).toInt(), 1);
    EXPECT_EQ(row(8).data(Qt::UserRole).toInt(), 0);
}

TEST_F(LibraryCategoriesWindow, RowsDrawYellowOnBlackAndBlueWhenSelected) {
    add("r.mp3", 17);
    window->resize(320, 420);
    window->show();
    window->selectRow(0);
    QApplication::processEvents();
    const QImage image = window->CheckListBox1->viewport()->grab().toImage();
    const QRect selected = window->CheckListBox1->visualRect(row(0));
    const QRect plain = window->CheckListBox1->visualRect(row(1));
    ASSERT_TRUE(image.rect().contains(selected)) << image.width() << "x" << image.height();
    const int x = selected.right() - 4;
    EXPECT_EQ(image.pixel(x, selected.center().y()), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(x, selected.top()), qRgb(0, 255, 255));
    EXPECT_EQ(image.pixel(x, plain.center().y()), qRgb(0, 0, 0));
    bool yellow = false;
    for (int px = plain.left(); px < plain.right() && !yellow; ++px) {
        for (int py = plain.top(); py <= plain.bottom(); ++py) {
            yellow = yellow || image.pixel(px, py) == qRgb(255, 255, 0);
        }
    }
    EXPECT_TRUE(yellow);
}

} // namespace

#include "genre_categories.h"
#include "library_test_support.h"
#include "song_library.h"
#include "song_list.h"

#include <QTemporaryDir>

using namespace velbrin::library;
using namespace velbrin::library::test;

namespace {

// A list of n songs /s/0.mp3 .. with display texts "Song i" and genre i % 3.
void fill(SongList &list, GenreCategories &cats, int n, bool shuffle = false) {
    for (int i = 0; i < n; ++i) {
        list.append(QString("/s/%1.mp3").arg(i), QString("Song %1").arg(i), i % 3, shuffle);
        cats.addSong(i % 3);
    }
}

QStringList order(const SongList &list) {
    QStringList names;
    for (int i = 0; i < list.count(); ++i) {
        EXPECT_EQ(list.displayText(i), QString("Song %1").arg(list.path(i).mid(3).chopped(4)))
            << "lists out of step at " << i;
        EXPECT_EQ(list.genre(i), list.path(i).mid(3).chopped(4).toInt() % 3);
        names.append(list.path(i).mid(3).chopped(4));
    }
    return names;
}

void selectOnly(SongList &list, std::initializer_list<int> indexes) {
    list.clearSelection();
    for (int i : indexes) {
        list.setSelected(i, true);
    }
}

TEST(LibrarySongListMove, SelectedBlocksMoveOnePlaceAndStopAtTheEnds) {
    SongList list;
    GenreCategories cats;
    fill(list, cats, 6);
    selectOnly(list, {0, 1});
    list.moveSelectedUp();
    EXPECT_EQ(order(list), QStringList({"0", "1", "2", "3", "4", "5"}));
    selectOnly(list, {2, 3});
    list.moveSelectedUp();
    EXPECT_EQ(order(list), QStringList({"0", "2", "3", "1", "4", "5"}));
    EXPECT_EQ(list.selectedIndexes(), std::vector<int>({1, 2}));
    selectOnly(list, {5});
    list.moveSelectedDown();
    EXPECT_EQ(order(list), QStringList({"0", "2", "3", "1", "4", "5"}));
    selectOnly(list, {0, 3, 4});
    list.moveSelectedDown();
    EXPECT_EQ(order(list), QStringList({"2", "0", "3", "5", "1", "4"}));
    EXPECT_EQ(list.selectedIndexes(), std::vector<int>({1, 4, 5}));
}

TEST(LibrarySongListMove, CurrentEntryStaysOnItsSong) {
    SongList list;
    GenreCategories cats;
    fill(list, cats, 4);
    list.select(2);
    selectOnly(list, {2});
    list.moveSelectedUp();
    EXPECT_EQ(list.itemIndex(), 1);
    EXPECT_EQ(list.path(list.itemIndex()), "/s/2.mp3");
}

TEST(LibrarySongListRemove, RemovesSelectedAndLowersCategoryCounts) {
    SongList list;
    GenreCategories cats;
    fill(list, cats, 10);
    ASSERT_EQ(cats.count(0), 4);
    ASSERT_EQ(cats.count(1), 3);
    list.select(3);
    selectOnly(list, {3, 6, 7});
    EXPECT_FALSE(list.removeSelected("/s/1.mp3", cats));
    EXPECT_EQ(order(list), QStringList({"0", "1", "2", "4", "5", "8", "9"}));
    EXPECT_EQ(cats.count(0), 2);
    EXPECT_EQ(cats.count(1), 2);
    EXPECT_EQ(cats.count(2), 3);
    EXPECT_EQ(list.itemIndex(), 3);
    EXPECT_TRUE(list.selectedIndexes().empty());
}

TEST(LibrarySongListRemove, RemovingThePlayingSongIsReported) {
    SongList list;
    GenreCategories cats;
    fill(list, cats, 3);
    list.select(2);
    selectOnly(list, {2});
    EXPECT_TRUE(list.removeSelected("/s/2.mp3", cats));
    // Past the end the last entry becomes current.
    EXPECT_EQ(list.itemIndex(), 1);
}

TEST(LibrarySongListRemove, LastSongOfAGenreUnticksItsRowAndTheFilterTurnsOff) {
    SongList list;
    GenreCategories cats;
    fill(list, cats, 3);
    ASSERT_TRUE(cats.setChecked(2, true));
    cats.reevaluate();
    ASSERT_TRUE(cats.CategoryFilterActive());
    list.select(2);
    selectOnly(list, {2});
    list.removeSelected({}, cats);
    EXPECT_FALSE(cats.isEnabled(2));
    EXPECT_FALSE(cats.isChecked(2));
    EXPECT_FALSE(cats.CategoryFilterActive());
    EXPECT_FALSE(cats.setChecked(2, true));
}

TEST(LibrarySongListRemove, NotPlayedListFollowsRemovals) {
    SongList list;
    GenreCategories cats;
    fill(list, cats, 4, true);
    list.append("/s/1.mp3", "Song 1", 1, true); // the same song twice
    list.removeNotPlayedAt(static_cast<int>(list.notplayedlist().indexOf("/s/3.mp3")));
    list.select(0);
    selectOnly(list, {1, 3});
    list.removeSelected({}, cats);
    // One "/s/1.mp3" is still listed, so it stays queued once; 3 was played.
    EXPECT_EQ(list.notplayedlist(), QStringList({"/s/0.mp3", "/s/2.mp3", "/s/1.mp3"}));
    selectOnly(list, {2});
    list.removeSelected({}, cats);
    EXPECT_EQ(list.notplayedlist(), QStringList({"/s/0.mp3", "/s/2.mp3"}));
}

TEST(LibrarySongListClear, EmptiesEveryListAndCount) {
    SongList list;
    GenreCategories cats;
    fill(list, cats, 5, true);
    ASSERT_TRUE(cats.setChecked(1, true));
    list.clear(cats);
    EXPECT_TRUE(list.filenamelist().isEmpty());
    EXPECT_TRUE(list.realnamelist().isEmpty());
    EXPECT_TRUE(list.notplayedlist().isEmpty());
    EXPECT_EQ(list.itemIndex(), -1);
    for (int row = 0; row < GenreRowCount; ++row) {
        EXPECT_EQ(cats.count(row), 0);
        EXPECT_FALSE(cats.isEnabled(row));
    }
    // Ticks survive a clear, but an empty row cannot be newly ticked.
    EXPECT_TRUE(cats.isChecked(1));
    EXPECT_FALSE(cats.setChecked(0, true));
}

TEST(LibrarySongListSearch, SelectsMatchesInAnyCaseAndMakesTheLastCurrent) {
    SongList list;
    list.append("/a", "Queen, Live, Bohemian", 0, false);
    list.append("/b", "Abba, Gold, Waterloo", 0, false);
    list.append("/c", "queen, best of, Radio Ga Ga", 0, false);
    list.append("/d", "Nothing", 0, false);
    EXPECT_EQ(list.search("QUEEN"), 2);
    EXPECT_EQ(list.selectedIndexes(), std::vector<int>({0, 2}));
    EXPECT_EQ(list.itemIndex(), 2);
    EXPECT_EQ(list.search("zzz"), 0);
    EXPECT_TRUE(list.selectedIndexes().empty());
    EXPECT_EQ(list.itemIndex(), 0);
    list.select(3);
    EXPECT_EQ(list.search(""), 0);
    EXPECT_TRUE(list.selectedIndexes().empty());
    EXPECT_EQ(list.itemIndex(), 3);
}

class LibraryProcessFile : public ::testing::Test {
protected:
    void SetUp() override {
        lib_.startFirstSong = [this](const QString &p) { started_.append(p); };
        lib_.shuffleOn = [this] { return shuffle_; };
    }
    QString at(const QString &name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
    SongLibrary lib_;
    QStringList started_;
    bool shuffle_ = false;
};

TEST_F(LibraryProcessFile, FirstSongStartsAndTextsGenresAndCountsFollowTheTags) {
    writeSong(at("rock1.mp3"), "Band", "One", 17);
    writeSong(at("rock2.mp3"), "Band", "Two", 17);
    writeSong(at("blues.mp3"), "Man", "Three", 0);
    writeFile(at("plain.mp3"), QByteArray(200, 'x'));
    writeFile(at("short.mp3"), "", 3);
    writeFile(at("title.mp3"), rawTag("Only", "", "", "", "", 115));
    for (const char *n :
         {"rock1.mp3", "rock2.mp3", "blues.mp3", "plain.mp3", "short.mp3", "title.mp3"}) {
        EXPECT_TRUE(lib_.ProcessFile(at(n)));
    }
    EXPECT_FALSE(lib_.ProcessFile(at("missing.mp3")));
    EXPECT_FALSE(lib_.ProcessFile(dir_.path()));
    EXPECT_EQ(started_, QStringList({at("rock1.mp3")}));
    EXPECT_EQ(lib_.list.realnamelist(),
              QStringList({"Band, Album, One", "Band, Album, Two", "Man, Album, Three",
                           at("plain.mp3"), at("short.mp3"), ", , Only"}));
    EXPECT_EQ(lib_.list.genre(3), NO_GENRE);
    EXPECT_EQ(lib_.list.genre(5), 115);
    EXPECT_EQ(lib_.categories.count(17), 2);
    EXPECT_EQ(lib_.categories.count(0), 1);
    int total = 0;
    for (int row = 0; row < GenreRowCount; ++row) {
        total += lib_.categories.count(row);
    }
    EXPECT_EQ(total, 3);
    EXPECT_EQ(lib_.list.itemIndex(), 5);
}

TEST_F(LibraryProcessFile, ShuffleQueuesEverySongButTheOneThatStarted) {
    shuffle_ = true;
    for (const char *n : {"a.mp3", "b.mp3", "c.mp3"}) {
        writeSong(at(n));
        lib_.ProcessFile(at(n));
    }
    EXPECT_EQ(lib_.list.notplayedlist(), QStringList({at("b.mp3"), at("c.mp3")}));
}

TEST_F(LibraryProcessFile, DropAddsFolderSongsThenTheFileAndSelectsThePlayingSong) {
    writeSong(at("folder/x.mp3"));
    writeSong(at("folder/sub/y.mp3"));
    writeSong(at("single.mp3"));
    writeFile(at("readme.txt"), "");
    lib_.dropFiles({at("folder"), at("single.mp3"), at("readme.txt")}, false, {});
    ASSERT_EQ(lib_.list.count(), 3);
    EXPECT_EQ(lib_.list.path(2), at("single.mp3"));
    EXPECT_EQ(lib_.list.itemIndex(), 0);
    lib_.dropFiles({at("readme.txt")}, true, at("single.mp3"));
    EXPECT_EQ(lib_.list.count(), 3);
    EXPECT_EQ(lib_.list.itemIndex(), 2);
}

TEST_F(LibraryProcessFile, DeleteFromDiskRemovesFileThenEntry) {
    writeSong(at("a.mp3"), "A", "T", 3);
    writeSong(at("b.mp3"), "B", "T", 3);
    lib_.ProcessFile(at("a.mp3"));
    lib_.ProcessFile(at("b.mp3"));
    lib_.list.select(0);
    EXPECT_FALSE(lib_.deleteCurrentFromDisk());
    EXPECT_FALSE(QFileInfo::exists(at("a.mp3")));
    EXPECT_EQ(lib_.list.filenamelist(), QStringList({at("b.mp3")}));
    EXPECT_EQ(lib_.categories.count(3), 1);
    EXPECT_EQ(lib_.list.itemIndex(), 0);
}

TEST_F(LibraryProcessFile, FailedDeleteKeepsTheEntry) {
    QDir().mkpath(at("ro"));
    writeSong(at("ro/a.mp3"));
    lib_.ProcessFile(at("ro/a.mp3"));
    lib_.list.select(0);
    openUp(dir_);
    ::chmod(QFile::encodeName(at("ro")).constData(), 0555);
    std::optional<QString> error;
    {
        AsOrdinaryUser user;
        if (!user.active()) {
            GTEST_SKIP() << "cannot drop to an ordinary user";
        }
        error = lib_.deleteCurrentFromDisk();
    }
    ::chmod(QFile::encodeName(at("ro")).constData(), 0755);
    EXPECT_TRUE(error);
    EXPECT_TRUE(QFileInfo::exists(at("ro/a.mp3")));
    EXPECT_EQ(lib_.list.count(), 1);
}

} // namespace

namespace {

TEST(LibrarySongListColours, PlayingSongOutranksPlayedUnderShuffle) {
    SongList list;
    list.append("/a", "a", 0, true);
    list.append("/b", "b", 0, true);
    list.append("/a", "a again", 0, true);
    list.removeNotPlayedAt(0); // "/a" played once
    list.removeNotPlayedAt(1); // the second "/a" too
    EXPECT_EQ(list.entryMark(0, true, "/a"), SongList::EntryMark::Playing);
    EXPECT_EQ(list.entryMark(2, true, "/a"), SongList::EntryMark::Played);
    EXPECT_EQ(list.entryMark(1, true, "/a"), SongList::EntryMark::Normal);
    EXPECT_EQ(list.entryMark(2, false, "/a"), SongList::EntryMark::Normal);
    EXPECT_EQ(list.entryMark(0, false, ""), SongList::EntryMark::Normal);
}

TEST_F(LibraryProcessFile, FilterMovesOnOnlyWhenThePlayingGenreIsNotTicked) {
    writeSong(at("rock.mp3"), "A", "T", 17);
    writeSong(at("blues.mp3"), "B", "T", 0);
    lib_.ProcessFile(at("rock.mp3"));
    lib_.ProcessFile(at("blues.mp3"));
    EXPECT_FALSE(lib_.checksomechecked(at("blues.mp3")));
    ASSERT_TRUE(lib_.categories.setChecked(17, true));
    EXPECT_TRUE(lib_.checksomechecked(at("blues.mp3")));
    EXPECT_FALSE(lib_.checksomechecked(at("rock.mp3")));
    EXPECT_FALSE(lib_.checksomechecked({}));
    ASSERT_TRUE(lib_.categories.setChecked(17, false));
    EXPECT_FALSE(lib_.checksomechecked(at("blues.mp3")));
    EXPECT_FALSE(lib_.categories.CategoryFilterActive());
}

TEST_F(LibraryProcessFile, GenreChangeRewritesTheTagAndMovesOneCount) {
    writeSong(at("blues.mp3"), "B", "T", 0);
    writeSong(at("rock.mp3"), "A", "T", 17);
    writeFile(at("bare.mp3"), QByteArray(128, 'x'));
    lib_.ProcessFile(at("blues.mp3"));
    lib_.ProcessFile(at("rock.mp3")); // the last lookup is about another song
    ASSERT_FALSE(lib_.changePlayingSongGenre(at("blues.mp3"), 8));
    EXPECT_EQ(lib_.categories.count(0), 0);
    EXPECT_FALSE(lib_.categories.isEnabled(0));
    EXPECT_EQ(lib_.categories.count(8), 1);
    EXPECT_EQ(lib_.categories.count(17), 1);
    EXPECT_EQ(lib_.tags.getInfo(at("blues.mp3"), TagField::Genre), "Jazz");
    EXPECT_EQ(lib_.tags.getInfo(at("blues.mp3"), TagField::Artist), "B");
    EXPECT_EQ(lib_.tags.getInfo(at("blues.mp3"), TagField::Year), "1999");
    // List entries keep the genre they were added with.
    EXPECT_EQ(lib_.list.genre(0), 0);

    // A song without a tag gets its own (empty) texts, not a placeholder.
    ASSERT_FALSE(lib_.changePlayingSongGenre(at("bare.mp3"), 17));
    const QByteArray bare = readAll(at("bare.mp3"));
    EXPECT_EQ(bare.right(128), QByteArray("TAG") + QByteArray(124, ' ') + char(17));

    EXPECT_TRUE(lib_.changePlayingSongGenre({}, 8));
    EXPECT_TRUE(lib_.changePlayingSongGenre(at("gone.mp3"), 8));
    EXPECT_EQ(lib_.categories.count(8), 1);
    EXPECT_EQ(GenreCategories::changeCategoryCaption(0, 8),
              "Change playing songs category from Blues to Jazz");
    EXPECT_EQ(GenreCategories::changeCategoryCaption(NO_GENRE, 17),
              "Change playing songs category from  to Rock");
}

TEST_F(LibraryProcessFile, CopySongsCopiesInOrderAndReportsFailures) {
    writeSong(at("src/a.mp3"));
    writeSong(at("src/b.mp3"));
    QDir().mkpath(at("dest"));
    lib_.ProcessFile(at("src/a.mp3"));
    lib_.ProcessFile(at("src/b.mp3"));
    lib_.ProcessFile(at("src/a.mp3")); // the same name again cannot be copied twice
    std::vector<int> seen;
    const QStringList failed = lib_.copySongs(at("dest"), [&](int done, int total) {
        EXPECT_EQ(total, 3);
        seen.push_back(done);
        return true;
    });
    EXPECT_EQ(failed, QStringList({at("src/a.mp3")}));
    EXPECT_EQ(seen, std::vector<int>({1, 2, 3}));
    EXPECT_EQ(readAll(at("dest/b.mp3")), readAll(at("src/b.mp3")));
    EXPECT_EQ(lib_.list.count(), 3);
}

} // namespace

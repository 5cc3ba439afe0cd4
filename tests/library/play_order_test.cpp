#include "genre_categories.h"
#include "play_order.h"
#include "song_list.h"

#include "library_test_support.h"

#include <gtest/gtest.h>

#include <deque>

using namespace velbrin::library;

namespace {

// Songs given as (path, genre); the random source plays back scripted draws
// and records the ranges it was asked for.
class LibraryPlayOrder : public ::testing::Test {
protected:
    LibraryPlayOrder() : order_(list_, cats_, [this](int n) { return draw(n); }) {}

    void songs(std::initializer_list<std::pair<const char *, int>> entries) {
        for (const auto &[path, genre] : entries) {
            list_.append(path, path, genre, order_.modes.shuffle);
            cats_.addSong(genre);
        }
    }
    void numbered(int n, int genre = 1) {
        for (int i = 0; i < n; ++i) {
            list_.append(QString("/m/%1.mp3").arg(i), "x", genre, order_.modes.shuffle);
            cats_.addSong(genre);
        }
    }
    void filterOn(std::initializer_list<int> rows) {
        for (int row : rows) {
            ASSERT_TRUE(cats_.setChecked(row, true));
        }
        cats_.reevaluate();
        ASSERT_TRUE(cats_.CategoryFilterActive());
    }
    int draw(int n) {
        ranges_.push_back(n);
        if (draws_.empty()) {
            return 0;
        }
        const int r = draws_.front();
        draws_.pop_front();
        EXPECT_LT(r, n);
        return r;
    }
    NavButtons buttons(bool prevSong, bool nextSong, bool prevFolder, bool nextFolder) {
        return {prevSong, nextSong, prevFolder, nextFolder};
    }

    SongList list_;
    GenreCategories cats_;
    PlayOrder order_;
    std::deque<int> draws_;
    std::vector<int> ranges_;
};

TEST_F(LibraryPlayOrder, InitButtonsOnEveryPosition) {
    EXPECT_EQ(order_.initButtons(), buttons(false, false, false, false));
    numbered(1);
    list_.select(0);
    EXPECT_EQ(order_.initButtons(), buttons(false, false, true, false));
    numbered(3);
    list_.select(0);
    EXPECT_EQ(order_.initButtons(), buttons(false, true, false, true));
    list_.select(2);
    EXPECT_EQ(order_.initButtons(), buttons(true, true, true, true));
    list_.select(3);
    EXPECT_EQ(order_.initButtons(), buttons(true, false, true, false));
    list_.select(-1);
    EXPECT_EQ(order_.initButtons(), buttons(false, true, false, false));
}

TEST_F(LibraryPlayOrder, InitButtonsUnderShuffle) {
    numbered(3);
    order_.modes.shuffle = true;
    list_.select(2);
    EXPECT_EQ(order_.initButtons().nextSong, false); // nothing left to play
    list_.refillNotPlayed();
    EXPECT_EQ(order_.initButtons().nextSong, true);
    list_.clear(cats_);
    numbered(3);
    list_.select(2);
    order_.modes.repeatAll = true;
    EXPECT_EQ(order_.initButtons().nextSong, true);
}

TEST_F(LibraryPlayOrder, StepPlaysNeighboursAndIgnoresStepsPastTheEnds) {
    numbered(3);
    list_.select(1);
    EXPECT_EQ(order_.StepSong(+1), NavOutcome::PlaySelection);
    EXPECT_EQ(list_.itemIndex(), 2);
    EXPECT_EQ(order_.StepSong(+1), NavOutcome::RefreshButtons);
    EXPECT_EQ(list_.itemIndex(), 2);
    list_.select(0);
    EXPECT_EQ(order_.StepSong(-1), NavOutcome::RefreshButtons);
    EXPECT_EQ(list_.itemIndex(), 0);
    list_.select(-1);
    EXPECT_EQ(order_.StepSong(+1), NavOutcome::RefreshButtons);
    list_.clear(cats_);
    EXPECT_EQ(order_.StepSong(+1), NavOutcome::RefreshButtons);
}

TEST_F(LibraryPlayOrder, FilteredStepSkipsOtherGenresAndStopsAtTheEnd) {
    songs({{"/a/0.mp3", 1}, {"/a/1.mp3", 2}, {"/a/2.mp3", 255}, {"/a/3.mp3", 1}, {"/a/4.mp3", 2}});
    filterOn({1});
    list_.select(0);
    EXPECT_EQ(order_.StepSong(+1), NavOutcome::PlaySelection);
    EXPECT_EQ(list_.itemIndex(), 3);
    // The last passing song: next does nothing, the walk ends on the last entry.
    EXPECT_EQ(order_.StepSong(+1), NavOutcome::RefreshButtons);
    EXPECT_EQ(list_.itemIndex(), 4);
    list_.select(3);
    EXPECT_EQ(order_.StepSong(-1), NavOutcome::PlaySelection);
    EXPECT_EQ(list_.itemIndex(), 0);
}

TEST_F(LibraryPlayOrder, FilteredStepWrapsWithAllSongsAndGivesUpAfterTwoRounds) {
    songs({{"/a/0.mp3", 1}, {"/a/1.mp3", 2}, {"/a/2.mp3", 2}});
    filterOn({1});
    order_.modes.repeatAll = true;
    list_.select(0);
    EXPECT_EQ(order_.StepSong(+1), NavOutcome::PlaySelection);
    EXPECT_EQ(list_.itemIndex(), 0);
    EXPECT_EQ(order_.StepSong(-1), NavOutcome::PlaySelection);
    EXPECT_EQ(list_.itemIndex(), 0);
}

TEST_F(LibraryPlayOrder, FilterWithNoPlayableSongDoesNothing) {
    songs({{"/a/0.mp3", 1}, {"/a/1.mp3", 255}, {"/a/2.mp3", 115}});
    // A ticked genre no entry carries: the categories window moved the playing
    // song's count to it, while list entries keep the genre they were added with.
    cats_.addSong(7);
    filterOn({7});
    order_.modes.repeatAll = true;
    list_.select(1);
    EXPECT_EQ(order_.StepSong(+1), NavOutcome::RefreshButtons);
    EXPECT_EQ(order_.StepSong(-1), NavOutcome::RefreshButtons);
    list_.select(0);
    QString path;
    EXPECT_FALSE(order_.ChooseNextSong({}, path));
    EXPECT_TRUE(path.isEmpty());
    order_.modes.repeatAll = false;
    list_.select(0);
    EXPECT_EQ(order_.StepSong(+1), NavOutcome::RefreshButtons);
    EXPECT_EQ(list_.itemIndex(), 2);
}

TEST_F(LibraryPlayOrder, ShufflePicksFromNotPlayedAndRemovesThePick) {
    order_.modes.shuffle = true;
    numbered(4);
    list_.select(0);
    draws_ = {2, 0};
    ASSERT_TRUE(order_.PickShuffleSong());
    EXPECT_EQ(list_.path(list_.itemIndex()), "/m/2.mp3");
    EXPECT_EQ(list_.notplayedlist(), QStringList({"/m/0.mp3", "/m/1.mp3", "/m/3.mp3"}));
    EXPECT_EQ(order_.StepSong(-1), NavOutcome::PlaySelection);
    EXPECT_EQ(list_.path(list_.itemIndex()), "/m/0.mp3");
    EXPECT_EQ(ranges_, std::vector<int>({4, 3}));
}

TEST_F(LibraryPlayOrder, ShuffleRefillsOnlyWithAllSongs) {
    order_.modes.shuffle = true;
    numbered(2);
    list_.select(0);
    ASSERT_TRUE(order_.PickShuffleSong());
    ASSERT_TRUE(order_.PickShuffleSong());
    const int last = list_.itemIndex();
    EXPECT_FALSE(order_.PickShuffleSong());
    EXPECT_EQ(list_.itemIndex(), last);
    EXPECT_EQ(order_.StepSong(+1), NavOutcome::Nothing);
    EXPECT_FALSE(order_.initButtons().nextSong);
    order_.modes.repeatAll = true;
    draws_ = {1};
    EXPECT_TRUE(order_.PickShuffleSong());
    EXPECT_EQ(list_.itemIndex(), 1);
    EXPECT_EQ(list_.notplayedlist(), QStringList({"/m/0.mp3"}));
}

TEST_F(LibraryPlayOrder, FilteredShuffleSkipsOtherGenresAndFailsAfterOneRefill) {
    order_.modes.shuffle = true;
    songs({{"/a/0.mp3", 1}, {"/a/1.mp3", 2}, {"/a/2.mp3", 255}});
    filterOn({2});
    list_.select(0);
    draws_ = {0, 2, 1};
    ASSERT_TRUE(order_.PickShuffleSong());
    EXPECT_EQ(list_.path(list_.itemIndex()), "/a/1.mp3");
    EXPECT_EQ(list_.notplayedlist(), QStringList({"/a/0.mp3", "/a/2.mp3"}));
    // Only non-passing songs are left: fail without All songs...
    ranges_.clear();
    EXPECT_FALSE(order_.PickShuffleSong());
    EXPECT_EQ(ranges_.size(), 3u);
    // ...and after exactly one refill with it.
    order_.modes.repeatAll = true;
    ranges_.clear();
    draws_ = {0, 1, 0, 0, 2, 0, 0};
    EXPECT_FALSE(order_.PickShuffleSong());
    EXPECT_EQ(ranges_, std::vector<int>({2, 2, 2, 3, 3, 3, 3}));
    // A failed pick leaves the selection where it was.
    EXPECT_EQ(list_.itemIndex(), 1);
}

TEST_F(LibraryPlayOrder, ChooseNextSongHonoursRepeatModes) {
    numbered(3);
    list_.select(1);
    QString path;
    ASSERT_TRUE(order_.ChooseNextSong("/playing.mp3", path));
    EXPECT_EQ(path, "/m/2.mp3");
    EXPECT_FALSE(order_.ChooseNextSong("/playing.mp3", path));
    EXPECT_TRUE(path.isEmpty());
    order_.repeatAllClicked(true);
    ASSERT_TRUE(order_.ChooseNextSong("/playing.mp3", path));
    EXPECT_EQ(path, "/m/0.mp3");
    EXPECT_EQ(list_.itemIndex(), 0);
    order_.currentTrackClicked(true);
    EXPECT_FALSE(order_.modes.repeatAll);
    ASSERT_TRUE(order_.ChooseNextSong("/playing.mp3", path));
    EXPECT_EQ(path, "/playing.mp3");
    order_.repeatAllClicked(true);
    EXPECT_FALSE(order_.modes.currentTrack);
}

TEST_F(LibraryPlayOrder, ChooseNextSongWrapsOnlyToPlayableSongs) {
    songs({{"/a/0.mp3", 255}, {"/a/1.mp3", 4}, {"/a/2.mp3", 4}});
    filterOn({4});
    order_.modes.repeatAll = true;
    list_.select(2);
    QString path;
    ASSERT_TRUE(order_.ChooseNextSong({}, path));
    EXPECT_EQ(path, "/a/1.mp3");
    ASSERT_TRUE(order_.ChooseNextSong({}, path));
    EXPECT_EQ(path, "/a/2.mp3");
    order_.modes.repeatAll = false;
    EXPECT_FALSE(order_.ChooseNextSong({}, path));
}

TEST_F(LibraryPlayOrder, ShuffleClickRefillsAndAsksForASongOnlyWhenSwitchedOn) {
    numbered(3);
    EXPECT_TRUE(order_.shuffleClicked(true));
    EXPECT_EQ(list_.notplayedlist().size(), 3);
    list_.removeNotPlayedAt(0);
    EXPECT_FALSE(order_.shuffleClicked(false));
    EXPECT_EQ(list_.notplayedlist().size(), 3);
}

TEST_F(LibraryPlayOrder, NextFolderPlaysTheFirstSongOfTheNextFolder) {
    songs({{"/a/1.mp3", 1},
           {"/a/2.mp3", 1},
           {"/b/1.mp3", 1},
           {"/b/2.mp3", 1},
           {"/c/1.mp3", 1},
           {"/c/2.mp3", 1}});
    list_.select(0);
    EXPECT_EQ(order_.MoveToDirectory(true), NavOutcome::PlaySelection);
    EXPECT_EQ(list_.itemIndex(), 2);
    EXPECT_EQ(order_.MoveToDirectory(true), NavOutcome::PlaySelection);
    EXPECT_EQ(list_.itemIndex(), 4);
    EXPECT_EQ(order_.MoveToDirectory(true), NavOutcome::RefreshButtons);
    EXPECT_EQ(list_.itemIndex(), 5);
}

TEST_F(LibraryPlayOrder, PreviousFolderPlaysTheFirstSongOfThePreviousFolder) {
    songs({{"/a/1.mp3", 1},
           {"/a/2.mp3", 1},
           {"/b\\1.mp3", 1},
           {"/b\\2.mp3", 1},
           {"/c/1.mp3", 1},
           {"/c/2.mp3", 1}});
    list_.select(5);
    EXPECT_EQ(order_.MoveToDirectory(false), NavOutcome::PlaySelection);
    EXPECT_EQ(list_.itemIndex(), 2);
    EXPECT_EQ(order_.MoveToDirectory(false), NavOutcome::PlaySelection);
    EXPECT_EQ(list_.itemIndex(), 0);
    list_.select(1);
    EXPECT_EQ(order_.MoveToDirectory(false), NavOutcome::PlaySelection);
    EXPECT_EQ(list_.itemIndex(), 0);
    list_.clear(cats_);
    EXPECT_EQ(order_.MoveToDirectory(false), NavOutcome::Nothing);
}

TEST(LibraryFolders, FolderIsEverythingUpToTheLastSeparator) {
    EXPECT_EQ(PlayOrder::folderOf("/music/a/song.mp3"), "/music/a/");
    EXPECT_EQ(PlayOrder::folderOf("C:\\music\\song.mp3"), "C:\\music\\");
    EXPECT_EQ(PlayOrder::folderOf("song.mp3"), "");
}

} // namespace

#include "library_test_support.h"
#include "playlist_files.h"
#include "song_library.h"

#include <QTemporaryDir>

using namespace velbrin::library;
using namespace velbrin::library::test;

namespace {

class LibraryPlaylists : public ::testing::Test {
protected:
    QString at(const QString &name) const { return dir_.filePath(name); }
    void write(const QString &name, const QByteArray &bytes) {
        QFile f(at(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray local(const QString &name) const { return at(name).toLocal8Bit(); }
    QTemporaryDir dir_;
    SongLibrary lib_;
};

TEST_F(LibraryPlaylists, LstRoundTripGivesTheSameList) {
    writeSong(at("one.mp3"), "A1", "T1", 1);
    writeSong(at("two.mp3"), "A2", "T2", 2);
    writeSong(at("three.mp3"), "A3", "T3", 3);
    const QStringList songs = {at("one.mp3"), at("two.mp3"), at("three.mp3")};
    ASSERT_FALSE(writeLstPlaylist(at("list.lst"), songs));
    const QByteArray bytes = readAll(at("list.lst"));
    EXPECT_EQ(bytes,
              local("one.mp3") + "\r\n" + local("two.mp3") + "\r\n" + local("three.mp3") + "\r\n");
    const auto result = lib_.ProcessFile2(at("list.lst"));
    EXPECT_EQ(result.added, 3);
    EXPECT_FALSE(result.message);
    EXPECT_EQ(lib_.list.filenamelist(), songs);
    EXPECT_EQ(lib_.list.realnamelist(),
              QStringList({"A1, Album, T1", "A2, Album, T2", "A3, Album, T3"}));
}

TEST_F(LibraryPlaylists, SavingReplacesTheOldFileWhole) {
    write("list.lst", QByteArray(5000, 'o'));
    ASSERT_FALSE(writeLstPlaylist(at("list.lst"), {"/x.mp3"}));
    EXPECT_EQ(readAll(at("list.lst")), "/x.mp3\r\n");
    const auto error = writeLstPlaylist(at("no/such/folder/list.lst"), {"/x.mp3"});
    EXPECT_TRUE(error);
}

TEST_F(LibraryPlaylists, BlankMissingAndJunkLinesAddNothingAndLoseNothingAfter) {
    writeSong(at("good1.mp3"));
    writeSong(at("good2.mp3"));
    writeFile(at("short.mp3"), "", 7);
    static constexpr char junk[] = "\x01\xff junk \x00 line";
    write("mixed.lst", "\r\n" + local("missing.mp3") + "\r\n" + local("good1.mp3") + "\r\n" +
                           QByteArray(junk, sizeof junk - 1) + "\r\n" + local("short.mp3") + "\n" +
                           local("good2.mp3"));
    const auto result = lib_.ProcessFile2(at("mixed.lst"));
    EXPECT_FALSE(result.message);
    EXPECT_EQ(lib_.list.filenamelist(),
              QStringList({at("good1.mp3"), at("short.mp3"), at("good2.mp3")}));
}

TEST_F(LibraryPlaylists, LinesAreTakenUntrimmedAndRelativeToTheWorkingFolder) {
    writeSong(at("song.mp3"));
    write("spaced.lst", " " + local("song.mp3") + "\r\n");
    EXPECT_EQ(readPlaylist(at("spaced.lst")).paths, QStringList({" " + at("song.mp3")}));
    write("rel.lst", "song.mp3\r\n");
    EXPECT_EQ(readPlaylist(at("rel.lst")).paths, QStringList({"song.mp3"}));
}

TEST_F(LibraryPlaylists, PlsTakesFileLinesRelativeToItsFolder) {
    writeSong(at("sub/a.mp3"));
    writeSong(at("b.mp3"));
    writeSong(at("c d.mp3"));
    write("sub/list.pls", "[playlist]\r\nFile1=a.mp3\r\nTitle1=Song A\r\nLength1=100\r\n"
                          "file2=../b.mp3\r\nFile3=" +
                              local("c d.mp3") +
                              "\r\nFileX=nope\r\nNumberOfEntries=3\r\nVersion=2\r\n");
    const auto result = lib_.ProcessFile2(at("sub/list.pls"));
    EXPECT_EQ(result.added, 3);
    EXPECT_EQ(lib_.list.filenamelist(), QStringList({at("sub/a.mp3"), at("b.mp3"), at("c d.mp3")}));
}

TEST_F(LibraryPlaylists, M3uSkipsCommentsAndM3u8IsUtf8) {
    const QString accented = at(QString::fromUtf8("m/Ünïcödé.mp3"));
    writeSong(at("m/plain.mp3"));
    writeSong(accented);
    write("m/list.m3u", "#EXTM3U\n#EXTINF:123,Artist - Title\nplain.mp3\n\n# comment\n" +
                            local("m/plain.mp3") + "\n");
    EXPECT_EQ(readPlaylist(at("m/list.m3u")).paths,
              QStringList({at("m/plain.mp3"), at("m/plain.mp3")}));
    write("m/list.m3u8",
          "\xEF\xBB\xBF#EXTM3U\r\n" + QString::fromUtf8("Ünïcödé.mp3").toUtf8() + "\r\n");
    lib_.ProcessFile2(at("m/list.m3u8"));
    EXPECT_EQ(lib_.list.filenamelist(), QStringList({accented}));
}

TEST_F(LibraryPlaylists, BackslashSeparatorsAreAccepted) {
    writeSong(at("f/g/song.mp3"));
    write("f/list.m3u", "g\\song.mp3\r\n");
    write("list.lst", (dir_.path() + "\\f\\g\\song.mp3").toLocal8Bit() + "\r\n");
    EXPECT_EQ(readPlaylist(at("f/list.m3u")).paths, QStringList({at("f/g/song.mp3")}));
    EXPECT_EQ(readPlaylist(at("list.lst")).paths, QStringList({at("f/g/song.mp3")}));
}

TEST_F(LibraryPlaylists, UnreadablePlaylistGivesTheMessage) {
    const auto result = lib_.ProcessFile2(at("absent.lst"));
    EXPECT_EQ(result.added, 0);
    ASSERT_TRUE(result.message);
    EXPECT_TRUE(result.message->startsWith("An error occured while searching the PlayList "
                                           "file!\r\r"));
}

TEST(LibraryPlaylistMessages, UnmeasuredSongsAreListedOnePerLine) {
    EXPECT_EQ(unmeasuredSongsMessage({"/a.mp3", "/b.mp3"}),
              "Following songs could not be opened and added to total playlisttime:\r"
              "/a.mp3\r\n/b.mp3\r\n");
}

TEST_F(LibraryPlaylists, LastPlayStartsAfreshAfterStopAndAppendsOtherwise) {
    LastPlayLog log(at("lastplay.txt"));
    write("lastplay.txt", "old\r\n");
    EXPECT_TRUE(log.addSong2TextFile("/one.mp3"));
    EXPECT_TRUE(log.addSong2TextFile("/two.mp3"));
    EXPECT_EQ(readAll(at("lastplay.txt")), "/one.mp3\r\n/two.mp3\r\n");
    log.markStopped();
    EXPECT_TRUE(log.addSong2TextFile("/three.mp3"));
    EXPECT_EQ(readAll(at("lastplay.txt")), "/three.mp3\r\n");
}

TEST_F(LibraryPlaylists, LastPlayFailureKeepsTheFirstWriteState) {
    QDir().mkpath(at("blocked"));
    LastPlayLog log(at("blocked"));
    EXPECT_FALSE(log.addSong2TextFile("/one.mp3"));
    EXPECT_TRUE(log.LastPlayFirstWrite);
}

TEST_F(LibraryPlaylists, LastPlayGoesToTheUserFolderWhenTheProgramFolderIsClosed) {
    QDir().mkpath(at("program"));
    QDir().mkpath(at("user"));
    openUp(dir_);
    ::chmod(QFile::encodeName(at("program")).constData(), 0555);
    QString chosen;
    {
        AsOrdinaryUser user;
        if (!user.active()) {
            GTEST_SKIP() << "cannot drop to an ordinary user";
        }
        chosen = lastPlayPath(at("program"), at("user"));
    }
    EXPECT_EQ(chosen, at("user/lastplay.txt"));
    ::chmod(QFile::encodeName(at("program")).constData(), 0755);
    EXPECT_EQ(lastPlayPath(at("program"), at("user")), at("program/lastplay.txt"));
}

} // namespace

namespace {

TEST_F(LibraryPlaylists, OverlongLinesAreSkippedWithoutLosingTheNext) {
    writeSong(at("a.mp3"));
    writeSong(at("b.mp3"));
    write("long.lst", local("a.mp3") + "\n" + QByteArray(200000, 'x') + "\n" + local("b.mp3"));
    EXPECT_EQ(readPlaylist(at("long.lst")).paths, QStringList({at("a.mp3"), at("b.mp3")}));
    write("tail.lst", local("a.mp3") + "\r\n" + QByteArray(100000, 'y'));
    EXPECT_EQ(readPlaylist(at("tail.lst")).paths, QStringList({at("a.mp3")}));
}

} // namespace

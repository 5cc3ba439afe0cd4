#include "folder_walk.h"
#include "library_test_support.h"

#include <QTemporaryDir>

#include <filesystem>

#include <sys/stat.h>
#include <sys/types.h>

using namespace velbrin::library;
using namespace velbrin::library::test;

namespace {

class LibraryWalk : public ::testing::Test {
protected:
    QString at(const QString &relative) const { return dir_.filePath(relative); }
    QStringList walk(const QString &start, WalkReport *report = nullptr) {
        QStringList found;
        const WalkReport r = ScanDir(start, [&](const QString &p) { found.append(p); });
        if (report != nullptr) {
            *report = r;
        }
        return found;
    }
    QTemporaryDir dir_;
};

TEST_F(LibraryWalk, ExtensionsAreMatchedFromTheLastDotIgnoringCase) {
    for (const char *name :
         {"a.mp3", "b.Mp3", "c.mp2", "d.MP1", "e.mp3.bak", "f.mpg", "noext", "g.lst", "mp3"}) {
        writeSong(at(QString("music/") + name));
    }
    QDir().mkpath(at("music/folder.mp3"));
    QStringList found = walk(at("music"));
    found.sort();
    EXPECT_EQ(found, QStringList({at("music/a.mp3"), at("music/b.Mp3"), at("music/c.mp2"),
                                  at("music/d.MP1")}));
}

TEST_F(LibraryWalk, TrailingSeparatorWalksTheSameFolderWithTheSamePaths) {
    writeSong(at("m/one.mp3"));
    const QStringList plain = walk(at("m"));
    EXPECT_EQ(walk(at("m") + "/"), plain);
    EXPECT_EQ(walk(at("m") + "//"), plain);
    EXPECT_EQ(plain, QStringList({at("m/one.mp3")}));
}

TEST_F(LibraryWalk, SubfoldersAreWalkedBeforeTheNextEntryOfTheirFolder) {
    for (const char *name : {"top/a.mp3", "top/x/b.mp3", "top/x/deep/c.mp3", "top/x/d.mp3",
                             "top/y/e.mp3", "top/y/deeper/f.mp3", "top/z.mp3"}) {
        writeSong(at(name));
    }
    const QStringList found = walk(at("top"));
    ASSERT_EQ(found.size(), 7);
    // Whatever order the file system lists a folder in, each folder's songs
    // form one unbroken run that contains the runs of its subfolders. With two
    // folders that each hold a subfolder, a breadth-first walk breaks a run in
    // any listing order.
    for (const char *folder : {"top/x/", "top/x/deep/", "top/y/", "top/y/deeper/"}) {
        qsizetype first = -1;
        qsizetype last = -1;
        for (qsizetype i = 0; i < found.size(); ++i) {
            if (found[i].startsWith(at(folder))) {
                first = first < 0 ? i : first;
                last = i;
            }
        }
        for (qsizetype i = first; i <= last; ++i) {
            EXPECT_TRUE(found[i].startsWith(at(folder))) << folder << " broken at " << i;
        }
    }
}

TEST_F(LibraryWalk, EntriesAreWalkedInNameOrderIgnoringLetterCase) {
    // Created out of order, so a walk in creation or hash order would differ.
    for (const char *name :
         {"o/c.mp3", "o/A.mp3", "o/b/2.mp3", "o/B1.mp3", "o/b/1.mp3", "o/a0.mp3"}) {
        writeSong(at(name));
    }
    EXPECT_EQ(walk(at("o")), QStringList({at("o/A.mp3"), at("o/a0.mp3"), at("o/b/1.mp3"),
                                          at("o/b/2.mp3"), at("o/B1.mp3"), at("o/c.mp3")}));
}

TEST_F(LibraryWalk, LinkLoopsAreVisitedOnceAndLinkedSongsAdded) {
    writeSong(at("loop/a.mp3"));
    writeSong(at("loop/sub/b.mp3"));
    writeSong(at("elsewhere/c.mp3"));
    std::filesystem::create_directory_symlink(at("loop").toStdString(),
                                              at("loop/sub/back").toStdString());
    std::filesystem::create_directory_symlink(at("elsewhere").toStdString(),
                                              at("loop/away").toStdString());
    std::filesystem::create_symlink(at("elsewhere/c.mp3").toStdString(),
                                    at("loop/link.mp3").toStdString());
    std::filesystem::create_symlink(at("nothing.mp3").toStdString(),
                                    at("loop/dangling.mp3").toStdString());
    QStringList found = walk(at("loop"));
    found.sort();
    EXPECT_EQ(found, QStringList({at("loop/a.mp3"), at("loop/away/c.mp3"), at("loop/link.mp3"),
                                  at("loop/sub/b.mp3")}));
}

TEST_F(LibraryWalk, OnlyRegularFilesAreAdded) {
    writeSong(at("special/real.mp3"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("special/pipe.mp3")).constData(), 0644), 0);
    EXPECT_EQ(walk(at("special")), QStringList({at("special/real.mp3")}));
}

TEST_F(LibraryWalk, ShortFilesAndUnreadableFoldersNeverEndTheWalk) {
    writeFile(at("w/short.mp3"), "", 20);
    writeSong(at("w/closed/hidden.mp3"));
    writeSong(at("w/open/seen.mp3"));
    writeSong(at("w/z.mp3"));
    openUp(dir_);
    for (const char *d : {"w", "w/open"}) {
        ::chmod(QFile::encodeName(at(d)).constData(), 0755);
    }
    ::chmod(QFile::encodeName(at("w/closed")).constData(), 0);
    QStringList found;
    WalkReport report;
    {
        AsOrdinaryUser user;
        if (!user.active()) {
            ::chmod(QFile::encodeName(at("w/closed")).constData(), 0755);
            GTEST_SKIP() << "cannot drop to an ordinary user";
        }
        found = walk(at("w"), &report);
    }
    ::chmod(QFile::encodeName(at("w/closed")).constData(), 0755);
    found.sort();
    EXPECT_EQ(found, QStringList({at("w/open/seen.mp3"), at("w/short.mp3"), at("w/z.mp3")}));
    EXPECT_EQ(report.unreadableFolders, 1);
}

TEST_F(LibraryWalk, NamesTheLocaleCannotExpressAreSkippedNotFatal) {
    writeSong(at("enc/good.mp3"));
    const QByteArray bad = QFile::encodeName(at("enc")) + "/bad\xff\xfe.mp3";
    {
        // Written through the raw name, as another program would have.
        FILE *raw = std::fopen(bad.constData(), "wb");
        ASSERT_NE(raw, nullptr);
        std::fputs("x", raw);
        std::fclose(raw);
    }
    WalkReport report;
    // Such a name cannot come back from text to the same bytes, so it could
    // never be opened from the list: it is passed over and counted.
    EXPECT_EQ(walk(at("enc"), &report), QStringList({at("enc/good.mp3")}));
    EXPECT_EQ(report.unrepresentableNames, 1);
}

TEST_F(LibraryWalk, MissingFolderAddsNothing) {
    WalkReport report;
    EXPECT_TRUE(walk(at("absent"), &report).isEmpty());
    EXPECT_EQ(report.unreadableFolders, 1);
}

TEST_F(LibraryWalk, DropKeepsOrderSkipsRepeatsAndAppliesDropRules) {
    writeSong(at("drop/folder/in.mp3"));
    writeSong(at("drop/song.MP3"));
    writeSong(at("drop/other.mp2"));
    writeFile(at("drop/list.lst"), "");
    writeFile(at("drop/list.m3u8"), "");
    writeFile(at("drop/notes.txt"), "");
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("drop/pipe.mp3")).constData(), 0644), 0);
    // Longer than any fixed name buffer: taken whole.
    const QString longName = at("drop/" + QString(200, 'd') + "/" + QString(200, 'n') + ".mp3");
    writeSong(longName);
    const auto plan =
        planDrop({at("drop/folder"), at("drop/song.MP3"), at("drop/song.MP3"), at("drop/other.mp2"),
                  at("drop/notes.txt"), at("drop/pipe.mp3"), at("drop/list.lst"),
                  at("drop/gone.mp3"), at("drop/song.MP3"), at("drop/list.m3u8"), longName});
    using K = DropAction::Kind;
    const std::vector<DropAction> expected = {{K::Folder, at("drop/folder")},
                                              {K::Song, at("drop/song.MP3")},
                                              {K::Song, at("drop/other.mp2")},
                                              {K::Playlist, at("drop/list.lst")},
                                              {K::Song, at("drop/song.MP3")},
                                              {K::Playlist, at("drop/list.m3u8")},
                                              {K::Song, longName}};
    EXPECT_EQ(plan, expected);
}

} // namespace

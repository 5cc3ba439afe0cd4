// Inputs the fuzzers found that the readers once mishandled, kept so the
// mends stay.
#include "library_test_support.h"
#include "playlist_files.h"

#include <QTemporaryDir>

using namespace velbrin::library;
using namespace velbrin::library::test;

// A "file:" line that is no valid address ("file://" and a host with spaces)
// once came out as an empty candidate path.
TEST(LibraryReaderFindings, InvalidFileAddressLineIsSkipped) {
    QTemporaryDir dir;
    for (const char *name : {"list.lst", "list.pls", "list.m3u", "list.m3u8"}) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QString::fromLatin1(name));
        const QByteArray line = QByteArray(name).endsWith(".pls") ? "File1=" : "";
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(line + "file://tist - Title\r\n" + line + "/music/kept.mp3\r\n");
        file.close();
        const PlaylistContents read = readPlaylist(path);
        EXPECT_EQ(read.paths, QStringList{QStringLiteral("/music/kept.mp3")});
    }
}

// Byte-order marks at the start of a later line (playlists joined end to end)
// once stayed in the path in one format and not in another, so a list saved
// from what was read did not read back the same.
TEST(LibraryReaderFindings, ByteOrderMarksOpeningAnyLineAreDropped) {
    QTemporaryDir dir;
    for (const char *name : {"list.lst", "list.m3u", "list.m3u8"}) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\xEF\xBB\xBF/music/a.mp3\n\xEF\xBB\xBF\xEF\xBB\xBF/music/b.mp3\n");
        file.close();
        const QStringList expected{QStringLiteral("/music/a.mp3"), QStringLiteral("/music/b.mp3")};
        EXPECT_EQ(readPlaylist(path).paths, expected);
        const QString saved = dir.filePath(QStringLiteral("saved.lst"));
        ASSERT_FALSE(writeLstPlaylist(saved, expected));
        EXPECT_EQ(readPlaylist(saved).paths, expected);
    }
}

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

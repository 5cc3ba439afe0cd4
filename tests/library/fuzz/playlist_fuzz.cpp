// Reads arbitrary bytes as a playlist of every kind the program knows. The
// readers must finish on any content with candidates that are never empty
// and never more than the file has lines; a list saved from what was read
// reads back as the same list.
#include "playlist_files.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

using namespace velbrin::library;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static int argc = 1;
    static char program[] = "playlist_fuzz";
    static char *argv[] = {program, nullptr};
    static QCoreApplication app(argc, argv);
    static QTemporaryDir dir;

    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const qsizetype lines = bytes.count('\n') + 1;
    for (const char *name : {"list.lst", "list.pls", "list.m3u", "list.m3u8"}) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(bytes) != bytes.size())
            std::abort();
        file.close();
        const PlaylistContents read = readPlaylist(path);
        if (read.error || read.paths.size() > lines)
            std::abort();
        for (const QString &entry : read.paths)
            if (entry.isEmpty())
                std::abort();
        const QString saved = dir.filePath(QStringLiteral("saved.lst"));
        if (writeLstPlaylist(saved, read.paths))
            std::abort();
        const PlaylistContents again = readPlaylist(saved);
        if (again.error || again.paths != read.paths)
            std::abort();
    }
    return 0;
}

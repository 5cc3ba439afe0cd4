// Reads and writes the tags of every song of the library benchmark's folder:
// one pass reading all six merged fields (ID3v2, APEv2, ID3v1) through the
// cached reader, the same fields through TagLib's own file scan as a peer, one
// pass writing each song's ID3v1 block back through the writer (the same bytes,
// so the data stays usable), and the same write in Windows-1251. A bare pass
// that only reads each file's last 128 bytes is the peer of them all.
//
// Usage: tag_bench DATA_DIR   (data from bench/library_make_data.sh)

#include "bench_report.h"
#include "id3v1.h"
#include "tag_encoding.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>

#include <taglib/mpegfile.h>
#include <taglib/tag.h>

#include <cstdio>

using namespace velbrin::library;

namespace {

QStringList songsUnder(const QString &folder) {
    QStringList paths;
    QDirIterator it(folder, {QStringLiteral("*.mp3")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        paths.append(it.next());
    }
    paths.sort();
    return paths;
}

double seconds(const QElapsedTimer &clock) {
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

void report(const char *name, long songs, double s, double peer) {
    std::printf("%-34s %6ld songs %8.3f s %8.1f us/song", name, songs, s,
                s * 1e6 / static_cast<double>(songs));
    velbrin::bench::endRow(s, peer, "bare read");
}

} // namespace

int main(int argc, char **argv) {
    if (!velbrin::bench::dataFolderGiven(argc, argv)) {
        return 2;
    }
    const QStringList songs = songsUnder(QDir(QString::fromLocal8Bit(argv[1])).filePath("music"));
    if (songs.isEmpty()) {
        return velbrin::bench::noData("songs", argv[1]);
    }
    const auto count = static_cast<long>(songs.size());

    QElapsedTimer clock;
    clock.start();
    long bare = 0;
    for (const QString &path : songs) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.seek(file.size() - TagBlockSize) &&
            file.read(TagBlockSize).startsWith("TAG")) {
            ++bare;
        }
    }
    const double bareSeconds = seconds(clock);

    clock.restart();
    long scanned = 0;
    for (const QString &path : songs) {
        TagLib::MPEG::File file(QFile::encodeName(path).constData(), false);
        const TagLib::Tag *tag = file.tag();
        if (tag != nullptr && !tag->artist().isEmpty() && !tag->title().isEmpty() &&
            !tag->album().isEmpty() && tag->year() != 0 && !tag->genre().isEmpty()) {
            scanned += tag->comment().isEmpty() ? 0 : 1;
        }
    }
    const double taglibSeconds = seconds(clock);

    TagReader reader;
    std::vector<TagContents> tags(songs.size());
    clock.restart();
    long read = 0;
    for (qsizetype i = 0; i < songs.size(); ++i) {
        TagContents &t = tags[static_cast<size_t>(i)];
        t.artist = reader.getInfo(songs[i], TagField::Artist);
        t.title = reader.getInfo(songs[i], TagField::Title);
        t.album = reader.getInfo(songs[i], TagField::Album);
        t.year = reader.getInfo(songs[i], TagField::Year);
        t.comment = reader.getInfo(songs[i], TagField::Comment);
        reader.getInfo(songs[i], TagField::Genre);
        t.genre = reader.LastGenreIndex;
        read += t.artist.isEmpty() ? 0 : 1;
    }
    const double readSeconds = seconds(clock);

    long failed[2] = {};
    double writeSeconds[2] = {};
    const TagEncoding encodings[2] = {TagEncoding::Latin1, TagEncoding::Windows1251};
    for (int e = 0; e < 2; ++e) {
        setTagEncoding(encodings[e]);
        clock.restart();
        for (qsizetype i = 0; i < songs.size(); ++i) {
            if (writeTagBlock(songs[i], buildTagBlock(tags[static_cast<size_t>(i)]))) {
                ++failed[e];
            }
        }
        writeSeconds[e] = seconds(clock);
    }

    report("bare read of the last 128 bytes", bare, bareSeconds, 0);
    report("read six fields (cached reader)", read, readSeconds, bareSeconds);
    report("the same through TagLib's file scan", scanned, taglibSeconds, bareSeconds);
    report("write tag (Latin-1)", count - failed[0], writeSeconds[0], bareSeconds);
    report("write tag (Windows-1251)", count - failed[1], writeSeconds[1], bareSeconds);
    const bool ok = failed[0] == 0 && failed[1] == 0 && read == bare && bare == count;
    std::printf("every tag read and written: %s\n", ok ? "yes" : "NO");
    return ok ? 0 : 1;
}

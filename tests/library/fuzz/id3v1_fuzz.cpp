// Feeds arbitrary file contents to the tag reader, writes back what it read
// and reads again. Properties: reading never fails on any content, a write
// keeps every byte in front of the tag and replaces an existing tag in place
// (or appends one), a chosen genre survives, and texts of printable ASCII
// come back exactly, also after a second save. (Other characters depend on
// the text encoding the tag is written in.)
#include "id3v1.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

using namespace velbrin::library;

namespace {

QString filePath() {
    static QTemporaryDir dir;
    return dir.filePath(QStringLiteral("song.mp3"));
}

void put(const QByteArray &bytes) {
    QFile file(filePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
}

QByteArray contents() {
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly))
        std::abort();
    return file.readAll();
}

TagContents readTag(TagReader &reader) {
    reader.forget();
    TagContents tag;
    tag.title = reader.getInfo(filePath(), TagField::Title);
    tag.artist = reader.getInfo(filePath(), TagField::Artist);
    tag.album = reader.getInfo(filePath(), TagField::Album);
    tag.year = reader.getInfo(filePath(), TagField::Year);
    tag.comment = reader.getInfo(filePath(), TagField::Comment);
    reader.getInfo(filePath(), TagField::Genre);
    tag.genre = reader.LastGenreIndex;
    return tag;
}

bool printableAscii(const QString &text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    return true;
}

bool sameTexts(const TagContents &a, const TagContents &b) {
    return a.title == b.title && a.artist == b.artist && a.album == b.album && a.year == b.year &&
           a.comment == b.comment;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static int argc = 1;
    static char name[] = "id3v1_fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    const QByteArray original(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    put(original);
    TagReader reader;
    const TagContents first = readTag(reader);
    const bool hadTag =
        original.size() >= TagBlockSize && original.right(TagBlockSize).startsWith("TAG");
    if (!hadTag && !sameTexts(first, TagContents{}))
        std::abort(); // fields out of a file without a tag

    if (writeTagBlock(filePath(), buildTagBlock(first)))
        std::abort();
    const QByteArray written = contents();
    const qsizetype kept = hadTag ? original.size() - TagBlockSize : original.size();
    if (written.size() != kept + TagBlockSize || written.left(kept) != original.left(kept))
        std::abort(); // the audio in front of the tag was touched
    const TagContents second = readTag(reader);
    const bool ascii =
        printableAscii(first.title + first.artist + first.album + first.year + first.comment);
    if (ascii && !sameTexts(first, second))
        std::abort();
    const bool genreKept = first.genre >= 0 && first.genre < GenreRowCount;
    if (genreKept ? second.genre != first.genre : second.genre != NO_GENRE)
        std::abort();

    if (writeTagBlock(filePath(), buildTagBlock(second)))
        std::abort();
    const TagContents third = readTag(reader);
    if ((ascii && !sameTexts(second, third)) || third.genre != second.genre)
        std::abort(); // a second save changed what the first one wrote
    return 0;
}

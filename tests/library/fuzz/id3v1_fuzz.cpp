// Feeds arbitrary file contents to the tag reader (ID3v2 and APEv2 through
// TagLib, ID3v1), writes back what it read and reads again. Properties:
// reading never fails on any content, a file without any tag gives no
// fields, a write
// keeps every byte in front of the tag and replaces an existing tag in place
// (or appends one), a chosen genre survives, and texts come back exactly,
// also after a second save: in the single-byte encodings every character but
// the controls that end or pad a field, in the system's encoding printable
// ASCII. The first byte of the input chooses the encoding.
#include "id3v1.h"
#include "tag_encoding.h"

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

// Whether the encoding promises to give `text` back byte for byte.
bool roundTrips(const QString &text, TagEncoding encoding) {
    const bool singleByte = encoding != TagEncoding::System;
    for (const QChar c : text)
        if (c.unicode() < 0x20 || (!singleByte && c.unicode() > 0x7E))
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
    const auto &encodings = allTagEncodings();
    const TagEncoding encoding = size > 0 ? encodings[data[0] % encodings.size()] : encodings[0];
    setTagEncoding(encoding);
    put(original);
    TagReader reader;
    const TagContents first = readTag(reader);
    const bool hadTag =
        original.size() >= TagBlockSize && original.right(TagBlockSize).startsWith("TAG");
    const bool hadOther = original.startsWith("ID3") || original.contains("APETAGEX");
    if (!hadTag && !hadOther && !sameTexts(first, TagContents{}))
        std::abort(); // fields out of a file without a tag

    if (writeTagBlock(filePath(), buildTagBlock(first)))
        std::abort();
    const QByteArray written = contents();
    const qsizetype kept = hadTag ? original.size() - TagBlockSize : original.size();
    if (written.size() != kept + TagBlockSize || written.left(kept) != original.left(kept))
        std::abort(); // the audio in front of the tag was touched
    const TagContents second = readTag(reader);
    // A file shorter than a block reads as unreadable, whatever ID3v2 tag it
    // starts with; once the block is added that tag is read.
    const bool exact =
        roundTrips(first.title + first.artist + first.album + first.year + first.comment,
                   encoding) &&
        original.size() >= TagBlockSize;
    if (exact && !sameTexts(first, second))
        std::abort();
    const bool genreKept = first.genre >= 0 && first.genre < GenreRowCount;
    if (genreKept ? second.genre != first.genre : second.genre != NO_GENRE)
        std::abort();

    if (writeTagBlock(filePath(), buildTagBlock(second)))
        std::abort();
    const TagContents third = readTag(reader);
    if ((exact && !sameTexts(second, third)) || third.genre != second.genre)
        std::abort(); // a second save changed what the first one wrote
    return 0;
}

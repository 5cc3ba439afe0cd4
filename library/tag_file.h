#pragma once

// The library's own way into TagLib: the tag regions of an MP3 file read with
// a few small reads, and those bytes parsed by TagLib from memory. TagLib's
// own file scan opens and searches each file more than once, which a walk of
// ten thousand songs would feel. Only the library's sources include this.

#include <QByteArray>
#include <QString>

#include <taglib/apetag.h>
#include <taglib/id3v2tag.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tfile.h>
#include <taglib/tstring.h>

#include <memory>

namespace velbrin::library::detail {

struct TagRegions {
    // A regular file that could be opened and was at least 128 bytes long.
    bool opened = false;
    qint64 size = 0;
    QByteArray id3v1;      // the last 128 bytes when they begin with "TAG"
    QByteArray id3v2;      // the whole ID3v2 tag at the start, header included
    QByteArray ape;        // an APEv2 tag's items and footer, before any ID3v1 block
    qint64 audioStart = 0; // the first byte after the ID3v2 tag
};

// Never blocks on a FIFO or a device named like a song. `withId3v2` false
// skips the ID3v2 tag's body (its size and the audio start are still known).
TagRegions readTagRegions(const QString &path, bool withId3v2 = true);

// A TagLib file over bytes in memory, for the tag classes that read from a
// file at an offset.
class MemoryTagFile final : public TagLib::File {
public:
    explicit MemoryTagFile(const QByteArray &bytes);
    ~MemoryTagFile() override;
    TagLib::Tag *tag() const override { return nullptr; }
    TagLib::AudioProperties *audioProperties() const override { return nullptr; }
    bool save() override { return false; }

private:
    std::unique_ptr<TagLib::ByteVectorStream> stream_;

    // TagLib::File takes its stream at construction, so the stream is made
    // first by this helper.
    explicit MemoryTagFile(std::unique_ptr<TagLib::ByteVectorStream> stream);
};

// Parsed tags; null when the bytes are too short to hold one.
std::unique_ptr<TagLib::ID3v2::Tag> parseId3v2(MemoryTagFile &file);
std::unique_ptr<TagLib::APE::Tag> parseApe(MemoryTagFile &file, qint64 length);

inline QString toQString(const TagLib::String &text) {
    return QString::fromStdWString(text.toWString());
}
inline TagLib::String toTagString(const QString &text) {
    return TagLib::String(text.toStdWString());
}

} // namespace velbrin::library::detail

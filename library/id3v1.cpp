#include "id3v1.h"

#include "song_tags.h"
#include "tag_encoding.h"

#include <QFile>
#include <QFileInfo>

namespace velbrin::library {

const std::array<const char *, GenreTableSize> GenreNames = {
    "Blues",
    "Classic Rock",
    "Country",
    "Dance",
    "Disco",
    "Funk",
    "Grunge",
    "Hip-Hop",
    "Jazz",
    "Metal",
    "New Age",
    "Oldies",
    "Other",
    "Pop",
    "R&B",
    "Rap",
    "Reggae",
    "Rock",
    "Techno",
    "Industrial",
    "Alternative",
    "Ska",
    "Death Metal",
    "Pranks",
    "Soundtrack",
    "Euro-Techno",
    "Ambient",
    "Trip-Hop",
    "Vocal",
    "Jazz+Funk",
    "Fusion",
    "Trance",
    "Classical",
    "Instrumental",
    "Acid",
    "House",
    "Game",
    "Sound Clip",
    "Gospel",
    "Noise",
    "Alt. Rock",
    "Bass",
    "Soul",
    "Punk",
    "Space",
    "Meditative",
    "Instrumental Pop",
    "Instrumental Rock",
    "Ethnic",
    "Gothic",
    "Darkwave",
    "Techno-Industrial",
    "Electronic",
    "Pop-Folk",
    "Eurodance",
    "Dream",
    "Southern Rock",
    "Comedy",
    "Cult",
    "Gangsta",
    "Top 40",
    "Christian Rap",
    "Pop/Funk",
    "Jungle",
    "Native American",
    "Cabaret",
    "New Wave",
    "Psychadelic",
    "Rave",
    "Showtunes",
    "Trailer",
    "Lo-Fi",
    "Tribal",
    "Acid Punk",
    "Acid Jazz",
    "Polka",
    "Retro",
    "Musical",
    "Rock & Roll",
    "Hard Rock",
    "Folk",
    "Folk/Rock",
    "National Folk",
    "Fusion",
    "Bebob",
    "Latin",
    "Revival",
    "Celtic",
    "Bluegrass",
    "Avantgarde",
    "Gothic Rock",
    "Progressive Rock",
    "Psychedelic Rock",
    "Symphonic Rock",
    "Slow Rock",
    "Big Band",
    "Chorus",
    "Easy Listening",
    "Acoustic",
    "Humour",
    "Speech",
    "Chanson",
    "Opera",
    "Chamber Music",
    "Sonata",
    "Symphony",
    "Booty Bass",
    "Primus",
    "Porn Groove",
    "Satire",
    "Slow Jam",
    "Club",
    "Tango",
    "Samba",
    "Folklore",
    "",
};

namespace {

struct FieldSpan {
    int offset;
    int width;
};

FieldSpan spanOf(TagField field) {
    switch (field) {
    case TagField::Title:
        return {3, 30};
    case TagField::Artist:
        return {33, 30};
    case TagField::Album:
        return {63, 30};
    case TagField::Year:
        return {93, 4};
    case TagField::Comment:
        return {97, 30};
    case TagField::Genre:
        break;
    }
    return {127, 1};
}

bool isTrimmed(QChar c) {
    return c.unicode() <= 0x20;
}

// Bumped by every tag write, so every reader's one-file cache notices.
unsigned tagWrites = 0;

void putText(QByteArray &block, FieldSpan span, const QString &text) {
    const QByteArray bytes = tagCodec().encode(text, span.width);
    for (int i = 0; i < span.width; ++i) {
        block[span.offset + i] = i < bytes.size() ? bytes[i] : ' ';
    }
}

} // namespace

QString trimTagText(const QString &text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isTrimmed(text[begin])) {
        ++begin;
    }
    while (end > begin && isTrimmed(text[end - 1])) {
        --end;
    }
    return text.mid(begin, end - begin);
}

QString songDisplayText(const QString &artist, const QString &album, const QString &title,
                        const QString &path) {
    const QString joined = trimTagText(artist + ", " + album + ", " + title);
    return joined == QLatin1String(", ,") ? path : joined;
}

QString tagBlockField(const QByteArray &block, TagField field, const TagTextCodec &codec) {
    if (block.size() != TagBlockSize || field == TagField::Genre) {
        return {};
    }
    const FieldSpan span = spanOf(field);
    // The tag does not say how it was encoded; the user's choice does.
    return trimTagText(codec.decode(block.constData() + span.offset, span.width));
}

int tagBlockGenre(const QByteArray &block) {
    if (block.size() != TagBlockSize) {
        return NO_GENRE;
    }
    const auto code = static_cast<unsigned char>(block[127]);
    return code < GenreTableSize ? code : NO_GENRE;
}

void forgetAllTagReads() {
    ++tagWrites;
}

void TagReader::load(const QString &path) {
    auto tags = std::make_shared<SongTags>(readSongTags(path, &tagCodec()));
    lastReadFailed_ = tags->readFailed;
    hasCache_ = !tags->readFailed;
    oldPath_ = hasCache_ ? path : QString();
    writesSeen_ = tagWrites;
    encodingSeen_ = static_cast<int>(tagCodec().encoding());
    info_ = std::move(tags);
}

const SongTags &TagReader::tagsOf(const QString &path) {
    // A failed read is not cached, so the previous file's tag can never be
    // answered for this path and a file that becomes readable is read again.
    if (!hasCache_ || path != oldPath_ || writesSeen_ != tagWrites ||
        encodingSeen_ != static_cast<int>(tagCodec().encoding())) {
        load(path);
    }
    return *info_;
}

QString TagReader::getInfo(const QString &path, TagField field) {
    const SongTags &tags = tagsOf(path);
    switch (field) {
    case TagField::Artist:
        return tags.artist;
    case TagField::Title:
        return tags.title;
    case TagField::Album:
        return tags.album;
    case TagField::Year:
        return tags.year;
    case TagField::Comment:
        return tags.comment;
    case TagField::Genre:
        break;
    }
    LastGenreIndex = tags.genre;
    return tags.genreName;
}

QByteArray buildTagBlock(const TagContents &tag) {
    QByteArray block(TagBlockSize, ' ');
    block[0] = 'T';
    block[1] = 'A';
    block[2] = 'G';
    putText(block, spanOf(TagField::Title), tag.title);
    putText(block, spanOf(TagField::Artist), tag.artist);
    putText(block, spanOf(TagField::Album), tag.album);
    putText(block, spanOf(TagField::Year), tag.year);
    putText(block, spanOf(TagField::Comment), tag.comment);
    const bool chosen = tag.genre >= 0 && tag.genre < GenreRowCount;
    block[127] = static_cast<char>(chosen ? tag.genre : 0xFF);
    return block;
}

std::optional<QString> writeTagBlock(const QString &path, const QByteArray &block) {
    if (block.size() != TagBlockSize) {
        return QStringLiteral("A tag block must be %1 bytes long").arg(TagBlockSize);
    }
    if (!QFileInfo(path).isFile()) {
        return QStringLiteral("\"%1\" is not a file").arg(path);
    }
    ++tagWrites;
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
        return QStringLiteral("Cannot open \"%1\" for writing: %2").arg(path, file.errorString());
    }
    const qint64 size = file.size();
    qint64 position = size;
    // A file shorter than a tag has none; the block goes after its last byte.
    if (size >= TagBlockSize) {
        if (!file.seek(size - TagBlockSize)) {
            return QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString());
        }
        const QByteArray old = file.read(TagBlockSize);
        if (old.size() != TagBlockSize) {
            return QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString());
        }
        if (old.startsWith("TAG")) {
            position = size - TagBlockSize;
        }
    }
    if (!file.seek(position)) {
        return QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString());
    }
    if (file.write(block) != TagBlockSize || !file.flush()) {
        const QString error = file.errorString();
        // An append that stopped half way must not leave a broken block behind.
        if (position == size) {
            file.resize(size);
        }
        return QStringLiteral("Cannot write \"%1\": %2").arg(path, error);
    }
    return std::nullopt;
}

} // namespace velbrin::library

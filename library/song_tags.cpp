#include "song_tags.h"

#include "tag_encoding.h"
#include "tag_file.h"

#include <QRegularExpression>

#include <taglib/commentsframe.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v2frame.h>
#include <taglib/textidentificationframe.h>

namespace velbrin::library {

namespace {

using detail::toQString;

// Numbers of the genre list other programs write into TCON frames: the same
// as this program's table up to 82, where that list has Swing and Fast
// Fusion at 83 and 84 and then goes on one place above the table.
int tableIndexOfListNumber(int number) {
    if (number >= 0 && number <= 82) {
        return number;
    }
    if (number >= 85 && number <= 115) {
        return number - 1;
    }
    return NO_GENRE;
}

int tableIndexOfName(const QString &name) {
    for (int i = 0; i < GenreRowCount; ++i) {
        if (name.compare(QLatin1String(GenreNames[static_cast<size_t>(i)]), Qt::CaseInsensitive) ==
            0) {
            return i;
        }
    }
    return NO_GENRE;
}

QString joined(QStringList values) {
    for (QString &v : values) {
        v = trimTagText(v);
    }
    values.removeAll(QString());
    return values.join(QLatin1String(kTagValueSeparator));
}

QStringList toQStringList(const TagLib::StringList &list) {
    QStringList values;
    for (const TagLib::String &s : list) {
        values.append(toQString(s));
    }
    return values;
}

QStringList frameValues(const TagLib::ID3v2::Tag &tag, const char *id) {
    const TagLib::ID3v2::FrameList &frames = tag.frameListMap()[id];
    if (frames.isEmpty()) {
        return {};
    }
    if (const auto *text =
            dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame *>(frames.front())) {
        return toQStringList(text->fieldList());
    }
    return {toQString(frames.front()->toString())};
}

// The comment people write: one without a description, not the players'
// own notes ("iTunNORM" and the like) that share the frame type.
QString commentOf(const TagLib::ID3v2::Tag &tag) {
    const TagLib::ID3v2::CommentsFrame *fallback = nullptr;
    for (const TagLib::ID3v2::Frame *frame : tag.frameListMap()["COMM"]) {
        const auto *comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame *>(frame);
        if (comment == nullptr) {
            continue;
        }
        if (comment->description().isEmpty()) {
            return trimTagText(toQString(comment->text()));
        }
        if (fallback == nullptr && !comment->description().startsWith("iTun")) {
            fallback = comment;
        }
    }
    return fallback != nullptr ? trimTagText(toQString(fallback->text())) : QString();
}

QString userText(const TagLib::ID3v2::Tag &tag, const char *description) {
    for (const TagLib::ID3v2::Frame *frame : tag.frameListMap()["TXXX"]) {
        const auto *user = dynamic_cast<const TagLib::ID3v2::UserTextIdentificationFrame *>(frame);
        if (user == nullptr ||
            toQString(user->description())
                    .compare(QLatin1String(description), Qt::CaseInsensitive) != 0) {
            continue;
        }
        QStringList values = toQStringList(user->fieldList());
        if (values.size() > 1 && values.front() == toQString(user->description())) {
            values.removeFirst();
        }
        return values.isEmpty() ? QString() : trimTagText(values.front());
    }
    return {};
}

// Dates are kept whole in the file; the display and the DJ want the year.
QString yearOf(const QString &date) {
    const QString text = trimTagText(date);
    static const QRegularExpression leadingYear(QStringLiteral("^(\\d{4})(\\D|$)"));
    const QRegularExpressionMatch m = leadingYear.match(text);
    return m.hasMatch() ? m.captured(1) : text;
}

struct Layer {
    QString title, artist, album, year, comment;
    QStringList genres;
    QString gain, peak;
};

Layer readId3v2(const QByteArray &bytes) {
    Layer layer;
    detail::MemoryTagFile file(bytes);
    const auto tag = detail::parseId3v2(file);
    if (!tag) {
        return layer;
    }
    layer.title = joined(frameValues(*tag, "TIT2"));
    layer.artist = joined(frameValues(*tag, "TPE1"));
    layer.album = joined(frameValues(*tag, "TALB"));
    layer.year = yearOf(joined(frameValues(*tag, "TDRC")));
    layer.comment = commentOf(*tag);
    layer.genres = frameValues(*tag, "TCON");
    layer.gain = userText(*tag, "REPLAYGAIN_TRACK_GAIN");
    layer.peak = userText(*tag, "REPLAYGAIN_TRACK_PEAK");
    return layer;
}

Layer readApe(const QByteArray &bytes) {
    Layer layer;
    detail::MemoryTagFile file(bytes);
    const auto tag = detail::parseApe(file, bytes.size());
    if (!tag) {
        return layer;
    }
    const TagLib::APE::ItemListMap &items = tag->itemListMap();
    const auto values = [&](const char *key) -> QStringList {
        const auto it = items.find(key);
        if (it == items.end() || it->second.type() != TagLib::APE::Item::Text) {
            return {};
        }
        return toQStringList(it->second.values());
    };
    layer.title = joined(values("TITLE"));
    layer.artist = joined(values("ARTIST"));
    layer.album = joined(values("ALBUM"));
    layer.year = yearOf(joined(values("YEAR")));
    layer.comment = joined(values("COMMENT"));
    layer.genres = values("GENRE");
    layer.gain = joined(values("REPLAYGAIN_TRACK_GAIN"));
    layer.peak = joined(values("REPLAYGAIN_TRACK_PEAK"));
    return layer;
}

const QString &firstOf(const QString &a, const QString &b, const QString &c) {
    return !a.isEmpty() ? a : !b.isEmpty() ? b : c;
}

std::optional<double> parsePeak(const QString &text) {
    bool ok = false;
    const double peak = text.trimmed().toDouble(&ok);
    return ok && peak > 0.0 && peak < 100.0 ? std::optional(peak) : std::nullopt;
}

} // namespace

GenreChoice genreFromValues(const QStringList &values) {
    static const QRegularExpression reference(QStringLiteral("^\\((\\d+|RX|CR)\\)(.*)$"));
    QStringList names;
    GenreChoice choice;
    const auto take = [&](const QString &name, int index) {
        if (name.isEmpty()) {
            return;
        }
        if (!names.contains(name, Qt::CaseInsensitive)) {
            names.append(name);
        }
        if (choice.index == NO_GENRE && index != NO_GENRE) {
            choice.index = index;
        }
    };
    const auto takeNumber = [&](int number) {
        const int index = tableIndexOfListNumber(number);
        take(index != NO_GENRE ? QLatin1String(GenreNames[static_cast<size_t>(index)])
                               : toQString(TagLib::ID3v1::genre(number)),
             index);
    };
    for (QString value : values) {
        value = trimTagText(value);
        while (!value.isEmpty()) {
            const QRegularExpressionMatch m = reference.match(value);
            const QString head = m.hasMatch() ? m.captured(1) : value;
            value = m.hasMatch() ? trimTagText(m.captured(2)) : QString();
            bool isNumber = false;
            const int number = head.toInt(&isNumber);
            if (isNumber) {
                takeNumber(number);
            } else if (head == QLatin1String("RX")) {
                take(QStringLiteral("Remix"), NO_GENRE);
            } else if (head == QLatin1String("CR")) {
                take(QStringLiteral("Cover"), NO_GENRE);
            } else {
                int index = tableIndexOfName(head);
                if (index == NO_GENRE) {
                    const int listed = TagLib::ID3v1::genreIndex(detail::toTagString(head));
                    index = listed < 255 ? tableIndexOfListNumber(listed) : NO_GENRE;
                }
                take(head, index);
            }
        }
    }
    choice.name = names.join(QLatin1String(kTagValueSeparator));
    return choice;
}

std::optional<double> parseReplayGain(const QString &text) {
    static const QRegularExpression gain(
        QStringLiteral("^\\s*([+-]?\\d+(?:\\.\\d*)?|[+-]?\\.\\d+)\\s*(?:dB)?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = gain.match(text);
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    const double value = m.captured(1).toDouble();
    return value > -60.0 && value < 60.0 ? std::optional(value) : std::nullopt;
}

SongTags readSongTags(const QString &path, const TagTextCodec *id3v1Codec) {
    SongTags tags;
    const detail::TagRegions regions = detail::readTagRegions(path);
    if (!regions.opened) {
        return tags;
    }
    tags.readFailed = false;
    tags.audioStart = regions.audioStart;
    tags.hasId3v1 = !regions.id3v1.isEmpty();
    tags.hasId3v2 = !regions.id3v2.isEmpty();
    tags.hasApe = !regions.ape.isEmpty();

    Layer v1;
    int v1Genre = NO_GENRE;
    if (tags.hasId3v1) {
        if (id3v1Codec != nullptr) {
            v1.title = tagBlockField(regions.id3v1, TagField::Title, *id3v1Codec);
            v1.artist = tagBlockField(regions.id3v1, TagField::Artist, *id3v1Codec);
            v1.album = tagBlockField(regions.id3v1, TagField::Album, *id3v1Codec);
            v1.year = tagBlockField(regions.id3v1, TagField::Year, *id3v1Codec);
            v1.comment = tagBlockField(regions.id3v1, TagField::Comment, *id3v1Codec);
        }
        v1Genre = tagBlockGenre(regions.id3v1);
    }
    const Layer v2 = tags.hasId3v2 ? readId3v2(regions.id3v2) : Layer{};
    const Layer ape = tags.hasApe ? readApe(regions.ape) : Layer{};

    tags.title = firstOf(v2.title, ape.title, v1.title);
    tags.artist = firstOf(v2.artist, ape.artist, v1.artist);
    tags.album = firstOf(v2.album, ape.album, v1.album);
    tags.year = firstOf(v2.year, ape.year, v1.year);
    tags.comment = firstOf(v2.comment, ape.comment, v1.comment);
    GenreChoice genre = genreFromValues(v2.genres);
    if (genre.name.isEmpty()) {
        genre = genreFromValues(ape.genres);
    }
    if (genre.name.isEmpty() && v1Genre != NO_GENRE) {
        genre = {QLatin1String(GenreNames[static_cast<size_t>(v1Genre)]), v1Genre};
    }
    tags.genreName = genre.name;
    tags.genre = genre.index;

    const bool v2Gain = !v2.gain.isEmpty();
    tags.replayGainDb = parseReplayGain(v2Gain ? v2.gain : ape.gain);
    tags.replayGainPeak = parsePeak(v2Gain ? v2.peak : ape.peak);
    return tags;
}

} // namespace velbrin::library

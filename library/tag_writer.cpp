#include "tag_writer.h"

#include "song_tags.h"
#include "tag_file.h"

#include <QFile>
#include <QFileInfo>

#include <taglib/commentsframe.h>
#include <taglib/id3v2header.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

namespace velbrin::library {

namespace {

using detail::toTagString;

struct Change {
    bool title = false, artist = false, album = false, year = false, comment = false, genre = false;
    bool any() const { return title || artist || album || year || comment || genre; }
};

Change changesBetween(const TagContents &shown, const TagContents &edited) {
    const auto differs = [](const QString &a, const QString &b) {
        return trimTagText(a) != trimTagText(b);
    };
    const auto genreOf = [](int genre) { return genre >= 0 && genre < GenreRowCount ? genre : -1; };
    Change c;
    c.title = differs(shown.title, edited.title);
    c.artist = differs(shown.artist, edited.artist);
    c.album = differs(shown.album, edited.album);
    c.year = differs(shown.year, edited.year);
    c.comment = differs(shown.comment, edited.comment);
    c.genre = genreOf(shown.genre) != genreOf(edited.genre);
    return c;
}

QString genreText(int genre) {
    return genre >= 0 && genre < GenreRowCount
               ? QLatin1String(GenreNames[static_cast<size_t>(genre)])
               : QString();
}

void setTextFrame(TagLib::ID3v2::Tag &tag, const char *id, const QString &value) {
    tag.removeFrames(id);
    const QString text = trimTagText(value);
    if (text.isEmpty()) {
        return;
    }
    // UTF-8 in memory; TagLib writes it as UTF-16 where the version is 2.3.
    auto frame = std::make_unique<TagLib::ID3v2::TextIdentificationFrame>(TagLib::ByteVector(id),
                                                                          TagLib::String::UTF8);
    frame->setText(toTagString(text));
    tag.addFrame(frame.release());
}

// Only the comment without a description is the user's; players keep their
// own notes in comment frames too, and those stay.
void setComment(TagLib::ID3v2::Tag &tag, const QString &value) {
    const QString text = trimTagText(value);
    for (TagLib::ID3v2::Frame *frame : tag.frameListMap()["COMM"]) {
        auto *comment = dynamic_cast<TagLib::ID3v2::CommentsFrame *>(frame);
        if (comment != nullptr && comment->description().isEmpty()) {
            if (text.isEmpty()) {
                tag.removeFrame(comment);
            } else {
                comment->setTextEncoding(TagLib::String::UTF8);
                comment->setText(toTagString(text));
            }
            return;
        }
    }
    if (!text.isEmpty()) {
        auto frame = std::make_unique<TagLib::ID3v2::CommentsFrame>(TagLib::String::UTF8);
        frame->setLanguage("eng");
        frame->setText(toTagString(text));
        tag.addFrame(frame.release());
    }
}

void applyToId3v2(TagLib::ID3v2::Tag &tag, const Change &c, const TagContents &edited) {
    if (c.title)
        setTextFrame(tag, "TIT2", edited.title);
    if (c.artist)
        setTextFrame(tag, "TPE1", edited.artist);
    if (c.album)
        setTextFrame(tag, "TALB", edited.album);
    if (c.year) {
        // TagLib reads 2.3's TYER as TDRC and writes it back as TYER.
        setTextFrame(tag, "TDRC", edited.year);
    }
    if (c.comment)
        setComment(tag, edited.comment);
    if (c.genre)
        setTextFrame(tag, "TCON", genreText(edited.genre));
}

void applyToApe(TagLib::APE::Tag &tag, const Change &c, const TagContents &edited) {
    const auto set = [&](const char *key, const QString &value) {
        const QString text = trimTagText(value);
        if (text.isEmpty()) {
            tag.removeItem(key);
        } else {
            tag.addValue(key, toTagString(text), true);
        }
    };
    if (c.title)
        set("Title", edited.title);
    if (c.artist)
        set("Artist", edited.artist);
    if (c.album)
        set("Album", edited.album);
    if (c.year)
        set("Year", edited.year);
    if (c.comment)
        set("Comment", edited.comment);
    if (c.genre)
        set("Genre", genreText(edited.genre));
}

} // namespace

TagContents contentsOf(const SongTags &tags) {
    TagContents c;
    c.title = tags.title;
    c.artist = tags.artist;
    c.album = tags.album;
    c.year = tags.year;
    c.comment = tags.comment;
    c.genre = tags.genre >= 0 && tags.genre < GenreRowCount ? tags.genre : -1;
    return c;
}

std::optional<QString> saveSongTags(const QString &path, const TagContents &shown,
                                    const TagContents &edited) {
    if (!QFileInfo(path).isFile()) {
        return QStringLiteral("\"%1\" is not a file").arg(path);
    }
    {
        // Refused before anything is written, so no tag is changed alone.
        QFile probe(path);
        if (!probe.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
            return QStringLiteral("Cannot open \"%1\" for writing: %2")
                .arg(path, probe.errorString());
        }
    }
    const detail::TagRegions regions = detail::readTagRegions(path, false);
    const Change change = changesBetween(shown, edited);
    if ((regions.audioStart > 0 || !regions.ape.isEmpty()) && change.any()) {
        TagLib::MPEG::File file(QFile::encodeName(path).constData(), false);
        if (!file.isValid()) {
            return QStringLiteral("Cannot read the tags of \"%1\"").arg(path);
        }
        int which = TagLib::MPEG::File::NoTags;
        auto version = TagLib::ID3v2::v3;
        if (file.hasID3v2Tag()) {
            TagLib::ID3v2::Tag &tag = *file.ID3v2Tag();
            applyToId3v2(tag, change, edited);
            // Kept at the file's own version (2.2, which nothing writes, as 2.3),
            // so players that read the file before still read it.
            if (tag.header()->majorVersion() == 4) {
                version = TagLib::ID3v2::v4;
            }
            which |= TagLib::MPEG::File::ID3v2;
        }
        if (file.hasAPETag()) {
            applyToApe(*file.APETag(), change, edited);
            which |= TagLib::MPEG::File::APE;
        }
        forgetAllTagReads();
        if (which != TagLib::MPEG::File::NoTags &&
            !file.save(which, TagLib::File::StripNone, version, TagLib::File::DoNotDuplicate)) {
            return QStringLiteral("Cannot write the tags of \"%1\"").arg(path);
        }
    }
    return writeTagBlock(path, buildTagBlock(edited));
}

} // namespace velbrin::library

#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

// The ID3v1 block at the end of an MP3 file: its layout, the genre table the
// program stores in it, the one-file read cache behind `getInfo`, and the
// writer used by the tag editor and the genre change of the categories window.
namespace velbrin::library {

struct SongTags;
class TagTextCodec;

inline constexpr int TagBlockSize = 128;
inline constexpr int NO_GENRE = 255;
// Rows of the categories window: genre indexes 0..114. Index 115 is the empty
// name and, like 255, belongs to no row.
inline constexpr int GenreRowCount = 115;
inline constexpr int GenreTableSize = 116;

// Index 83 repeats "Fusion" and every later name sits one place lower than in
// the list other players use. Tags this program wrote carry indexes of this
// table, so changing it would rename the genres of the user's files.
extern const std::array<const char *, GenreTableSize> GenreNames;

enum class TagField { Artist = 1, Title = 2, Album = 3, Year = 4, Comment = 5, Genre = 6 };

// Removes characters 0x00..0x20 at both ends; inner characters stay.
QString trimTagText(const QString &text);

// trim(artist + ", " + album + ", " + title), or the path when the tag gave
// nothing (the joined text is then ", ,").
QString songDisplayText(const QString &artist, const QString &album, const QString &title,
                        const QString &path);

// One field of a 128-byte block that begins with "TAG", trimmed; the genre
// index (0..115) of its last byte, or NO_GENRE for 116..255.
QString tagBlockField(const QByteArray &block, TagField field, const TagTextCodec &codec);
int tagBlockGenre(const QByteArray &block);

// Reads tag fields with a cache of one file, as every caller asks for three or
// four fields of the same file in a row. The fields are the merged ones of
// song_tags.h: ID3v2, else APEv2, else ID3v1 in the chosen tag encoding. Not
// thread-safe: owned by the GUI thread.
class TagReader {
public:
    // The trimmed field, or the empty text when the file has no tag. A file that
    // cannot be opened or is shorter than 128 bytes counts as untagged: one such
    // file must never end a folder walk or a playlist read.
    QString getInfo(const QString &path, TagField field);
    // All merged fields and which tags the file has, through the same cache.
    const SongTags &tagsOf(const QString &path);

    // Genre index left by the last genre lookup (0..115, or NO_GENRE).
    int LastGenreIndex = 0;

    // Every tag writer calls this before writing so the next read sees the new
    // bytes. Writes through `writeTagBlock` also empty every other reader's
    // cache, so no window shows a tag that is no longer on disk.
    void forget() { oldPath_.clear(); }

    // True when the last file read could not be opened or was too short.
    bool lastReadFailed() const { return lastReadFailed_; }

private:
    void load(const QString &path);

    QString oldPath_;
    std::shared_ptr<const SongTags> info_;
    unsigned writesSeen_ = 0;
    // The tag encoding the cached ID3v1 texts were read in.
    int encodingSeen_ = -1;
    bool hasCache_ = false;
    bool lastReadFailed_ = false;
};

struct TagContents {
    QString title;
    QString artist;
    QString album;
    QString year;
    QString comment;
    int genre = NO_GENRE; // 0..114 chosen, anything else is written as 0xFF
};

// The 128-byte block: texts in the chosen tag encoding (tagCodec()), cut to
// their byte widths without splitting a character and padded with spaces
// (never NUL) on the right.
QByteArray buildTagBlock(const TagContents &tag);

// Replaces the file's tag when its last 128 bytes begin with "TAG", otherwise
// appends the block, in one write on a file opened without truncation, so the
// bytes before the tag never change. Returns an error text naming the file, or
// nothing on success; on failure the file is left as it was.
std::optional<QString> writeTagBlock(const QString &path, const QByteArray &block);

// Makes every reader's cache read its file afresh; for writers of the other
// tags, which do not go through writeTagBlock.
void forgetAllTagReads();

} // namespace velbrin::library

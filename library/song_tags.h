#pragma once

#include "id3v1.h"

#include <QString>
#include <QStringList>

#include <optional>

// One song's tags as the program shows them, merged from the three kinds
// collections hold: each field is taken from the ID3v2 tag when it has it,
// else from the APEv2 tag, else from the ID3v1 block (whose text is read in
// the user's tag encoding).
namespace velbrin::library {

class TagTextCodec;

// Fields with several values (ID3v2.4 and APEv2 keep lists) show them joined.
inline constexpr const char *kTagValueSeparator = "; ";

struct SongTags {
    QString title;
    QString artist;
    QString album;
    QString year;
    QString comment;
    QString genreName;    // as shown; may name a genre outside the table
    int genre = NO_GENRE; // the genre's index in GenreNames, or NO_GENRE

    bool hasId3v1 = false;
    bool hasId3v2 = false;
    bool hasApe = false;
    // The file could not be opened or is shorter than an ID3v1 block.
    bool readFailed = true;

    // ReplayGain track values from the ID3v2 or APEv2 tag: the gain in dB to
    // the reference loudness, and the peak (1.0 is full scale).
    std::optional<double> replayGainDb;
    std::optional<double> replayGainPeak;
    // The first byte after the ID3v2 tag, where the audio begins.
    qint64 audioStart = 0;
};

// Without a codec the ID3v1 texts are left empty (its genre is still read):
// for callers off the user-interface thread, where the codec is not theirs.
SongTags readSongTags(const QString &path, const TagTextCodec *id3v1Codec);

struct GenreChoice {
    QString name;
    int index = NO_GENRE;
};
// A genre as tags other than ID3v1 give it: the values of a TCON frame or an
// APEv2 "Genre" item, each a name or a number of the ID3v1 genre list other
// programs use ("17", "(17)", "(17)Rock" as TagLib splits it, "Rock"). The
// index is that of the first value this program's table knows.
GenreChoice genreFromValues(const QStringList &values);

// A ReplayGain text such as "-6.52 dB" or "+1.3 dB"; nothing when it is none.
std::optional<double> parseReplayGain(const QString &text);

} // namespace velbrin::library

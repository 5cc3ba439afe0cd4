// Merged tags of songs written by the taggers collections come from: each
// field from ID3v2, else APEv2, else ID3v1.
#include "library_test_support.h"
#include "song_tags.h"
#include "tag_encoding.h"
#include "tagged_media.h"

#include <functional>

using namespace velbrin::library;
using namespace velbrin::library::test;

namespace {

const QString kLongCyrillic =
    QString::fromUtf8("Звезда по имени Солнце и другие песни о городе"); // 46 letters

struct Expected {
    QString title, artist, album, year, genreName;
    int genre = NO_GENRE;
    bool id3v1 = false, id3v2 = false, ape = false;
};

struct Case {
    const char *name;
    std::function<QString(TaggedMedia &)> make;
    Expected expected;
};

// A hand-made ID3v2.2 tag (no current tagger writes 2.2): three-letter frame
// names and three-byte sizes.
QByteArray id3v22(const QByteArray &title, const QByteArray &genre) {
    QByteArray frames;
    for (const auto &[id, text] :
         {std::pair{QByteArray("TT2"), title}, std::pair{QByteArray("TCO"), genre}}) {
        const int size = static_cast<int>(text.size()) + 1;
        frames += id + char(size >> 16) + char(size >> 8 & 0xFF) + char(size & 0xFF) + '\0' + text;
    }
    const int size = static_cast<int>(frames.size());
    QByteArray header("ID3\x02\x00\x00", 6);
    for (int shift : {21, 14, 7, 0}) {
        header += char(size >> shift & 0x7F);
    }
    return header + frames;
}

TEST(SongTags, MergesTheTagsEachTaggerWrites) {
    const std::vector<Case> cases = {
        {"lame, ID3v2 only, Cyrillic",
         [](TaggedMedia &m) {
             return m.lame("cyr.mp3",
                           {"--id3v2-only", "--tt", kLongCyrillic, "--ta",
                            QString::fromUtf8("Кино"), "--tl", QString::fromUtf8("Группа крови"),
                            "--ty", "1988", "--tg", "Rock"});
         },
         {kLongCyrillic, QString::fromUtf8("Кино"), QString::fromUtf8("Группа крови"), "1988",
          "Rock", 17, false, true, false}},
        {"lame, both tags, a title longer than ID3v1 holds",
         [](TaggedMedia &m) {
             return m.lame("both.mp3",
                           {"--add-id3v2", "--tt", "A Title Of Forty Seven Characters For The Test",
                            "--ta", "Band", "--ty", "2001", "--tg", "Jazz"});
         },
         {"A Title Of Forty Seven Characters For The Test", "Band", "", "2001", "Jazz", 8, true,
          true, false}},
        {"id3v2 tool, 2.3 with a numbered genre above the shift",
         [](TaggedMedia &m) {
             const QString f = m.untagged("id3v2tool.mp3");
             EXPECT_TRUE(TaggedMedia::run("id3v2", {"-t", "Tool Title", "-a", "Tool Artist", "-A",
                                                    "Tool Album", "-y", "1999", "-g", "85", f}));
             return f;
         },
         // Number 85 of the list other programs use is this table's 84.
         {"Tool Title", "Tool Artist", "Tool Album", "1999", "Bebob", 84, true, true, false}},
        {"mutagen, 2.4 with several artists and a genre outside the table",
         [](TaggedMedia &m) {
             const QString f = m.untagged("mutagen24.mp3");
             EXPECT_TRUE(
                 TaggedMedia::mutagen(f, "from mutagen.id3 import ID3, TIT2, TPE1, TCON, TDRC\n"
                                         "t = ID3()\n"
                                         "t.add(TIT2(encoding=3, text=['Lists']))\n"
                                         "t.add(TPE1(encoding=3, text=['First', 'Second']))\n"
                                         "t.add(TCON(encoding=3, text=['Synthpop']))\n"
                                         "t.add(TDRC(encoding=3, text=['2003-05-12']))\n"
                                         "t.save(f, v2_version=4)\n"));
             return f;
         },
         {"Lists", "First; Second", "", "2003", "Synthpop", NO_GENRE, false, true, false}},
        {"mutagen, 2.3 in UTF-16 with a numbered genre",
         [](TaggedMedia &m) {
             const QString f = m.untagged("mutagen23.mp3");
             EXPECT_TRUE(TaggedMedia::mutagen(
                 f, QString::fromUtf8("from mutagen.id3 import ID3, TIT2, TCON\n"
                                      "t = ID3()\n"
                                      "t.add(TIT2(encoding=1, text=['Ünïcødé ☃']))\n"
                                      "t.add(TCON(encoding=1, text=['(40)']))\n"
                                      "t.save(f, v2_version=3)\n")));
             return f;
         },
         {QString::fromUtf8("Ünïcødé ☃"), "", "", "", "Alt. Rock", 40, false, true, false}},
        {"ffmpeg, 2.3 and ID3v1",
         [](TaggedMedia &m) {
             const QString f = m.path("ffmpeg.mp3");
             EXPECT_TRUE(TaggedMedia::run(
                 "ffmpeg", {"-loglevel", "error", "-y", "-i", m.wav(), "-metadata",
                            "title=FF Title", "-metadata", "artist=FF Artist", "-metadata",
                            "genre=Jazz", "-id3v2_version", "3", "-write_id3v1", "1", f}));
             return f;
         },
         {"FF Title", "FF Artist", "", "", "Jazz", 8, true, true, false}},
        {"APEv2 before ID3v1",
         [](TaggedMedia &m) {
             const QString f = m.untagged("ape.mp3");
             EXPECT_TRUE(TaggedMedia::mutagen(f, "from mutagen.apev2 import APEv2\n"
                                                 "t = APEv2()\n"
                                                 "t['Title'] = 'Ape Title'\n"
                                                 "t['Artist'] = ['X', 'Y']\n"
                                                 "t.save(f)\n"));
             // The ID3v1 block after the APEv2 tag, where mp3gain and the
             // like keep it.
             TagContents v1;
             v1.title = "V1 Title";
             v1.album = "V1 Album";
             v1.genre = 0;
             EXPECT_FALSE(writeTagBlock(f, buildTagBlock(v1)));
             return f;
         },
         {"Ape Title", "X; Y", "V1 Album", "", "Blues", 0, true, false, true}},
        {"tags that disagree",
         [](TaggedMedia &m) {
             const QString f = m.lame("disagree.mp3", {"--add-id3v2", "--tt", "Old", "--ta", "Same",
                                                       "--tl", "Only In V1", "--tg", "Rock"});
             // The id3v2 tool changes the ID3v2 tag alone.
             EXPECT_TRUE(TaggedMedia::run("id3v2", {"-2", "-t", "New", "-g", "8", f}));
             EXPECT_TRUE(TaggedMedia::run("id3v2", {"-r", "TALB", f}));
             return f;
         },
         {"New", "Same", "Only In V1", "", "Jazz", 8, true, true, false}},
        {"hand-made 2.2",
         [](TaggedMedia &m) {
             const QString f = m.path("v22.mp3");
             writeFile(f, {}, 0);
             QFile file(f);
             EXPECT_TRUE(file.open(QIODevice::WriteOnly));
             file.write(id3v22("Old Format", "(17)"));
             file.write(readAll(m.path("base.mp3")));
             return f;
         },
         {"Old Format", "", "", "", "Rock", 17, false, true, false}},
    };
    TaggedMedia &media = TaggedMedia::get();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const SongTags t = readSongTags(c.make(media), &tagCodec());
        const Expected &e = c.expected;
        EXPECT_FALSE(t.readFailed);
        EXPECT_EQ(t.title, e.title);
        EXPECT_EQ(t.artist, e.artist);
        EXPECT_EQ(t.album, e.album);
        EXPECT_EQ(t.year, e.year);
        EXPECT_EQ(t.genreName, e.genreName);
        EXPECT_EQ(t.genre, e.genre);
        EXPECT_EQ(t.hasId3v1, e.id3v1);
        EXPECT_EQ(t.hasId3v2, e.id3v2);
        EXPECT_EQ(t.hasApe, e.ape);
    }
}

TEST(SongTags, GenreValuesByNameOrNumber) {
    struct GenreCase {
        QStringList values;
        const char *name;
        int index;
    };
    const GenreCase cases[] = {
        {{"17"}, "Rock", 17},
        {{"(17)Rock"}, "Rock", 17},
        {{"(83)"}, "Swing", NO_GENRE},                  // not in this program's table
        {{"(115)"}, "Folklore", 114},                   // the list's last, one place lower here
        {{"Alternative Rock"}, "Alternative Rock", 40}, // the list's name for 40
        {{"Synthpop", "Rock"}, "Synthpop; Rock", 17},
        {{"(RX)"}, "Remix", NO_GENRE},
        {{""}, "", NO_GENRE},
    };
    for (const GenreCase &c : cases) {
        const GenreChoice g = genreFromValues(c.values);
        EXPECT_EQ(g.name, QString::fromUtf8(c.name)) << c.values.join('|').toStdString();
        EXPECT_EQ(g.index, c.index) << c.values.join('|').toStdString();
    }
}

TEST(SongTags, ReplayGainFromTxxxFramesAndApeItems) {
    TaggedMedia &media = TaggedMedia::get();
    const QString v2 = media.untagged("rg-id3.mp3");
    ASSERT_TRUE(TaggedMedia::mutagen(
        v2, "from mutagen.id3 import ID3, TXXX\n"
            "t = ID3()\n"
            "t.add(TXXX(encoding=3, desc='replaygain_track_gain', text=['-7.25 dB']))\n"
            "t.add(TXXX(encoding=3, desc='REPLAYGAIN_TRACK_PEAK', text=['0.912']))\n"
            "t.save(f, v2_version=3)\n"));
    const QString ape = media.untagged("rg-ape.mp3");
    ASSERT_TRUE(TaggedMedia::mutagen(ape, "from mutagen.apev2 import APEv2\n"
                                          "t = APEv2()\n"
                                          "t['REPLAYGAIN_TRACK_GAIN'] = '+2.10 dB'\n"
                                          "t.save(f)\n"));
    const SongTags a = readSongTags(v2, nullptr);
    EXPECT_DOUBLE_EQ(a.replayGainDb.value_or(99), -7.25);
    EXPECT_DOUBLE_EQ(a.replayGainPeak.value_or(99), 0.912);
    const SongTags b = readSongTags(ape, nullptr);
    EXPECT_DOUBLE_EQ(b.replayGainDb.value_or(99), 2.1);
    EXPECT_FALSE(b.replayGainPeak);
    EXPECT_FALSE(parseReplayGain("loud"));
    EXPECT_FALSE(parseReplayGain("-inf dB"));
}

TEST(SongTags, DamagedTagsReadAsNoTagAndNeverMore) {
    // Sizes that point past the end of the file, and a file that is nothing
    // but a header: neither may read past what is there.
    TaggedMedia &media = TaggedMedia::get();
    const QString cut = media.path("cut.mp3");
    writeFile(cut, QByteArray("ID3\x03\x00\x00\x7f\x7f\x7f\x7fTIT2\x00\x00\x10\x00", 18), 0);
    const SongTags t = readSongTags(cut, &tagCodec());
    EXPECT_TRUE(t.readFailed) << "shorter than an ID3v1 block";
    // Version, a size beyond the file, one item, no flags, then reserved bytes.
    QByteArray apeFooter("APETAGEX\xd0\x07\x00\x00\xff\xff\xff\x7f\x01\x00\x00\x00", 20);
    apeFooter += QByteArray(12, '\0');
    writeFile(media.path("ape-cut.mp3"), apeFooter, 300);
    const SongTags a = readSongTags(media.path("ape-cut.mp3"), &tagCodec());
    EXPECT_FALSE(a.readFailed);
    EXPECT_FALSE(a.hasApe);
}

} // namespace

// Saving a tag keeps what the file had: the ID3v1 block as always, and in the
// file's ID3v2 or APEv2 tag only the fields that changed, whole and in Unicode.
#include "library_test_support.h"
#include "song_tags.h"
#include "tag_encoding.h"
#include "tag_writer.h"
#include "tagged_media.h"

using namespace velbrin::library;
using namespace velbrin::library::test;

namespace {

const QString kLongTitle = QStringLiteral("A Title Of Forty Seven Characters For The Test");

QByteArray lastBlock(const QString &path) {
    return readAll(path).right(TagBlockSize);
}

TEST(TagWriter, ChangedFieldsReachId3v2AndTheRestKeepEveryValue) {
    TaggedMedia &media = TaggedMedia::get();
    const QString f = media.untagged("rich.mp3");
    ASSERT_TRUE(TaggedMedia::mutagen(
        f, QStringLiteral("from mutagen.id3 import ID3, TIT2, TPE1, COMM, TXXX, TDRC\n"
                          "t = ID3()\n"
                          "t.add(TIT2(encoding=3, text=['%1']))\n"
                          "t.add(TPE1(encoding=3, text=['First', 'Second']))\n"
                          "t.add(TDRC(encoding=3, text=['2003-05-12']))\n"
                          "t.add(COMM(encoding=0, lang='eng', desc='iTunNORM', text=['0000']))\n"
                          "t.add(TXXX(encoding=3, desc='REPLAYGAIN_TRACK_GAIN', text=['-3 dB']))\n"
                          "t.save(f, v2_version=4)\n")
               .arg(kLongTitle)));
    const TagContents shown = contentsOf(readSongTags(f, &tagCodec()));
    ASSERT_EQ(shown.title, kLongTitle);
    TagContents edited = shown;
    edited.album = QString::fromUtf8("Новый альбом");
    edited.comment = QStringLiteral("mine");
    ASSERT_FALSE(saveSongTags(f, shown, edited));

    const SongTags after = readSongTags(f, &tagCodec());
    EXPECT_EQ(after.title, kLongTitle) << "not cut to the 30 characters of ID3v1";
    EXPECT_EQ(after.album, QString::fromUtf8("Новый альбом"));
    EXPECT_EQ(after.comment, "mine");
    EXPECT_EQ(after.year, "2003");
    EXPECT_TRUE(after.hasId3v1) << "the block is added as it always was";
    EXPECT_EQ(lastBlock(f), buildTagBlock(edited));
    EXPECT_TRUE(
        TaggedMedia::mutagen(f, "from mutagen.id3 import ID3\n"
                                "t = ID3(f)\n"
                                "assert t.version[1] == 4, t.version\n"
                                "assert t['TPE1'].text == ['First', 'Second'], t['TPE1'].text\n"
                                "assert str(t['TDRC'].text[0]) == '2003-05-12'\n"
                                "assert t['COMM:iTunNORM:eng'].text == ['0000']\n"
                                "assert t['TXXX:REPLAYGAIN_TRACK_GAIN'].text == ['-3 dB']\n"
                                "assert t['TALB'].encoding != 0\n"));
}

TEST(TagWriter, KeepsAVersion23TagAtVersion23InUnicode) {
    TaggedMedia &media = TaggedMedia::get();
    const QString f = media.untagged("v23.mp3");
    ASSERT_TRUE(TaggedMedia::run("id3v2", {"-t", "Old", "-a", "Artist", "-g", "17", f}));
    const TagContents shown = contentsOf(readSongTags(f, &tagCodec()));
    TagContents edited = shown;
    edited.title = QString::fromUtf8("Кино и немцы");
    edited.genre = 8;
    ASSERT_FALSE(saveSongTags(f, shown, edited));
    const SongTags after = readSongTags(f, &tagCodec());
    EXPECT_EQ(after.title, QString::fromUtf8("Кино и немцы"));
    EXPECT_EQ(after.genreName, "Jazz");
    EXPECT_EQ(after.genre, 8);
    EXPECT_TRUE(TaggedMedia::mutagen(f, "from mutagen.id3 import ID3\n"
                                        "t = ID3(f)\n"
                                        "assert t.version[1] == 3, t.version\n"
                                        "assert t['TIT2'].encoding == 1\n"
                                        "assert t['TPE1'].text == ['Artist']\n"));
}

TEST(TagWriter, AFileWithOnlyId3v1GetsNoOtherTag) {
    TaggedMedia &media = TaggedMedia::get();
    const QString f = media.lame("v1only.mp3", {"--id3v1-only", "--tt", "One", "--ta", "Two"});
    const qint64 size = QFileInfo(f).size();
    const TagContents shown = contentsOf(readSongTags(f, &tagCodec()));
    TagContents edited = shown;
    edited.title = QStringLiteral("Changed");
    ASSERT_FALSE(saveSongTags(f, shown, edited));
    EXPECT_EQ(QFileInfo(f).size(), size);
    EXPECT_FALSE(readAll(f).startsWith("ID3"));
    EXPECT_EQ(lastBlock(f), buildTagBlock(edited));
}

TEST(TagWriter, ChangedFieldsReachAnApeTag) {
    TaggedMedia &media = TaggedMedia::get();
    const QString f = media.untagged("ape-edit.mp3");
    ASSERT_TRUE(TaggedMedia::mutagen(f, "from mutagen.apev2 import APEv2\n"
                                        "t = APEv2()\n"
                                        "t['Title'] = 'Ape'\n"
                                        "t['Artist'] = ['X', 'Y']\n"
                                        "t['REPLAYGAIN_TRACK_GAIN'] = '-1 dB'\n"
                                        "t.save(f)\n"));
    const TagContents shown = contentsOf(readSongTags(f, &tagCodec()));
    TagContents edited = shown;
    edited.title = QStringLiteral("Edited");
    ASSERT_FALSE(saveSongTags(f, shown, edited));
    const SongTags after = readSongTags(f, &tagCodec());
    // Without this the APEv2 title would still win over the new ID3v1 one.
    EXPECT_EQ(after.title, "Edited");
    EXPECT_EQ(after.artist, "X; Y");
    EXPECT_DOUBLE_EQ(after.replayGainDb.value_or(0), -1.0);
}

TEST(TagWriter, ARefusedFileKeepsEveryByte) {
    TaggedMedia &media = TaggedMedia::get();
    QTemporaryDir dir;
    openUp(dir);
    const QString f = dir.filePath("locked.mp3");
    ASSERT_TRUE(QFile::copy(media.lame("locked-src.mp3", {"--add-id3v2", "--tt", "Keep"}), f));
    const QByteArray before = readAll(f);
    QFile(f).setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadOther);
    AsOrdinaryUser user;
    ASSERT_TRUE(user.active());
    const TagContents shown = contentsOf(readSongTags(f, &tagCodec()));
    TagContents edited = shown;
    edited.title = QStringLiteral("Lost");
    const auto error = saveSongTags(f, shown, edited);
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->contains(f));
    EXPECT_EQ(readAll(f), before);
}

} // namespace

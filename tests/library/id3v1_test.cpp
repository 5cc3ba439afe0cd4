#include "id3v1.h"
#include "library_test_support.h"
#include "tag_encoding.h"

#include <QTemporaryDir>

using namespace velbrin::library;
using namespace velbrin::library::test;

namespace {

class LibraryTags : public ::testing::Test {
protected:
    QString file(const QString &name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
    TagReader reader_;
};

TEST_F(LibraryTags, ReadsEveryFieldAtItsOffset) {
    writeFile(file("a.mp3"), rawTag("The Title", "The Artist", "The Album", "1987",
                                    "A comment that is thirty long!", 8));
    EXPECT_EQ(reader_.getInfo(file("a.mp3"), TagField::Artist), "The Artist");
    EXPECT_EQ(reader_.getInfo(file("a.mp3"), TagField::Title), "The Title");
    EXPECT_EQ(reader_.getInfo(file("a.mp3"), TagField::Album), "The Album");
    EXPECT_EQ(reader_.getInfo(file("a.mp3"), TagField::Year), "1987");
    // All 30 bytes belong to the comment; no track number is taken from it.
    EXPECT_EQ(reader_.getInfo(file("a.mp3"), TagField::Comment), "A comment that is thirty long!");
    EXPECT_EQ(reader_.getInfo(file("a.mp3"), TagField::Genre), "Jazz");
    EXPECT_EQ(reader_.LastGenreIndex, 8);
}

TEST_F(LibraryTags, MarkerIsCaseSensitive) {
    QByteArray block = rawTag("Title", "Artist", "", "", "", 17);
    block.replace(0, 3, "tag");
    writeFile(file("lower.mp3"), block);
    EXPECT_EQ(reader_.getInfo(file("lower.mp3"), TagField::Title), "");
    EXPECT_EQ(reader_.getInfo(file("lower.mp3"), TagField::Genre), "");
    EXPECT_EQ(reader_.LastGenreIndex, NO_GENRE);
}

TEST_F(LibraryTags, TrimsControlsSpacesAndNulButKeepsInnerText) {
    QByteArray title("  Word");
    title.append(QByteArray(24, '\0'));
    writeFile(file("pad.mp3"), rawTag(title, QByteArray(30, ' '), "\t In  side \x01", "", "", 0));
    EXPECT_EQ(reader_.getInfo(file("pad.mp3"), TagField::Title), "Word");
    EXPECT_EQ(reader_.getInfo(file("pad.mp3"), TagField::Artist), "");
    EXPECT_EQ(reader_.getInfo(file("pad.mp3"), TagField::Album), "In  side");
}

TEST_F(LibraryTags, BytesAreReadAsLatin1) {
    writeFile(file("latin.mp3"), rawTag("Caf\xe9", "", "", "", "", 0));
    EXPECT_EQ(reader_.getInfo(file("latin.mp3"), TagField::Title), QString::fromUtf8("Café"));
}

TEST_F(LibraryTags, GenreBytesAtTheEdgesOfTheTable) {
    struct Case {
        unsigned char byte;
        const char *name;
        int index;
    };
    const Case cases[] = {{83, "Fusion", 83}, {84, "Bebob", 84}, {114, "Folklore", 114},
                          {115, "", 115},     {116, "", 255},    {255, "", 255}};
    for (const Case &c : cases) {
        const QString path = file(QString("g%1.mp3").arg(c.byte));
        writeFile(path, rawTag("T", "A", "", "", "", c.byte));
        EXPECT_EQ(reader_.getInfo(path, TagField::Genre), c.name) << int(c.byte);
        EXPECT_EQ(reader_.LastGenreIndex, c.index) << int(c.byte);
    }
}

TEST_F(LibraryTags, GenreTableKeepsItsOwnNumbering) {
    EXPECT_STREQ(GenreNames[30], "Fusion");
    EXPECT_STREQ(GenreNames[83], "Fusion");
    EXPECT_STREQ(GenreNames[17], "Rock");
    EXPECT_STREQ(GenreNames[0], "Blues");
    EXPECT_STREQ(GenreNames[115], "");
}

TEST_F(LibraryTags, UntaggedFileAfterATaggedOneHasNoGenre) {
    writeSong(file("rock.mp3"), "A", "T", 17);
    writeFile(file("plain.mp3"), QByteArray(128, 'x'));
    EXPECT_EQ(reader_.getInfo(file("rock.mp3"), TagField::Genre), "Rock");
    EXPECT_EQ(reader_.getInfo(file("plain.mp3"), TagField::Genre), "");
    EXPECT_EQ(reader_.LastGenreIndex, NO_GENRE);
}

TEST_F(LibraryTags, FailedReadNeverAnswersWithThePreviousFilesTag) {
    writeSong(file("good.mp3"), "Somebody", "Song", 17);
    writeFile(file("short.mp3"), "TAG", 10);
    ASSERT_EQ(reader_.getInfo(file("good.mp3"), TagField::Artist), "Somebody");
    EXPECT_EQ(reader_.getInfo(file("short.mp3"), TagField::Artist), "");
    EXPECT_TRUE(reader_.lastReadFailed());
    EXPECT_EQ(reader_.getInfo(file("short.mp3"), TagField::Genre), "");
    EXPECT_EQ(reader_.LastGenreIndex, NO_GENRE);
    EXPECT_EQ(reader_.getInfo(file("missing.mp3"), TagField::Title), "");
    EXPECT_EQ(reader_.getInfo(dir_.path(), TagField::Title), "");
    // The good file is read again afterwards, not lost.
    EXPECT_EQ(reader_.getInfo(file("good.mp3"), TagField::Title), "Song");
    EXPECT_FALSE(reader_.lastReadFailed());
}

TEST_F(LibraryTags, CacheHoldsOneFileUntilAWriterForgetsIt) {
    writeSong(file("c.mp3"), "Before", "T", 1);
    ASSERT_EQ(reader_.getInfo(file("c.mp3"), TagField::Artist), "Before");
    QFile f(file("c.mp3"));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.seek(f.size() - 128 + 33);
    f.write("After ");
    f.close();
    EXPECT_EQ(reader_.getInfo(file("c.mp3"), TagField::Artist), "Before");
    reader_.forget();
    EXPECT_EQ(reader_.getInfo(file("c.mp3"), TagField::Artist), "After");
}

TEST(LibraryDisplayText, JoinsArtistAlbumTitleOrFallsBackToPath) {
    EXPECT_EQ(songDisplayText("Art", "Alb", "Tit", "/p.mp3"), "Art, Alb, Tit");
    EXPECT_EQ(songDisplayText("", "", "", "/p.mp3"), "/p.mp3");
    // Only a title: the leading ", ," stays, as the list has always shown it.
    EXPECT_EQ(songDisplayText("", "", "Tit", "/p.mp3"), ", , Tit");
    EXPECT_EQ(songDisplayText("Art", "", "", "/p.mp3"), "Art, ,");
}

TEST(LibraryTagWriter, BuildsPaddedBlockInTheLocaleCodePage) {
    TagContents tag;
    tag.title = "Abcd";
    tag.artist = QString(40, 'x');
    tag.genre = -1;
    const QByteArray block = buildTagBlock(tag);
    ASSERT_EQ(block.size(), 128);
    EXPECT_EQ(block.left(3), "TAG");
    EXPECT_EQ(block.mid(3, 30), QByteArray("Abcd") + QByteArray(26, ' '));
    EXPECT_EQ(block.mid(33, 30), QByteArray(30, 'x'));
    EXPECT_EQ(block.mid(93, 4), "    ");
    EXPECT_EQ(static_cast<unsigned char>(block[127]), 0xFF);
    tag.genre = 114;
    EXPECT_EQ(static_cast<unsigned char>(buildTagBlock(tag)[127]), 114);
    tag.genre = 115;
    EXPECT_EQ(static_cast<unsigned char>(buildTagBlock(tag)[127]), 0xFF);
}

TEST_F(LibraryTags, WriterReplacesAnExistingTagAndAppendsOtherwise) {
    TagContents tag;
    tag.artist = "New";
    tag.genre = 5;
    const QByteArray block = buildTagBlock(tag);

    writeSong(file("tagged.mp3"));
    const qint64 taggedSize = QFileInfo(file("tagged.mp3")).size();
    ASSERT_FALSE(writeTagBlock(file("tagged.mp3"), block));
    EXPECT_EQ(QFileInfo(file("tagged.mp3")).size(), taggedSize);

    writeFile(file("bare.mp3"), QByteArray(128, 'z'));
    const qint64 bareSize = QFileInfo(file("bare.mp3")).size();
    ASSERT_FALSE(writeTagBlock(file("bare.mp3"), block));
    const QByteArray bare = readAll(file("bare.mp3"));
    EXPECT_EQ(bare.size(), bareSize + 128);
    EXPECT_EQ(bare.mid(bareSize - 128, 128), QByteArray(128, 'z'));

    writeFile(file("tiny.mp3"), "", 5);
    ASSERT_FALSE(writeTagBlock(file("tiny.mp3"), block));
    EXPECT_EQ(readAll(file("tiny.mp3")).size(), 5 + 128);

    for (const char *name : {"tagged.mp3", "bare.mp3", "tiny.mp3"}) {
        reader_.forget();
        EXPECT_EQ(reader_.getInfo(file(name), TagField::Artist), "New") << name;
        EXPECT_EQ(reader_.getInfo(file(name), TagField::Genre), "Funk") << name;
    }
}

TEST_F(LibraryTags, WriterRefusesWhatItCannotWriteAndChangesNothing) {
    const QByteArray block = buildTagBlock({});
    EXPECT_TRUE(writeTagBlock(file("absent.mp3"), block));
    EXPECT_FALSE(QFileInfo::exists(file("absent.mp3")));
    EXPECT_TRUE(writeTagBlock(dir_.path(), block));
    EXPECT_TRUE(writeTagBlock(file("x.mp3"), QByteArray(10, 'x')));

    openUp(dir_);
    writeSong(file("locked.mp3"), "Kept");
    QFile::setPermissions(file("locked.mp3"),
                          QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    const QByteArray before = readAll(file("locked.mp3"));
    {
        AsOrdinaryUser user;
        if (!user.active()) {
            GTEST_SKIP() << "cannot drop to an ordinary user";
        }
        const auto error = writeTagBlock(file("locked.mp3"), block);
        ASSERT_TRUE(error);
        EXPECT_TRUE(error->contains("locked.mp3"));
    }
    EXPECT_EQ(readAll(file("locked.mp3")), before);
}

} // namespace

namespace {

TEST(LibraryTagEncoding, EncodesWithinTheFieldAndMarksWhatItCannotHold) {
    struct Case {
        TagEncoding encoding;
        const char *text;
        int width;
        QByteArray bytes;
    };
    const Case cases[] = {
        {TagEncoding::Latin1, "Sigur Rós", 30, "Sigur R\xf3s"},
        {TagEncoding::Latin1, "Кино €", 30, "???? ?"},
        {TagEncoding::Windows1251, "Кино €", 30, "\xca\xe8\xed\xee \x88"},
        {TagEncoding::Windows1252, "Œ € Ж", 30, "\x8c \x80 ?"},
        {TagEncoding::Windows1252, "a😀b", 30, "a?b"}, // one character, one "?"
        {TagEncoding::Latin1, "abcdef", 4, "abcd"},
        // UTF-8: two bytes a letter, never half of one.
        {TagEncoding::System, "ЖЖЖ", 5, "\xd0\x96\xd0\x96"},
    };
    for (const Case &c : cases) {
        const TagTextCodec codec(c.encoding);
        EXPECT_EQ(codec.encode(QString::fromUtf8(c.text), c.width), c.bytes) << c.text;
    }
}

TEST(LibraryTagEncoding, EveryByteSurvivesReadingAndWritingBack) {
    QByteArray all(256, '\0');
    for (int b = 0; b < 256; ++b) {
        all[b] = static_cast<char>(b);
    }
    for (TagEncoding encoding :
         {TagEncoding::Latin1, TagEncoding::Windows1251, TagEncoding::Windows1252}) {
        const TagTextCodec codec(encoding);
        EXPECT_EQ(codec.encode(codec.decode(all.constData(), all.size()), 256), all)
            << tagEncodingName(encoding).toStdString();
    }
}

TEST_F(LibraryTags, ReadingFollowsTheChosenEncoding) {
    writeFile(file("ru.mp3"), rawTag("\xca\xe8\xed\xee", "", "", "", "", 0));
    setTagEncoding(TagEncoding::Windows1251);
    EXPECT_EQ(reader_.getInfo(file("ru.mp3"), TagField::Title), QString::fromUtf8("Кино"));
    setTagEncoding(TagEncoding::Latin1);
    EXPECT_EQ(reader_.getInfo(file("ru.mp3"), TagField::Title), QString::fromUtf8("Êèíî"));
    EXPECT_EQ(tagEncodingFromName("windows-1251"), TagEncoding::Windows1251);
    EXPECT_EQ(tagEncodingFromName("junk"), TagEncoding::Latin1);
}

} // namespace

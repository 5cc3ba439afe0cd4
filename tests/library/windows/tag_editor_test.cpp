// The tag editor on Qt's offscreen platform, over real generated files.
#include "TFEditTag.h"
#include "settings_store.h"
#include "song_library.h"
#include "song_tags.h"
#include "tag_windows_support.h"
#include "tagged_media.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

using namespace velbrin::library;
using namespace velbrin::library::test;
using velbrin::ReadSetting;

namespace {

class LibraryTagEditor : public TagWindowFixture {
protected:
    // Shows the editor for `file` as the caller does, without blocking.
    void open(const QString &file) {
        editor.Edit5->setText(file);
        editor.show();
    }
    void key(QWidget *to, int key, const QString &text = {}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(to, &press);
    }
    void chooseEncoding(TagEncoding encoding) {
        for (QAction *action : editor.EncodingGroup->actions()) {
            if (action->data().toInt() == static_cast<int>(encoding)) {
                action->trigger();
            }
        }
    }
    QByteArray block(const QString &file) { return readAll(file).right(128); }

    SongLibrary library;
    TFEditTag editor{library};
};

TEST_F(LibraryTagEditor, UntaggedFileGrowsByOneBlockAndItsAudioStays) {
    writeFile(path("bare.mp3"), QByteArray(300, 'a'));
    const QByteArray before = readAll(path("bare.mp3"));
    open(path("bare.mp3"));
    EXPECT_EQ(editor.Edit1->text(), "");
    EXPECT_EQ(editor.ComboBox1->currentIndex(), -1);
    editor.Edit3->setText("Abcd");
    ASSERT_TRUE(editor.BitBtn1Click());
    const QByteArray after = readAll(path("bare.mp3"));
    ASSERT_EQ(after.size(), before.size() + 128);
    EXPECT_EQ(after.left(before.size()), before);
    const QByteArray tag = after.right(128);
    EXPECT_EQ(tag.mid(3, 30), QByteArray("Abcd") + QByteArray(26, ' '));
    EXPECT_EQ(tag.mid(93, 4), "    ");                     // an empty year
    EXPECT_EQ(static_cast<unsigned char>(tag[127]), 0xFF); // no genre chosen
    EXPECT_FALSE(editor.isVisible());
}

TEST_F(LibraryTagEditor, TaggedFileKeepsItsSizeAndAudio) {
    writeSong(path("song.mp3"), "Old", "Old title", 17);
    const QByteArray before = readAll(path("song.mp3"));
    open(path("song.mp3"));
    EXPECT_EQ(editor.Edit1->text(), "Old");
    EXPECT_EQ(editor.MaskEdit1->displayText(), "1999");
    EXPECT_EQ(editor.ComboBox1->currentText(), "Rock");
    editor.Edit1->setText("New");
    editor.MaskEdit1->setText("20");
    ASSERT_TRUE(editor.BitBtn1Click());
    const QByteArray after = readAll(path("song.mp3"));
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.left(before.size() - 128), before.left(before.size() - 128));
    EXPECT_EQ(after.mid(after.size() - 128 + 33, 30), QByteArray("New") + QByteArray(27, ' '));
    EXPECT_EQ(after.mid(after.size() - 128 + 93, 4), "20  ");
    EXPECT_EQ(static_cast<unsigned char>(after[after.size() - 1]), 17);
    // Every reader sees the new tag at once.
    EXPECT_EQ(library.tags.getInfo(path("song.mp3"), TagField::Artist), "New");
}

TEST_F(LibraryTagEditor, GenreGoesByNameSoByte83SavesAs30) {
    writeFile(path("f.mp3"), rawTag("T", "A", "", "", "", 83));
    open(path("f.mp3"));
    EXPECT_EQ(editor.ComboBox1->currentIndex(), 30);
    ASSERT_TRUE(editor.BitBtn1Click());
    EXPECT_EQ(static_cast<unsigned char>(block(path("f.mp3"))[127]), 30);
}

TEST_F(LibraryTagEditor, TextsReadBackAsTypedInTheChosenEncoding) {
    struct Case {
        TagEncoding encoding;
        const char *artist;
        const char *title;
        QByteArray artistBytes;
    };
    const Case cases[] = {
        {TagEncoding::Latin1, "Motörhead", "Sigur Rós", "Mot\xf6rhead"},
        {TagEncoding::Windows1251, "Кино", "Звезда по имени Солнце", "\xca\xe8\xed\xee"},
        {TagEncoding::Windows1252, "Café €", "Œuvre", "Caf\xe9 \x80"},
    };
    for (const Case &c : cases) {
        chooseEncoding(c.encoding);
        EXPECT_EQ(ReadSetting("Settings", "TagEncoding"), tagEncodingName(c.encoding));
        writeFile(path("e.mp3"), QByteArray(200, 'a'));
        open(path("e.mp3"));
        editor.Edit1->setText(QString::fromUtf8(c.artist));
        editor.Edit3->setText(QString::fromUtf8(c.title));
        ASSERT_TRUE(editor.BitBtn1Click());
        const QByteArray tag = block(path("e.mp3"));
        EXPECT_EQ(tag.mid(33, c.artistBytes.size()), c.artistBytes) << c.artist;
        open(path("e.mp3"));
        EXPECT_EQ(editor.Edit1->text(), QString::fromUtf8(c.artist));
        EXPECT_EQ(editor.Edit3->text(), QString::fromUtf8(c.title));
        editor.hide();
    }
}

TEST_F(LibraryTagEditor, ListEntryFollowsTheSaveUnlessArtistTitleAndAlbumAreEmpty) {
    writeSong(path("a.mp3"), "First", "Song", 0);
    writeSong(path("b.mp3"), "Second", "Song", 0);
    library.ProcessFile(path("a.mp3"));
    library.ProcessFile(path("b.mp3"));
    library.list.select(1);
    open(path("b.mp3"));
    editor.Edit1->setText("Artist");
    editor.Edit3->setText("Title");
    editor.Edit2->setText("Album");
    ASSERT_TRUE(editor.BitBtn1Click());
    EXPECT_EQ(library.list.displayText(1), "Artist, Title, Album");
    EXPECT_EQ(library.list.displayText(0), "First, Album, Song");

    open(path("b.mp3"));
    for (QLineEdit *edit : {editor.Edit1, editor.Edit2, editor.Edit3}) {
        edit->clear();
    }
    ASSERT_TRUE(editor.BitBtn1Click());
    EXPECT_EQ(library.list.displayText(1), "Artist, Title, Album");
}

TEST_F(LibraryTagEditor, FailedWriteReportsTheFileAndChangesNothing) {
    openUp(dir);
    writeSong(path("locked.mp3"), "Kept", "Song", 0);
    library.ProcessFile(path("locked.mp3"));
    QFile::setPermissions(path("locked.mp3"),
                          QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    const QByteArray before = readAll(path("locked.mp3"));
    open(path("locked.mp3"));
    editor.Edit1->setText("Changed");
    QString message;
    {
        AsOrdinaryUser user;
        if (!user.active()) {
            GTEST_SKIP() << "cannot drop to an ordinary user";
        }
        message = messageOf([&] { EXPECT_FALSE(editor.BitBtn1Click()); });
    }
    EXPECT_TRUE(message.contains("locked.mp3")) << message.toStdString();
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(readAll(path("locked.mp3")), before);
    EXPECT_EQ(library.list.displayText(0), "Kept, Album, Song");

    QFile::remove(path("locked.mp3"));
    message = messageOf([&] { EXPECT_FALSE(editor.BitBtn1Click()); });
    EXPECT_TRUE(message.contains("locked.mp3"));
    EXPECT_FALSE(QFileInfo::exists(path("locked.mp3")));
}

TEST_F(LibraryTagEditor, EnterSavesAndEscCancelsFromAnyField) {
    writeSong(path("k.mp3"), "Before", "T", 0);
    open(path("k.mp3"));
    editor.Edit1->setText("After");
    key(editor.Edit3, Qt::Key_Escape);
    EXPECT_FALSE(editor.isVisible());
    EXPECT_EQ(block(path("k.mp3")).mid(33, 6), "Before");

    open(path("k.mp3"));
    editor.Edit1->setText("After");
    key(editor.ComboBox1, Qt::Key_Return);
    EXPECT_FALSE(editor.isVisible());
    EXPECT_EQ(block(path("k.mp3")).mid(33, 6), "After ");
}

TEST_F(LibraryTagEditor, YearTakesDigitsOnly) {
    writeFile(path("y.mp3"), QByteArray(200, 'a'));
    open(path("y.mp3"));
    editor.MaskEdit1->setFocus();
    editor.MaskEdit1->setCursorPosition(0);
    for (const char *c : {"1", "x", "9"}) {
        key(editor.MaskEdit1, c[0] == 'x' ? Qt::Key_X : Qt::Key_1 + (c[0] - '1'), c);
    }
    EXPECT_EQ(editor.MaskEdit1->displayText(), "19  ");
}

TEST_F(LibraryTagEditor, DefaultCommentIsSavedAndFetched) {
    writeFile(path("c.mp3"), QByteArray(200, 'a'));
    open(path("c.mp3"));
    editor.Edit4->setText("Ripped by me");
    editor.Saveasdefaultcomment1->trigger();
    EXPECT_EQ(ReadSetting("Settings", "DefaultComment"), "Ripped by me");
    editor.Edit4->clear();
    editor.Button1Click();
    EXPECT_EQ(editor.Edit4->text(), "Ripped by me");
}

TEST_F(LibraryTagEditor, FieldsRefuseWhatTheTagCouldNotHold) {
    chooseEncoding(TagEncoding::System); // UTF-8 here: two bytes per Cyrillic letter
    editor.Edit1->setText(QString(14, QChar(0x0416)));
    editor.Edit1->setCursorPosition(14);
    key(editor.Edit1, Qt::Key_A, "a");
    key(editor.Edit1, Qt::Key_A, "a");
    key(editor.Edit1, Qt::Key_A, "a");
    EXPECT_EQ(editor.Edit1->text(), QString(14, QChar(0x0416)) + "aa");
}

} // namespace

TEST_F(LibraryTagEditor, ALongId3v2TitleIsShownWholeAndKept) {
    const QString title = QString::fromUtf8("Звезда по имени Солнце — сорок семь букв, ровно!");
    ASSERT_EQ(title.size(), 48);
    const QString f = TaggedMedia::get().lame(
        "long.mp3", {"--add-id3v2", "--tt", title, "--ta", "Band", "--tg", "Rock"});
    open(f);
    EXPECT_EQ(editor.Edit3->text(), title) << "shown whole, not the 30 bytes of ID3v1";
    EXPECT_GT(editor.Edit2->maxLength(), 30) << "ID3v2 keeps longer texts";
    editor.Edit1->setText(QString::fromUtf8("Кино"));
    ASSERT_TRUE(editor.BitBtn1Click());
    const SongTags after = readSongTags(f, &tagCodec());
    EXPECT_EQ(after.title, title);
    EXPECT_EQ(after.artist, QString::fromUtf8("Кино"));
    EXPECT_EQ(after.genre, 17);
    // The block has what fits, as it always had.
    TagContents typed;
    typed.title = title;
    typed.artist = QString::fromUtf8("Кино");
    typed.genre = 17;
    EXPECT_EQ(block(f).left(63), buildTagBlock(typed).left(63));
}

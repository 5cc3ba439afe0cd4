#include "settings_store.h"
#include "settings_test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace velbrin;

namespace {

class SettingsStore : public StoreFixture {};

// --- Reads never create anything -------------------------------------------

TEST_F(SettingsStore, ReadWithoutFileGivesEmptyTextAndCreatesNothing) {
    EXPECT_EQ(ReadSetting(QStringLiteral("Engine"), QStringLiteral("Pitch")), QString());
    EXPECT_EQ(ReadSetting(QString(), QString()), QString());
    EXPECT_FALSE(fileExists());
    EXPECT_FALSE(QFileInfo::exists(folder())) << "a read created the store's folder";
}

TEST_F(SettingsStore, ReadOfMissingSectionOrValueLeavesFileUntouched) {
    ASSERT_TRUE(WriteSetting(QStringLiteral("Engine"), QStringLiteral("Pitch"), "1000"));
    const QByteArray before = rawFile();
    const auto stampBefore = QFileInfo(path()).lastModified();

    EXPECT_EQ(ReadSetting(QStringLiteral("CD-Player"), QStringLiteral("DefaultDrive")), "");
    EXPECT_EQ(ReadSetting(QStringLiteral("Engine"), QStringLiteral("Priority")), "");

    EXPECT_EQ(rawFile(), before);
    EXPECT_EQ(QFileInfo(path()).lastModified(), stampBefore);
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files).size(), 1) << "a read left a file behind";
}

// --- Writes create what is missing, in the INI layout QSettings reads ------

TEST_F(SettingsStore, WriteCreatesFolderFileSectionAndValue) {
    ASSERT_TRUE(WriteSetting(QStringLiteral("DJ-Settings"), QStringLiteral("UseDJ"), "-1"));
    ASSERT_TRUE(fileExists());
    EXPECT_EQ(ReadSetting(QStringLiteral("DJ-Settings"), QStringLiteral("UseDJ")), "-1");
    EXPECT_TRUE(rawFile().contains("[DJ-Settings]"));
    EXPECT_EQ(plainQSettingsValue(QStringLiteral("DJ-Settings/UseDJ")), "-1");
}

TEST_F(SettingsStore, ValuesOfOtherSectionsAndNamesSurviveAWrite) {
    ASSERT_TRUE(WriteSetting(QStringLiteral("Engine"), QStringLiteral("Pitch"), "900"));
    ASSERT_TRUE(WriteSetting(QStringLiteral("Settings"), QStringLiteral("PlayMode"), "Live"));
    ASSERT_TRUE(WriteSetting(QStringLiteral("Engine"), QStringLiteral("Priority"), "2"));
    ASSERT_TRUE(WriteSetting(QStringLiteral("Engine"), QStringLiteral("Pitch"), "1100"));
    EXPECT_EQ(ReadSetting(QStringLiteral("Engine"), QStringLiteral("Pitch")), "1100");
    EXPECT_EQ(ReadSetting(QStringLiteral("Engine"), QStringLiteral("Priority")), "2");
    EXPECT_EQ(ReadSetting(QStringLiteral("Settings"), QStringLiteral("PlayMode")), "Live");
}

TEST_F(SettingsStore, NewFileHasTheUsersNormalPermissions) {
    const mode_t old = ::umask(022);
    const bool written = WriteSetting(QStringLiteral("Engine"), QStringLiteral("Pitch"), "1");
    ::umask(old);
    ASSERT_TRUE(written);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_EQ(info.st_mode & S_IWOTH, 0u) << "the store must not be writable by everybody";
}

// --- Texts come back exactly -----------------------------------------------

TEST_F(SettingsStore, TextOfTheFullLengthRoundTrips) {
    QString text;
    for (int i = 0; i < kSettingTextLimit; ++i)
        text += QChar(u'a' + i % 26);
    ASSERT_EQ(text.size(), 1024);
    ASSERT_TRUE(WriteSetting(QStringLiteral("DJ-Settings"), QStringLiteral("DJ-text0"), text));
    EXPECT_EQ(ReadSetting(QStringLiteral("DJ-Settings"), QStringLiteral("DJ-text0")), text);
}

TEST_F(SettingsStore, OverlongWritesAreRefusedAndKeepTheOldValue) {
    ASSERT_TRUE(WriteSetting(QStringLiteral("Settings"), QStringLiteral("WAVDir"), "/music"));
    const QString tooLong(kSettingTextLimit + 1, QChar(u'x'));
    EXPECT_FALSE(WriteSetting(QStringLiteral("Settings"), QStringLiteral("WAVDir"), tooLong));
    EXPECT_FALSE(WriteSetting(tooLong, QStringLiteral("WAVDir"), "x"));
    EXPECT_FALSE(WriteSetting(QStringLiteral("Settings"), tooLong, "x"));
    EXPECT_EQ(ReadSetting(QStringLiteral("Settings"), QStringLiteral("WAVDir")), "/music");
    EXPECT_EQ(ReadSetting(QStringLiteral("Settings"), tooLong), "");
}

TEST_F(SettingsStore, EmptyTextIsStoredAndReadsLikeAMissingValue) {
    ASSERT_TRUE(WriteSetting(QStringLiteral("Settings"), QStringLiteral("DefaultComment"), "c"));
    ASSERT_TRUE(WriteSetting(QStringLiteral("Settings"), QStringLiteral("DefaultComment"), ""));
    EXPECT_EQ(ReadSetting(QStringLiteral("Settings"), QStringLiteral("DefaultComment")), "");
    const QSettings plain(path(), QSettings::IniFormat);
    EXPECT_TRUE(plain.contains(QStringLiteral("Settings/DefaultComment")));
}

TEST_F(SettingsStore, TextsQSettingsWouldReinterpretRoundTripExactly) {
    const QStringList texts = {
        "a, b",
        "a,b,c",
        "@foo",
        "@Variant(\\0\\0\\0\\x7f)",
        "@ByteArray(abc)",
        "@Invalid()",
        "\"quoted\"",
        "semi;colon = equals",
        "C:\\Music\\",
        "  leading and trailing  ",
        "line one\nline two\r\n",
        "tab\there",
        "[Section]",
        "#not a comment",
        "; not a comment either",
        "Sigur Rós – Ágætis byrjun 中文 🎵",
        "true",
        "%ARTIST%, %SONGTITLE%",
    };
    int index = 0;
    for (const QString &text : texts) {
        const QString name = QStringLiteral("T%1").arg(index++);
        ASSERT_TRUE(WriteSetting(QStringLiteral("Texts"), name, text)) << text.toStdString();
    }
    index = 0;
    for (const QString &text : texts) {
        const QString name = QStringLiteral("T%1").arg(index++);
        EXPECT_EQ(ReadSetting(QStringLiteral("Texts"), name), text) << text.toStdString();
    }
}

TEST_F(SettingsStore, TextEndsAtItsFirstNullCharacter) {
    const QString text = QStringLiteral("before") + QChar(u'\0') + QStringLiteral("after");
    ASSERT_TRUE(WriteSetting(QStringLiteral("Texts"), QStringLiteral("Null"), text));
    EXPECT_EQ(ReadSetting(QStringLiteral("Texts"), QStringLiteral("Null")), "before");
}

TEST_F(SettingsStore, HandWrittenValuesReadAsText) {
    // Hand-written so that QSettings itself would hand back a list, a byte
    // array and a value of a type it cannot turn into text.
    writeRawFile("[Hand]\nList=one, two\nBytes=@ByteArray(raw)\nRect=@Rect(1 2 3 4)\n"
                 "Long=" +
                 QByteArray(kSettingTextLimit + 1, 'x') + "\n");
    EXPECT_EQ(ReadSetting(QStringLiteral("Hand"), QStringLiteral("List")), "one, two");
    EXPECT_EQ(ReadSetting(QStringLiteral("Hand"), QStringLiteral("Bytes")), "raw");
    EXPECT_EQ(ReadSetting(QStringLiteral("Hand"), QStringLiteral("Rect")), "");
    EXPECT_EQ(ReadSetting(QStringLiteral("Hand"), QStringLiteral("Long")), "")
        << "a stored text over the limit reads as empty text";
}

// --- Names ------------------------------------------------------------------

TEST_F(SettingsStore, NamesMatchWithoutRegardToCaseAndKeepTheirFirstSpelling) {
    ASSERT_TRUE(WriteSetting(QStringLiteral("KeyMappings"), QStringLiteral("AlwaysListen"), "0"));
    ASSERT_TRUE(WriteSetting(QStringLiteral("keymappings"), QStringLiteral("ALWAYSLISTEN"), "-1"));
    EXPECT_EQ(ReadSetting(QStringLiteral("KEYMAPPINGS"), QStringLiteral("alwayslisten")), "-1");
    EXPECT_EQ(plainQSettingsValue(QStringLiteral("KeyMappings/AlwaysListen")), "-1");
    EXPECT_FALSE(rawFile().contains("ALWAYSLISTEN"));
    EXPECT_FALSE(rawFile().contains("[keymappings]"));
}

TEST_F(SettingsStore, UnnamedValueIsItsOwnValue) {
    ASSERT_TRUE(WriteSetting(QStringLiteral("Engine"), QString(), "unnamed"));
    for (const char *lookalike : {"%default", "(Default)", "@", "Default", "%25default"})
        ASSERT_TRUE(
            WriteSetting(QStringLiteral("Engine"), QString::fromUtf8(lookalike), lookalike));
    EXPECT_EQ(ReadSetting(QStringLiteral("Engine"), QString()), "unnamed");
    for (const char *lookalike : {"%default", "(Default)", "@", "Default", "%25default"})
        EXPECT_EQ(ReadSetting(QStringLiteral("Engine"), QString::fromUtf8(lookalike)), lookalike);
}

TEST_F(SettingsStore, SlashesInNamesDoNotNestSections) {
    ASSERT_TRUE(WriteSetting(QStringLiteral("A"), QStringLiteral("B/C"), "name with slash"));
    ASSERT_TRUE(WriteSetting(QStringLiteral("A/B"), QStringLiteral("C"), "section with slash"));
    ASSERT_TRUE(WriteSetting(QStringLiteral("A"), QStringLiteral("B\\C"), "name with backslash"));
    ASSERT_TRUE(WriteSetting(QStringLiteral("A"), QStringLiteral("/"), "just a slash"));
    EXPECT_EQ(ReadSetting(QStringLiteral("A"), QStringLiteral("B/C")), "name with slash");
    EXPECT_EQ(ReadSetting(QStringLiteral("A/B"), QStringLiteral("C")), "section with slash");
    EXPECT_EQ(ReadSetting(QStringLiteral("A"), QStringLiteral("B\\C")), "name with backslash");
    EXPECT_EQ(ReadSetting(QStringLiteral("A"), QStringLiteral("/")), "just a slash");
    EXPECT_EQ(ReadSetting(QStringLiteral("A"), QString()), "");
}

TEST_F(SettingsStore, EmptySectionIsTheTopLevelAndNotASectionCalledGeneral) {
    ASSERT_TRUE(WriteSetting(QString(), QStringLiteral("Version"), "top"));
    ASSERT_TRUE(WriteSetting(QStringLiteral("General"), QStringLiteral("Version"), "section"));
    EXPECT_EQ(ReadSetting(QString(), QStringLiteral("Version")), "top");
    EXPECT_EQ(ReadSetting(QStringLiteral("General"), QStringLiteral("Version")), "section");
    EXPECT_EQ(plainQSettingsValue(QStringLiteral("Version")), "top");
}

// --- Files the store cannot fully read -------------------------------------

TEST_F(SettingsStore, MalformedFileIsReadButNeverRewritten) {
    const QByteArray content = "[Engine]\nPitch=1200\nthis line is not a setting\n";
    writeRawFile(content);
    EXPECT_EQ(ReadSetting(QStringLiteral("Engine"), QStringLiteral("Pitch")), "1200");
    EXPECT_FALSE(WriteSetting(QStringLiteral("Engine"), QStringLiteral("Pitch"), "1300"));
    EXPECT_EQ(rawFile(), content) << "rewriting would have dropped the line it cannot parse";
}

TEST_F(SettingsStore, StoreInAFolderThatCannotBeCreatedFailsQuietly) {
    writeRawFile("");
    qputenv("VELBRIN_SETTINGS", QFile::encodeName(path() + QStringLiteral("/below/a/file.ini")));
    EXPECT_FALSE(WriteSetting(QStringLiteral("Engine"), QStringLiteral("Pitch"), "1"));
    EXPECT_EQ(ReadSetting(QStringLiteral("Engine"), QStringLiteral("Pitch")), "");
}

TEST(SettingsStorePath, DefaultsToTheUsersConfigurationFolder) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    const bool hadConfig = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QByteArray savedStore = qgetenv("VELBRIN_SETTINGS");
    const bool hadStore = qEnvironmentVariableIsSet("VELBRIN_SETTINGS");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    qunsetenv("VELBRIN_SETTINGS");

    const bool written = WriteSetting(QStringLiteral("Appearance"), QStringLiteral("Skin"), "0");
    const bool landed = QFileInfo::exists(home.filePath(QStringLiteral("velbrin/velbrin.ini")));

    hadConfig ? qputenv("XDG_CONFIG_HOME", savedConfig) : qunsetenv("XDG_CONFIG_HOME");
    if (hadStore)
        qputenv("VELBRIN_SETTINGS", savedStore);
    EXPECT_TRUE(written);
    EXPECT_TRUE(landed);
}

// --- Typed values ------------------------------------------------------------

TEST(SettingsStoreParsing, IntegersAreDecimalTextElseTheCallersDefault) {
    EXPECT_EQ(ParseIntegerSetting("1000", 7), 1000);
    EXPECT_EQ(ParseIntegerSetting("-5", 7), -5);
    EXPECT_EQ(ParseIntegerSetting("+12", 7), 12);
    EXPECT_EQ(ParseIntegerSetting(" 42 ", 7), 42);
    EXPECT_EQ(ParseIntegerSetting("2147483647", 7), 2147483647);
    for (const char *junk : {"", "abc", "12abc", "1.5", "0x10", "$10", "99999999999", "- 1"})
        EXPECT_EQ(ParseIntegerSetting(QString::fromUtf8(junk), 7), 7) << junk;
}

TEST(SettingsStoreParsing, BooleansAcceptNumbersAndTheWordsElseTheCallersDefault) {
    for (bool fallback : {false, true}) {
        EXPECT_TRUE(ParseBooleanSetting("-1", fallback));
        EXPECT_TRUE(ParseBooleanSetting("2", fallback));
        EXPECT_TRUE(ParseBooleanSetting("1.5", fallback));
        EXPECT_TRUE(ParseBooleanSetting("123456789012345678901234567890", fallback));
        EXPECT_FALSE(ParseBooleanSetting("0", fallback));
        EXPECT_FALSE(ParseBooleanSetting("0.0", fallback));
        EXPECT_TRUE(ParseBooleanSetting("True", fallback));
        EXPECT_TRUE(ParseBooleanSetting("TRUE", fallback));
        EXPECT_FALSE(ParseBooleanSetting("false", fallback));
        EXPECT_FALSE(ParseBooleanSetting("FaLsE", fallback));
        for (const char *junk : {"", "yes", "on", "T", "nan", "inf", "true!", "0 1"})
            EXPECT_EQ(ParseBooleanSetting(QString::fromUtf8(junk), fallback), fallback) << junk;
    }
}

TEST_F(SettingsStore, TypedWritersStoreTheDocumentedTexts) {
    ASSERT_TRUE(WriteBooleanSetting(QStringLiteral("Settings"), QStringLiteral("ShuffleOn"), true));
    ASSERT_TRUE(
        WriteBooleanSetting(QStringLiteral("Settings"), QStringLiteral("RepeatAll"), false));
    ASSERT_TRUE(WriteIntegerSetting(QStringLiteral("Engine"), QStringLiteral("Pitch"), -250));
    EXPECT_EQ(ReadSetting(QStringLiteral("Settings"), QStringLiteral("ShuffleOn")), "-1");
    EXPECT_EQ(ReadSetting(QStringLiteral("Settings"), QStringLiteral("RepeatAll")), "0");
    EXPECT_EQ(ReadSetting(QStringLiteral("Engine"), QStringLiteral("Pitch")), "-250");
    EXPECT_TRUE(ReadBooleanSetting(QStringLiteral("Settings"), QStringLiteral("ShuffleOn"), false));
    EXPECT_FALSE(ReadBooleanSetting(QStringLiteral("Settings"), QStringLiteral("RepeatAll"), true));
    EXPECT_EQ(ReadIntegerSetting(QStringLiteral("Engine"), QStringLiteral("Pitch"), 1000), -250);
}

TEST_F(SettingsStore, TypedReadersFallBackOnMissingOrForeignTexts) {
    ASSERT_TRUE(WriteSetting(QStringLiteral("Engine"), QStringLiteral("Pitch"), "loud"));
    EXPECT_EQ(ReadIntegerSetting(QStringLiteral("Engine"), QStringLiteral("Pitch"), 1000), 1000);
    EXPECT_EQ(ReadIntegerSetting(QStringLiteral("Engine"), QStringLiteral("Priority"), 4), 4);
    EXPECT_FALSE(ReadBooleanSetting(QStringLiteral("DJ-Settings"), QStringLiteral("UseDJ"), false));
    ASSERT_TRUE(WriteSetting(QStringLiteral("DJ-Settings"), QStringLiteral("UseDJ"), "TRUE"));
    EXPECT_TRUE(ReadBooleanSetting(QStringLiteral("DJ-Settings"), QStringLiteral("UseDJ"), false));
}

} // namespace

#pragma once

#include <QString>

namespace velbrin {

// The settings store: one text per section and value name, kept in the file
// named by platform::settingsFilePath(). An empty section addresses the file's
// top level, an empty value name the section's unnamed value.
//
// Sections, value names and texts hold at most this many characters (UTF-16
// code units). A write with a longer one is refused and changes nothing; a
// read with a longer name, or of a stored text that is longer, yields empty
// text.
inline constexpr qsizetype kSettingTextLimit = 1024;

// The stored text up to its first null character; empty text when anything is
// missing or fails. Never creates a file, a section or a value, and reads the
// file afresh on every call.
QString ReadSetting(const QString &section, const QString &name);

// Stores the text at once (the file is replaced atomically). Returns false
// when the write was refused or failed; nothing is shown to the user and no
// caller needs to look.
bool WriteSetting(const QString &section, const QString &name, const QString &text);

// Integers are stored as decimal text. Any text that is not a decimal integer
// in the range of int (an optional sign and digits, blanks around it allowed)
// gives `defaultValue`.
int ParseIntegerSetting(const QString &text, int defaultValue);
int ReadIntegerSetting(const QString &section, const QString &name, int defaultValue);
bool WriteIntegerSetting(const QString &section, const QString &name, int value);

// Booleans are written as "-1" and "0". Read back, any number counts (non-zero
// is true), as do the words "True" and "False" in any letter case; any other
// text gives `defaultValue`.
bool ParseBooleanSetting(const QString &text, bool defaultValue);
bool ReadBooleanSetting(const QString &section, const QString &name, bool defaultValue);
bool WriteBooleanSetting(const QString &section, const QString &name, bool value);

// A settings store as the plain classes see it. They are handed one rather
// than reaching the program's file themselves, so a test can give them a store
// of its own. Texts, integers and booleans follow the rules above.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual QString read(const QString &section, const QString &name) const = 0;
    virtual bool write(const QString &section, const QString &name, const QString &text) = 0;

    int readInteger(const QString &section, const QString &name, int defaultValue) const;
    bool readBoolean(const QString &section, const QString &name, bool defaultValue) const;
    bool writeInteger(const QString &section, const QString &name, int value);
    bool writeBoolean(const QString &section, const QString &name, bool value);
};

// The program's store: the file that ReadSetting and WriteSetting use.
SettingsStore &ProgramSettings();

} // namespace velbrin

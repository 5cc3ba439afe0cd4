#pragma once

#include <QString>

#include <optional>

namespace velbrin::platform {

// The store's file: $VELBRIN_SETTINGS when set and not empty, else
// "velbrin/velbrin.ini" in the user's configuration folder. Resolved on every
// call, so a changed environment takes effect at once.
QString settingsFilePath();

// One INI file as Qt's QSettings reads it in its IniFormat: a section is a
// group, a value name a key, the text the value. The empty section stands for
// the file's top level and the empty name for the section's unnamed value.
//
// Names keep their letters but are matched without regard to case, and the
// spelling first written stays. "%", "/" and "\" in names are written as
// "%25", "%2F" and "%5C" so that a name never splits into nested groups.
//
// Every call opens, uses and closes the file; nothing is kept between calls.
// Writers in all processes are serialised by an advisory lock on the file's
// folder, and each write moves the file's modification time forward by at
// least a millisecond (see settings_file.cpp), so that a reader or writer in
// another process never mistakes a changed file for the one it read before.
class SettingsFile {
public:
    explicit SettingsFile(QString path) : path_(std::move(path)) {}

    // Nothing when the file, the section or the value does not exist. Never
    // creates anything.
    std::optional<QString> read(const QString &section, const QString &name) const;

    // Replaces the file atomically with one that holds the value; creates the
    // folder and the file with the user's normal permissions when missing.
    // False when the file cannot be read in full (unreadable or malformed:
    // rewriting it would drop what could not be parsed) or cannot be written.
    bool write(const QString &section, const QString &name, const QString &text);

    const QString &path() const { return path_; }

private:
    QString path_;
};

} // namespace velbrin::platform

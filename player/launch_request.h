#pragma once

#include <QString>
#include <QStringList>

namespace velbrin::player {

// What one start of the program asks for, read from its command line. A
// launcher passes songs as addresses ("file:///music/a.mp3"), a file manager
// an audio CD as "cdda://sr0"; both are taken as what they name.
struct LaunchRequest {
    bool help = false;
    bool version = false;
    // A player of its own even while another runs.
    bool newInstance = false;
    // One of `launchActions()`, for the running player; empty for none.
    QString action;
    // Files, folders and playlists, as paths.
    QStringList entries;
    // Drives named by cdda: addresses, as device paths.
    QStringList cdDrives;
    // The first option the program does not know; the start fails with it.
    QString badOption;
    friend bool operator==(const LaunchRequest &, const LaunchRequest &) = default;
};

// The launcher entry's actions, by their names there and on the command line
// ("--play-pause" and so on).
const QStringList &launchActions();

// `arguments` without the program itself. With `workingDir` relative paths are
// made absolute, as a running player elsewhere needs them; without it they stay
// as given.
LaunchRequest parseLaunch(const QStringList &arguments, const QString &workingDir = {});

// The songs and drives of a request as addresses, which `parseLaunch` reads back.
QStringList addressesOf(const LaunchRequest &request);

QString usageText();
QString versionText();

} // namespace velbrin::player

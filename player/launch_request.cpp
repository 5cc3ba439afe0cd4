#include "launch_request.h"

#include <QDir>
#include <QRegularExpression>
#include <QUrl>

namespace velbrin::player {

namespace {

// A drive named by a cdda: address, or by the folder the desktop mounts a CD
// on (".../gvfs/cdda:host=sr0"); empty for anything else.
QString cdDriveOf(const QString &argument) {
    static const QRegularExpression mounted(QStringLiteral("cdda:host=([A-Za-z0-9_]+)"));
    if (const QRegularExpressionMatch m = mounted.match(argument); m.hasMatch()) {
        return QStringLiteral("/dev/") + m.captured(1);
    }
    if (argument.startsWith(QLatin1String("cdda://"), Qt::CaseInsensitive)) {
        const QString host = QUrl(argument).host();
        return host.isEmpty() ? QString() : QStringLiteral("/dev/") + host;
    }
    return {};
}

} // namespace

const QStringList &launchActions() {
    static const QStringList actions{QStringLiteral("play-pause"), QStringLiteral("next"),
                                     QStringLiteral("previous"), QStringLiteral("stop")};
    return actions;
}

LaunchRequest parseLaunch(const QStringList &arguments, const QString &workingDir) {
    LaunchRequest r;
    bool options = true;
    for (const QString &a : arguments) {
        if (options && a == QLatin1String("--")) {
            options = false;
        } else if (options && (a == QLatin1String("-h") || a == QLatin1String("--help"))) {
            r.help = true;
        } else if (options && a == QLatin1String("--version")) {
            r.version = true;
        } else if (options && a == QLatin1String("--new-instance")) {
            r.newInstance = true;
        } else if (options && a.startsWith(QLatin1String("--"))) {
            if (launchActions().contains(a.mid(2))) {
                r.action = a.mid(2);
            } else if (r.badOption.isEmpty()) {
                r.badOption = a;
            }
        } else if (const QString drive = cdDriveOf(a); !drive.isEmpty()) {
            r.cdDrives << drive;
        } else if (a.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
            // Another machine's file cannot be played from here.
            const QUrl url(a);
            if (url.isLocalFile() &&
                (url.host().isEmpty() || url.host() == QLatin1String("localhost"))) {
                r.entries << url.toLocalFile();
            }
        } else if (!a.isEmpty()) {
            r.entries << (workingDir.isEmpty() ? a : QDir(workingDir).absoluteFilePath(a));
        }
    }
    return r;
}

QStringList addressesOf(const LaunchRequest &request) {
    QStringList out;
    for (const QString &path : request.entries) {
        out << QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded());
    }
    for (const QString &drive : request.cdDrives) {
        out << QStringLiteral("cdda://") + drive.section(QLatin1Char('/'), -1);
    }
    return out;
}

QString usageText() {
    return QStringLiteral("Usage: velbrin [OPTION...] [FILE-OR-FOLDER...]\n"
                          "Plays MP3 songs, playlists (.lst, .pls, .m3u, .m3u8) and folders.\n"
                          "While a player runs, the songs go to it and this command ends.\n"
                          "\n"
                          "  --new-instance  start a player of its own even while another runs\n"
                          "  --play-pause    play or pause the running player\n"
                          "  --next          the running player's next song\n"
                          "  --previous      the running player's previous song\n"
                          "  --stop          stop the running player\n"
                          "  -h, --help      show this help and exit\n"
                          "  --version       show the version and exit\n"
                          "  --              the arguments after it are all files\n");
}

QString versionText() {
    return QStringLiteral("velbrin " VELBRIN_VERSION "\n");
}

} // namespace velbrin::player

#include "folder_walk.h"

#include <algorithm>
#include <vector>

#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <utility>

#include <sys/stat.h>

namespace velbrin::library {

namespace fs = std::filesystem;

QString upperExtension(const QString &path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < slash) {
        return {};
    }
    QString ext = path.mid(dot);
    for (QChar &c : ext) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) {
            c = QChar(c.unicode() - 'a' + 'A');
        }
    }
    return ext;
}

bool isSongExtension(const QString &upperExt) {
    return upperExt == QLatin1String(".MP3") || upperExt == QLatin1String(".MP1") ||
           upperExt == QLatin1String(".MP2");
}

bool isPlaylistExtension(const QString &upperExt) {
    return upperExt == QLatin1String(".LST") || upperExt == QLatin1String(".PLS") ||
           upperExt == QLatin1String(".M3U") || upperExt == QLatin1String(".M3U8");
}

namespace {

using FolderId = std::pair<dev_t, ino_t>;

class Walker {
public:
    explicit Walker(const std::function<void(const QString &)> &processFile)
        : processFile_(processFile) {}

    void walk(const std::string &dir) {
        struct stat st {};
        if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            ++report.unreadableFolders;
            return;
        }
        if (!visited_.insert({st.st_dev, st.st_ino}).second) {
            return;
        }
        std::error_code ec;
        fs::directory_iterator it(dir, ec);
        if (ec) {
            ++report.unreadableFolders;
            return;
        }
        std::vector<std::pair<std::string, fs::directory_entry>> entries;
        for (const fs::directory_iterator end; it != end; it.increment(ec)) {
            entries.emplace_back(it->path().filename().native(), *it);
        }
        if (ec) {
            ++report.unreadableFolders;
        }
        // The order a directory listing comes in is arbitrary on most Linux file
        // systems; songs are walked in name order, letters compared without case,
        // as users of the player expect an album folder to play.
        const auto upper = [](char c) {
            return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        };
        std::sort(entries.begin(), entries.end(), [&](const auto &a, const auto &b) {
            return std::lexicographical_compare(
                a.first.begin(), a.first.end(), b.first.begin(), b.first.end(),
                [&](char c, char d) { return upper(c) < upper(d); });
        });
        for (const auto &[name, entry] : entries) {
            visitEntry(dir, entry);
        }
    }

    WalkReport report;

private:
    void visitEntry(const std::string &dir, const fs::directory_entry &entry) {
        const std::string name = entry.path().filename().native();
        std::string child = dir;
        if (!child.ends_with('/')) {
            child += '/';
        }
        child += name;
        std::error_code ec;
        // Follows links: a link to a folder is walked, a link to a song is added.
        const fs::file_status status = entry.status(ec);
        if (ec) {
            return;
        }
        if (fs::is_directory(status)) {
            walk(child);
            return;
        }
        if (!fs::is_regular_file(status)) {
            return;
        }
        const QString text = QFile::decodeName(QByteArray::fromStdString(child));
        if (!isSongExtension(upperExtension(text))) {
            return;
        }
        // A name the locale cannot express would come back as a different
        // path and could never be opened again.
        if (QFile::encodeName(text).toStdString() != child) {
            ++report.unrepresentableNames;
            return;
        }
        ++report.songs;
        processFile_(text);
    }

    const std::function<void(const QString &)> &processFile_;
    std::set<FolderId> visited_;
};

} // namespace

WalkReport ScanDir(const QString &dir, const std::function<void(const QString &)> &processFile) {
    QString start = dir;
    // "/music" and "/music/" walk the same folder and give the same paths.
    while (start.size() > 1 && start.endsWith(QLatin1Char('/'))) {
        start.chop(1);
    }
    Walker walker(processFile);
    walker.walk(QFile::encodeName(start).toStdString());
    return walker.report;
}

std::vector<DropAction> planDrop(const QStringList &droppedNames) {
    std::vector<DropAction> actions;
    QString previous;
    bool first = true;
    for (const QString &name : droppedNames) {
        if (!first && name == previous) {
            continue;
        }
        first = false;
        previous = name;
        const QFileInfo info(name);
        if (info.isFile()) {
            const QString ext = upperExtension(name);
            if (isSongExtension(ext)) {
                actions.push_back({DropAction::Kind::Song, name});
            } else if (isPlaylistExtension(ext)) {
                actions.push_back({DropAction::Kind::Playlist, name});
            }
        } else if (info.isDir()) {
            actions.push_back({DropAction::Kind::Folder, name});
        }
    }
    return actions;
}

} // namespace velbrin::library

#include "playlist_files.h"

#include "folder_walk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QUrl>

#include <vector>

namespace velbrin::library {

namespace {

enum class Format { Lines, Pls, M3u, M3u8 };

Format formatOf(const QString &fileName) {
    const QString ext = upperExtension(fileName);
    if (ext == QLatin1String(".PLS")) {
        return Format::Pls;
    }
    if (ext == QLatin1String(".M3U")) {
        return Format::M3u;
    }
    if (ext == QLatin1String(".M3U8")) {
        return Format::M3u8;
    }
    return Format::Lines;
}

// The value of a "FileN=" line, or nothing for any other line.
std::optional<QString> plsFileValue(const QString &line) {
    if (!line.startsWith(QLatin1String("file"), Qt::CaseInsensitive)) {
        return std::nullopt;
    }
    qsizetype i = 4;
    while (i < line.size() && line[i].isDigit()) {
        ++i;
    }
    if (i == 4 || i >= line.size() || line[i] != QLatin1Char('=')) {
        return std::nullopt;
    }
    return line.mid(i + 1).trimmed();
}

// No path is longer than this; a longer line is junk and is skipped whole, so
// a huge file without line breaks is never held in memory at once.
constexpr qint64 LongestLine = 64 * 1024;

// Reads the next line without its line end into `line`; false at the end or
// on a read error. `buffer` is reused from line to line.
bool readLineWithin(QFile &file, std::vector<char> &buffer, QByteArray &line) {
    const auto next = [&] {
        const qint64 got = file.readLine(buffer.data(), static_cast<qint64>(buffer.size()));
        if (got <= 0) {
            line.clear();
            return false;
        }
        line = QByteArray(buffer.data(), static_cast<qsizetype>(got));
        return true;
    };
    while (!file.atEnd()) {
        if (!next()) {
            return false;
        }
        if (line.endsWith('\n')) {
            line.chop(1);
            return true;
        }
        if (file.atEnd()) {
            return true; // the last line needs no line end
        }
        // Longer than any path: skip the rest of it.
        while (next() && !line.endsWith('\n')) {
        }
    }
    return false;
}

QString resolve(QString path, const QString &baseDir) {
    if (path.startsWith(QLatin1String("file://"), Qt::CaseInsensitive)) {
        path = QUrl(path).toLocalFile();
        if (path.isEmpty()) {
            return path; // not a valid address: anchored, it would name the folder
        }
    }
    const auto anchored = [&](const QString &p) {
        return baseDir.isEmpty() || QDir::isAbsolutePath(p) ? p
                                                            : QDir::cleanPath(baseDir + '/' + p);
    };
    const QString asWritten = anchored(path);
    if (path.contains(QLatin1Char('\\')) && !QFileInfo::exists(asWritten)) {
        QString slashed = path;
        slashed.replace(QLatin1Char('\\'), QLatin1Char('/'));
        const QString candidate = anchored(slashed);
        if (QFileInfo::exists(candidate)) {
            return candidate;
        }
    }
    return asWritten;
}

} // namespace

std::optional<QString> writeLstPlaylist(const QString &fileName, const QStringList &paths) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    for (const QString &path : paths) {
        QByteArray line = path.toLocal8Bit();
        line.append("\r\n");
        if (file.write(line) != line.size()) {
            file.cancelWriting();
            return file.errorString();
        }
    }
    if (!file.commit()) {
        return file.errorString();
    }
    return std::nullopt;
}

PlaylistContents readPlaylist(const QString &fileName) {
    PlaylistContents result;
    QFile file(fileName);
    if (!QFileInfo(fileName).isFile()) {
        result.error = QStringLiteral("\"%1\" is not a file").arg(fileName);
        return result;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    const Format format = formatOf(fileName);
    const QString folder = QFileInfo(fileName).absolutePath();
    const QString base = format == Format::Lines ? QString() : folder;
    std::vector<char> buffer(LongestLine);
    // A line that names no path at all (a "file:" address that is not a
    // valid one) is junk like any other, not an empty candidate.
    const auto add = [&](const QString &entry) {
        if (QString path = resolve(entry, base); !path.isEmpty()) {
            result.paths.append(std::move(path));
        }
    };
    QByteArray raw;
    while (readLineWithin(file, buffer, raw)) {
        if (raw.endsWith('\r')) {
            raw.chop(1);
        }
        QString line =
            format == Format::M3u8 ? QString::fromUtf8(raw) : QString::fromLocal8Bit(raw);
        // Byte-order marks open a file, but playlists joined end to end carry
        // them mid-file too; a name never starts with one, so every line
        // sheds them. Each line alike, or a saved list would not read back.
        while (line.startsWith(QChar(0xFEFF))) {
            line.remove(0, 1);
        }
        if (line.trimmed().isEmpty()) {
            continue;
        }
        switch (format) {
        case Format::Lines:
            add(line);
            break;
        case Format::Pls:
            if (const auto value = plsFileValue(line); value && !value->isEmpty()) {
                add(*value);
            }
            break;
        case Format::M3u:
        case Format::M3u8:
            if (!line.startsWith(QLatin1Char('#'))) {
                add(line.trimmed());
            }
            break;
        }
    }
    if (file.error() != QFileDevice::NoError) {
        result.error = file.errorString();
    }
    return result;
}

QString lastPlayPath(const QString &programDir, const QString &userDataDir) {
    const QString inProgramDir = QDir(programDir).filePath(QStringLiteral("lastplay.txt"));
    // Trying is the only honest answer: permission bits do not tell about
    // read-only mounts, access lists or a program run under another identity.
    bool writable = false;
    if (QFileInfo::exists(inProgramDir)) {
        QFile existing(inProgramDir);
        writable = QFileInfo(inProgramDir).isFile() &&
                   existing.open(QIODevice::WriteOnly | QIODevice::Append);
    } else {
        QTemporaryFile probe(QDir(programDir).filePath(QStringLiteral("lastplay-XXXXXX")));
        writable = probe.open();
    }
    if (writable) {
        return inProgramDir;
    }
    return QDir(userDataDir).filePath(QStringLiteral("lastplay.txt"));
}

bool LastPlayLog::addSong2TextFile(const QString &path) {
    const QFileInfo target(fileName_);
    if (!target.absoluteDir().exists() && !QDir().mkpath(target.absolutePath())) {
        return false;
    }
    QFile file(fileName_);
    const QIODevice::OpenMode mode = LastPlayFirstWrite ? QIODevice::WriteOnly | QIODevice::Truncate
                                                        : QIODevice::WriteOnly | QIODevice::Append;
    if (!file.open(mode)) {
        return false;
    }
    QByteArray line = path.toLocal8Bit();
    line.append("\r\n");
    if (file.write(line) != line.size() || !file.flush()) {
        return false;
    }
    LastPlayFirstWrite = false;
    return true;
}

QString playlistReadErrorMessage(const QString &errorText) {
    return QStringLiteral("An error occured while searching the PlayList file!\r\r") + errorText;
}

QString unmeasuredSongsMessage(const QStringList &paths) {
    QString text = QStringLiteral("Following songs could not be opened and added to total "
                                  "playlisttime:\r");
    for (const QString &path : paths) {
        text += path + QStringLiteral("\r\n");
    }
    return text;
}

} // namespace velbrin::library

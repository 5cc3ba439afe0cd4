#include "settings_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>
#include <QtGlobal>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace velbrin::platform {

namespace {

// Escaped names never hold a "%" that is not followed by two hex digits, so
// this key cannot collide with a real value name.
const QString kUnnamedValueKey = QStringLiteral("%default");

QString escapedName(const QString &name) {
    QString out;
    out.reserve(name.size());
    for (QChar c : name) {
        switch (c.unicode()) {
        case u'%':
            out += u"%25";
            break;
        case u'/':
            out += u"%2F";
            break;
        case u'\\':
            out += u"%5C";
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString keyFor(const QString &name) {
    return name.isEmpty() ? kUnnamedValueKey : escapedName(name);
}

// The spelling under which `wanted` is already stored, or nothing.
std::optional<QString> storedSpelling(const QStringList &present, const QString &wanted) {
    if (present.contains(wanted))
        return wanted;
    for (const QString &p : present) {
        if (p.compare(wanted, Qt::CaseInsensitive) == 0)
            return p;
    }
    return std::nullopt;
}

// Values we write are plain strings. A hand-edited file can hold what
// QSettings reads as something else: a list ("a, b") or a tagged value.
QString textOf(const QVariant &value) {
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QStringList:
        return value.toStringList().join(QStringLiteral(", "));
    case QMetaType::QByteArray:
        return QString::fromUtf8(value.toByteArray());
    default:
        return value.canConvert<QString>() ? value.toString() : QString();
    }
}

// Serialises writers of every process. flock() is released by the kernel when
// a holder dies, so a writer killed mid-write never blocks the next one. When
// the folder cannot be opened the write goes ahead unlocked: QSettings still
// takes its own lock file, only the time stamp ordering below is weaker.
class FolderLock {
public:
    explicit FolderLock(const QString &folder)
        : fd_(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ < 0)
            return;
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FolderLock() {
        if (fd_ >= 0)
            ::close(fd_); // closing the only descriptor releases the lock
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

private:
    int fd_;
};

// QSettings keeps a parsed copy of each file per process and re-reads the file
// only when its size or modification time (in milliseconds) changed. File
// systems stamp files with a coarse clock (4 ms here), so a file rewritten to
// the same size within one tick looks unchanged, and a later write would merge
// into the stale copy and lose the other process's value. Each writer, holding
// the folder lock, therefore sets the file's time to one strictly later than
// any it had before: before writing, so that its own QSettings must re-read,
// and after, so that everybody else's must.
qint64 modificationTime(const QString &path) {
    const QFileInfo info(path);
    return info.exists() ? info.lastModified().toMSecsSinceEpoch() : 0;
}

qint64 advanceModificationTime(const QString &path, qint64 atLeastAfter) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return atLeastAfter;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 stamp = std::max({now, atLeastAfter + 1, modificationTime(path) + 1});
    file.setFileTime(QDateTime::fromMSecsSinceEpoch(stamp, Qt::UTC),
                     QFileDevice::FileModificationTime);
    return stamp;
}

// QSettings guards its writes with a lock file of its own. Under the folder
// lock no writer of ours can be holding it, so one that exists was left by a
// writer that died. QLockFile clears such a file at once when it names a dead
// process, but one whose writer died before naming itself would block every
// write for QLockFile's stale time (30 s). Removal goes through QLockFile,
// which leaves the file alone while any live process holds it.
void clearAbandonedQtLock(const QString &path) {
    const QString lockPath = path + QStringLiteral(".lock");
    if (!QFileInfo::exists(lockPath))
        return;
    QLockFile abandoned(lockPath);
    abandoned.removeStaleLockFile();
}

} // namespace

QString settingsFilePath() {
    const QString fromEnvironment = qEnvironmentVariable("VELBRIN_SETTINGS");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/velbrin/velbrin.ini");
}

std::optional<QString> SettingsFile::read(const QString &section, const QString &name) const {
    // QSettings creates nothing on reading either, but a missing file is the
    // common case on a first start and needs no parsing.
    if (!QFileInfo(path_).isFile())
        return std::nullopt;
    QSettings settings(path_, QSettings::IniFormat);
    if (!section.isEmpty()) {
        const auto group = storedSpelling(settings.childGroups(), escapedName(section));
        if (!group)
            return std::nullopt;
        settings.beginGroup(*group);
    }
    const auto key = storedSpelling(settings.childKeys(), keyFor(name));
    if (!key)
        return std::nullopt;
    const QVariant value = settings.value(*key);
    if (!value.isValid())
        return std::nullopt;
    return textOf(value);
}

bool SettingsFile::write(const QString &section, const QString &name, const QString &text) {
    const QString folder = QFileInfo(path_).absolutePath();
    if (!QDir().mkpath(folder)) {
        qWarning("settings: cannot create the folder %s", qUtf8Printable(folder));
        return false;
    }
    const FolderLock lock(folder);
    clearAbandonedQtLock(path_);
    const bool existed = QFileInfo::exists(path_);
    qint64 stamp = existed ? advanceModificationTime(path_, 0) : 0;

    QSettings settings(path_, QSettings::IniFormat);
    // Sections are parsed when first used; parse them all now, or a malformed
    // line would only be noticed after the rewrite had dropped it.
    const QStringList groups = settings.childGroups();
    if (settings.status() != QSettings::NoError) {
        qWarning("settings: %s cannot be read in full; value %s/%s not written",
                 qUtf8Printable(path_), qUtf8Printable(section), qUtf8Printable(name));
        return false;
    }
    if (!section.isEmpty()) {
        const QString wanted = escapedName(section);
        settings.beginGroup(storedSpelling(groups, wanted).value_or(wanted));
    }
    const QString wanted = keyFor(name);
    settings.setValue(storedSpelling(settings.childKeys(), wanted).value_or(wanted), text);
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        qWarning("settings: cannot write %s", qUtf8Printable(path_));
        return false;
    }
    advanceModificationTime(path_, stamp);
    return true;
}

} // namespace velbrin::platform

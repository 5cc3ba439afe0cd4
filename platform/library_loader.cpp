#include "library_loader.h"

#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <dlfcn.h>
#include <unistd.h>

namespace velbrin::platform {
namespace {
std::atomic<int> loads{0};
}

QStringList libraryCandidates(const QString &name, const QString &programDir) {
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))) {
        return {QString(name).replace(QLatin1Char('\\'), QLatin1Char('/'))};
    }
    QString base = name;
    if (base.endsWith(QLatin1String(".dll"), Qt::CaseInsensitive)) {
        base.chop(4);
    } else if (base.endsWith(QLatin1String(".so"))) {
        base.chop(3);
    }
    QStringList names;
    if (!base.startsWith(QLatin1String("lib"))) {
        names << QStringLiteral("lib%1.so").arg(base);
    }
    names << QStringLiteral("%1.so").arg(base);
    QStringList out;
    for (const QString &n : names) {
        out << QDir(programDir).filePath(n);
    }
    // An installed program keeps its engine and modules in a private folder
    // beside bin/, so no library search path has to be set.
    for (const QString &n : names) {
        out << QDir::cleanPath(
            QDir(programDir).filePath(QStringLiteral(VELBRIN_PRIVATE_LIBRARY_DIR "/") + n));
    }
    // Bare names make the dynamic loader search its usual path.
    out << names;
    return out;
}

QString programDirectory() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) {
        return QDir::currentPath();
    }
    return QFileInfo(QString::fromLocal8Bit(buffer, static_cast<qsizetype>(n))).absolutePath();
}

std::unique_ptr<DynamicLibrary> DynamicLibrary::open(const QString &name, QString *error) {
    QString lastError = QStringLiteral("no such library");
    for (const QString &candidate : libraryCandidates(name, programDirectory())) {
        const bool bare = !candidate.contains(QLatin1Char('/'));
        if (!bare && !QFileInfo::exists(candidate)) {
            continue;
        }
        void *handle = dlopen(candidate.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
        if (handle != nullptr) {
            ++loads;
            return std::make_unique<DynamicLibrary>(Key{}, handle, candidate);
        }
        lastError = QString::fromLocal8Bit(dlerror());
    }
    if (error != nullptr) {
        *error = lastError;
    }
    return nullptr;
}

DynamicLibrary::~DynamicLibrary() {
    if (handle_ != nullptr) {
        dlclose(handle_);
    }
}

void *DynamicLibrary::symbol(const char *name) const {
    return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

int DynamicLibrary::loadCount() {
    return loads.load();
}

} // namespace velbrin::platform

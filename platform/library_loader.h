#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace velbrin::platform {

// The file names a library name of the program stands for, in the order they
// are tried. A name with a folder is used as given; a bare "name.dll" means the
// shared library "libname.so" (then "name.so") in the program's folder, then
// in the installed program's private library folder, then the same names on
// the system's library search path.
QStringList libraryCandidates(const QString &name, const QString &programDir);

// The folder of the running executable.
QString programDirectory();

// A loaded shared library; unloading happens when the last owner lets go.
class DynamicLibrary {
public:
    // Tries the candidates of `name`; returns null when none loads. `error`
    // receives the loader's message of the last attempt.
    static std::unique_ptr<DynamicLibrary> open(const QString &name, QString *error = nullptr);

    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary &) = delete;
    DynamicLibrary &operator=(const DynamicLibrary &) = delete;

    // Null when the library has no such export.
    void *symbol(const char *name) const;
    const QString &path() const { return path_; }

    // How many times a library file was loaded by this class, for tests that
    // must see that a refused library is not loaded again.
    static int loadCount();

private:
    struct Key {};

public:
    DynamicLibrary(Key, void *handle, QString path) : handle_(handle), path_(std::move(path)) {}

private:
    void *handle_;
    QString path_;
};

} // namespace velbrin::platform

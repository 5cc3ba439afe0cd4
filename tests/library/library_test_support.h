#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

#include <sys/stat.h>
#include <unistd.h>

// Readable failure messages for Qt texts.
inline void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList &list, std::ostream *out) {
    *out << '{';
    for (const QString &text : list) {
        *out << " \"" << text.toStdString() << '"';
    }
    *out << " }";
}

namespace velbrin::library::test {

// A hand-built 128-byte block: "TAG", then the fields exactly as given (no
// padding is added beyond zero bytes), so tests control every byte.
inline QByteArray rawTag(const QByteArray &title, const QByteArray &artist, const QByteArray &album,
                         const QByteArray &year, const QByteArray &comment, unsigned char genre) {
    QByteArray block(128, '\0');
    block.replace(0, 3, "TAG");
    const auto put = [&](int offset, int width, const QByteArray &text) {
        for (int i = 0; i < width && i < text.size(); ++i) {
            block[offset + i] = text[i];
        }
    };
    put(3, 30, title);
    put(33, 30, artist);
    put(63, 30, album);
    put(93, 4, year);
    put(97, 30, comment);
    block[127] = static_cast<char>(genre);
    return block;
}

// A stand-in MP3: some frame-like bytes followed by the given tail.
inline void writeFile(const QString &path, const QByteArray &tail, int bodyBytes = 400) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(QByteArray(bodyBytes, '\x55'));
    file.write(tail);
}

inline void writeSong(const QString &path, const QByteArray &artist = "Artist",
                      const QByteArray &title = "Title", unsigned char genre = 17) {
    writeFile(path, rawTag(title, artist, "Album", "1999", "", genre));
}

inline QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// File permissions mean nothing to root, so tests of unreadable folders and
// read-only files drop to an ordinary user for their duration.
class AsOrdinaryUser {
public:
    AsOrdinaryUser() {
        if (geteuid() != 0) {
            active_ = true;
            return;
        }
        active_ = setegid(65534) == 0 && seteuid(65534) == 0;
        dropped_ = active_;
    }
    ~AsOrdinaryUser() {
        if (dropped_) {
            (void)seteuid(0);
            (void)setegid(0);
        }
    }
    AsOrdinaryUser(const AsOrdinaryUser &) = delete;
    AsOrdinaryUser &operator=(const AsOrdinaryUser &) = delete;
    bool active() const { return active_; }

private:
    bool active_ = false;
    bool dropped_ = false;
};

// A temporary folder everybody may enter, for the tests above.
inline void openUp(const QTemporaryDir &dir) {
    ::chmod(QFile::encodeName(dir.path()).constData(), 0777);
}

} // namespace velbrin::library::test

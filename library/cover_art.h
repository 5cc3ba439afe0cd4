#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace velbrin::library {

struct CoverPicture {
    QByteArray data;
    QString mimeType;
};

// The picture a song's ID3v2 tag carries for its front cover, else its first
// picture of any kind; nothing when it has none.
std::optional<CoverPicture> readFrontCover(const QString &songPath);

// Desktop media widgets show a song's cover from a file. Each distinct picture
// is written once into `folder`, named after its content, so the songs of an
// album share one file and a second look writes nothing. The last song asked
// about is remembered, as the desktop asks for the playing song again and
// again. Not thread-safe.
class CoverArtExporter {
public:
    explicit CoverArtExporter(QString folder);

    // The picture's file, or empty text when the song has none or it could
    // not be written.
    QString exportFor(const QString &songPath);

private:
    QString folder_;
    QString lastSong_;
    qint64 lastSize_ = -1;
    qint64 lastModified_ = 0;
    QString lastFile_;
};

// The per-user cache folder the program's covers go to.
QString defaultCoverFolder();

} // namespace velbrin::library

#include "cover_art.h"

#include "tag_file.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <taglib/attachedpictureframe.h>

namespace velbrin::library {

namespace {

QString extensionFor(const CoverPicture &picture) {
    const QString mime = picture.mimeType.toLower();
    if (mime.contains(QLatin1String("png")) || picture.data.startsWith("\x89PNG")) {
        return QStringLiteral(".png");
    }
    if (mime.contains(QLatin1String("gif")) || picture.data.startsWith("GIF8")) {
        return QStringLiteral(".gif");
    }
    return QStringLiteral(".jpg");
}

} // namespace

std::optional<CoverPicture> readFrontCover(const QString &songPath) {
    const detail::TagRegions regions = detail::readTagRegions(songPath);
    if (regions.id3v2.isEmpty()) {
        return std::nullopt;
    }
    detail::MemoryTagFile file(regions.id3v2);
    const auto tag = detail::parseId3v2(file);
    if (!tag) {
        return std::nullopt;
    }
    using TagLib::ID3v2::AttachedPictureFrame;
    const AttachedPictureFrame *chosen = nullptr;
    for (const TagLib::ID3v2::Frame *frame : tag->frameListMap()["APIC"]) {
        const auto *picture = dynamic_cast<const AttachedPictureFrame *>(frame);
        if (picture == nullptr || picture->picture().isEmpty()) {
            continue;
        }
        if (picture->type() == AttachedPictureFrame::FrontCover) {
            chosen = picture;
            break;
        }
        if (chosen == nullptr) {
            chosen = picture;
        }
    }
    if (chosen == nullptr) {
        return std::nullopt;
    }
    const TagLib::ByteVector bytes = chosen->picture();
    return CoverPicture{QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())),
                        detail::toQString(chosen->mimeType())};
}

CoverArtExporter::CoverArtExporter(QString folder) : folder_(std::move(folder)) {}

QString CoverArtExporter::exportFor(const QString &songPath) {
    const QFileInfo song(songPath);
    const qint64 size = song.size();
    const qint64 modified = song.lastModified().toMSecsSinceEpoch();
    if (songPath == lastSong_ && size == lastSize_ && modified == lastModified_ &&
        (lastFile_.isEmpty() || QFileInfo::exists(lastFile_))) {
        return lastFile_;
    }
    lastSong_ = songPath;
    lastSize_ = size;
    lastModified_ = modified;
    lastFile_.clear();
    const std::optional<CoverPicture> picture = readFrontCover(songPath);
    if (!picture) {
        return {};
    }
    const QString name =
        QString::fromLatin1(
            QCryptographicHash::hash(picture->data, QCryptographicHash::Sha1).toHex()) +
        extensionFor(*picture);
    const QString target = QDir(folder_).filePath(name);
    if (!QFileInfo::exists(target)) {
        QSaveFile out(target);
        if (!QDir().mkpath(folder_) || !out.open(QIODevice::WriteOnly) ||
            out.write(picture->data) != picture->data.size() || !out.commit()) {
            return {};
        }
    }
    lastFile_ = target;
    return lastFile_;
}

QString defaultCoverFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation))
        .filePath(QStringLiteral("covers"));
}

} // namespace velbrin::library

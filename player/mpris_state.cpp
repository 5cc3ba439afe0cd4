#include "mpris_state.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace velbrin::player::mpris {

namespace {
constexpr int kLevelMax = 99; // the engine's full level
}

QString PlaybackStatusFor(int playerState) {
    switch (playerState) {
    case 1:
    case 3:
        return QStringLiteral("Playing");
    case 2:
        return QStringLiteral("Paused");
    default:
        return QStringLiteral("Stopped");
    }
}

Metadata MetadataFor(const SongTag &tag, uint64_t serial) {
    Metadata m;
    if (tag.path.isEmpty()) {
        m.trackId = QString::fromLatin1(kNoTrack);
        return m;
    }
    // Object paths allow only letters, digits and "_": the path's hash is.
    const QByteArray hash =
        QCryptographicHash::hash(tag.path.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    m.trackId =
        QStringLiteral("/org/velbrin/track/t%1_%2").arg(QString::fromLatin1(hash)).arg(serial);
    m.title = tag.title.trimmed().isEmpty() ? QFileInfo(tag.path).completeBaseName()
                                            : tag.title.trimmed();
    if (!tag.artist.trimmed().isEmpty()) {
        m.artist << tag.artist.trimmed();
    }
    m.album = tag.album.trimmed();
    m.lengthUs = static_cast<int64_t>(tag.durationSeconds) * 1000000;
    // A path from the command line may be relative; an address never is.
    m.url = QString::fromLatin1(
        QUrl::fromLocalFile(QFileInfo(tag.path).absoluteFilePath()).toEncoded());
    return m;
}

QString ArtUrlFor(const QString &pictureFile) {
    return pictureFile.isEmpty()
               ? QString()
               : QString::fromLatin1(QUrl::fromLocalFile(pictureFile).toEncoded());
}

double VolumeForLevel(int level) {
    return std::clamp(level, 0, kLevelMax) / static_cast<double>(kLevelMax);
}

int LevelForVolume(double volume) {
    if (!std::isfinite(volume)) {
        return volume > 0 ? kLevelMax : 0;
    }
    return static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * kLevelMax));
}

SeekResult SeekTarget(int64_t positionUs, int64_t offsetUs, int64_t lengthUs) {
    const int64_t target = positionUs + offsetUs;
    if (lengthUs > 0 && target > lengthUs) {
        return {true, 0};
    }
    return {false, std::max<int64_t>(target, 0)};
}

bool SetPositionApplies(const QString &trackId, int64_t positionUs, const Metadata &current) {
    return trackId == current.trackId && trackId != QLatin1String(kNoTrack) && positionUs >= 0 &&
           positionUs <= current.lengthUs;
}

QString LoopStatusFor(LoopModes modes) {
    if (modes.currentTrack) {
        return QStringLiteral("Track");
    }
    return modes.repeatAll ? QStringLiteral("Playlist") : QStringLiteral("None");
}

std::optional<LoopModes> LoopModesFor(const QString &loopStatus) {
    if (loopStatus == QLatin1String("None")) {
        return LoopModes{};
    }
    if (loopStatus == QLatin1String("Track")) {
        return LoopModes{false, true};
    }
    if (loopStatus == QLatin1String("Playlist")) {
        return LoopModes{true, false};
    }
    return std::nullopt;
}

Navigation NavigationFor(const ListPosition &list) {
    Navigation n;
    if (list.count <= 0) {
        return n;
    }
    if (list.shuffle) {
        // Either way a random song not yet played; the direction is ignored.
        n.canGoNext = n.canGoPrevious = list.repeatAll || list.notPlayed > 0;
        return n;
    }
    if (list.index < 0 || list.index >= list.count) {
        return n;
    }
    const auto passes = [&](int i) { return !list.passes || list.passes(i); };
    const auto anyIn = [&](int from, int to) {
        for (int i = from; i <= to; ++i) {
            if (passes(i)) {
                return true;
            }
        }
        return false;
    };
    const bool anyAtAll = anyIn(0, list.count - 1);
    n.canGoNext = anyIn(list.index + 1, list.count - 1) || (list.repeatAll && anyAtAll);
    n.canGoPrevious = anyIn(0, list.index - 1) || (list.repeatAll && anyAtAll);
    n.nextWraps = !list.passes && list.repeatAll && list.index == list.count - 1;
    n.previousWraps = !list.passes && list.repeatAll && list.index == 0;
    return n;
}

QStringList ChangedProperties(const PlayerSnapshot &before, const PlayerSnapshot &after) {
    QStringList names;
    const auto add = [&](bool changed, const char *name) {
        if (changed) {
            names << QString::fromLatin1(name);
        }
    };
    add(before.playbackStatus != after.playbackStatus, "PlaybackStatus");
    add(before.metadata != after.metadata, "Metadata");
    add(before.volume != after.volume, "Volume");
    add(before.canGoNext != after.canGoNext, "CanGoNext");
    add(before.canGoPrevious != after.canGoPrevious, "CanGoPrevious");
    add(before.canPlay != after.canPlay, "CanPlay");
    add(before.canPause != after.canPause, "CanPause");
    add(before.canSeek != after.canSeek, "CanSeek");
    add(before.loopStatus != after.loopStatus, "LoopStatus");
    add(before.shuffle != after.shuffle, "Shuffle");
    return names;
}

} // namespace velbrin::player::mpris

#include "CrossfadeRamp.h"

#include "settings_store.h"

#include <algorithm>

namespace velbrin::player {

QString playModeCaption(PlayMode mode) {
    switch (mode) {
    case PlayMode::Studio:
        return QStringLiteral("Studio");
    case PlayMode::Live:
        return QStringLiteral("Live");
    case PlayMode::Norm:
        break;
    }
    return QStringLiteral("Norm");
}

int clampLevel(int64_t level) {
    return static_cast<int>(std::clamp<int64_t>(level, 0, kFullLevel));
}

ModeMix readModeMix(const SettingsStore &settings, PlayMode mode) {
    const QString section = QStringLiteral("DJ-Settings");
    const QString suffix = playModeCaption(mode);
    ModeMix mix;
    // Read as 64-bit so a large stored overlap is clamped rather than cut to
    // a byte or wrapped.
    bool ok = false;
    const qlonglong overlap =
        settings.read(section, QStringLiteral("Overlap") + suffix).trimmed().toLongLong(&ok);
    mix.overlap = ok ? std::clamp<int64_t>(overlap, 0, kMaxOverlapSeconds) : 0;
    mix.minvol =
        clampLevel(settings.readInteger(section, QStringLiteral("MinVolume") + suffix, 75));
    return mix;
}

int volumeStep(int64_t overlap, int minvol) {
    if (overlap <= 0) {
        return kFullLevel;
    }
    return static_cast<int>((kFullLevel - int64_t{minvol}) / (2 * overlap));
}

int64_t announcementTag(int64_t overlap) {
    return ((2 * overlap) / 3) * 2;
}

int64_t heardDuration(int64_t songDuration, int audibleEndMs) {
    if (audibleEndMs < 0) {
        return songDuration;
    }
    // To the nearest second: the time codes that trigger the overlap come
    // once a second, so the change starts within half a second either way.
    const int64_t seconds = (int64_t{audibleEndMs} + 500) / 1000;
    return std::min(seconds, songDuration);
}

SongChangeTrigger::Action SongChangeTrigger::check(PlayMode mode, int64_t songDuration,
                                                   int64_t elapsed, int64_t overlap,
                                                   int64_t heard) {
    if (songDuration <= 0) {
        return Action::None;
    }
    const int64_t left = songDuration - elapsed;
    if (mode == PlayMode::Norm) {
        if (preloadFired_ || left != kNormPreloadSeconds) {
            return Action::None;
        }
        preloadFired_ = true;
        return Action::Preload;
    }
    // A negative overlap can never be reached before the end; a stale time
    // code past the end must not make it match.
    if (overlapFired_ || overlap < 0) {
        return Action::None;
    }
    if (heard < songDuration) {
        // Like an overlap longer than the song, one longer than what is heard
        // never starts.
        if (heard < overlap || elapsed > songDuration || heard - elapsed > overlap) {
            return Action::None;
        }
    } else if (left != overlap) {
        return Action::None;
    }
    overlapFired_ = true;
    return Action::StartOverlap;
}

int CrossfadeRamp::startOverlap(int64_t songDuration, int64_t elapsed, const ModeMix &mix) {
    overlap = mix.overlap;
    GlobSongDuration = songDuration;
    PlayedSoFar = elapsed;
    minvol = mix.minvol;
    VolumeSteg = volumeStep(overlap, minvol);
    tag = startTag();
    fullLevel = false;
    return clampLevel(int64_t{minvol} + VolumeSteg);
}

int CrossfadeRamp::preload(int normMinvol, bool keepFullLevel) {
    minvol = normMinvol;
    fullLevel = keepFullLevel;
    return fullLevel ? kFullLevel : clampLevel(int64_t{minvol} + VolumeSteg);
}

void CrossfadeRamp::startHandOver(int64_t normOverlap) {
    overlap = normOverlap;
    tag = startTag();
}

CrossfadeRamp::Tick CrossfadeRamp::tick() {
    ++PlayedSoFar;
    const int64_t into = overlap + PlayedSoFar - GlobSongDuration;
    Tick t{};
    t.oldLevel = clampLevel(kFullLevel - (into + 1) * VolumeSteg);
    t.announce = tag == announcementTag(overlap);
    t.newLevel = fullLevel ? kFullLevel : clampLevel(into * VolumeSteg + minvol);
    --tag;
    t.last = tag <= 0;
    return t;
}

} // namespace velbrin::player

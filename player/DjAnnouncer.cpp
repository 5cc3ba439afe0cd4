#include "DjAnnouncer.h"

#include "CrossfadeRamp.h"
#include "settings_store.h"

#include <array>
#include <utility>

namespace velbrin::player {

namespace {

const QString kTitle = QStringLiteral("%SONGTITLE%");
const QString kArtist = QStringLiteral("%ARTIST%");
const QString kAlbum = QStringLiteral("%ALBUM%");
const QString kYear = QStringLiteral("%YEAR%");

constexpr int kRandomAttempts = 20;

} // namespace

QString chooseDjTemplate(bool random, const TemplateReader &read, const DigitDraw &draw) {
    if (!random) {
        return read(0);
    }
    for (int attempt = 0; attempt < kRandomAttempts; ++attempt) {
        if (QString text = read(draw()); !text.isEmpty()) {
            return text;
        }
    }
    return {};
}

bool djPlaceholdersShown(const QString &text, const AnnouncedFields &shown) {
    const std::array<std::pair<const QString &, const QString &>, 4> needs{{
        {kTitle, shown.title},
        {kArtist, shown.artist},
        {kAlbum, shown.album},
        {kYear, shown.year},
    }};
    for (const auto &[placeholder, value] : needs) {
        if (text.contains(placeholder, Qt::CaseSensitive) && value.isEmpty()) {
            return false;
        }
    }
    return true;
}

QString fillDjTemplate(QString text, const AnnouncedFields &song) {
    text.replace(kTitle, song.title, Qt::CaseInsensitive);
    text.replace(kArtist, song.artist, Qt::CaseInsensitive);
    text.replace(kAlbum, song.album, Qt::CaseInsensitive);
    text.replace(kYear, song.year, Qt::CaseInsensitive);
    return text;
}

std::optional<QString> djAnnouncement(const SettingsStore &settings, const DjInput &in,
                                      const DigitDraw &draw) {
    const QString section = QStringLiteral("DJ-Settings");
    if (!settings.readBoolean(section, QStringLiteral("UseDJ"), false) ||
        in.tag != announcementTag(in.overlap)) {
        return std::nullopt;
    }
    const QString text = chooseDjTemplate(
        settings.readBoolean(section, QStringLiteral("UseRandomDJText"), false),
        [&](int digit) { return settings.read(section, QStringLiteral("DJ-text%1").arg(digit)); },
        draw);
    if (text.isEmpty() || !djPlaceholdersShown(text, in.shown)) {
        return std::nullopt;
    }
    return fillDjTemplate(text, in.endedSong());
}

} // namespace velbrin::player

#pragma once

// The DJ's words: which template is used and what it becomes for the song that
// just ended. The timer tick asks for the text; speaking it is the speech
// layer's business.

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace velbrin {
class SettingsStore;
}

namespace velbrin::player {

// Tag texts of a song, or what the main window's labels show.
struct AnnouncedFields {
    QString title;
    QString artist;
    QString album;
    QString year;
};

// Reads "DJ-text" + digit; a uniform draw of 0..9.
using TemplateReader = std::function<QString(int digit)>;
using DigitDraw = std::function<int()>;

// The first template, or with `random` the first non-empty one of up to 20
// random draws. Empty when there is none.
QString chooseDjTemplate(bool random, const TemplateReader &read, const DigitDraw &draw);

// Every placeholder in the template (exact case) needs a non-empty value among
// the labels the window shows; otherwise the DJ stays silent.
bool djPlaceholdersShown(const QString &text, const AnnouncedFields &shown);

// Replaces the placeholders, in any letter case, with the ended song's fields:
// title, artist, album, year, in that order.
QString fillDjTemplate(QString text, const AnnouncedFields &song);

// What the DJ says on this tick, or nothing. Reads "DJ-Settings" from the
// store: "UseDJ", "UseRandomDJText" and the templates.
struct DjInput {
    int64_t tag;     // the tick's tag before its decrement
    int64_t overlap; // the overlap of the selected mode
    AnnouncedFields shown;
    // The ended song's fields, read only when the DJ will speak.
    std::function<AnnouncedFields()> endedSong;
};
std::optional<QString> djAnnouncement(const SettingsStore &settings, const DjInput &in,
                                      const DigitDraw &draw);

} // namespace velbrin::player

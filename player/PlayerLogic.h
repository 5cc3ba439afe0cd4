#pragma once

// Decisions of the main window that need no widget: what the buttons, status
// and title show for a player state, what follows the end of a song, how
// engine reports become display texts. The window's
// handlers call these; tests reach them without clicking.

#include "kelvra_interface.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace velbrin::player {

// The file-name part of a path, after the last '/' or '\'.
QString fileNamePart(const QString &path);

// What the window shows for a player state reported by the current player.
struct StateView {
    bool stopEnabled;
    bool playEnabled;
    bool pauseEnabled;
    QString status;           // status panel 1
    QString applicationTitle; // the application's title
    bool isPlaying;
};
// titleText is the scrolling title's text. Other states than the engine's four
// change nothing.
std::optional<StateView> viewForState(int state, const QString &titleText);

// What follows the end of a song that was not handed over to the other player.
enum class AfterSong { PlayAgain, PlayNext, PlayFirst, Nothing };
struct EndOfSongInput {
    bool repeatCurrent;  // "Current track"
    bool selectedIsLast; // the selection is the last entry (or nothing is selected)
    bool shuffle;        // "Shuffle"
    bool repeatAll;      // "All songs"
};
AfterSong afterEndOfSong(const EndOfSongInput &in);

// The position slider follows the engine: Offset / Range of the slider's span.
// Any Range works; a zero Range or span leaves the slider at its minimum.
int sliderPositionFor(uint32_t offset, uint32_t range, int minimum, int maximum);

// "44100 Hz, 2 Ch, 128 kbps".
QString streamParametersText(uint32_t frequency, int16_t bitrate, uint8_t channels);

// The information window's lines for stream properties: "Name: value" for
// integer and text values, in order; other value types add nothing.
QStringList streamPropertyLines(uint32_t count, const KV_Property *properties);

// "AUTOSELECT" for -1, else the number.
QString moduleIdText(int16_t id);

// Name + " [" + Description + "]", as the module tree shows a module or device.
QString moduleNodeText(const QString &name, const QString &description);

// "%.2d:%.2d:%.2d" of a number of seconds.
QString timeText(uint32_t seconds);

// The display panels' texts for a song.
struct NowPlaying {
    QString artist;
    QString album;
    QString category;
    QString year;
    QString comments;
    QString titleLines;       // what the scrolling title shows
    QString currentTitleText; // the title text: the lines, each followed by CR LF
    QString applicationTitle;
};
struct TagTexts {
    QString artist, title, album, year, comment, genre;
};
NowPlaying nowPlayingFor(const QString &path, const TagTexts &tag);

// Text for the window title while a song plays: the title text followed by
// " playing", or "Velbrin is Playing" when the title is empty.
QString playingTitle(const QString &titleText);

// The play mode stored in "Settings"/"PlayMode": the index of the matching
// caption ignoring case, else 0 ("Norm").
int playModeIndex(const QString &stored);
inline const QStringList &playModeCaptions() {
    static const QStringList captions{QStringLiteral("Norm"), QStringLiteral("Studio"),
                                      QStringLiteral("Live")};
    return captions;
}

} // namespace velbrin::player

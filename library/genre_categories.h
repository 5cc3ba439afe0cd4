#pragma once

#include "id3v1.h"

#include <QString>

#include <array>

namespace velbrin::library {

// The rows of the categories window without the window: per genre the number of
// songs in the list, whether the row is enabled (it has songs) and whether it is
// ticked. The filter switches on or off only when re-evaluated, never on a tick.
// While the window is open (between `beginChoosing` and `endChoosing`) the ticks
// are a choice in the making: the filter and the play order go on with the
// ticks in force before, whatever songs come or go, until the window closes.
class GenreCategories {
public:
    // A genre index is a row when it is 0..114; 115 and NO_GENRE are counted nowhere.
    static bool isRow(int genre) { return genre >= 0 && genre < GenreRowCount; }

    void addSong(int genre);
    // Lowers the count, not below 0; a row that runs empty is disabled and unticked.
    void removeSong(int genre);
    // Every count 0 and every row disabled; ticks stay, as the user chose them.
    void reset();

    int count(int row) const { return isRow(row) ? counts_[static_cast<size_t>(row)] : 0; }
    bool isEnabled(int row) const { return count(row) > 0; }
    // The tick the window shows.
    bool isChecked(int row) const { return isRow(row) && checked_[static_cast<size_t>(row)]; }
    // Refused (returns false) for a disabled row when ticking.
    bool setChecked(int row, bool checked);

    void beginChoosing() { choosing_ = true; }
    // The ticks shown come into force (the caller re-evaluates).
    void endChoosing();

    // `checksomechecked`: the filter is on while at least one row in force is ticked.
    void reevaluate();
    bool CategoryFilterActive() const { return active_; }

    // The playing song's genre was rewritten: one song moves from `from` to `to`
    // (either may be no row). A row that runs empty is disabled and unticked;
    // a move to the same row changes nothing.
    void moveSong(int from, int to);

    // Whether a song of this genre may play now.
    bool passes(int genre) const { return !active_ || inForce(genre); }

    // After a re-evaluation with the filter on: the playing song must give way
    // when its genre is not ticked.
    bool playingSongMustMoveOn(int playingGenre) const { return active_ && !inForce(playingGenre); }

    // Caption of the context menu item that rewrites the playing song's genre.
    static QString changeCategoryCaption(int playingGenre, int selectedRow);

private:
    bool inForce(int row) const { return isRow(row) && inForce_[static_cast<size_t>(row)]; }

    std::array<int, GenreRowCount> counts_{};
    std::array<bool, GenreRowCount> checked_{};
    std::array<bool, GenreRowCount> inForce_{};
    bool choosing_ = false;
    bool active_ = false;
};

} // namespace velbrin::library

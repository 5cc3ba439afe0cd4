#include "genre_categories.h"

#include <algorithm>

namespace velbrin::library {

void GenreCategories::addSong(int genre) {
    if (isRow(genre)) {
        ++counts_[static_cast<size_t>(genre)];
    }
}

void GenreCategories::removeSong(int genre) {
    if (!isRow(genre)) {
        return;
    }
    const auto row = static_cast<size_t>(genre);
    counts_[row] = std::max(0, counts_[row] - 1);
    if (counts_[row] == 0) {
        checked_[row] = false;
        inForce_[row] = false;
    }
}

void GenreCategories::moveSong(int from, int to) {
    // Taking the one song of a row out first would untick the row.
    if (from == to) {
        return;
    }
    removeSong(from);
    addSong(to);
}

QString GenreCategories::changeCategoryCaption(int playingGenre, int selectedRow) {
    const auto name = [](int genre) {
        return genre >= 0 && genre < GenreTableSize ? QString::fromLatin1(GenreNames[genre])
                                                    : QString();
    };
    return QStringLiteral("Change playing songs category from ") + name(playingGenre) +
           QStringLiteral(" to ") + name(selectedRow);
}

void GenreCategories::reset() {
    counts_.fill(0);
}

bool GenreCategories::setChecked(int row, bool checked) {
    if (!isRow(row) || (checked && !isEnabled(row))) {
        return false;
    }
    checked_[static_cast<size_t>(row)] = checked;
    if (!choosing_) {
        inForce_[static_cast<size_t>(row)] = checked;
    }
    return true;
}

void GenreCategories::endChoosing() {
    choosing_ = false;
    inForce_ = checked_;
}

void GenreCategories::reevaluate() {
    active_ = std::any_of(inForce_.begin(), inForce_.end(), [](bool c) { return c; });
}

} // namespace velbrin::library

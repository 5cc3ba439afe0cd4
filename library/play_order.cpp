#include "play_order.h"

#include "genre_categories.h"
#include "song_list.h"

#include <QRandomGenerator>

#include <algorithm>
#include <utility>

namespace velbrin::library {

PlayOrder::PlayOrder(SongList &list, const GenreCategories &categories, RandomSource random)
    : list_(list), categories_(categories), random_(std::move(random)) {
    if (!random_) {
        random_ = [](int n) { return static_cast<int>(QRandomGenerator::global()->bounded(n)); };
    }
}

int PlayOrder::drawNotPlayed() {
    const int n = static_cast<int>(list_.notplayedlist().size());
    return std::clamp(random_(n), 0, n - 1);
}

QString PlayOrder::folderOf(const QString &path) {
    const qsizetype cut =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.left(cut + 1);
}

bool PlayOrder::passesFilter(int index) const {
    return categories_.passes(list_.genre(index));
}

NavButtons PlayOrder::initButtons() const {
    NavButtons b;
    const int n = list_.count();
    if (n == 0) {
        return b;
    }
    const int i = list_.itemIndex();
    // Without a current entry there is no folder to move from.
    if (i > 0 && i < n - 1) {
        b.previousFolder = true;
        b.nextFolder = true;
    } else if (i == n - 1) {
        b.previousFolder = true;
    } else if (i == 0) {
        b.nextFolder = true;
    }
    if (modes.shuffle) {
        b.nextSong = modes.repeatAll || !list_.notplayedlist().isEmpty();
    } else {
        b.nextSong = i != n - 1;
    }
    b.previousSong = i > 0;
    return b;
}

PlayOrder::Walk PlayOrder::filteredWalk(int direction) {
    const int n = list_.count();
    int wraps = 0;
    do {
        const int t = list_.itemIndex() + direction;
        if (t > n - 1) {
            if (!modes.repeatAll) {
                return Walk::Stopped;
            }
            ++wraps;
            list_.select(0);
        } else if (t < 0) {
            if (!modes.repeatAll) {
                return Walk::Stopped;
            }
            ++wraps;
            list_.select(n - 1);
        } else {
            list_.select(t);
        }
        if (passesFilter(list_.itemIndex())) {
            return Walk::Reached;
        }
    } while (wraps <= 1);
    return Walk::Exhausted;
}

NavOutcome PlayOrder::StepSong(int direction) {
    if (modes.shuffle) {
        return PickShuffleSong() ? NavOutcome::PlaySelection : NavOutcome::Nothing;
    }
    const int n = list_.count();
    const int i = list_.itemIndex();
    if (n == 0 || i < 0) {
        return NavOutcome::RefreshButtons;
    }
    if (categories_.CategoryFilterActive()) {
        return filteredWalk(direction) == Walk::Reached ? NavOutcome::PlaySelection
                                                        : NavOutcome::RefreshButtons;
    }
    const int t = i + direction;
    // The keyboard can ask for a step the disabled buttons would not offer.
    if (t < 0 || t > n - 1) {
        return NavOutcome::RefreshButtons;
    }
    list_.select(t);
    return NavOutcome::PlaySelection;
}

bool PlayOrder::PickShuffleSong() {
    bool refilled = false;
    if (list_.notplayedlist().isEmpty() && modes.repeatAll) {
        list_.refillNotPlayed();
        refilled = true;
    }
    const int before = list_.itemIndex();
    const bool filtered = categories_.CategoryFilterActive();
    int attempts = 0;
    while (!list_.notplayedlist().isEmpty()) {
        const int r = drawNotPlayed();
        const int index = list_.indexOfPath(list_.notplayedlist().at(r));
        if (index < 0) {
            // A path no longer in the list can never be played; drop it.
            list_.removeNotPlayedAt(r);
            continue;
        }
        list_.select(index);
        ++attempts;
        if (!filtered || passesFilter(index)) {
            list_.removeNotPlayedAt(r);
            return true;
        }
        if (attempts > list_.notplayedlist().size()) {
            if (modes.repeatAll && !refilled) {
                list_.refillNotPlayed();
                refilled = true;
                attempts = 0;
            } else {
                break;
            }
        }
    }
    // A failed pick leaves the selection on the song that is still playing.
    list_.select(before);
    return false;
}

bool PlayOrder::ChooseNextSong(const QString &currentSongFile, QString &path) {
    path.clear();
    if (modes.currentTrack) {
        path = currentSongFile;
        return true;
    }
    const int n = list_.count();
    if (n == 0) {
        return false;
    }
    if (list_.itemIndex() >= n - 1 && !modes.shuffle) {
        if (!modes.repeatAll) {
            return false;
        }
        list_.select(0);
        // Under the filter the first entry may not be playable either.
        if (categories_.CategoryFilterActive() && !passesFilter(0) &&
            filteredWalk(+1) != Walk::Reached) {
            return false;
        }
        path = list_.path(list_.itemIndex());
        return true;
    }
    bool ok = false;
    if (modes.shuffle) {
        ok = PickShuffleSong();
    } else if (categories_.CategoryFilterActive()) {
        ok = filteredWalk(+1) == Walk::Reached;
    } else {
        list_.select(list_.itemIndex() + 1);
        ok = true;
    }
    if (ok) {
        path = list_.path(list_.itemIndex());
    }
    return ok;
}

NavOutcome PlayOrder::MoveToDirectory(bool forward) {
    const int n = list_.count();
    if (n == 0 || list_.itemIndex() < 0) {
        return NavOutcome::Nothing;
    }
    QString folder = folderOf(list_.path(list_.itemIndex()));
    if (forward) {
        while (list_.itemIndex() < n - 1) {
            list_.select(list_.itemIndex() + 1);
            if (folderOf(list_.path(list_.itemIndex())) != folder) {
                break;
            }
        }
        // At the last entry the next-folder button is disabled and nothing
        // plays, even when that entry starts a new folder.
        return list_.itemIndex() < n - 1 ? NavOutcome::PlaySelection : NavOutcome::RefreshButtons;
    }
    const auto walkBack = [&] {
        while (list_.itemIndex() > 0) {
            list_.select(list_.itemIndex() - 1);
            if (folderOf(list_.path(list_.itemIndex())) != folder) {
                return true;
            }
        }
        return false;
    };
    walkBack();
    folder = folderOf(list_.path(list_.itemIndex()));
    if (walkBack()) {
        list_.select(list_.itemIndex() + 1);
    }
    return NavOutcome::PlaySelection;
}

bool PlayOrder::shuffleClicked(bool on) {
    modes.shuffle = on;
    list_.refillNotPlayed();
    return on;
}

void PlayOrder::repeatAllClicked(bool on) {
    modes.repeatAll = on;
    if (on) {
        modes.currentTrack = false;
    }
}

void PlayOrder::currentTrackClicked(bool on) {
    modes.currentTrack = on;
    if (on) {
        modes.repeatAll = false;
    }
}

} // namespace velbrin::library

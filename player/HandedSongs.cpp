#include "HandedSongs.h"

#include "PlaybackController.h"
#include "song_library.h"

namespace velbrin::player {

void addAndPlayFirst(PlaybackController &controller, const QStringList &names,
                     const std::function<void(const QStringList &)> &add) {
    library::SongLibrary *songs = controller.library();
    const int before = songs != nullptr ? songs->list.count() : 0;
    add(names);
    if (songs == nullptr) {
        return;
    }
    int first = songs->list.count() > before ? before : -1;
    // A name the drop did not add again (it was already last) still plays.
    for (qsizetype i = 0; first < 0 && i < names.size(); ++i) {
        first = songs->list.indexOfPathExact(names[i]);
    }
    if (first < 0 || controller.currentSongFile() == songs->list.path(first)) {
        return;
    }
    songs->list.select(first);
    controller.playSelection();
}

} // namespace velbrin::player

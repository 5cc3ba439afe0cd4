#pragma once

#include <QStringList>

#include <functional>

namespace velbrin::player {

class PlaybackController;

// Songs handed to the player from outside (the desktop's Open, a later start
// of the program): `add` puts them into the list as a drop does, then the
// first song they brought plays, unless adding it has already started it.
// Nothing plays when they brought none.
void addAndPlayFirst(PlaybackController &controller, const QStringList &names,
                     const std::function<void(const QStringList &)> &add);

} // namespace velbrin::player

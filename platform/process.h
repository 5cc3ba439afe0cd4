#pragma once

#include <QString>
#include <QStringList>

namespace velbrin::platform {

// How the started program's window should first appear. X11 has no way to
// impose this on another program, so it is passed along for the callers'
// sake and not applied.
enum class WindowShowMode { Normal, Hidden, Minimized, Maximized };

// Starts the program file at `program` with `arguments`, each handed over as
// one argument exactly as given: no shell, no command line to split, so blanks
// and shell characters in the path or the arguments have no meaning. The child
// gets the caller's environment and current folder, writes to the caller's
// terminal and reads from nothing. Blocks the calling thread until the program
// ends, without a time limit.
//
// Returns the program's exit code; 128 + the signal number when a signal ended
// it (as shells report it, so that a crash never reads as success); 0 when it
// could not be started.
int runAndWait(const QString &program, const QStringList &arguments,
               WindowShowMode showMode = WindowShowMode::Normal);

} // namespace velbrin::platform

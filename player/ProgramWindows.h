#pragma once

#include "PlayerForm.h"

#include <memory>

namespace velbrin::library {
class Tplaylist;
}
namespace velbrin::settings {
class TCdform;
}

namespace velbrin::player {

class Ttavrelopendialog;

// The program's windows, created in their fixed order: the main window first,
// then the playlist window, the open-choice dialog and the CD player. The main
// window owns the others.
struct ProgramWindows {
    std::unique_ptr<TPlayerForm> form;
    library::Tplaylist *playlist = nullptr;
    Ttavrelopendialog *openDialog = nullptr;
    // Shown by the play-CD command (TCdform::showCdPlayer).
    settings::TCdform *cdForm = nullptr;
};

ProgramWindows createProgramWindows(TPlayerForm::Options options);

} // namespace velbrin::player

#pragma once

#include "PlayerForm.h"

#include <memory>

namespace velbrin::library {
class TFEditTag;
class TfrmPlayCategories;
class Tplaylist;
} // namespace velbrin::library

namespace velbrin::settings {
class TVolumeForm;
}

namespace velbrin::player {

class Ttavrelopendialog;

// The program's windows, created in their fixed order: the main window first,
// then the playlist window, the volume window, the categories window, the
// open-choice dialog and the tag editor. The main window owns the others.
struct ProgramWindows {
    std::unique_ptr<TPlayerForm> form;
    library::Tplaylist *playlist = nullptr;
    settings::TVolumeForm *volume = nullptr;
    library::TfrmPlayCategories *categories = nullptr;
    Ttavrelopendialog *openDialog = nullptr;
    library::TFEditTag *tagEditor = nullptr;
};

ProgramWindows createProgramWindows(TPlayerForm::Options options);

} // namespace velbrin::player

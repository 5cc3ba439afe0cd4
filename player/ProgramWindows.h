#pragma once

#include "PlayerForm.h"

#include <memory>

namespace velbrin::library {
class Tplaylist;
}
namespace velbrin::platform {
class SpeechVoice;
}
namespace velbrin::settings {
class TfrmSAPI51;
class Tsettings;
} // namespace velbrin::settings

namespace velbrin::player {

class Ttavrelopendialog;

// The program's windows, created in their fixed order: the main window first,
// then the playlist window, the speech and settings windows and the
// open-choice dialog. The main window owns the others.
struct ProgramWindows {
    std::unique_ptr<TPlayerForm> form;
    library::Tplaylist *playlist = nullptr;
    settings::TfrmSAPI51 *speech = nullptr;
    settings::Tsettings *settings = nullptr;
    Ttavrelopendialog *openDialog = nullptr;
};

// `voice` is the program's speech voice; without one the program is silent.
ProgramWindows createProgramWindows(TPlayerForm::Options options,
                                    std::shared_ptr<platform::SpeechVoice> voice = nullptr);

} // namespace velbrin::player

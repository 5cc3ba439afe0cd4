#pragma once

#include "InstanceService.h"
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
namespace velbrin::platform {
class SpeechVoice;
}
namespace velbrin::settings {
class TCdform;
class TfrmSAPI51;
class Tsettings;
} // namespace velbrin::settings

namespace velbrin::player {

class MprisService;
class Ttavrelopendialog;

// The program's windows, created in their fixed order: the main window first,
// then the playlist window, the volume and categories windows, the speech and
// settings windows, the open-choice dialog, the CD player and the tag editor.
// The main window owns the others.
struct ProgramWindows {
    std::unique_ptr<TPlayerForm> form;
    library::Tplaylist *playlist = nullptr;
    settings::TVolumeForm *volume = nullptr;
    library::TfrmPlayCategories *categories = nullptr;
    settings::TfrmSAPI51 *speech = nullptr;
    settings::Tsettings *settings = nullptr;
    Ttavrelopendialog *openDialog = nullptr;
    // Shown by the play-CD command (TCdform::showCdPlayer).
    settings::TCdform *cdForm = nullptr;
    library::TFEditTag *tagEditor = nullptr;
    // The player on the desktop's session bus, when there is one.
    MprisService *mpris = nullptr;
};

// `voice` is the program's speech voice; without one the program is silent.
ProgramWindows createProgramWindows(TPlayerForm::Options options,
                                    std::shared_ptr<platform::SpeechVoice> voice = nullptr);

// What the program does for a later start that hands its request over: songs
// added as a drop and the first played, the CD player for a drive, the
// launcher's actions as the media controls do them, and the main window raised.
InstanceService::Hooks launchHooks(const ProgramWindows &windows);

} // namespace velbrin::player

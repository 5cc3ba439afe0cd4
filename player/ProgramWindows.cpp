#include "ProgramWindows.h"

#include "EngineDurationProbe.h"
#include "TCdform.h"
#include "Tplaylist.h"
#include "secondary_windows.h"

namespace velbrin::player {

ProgramWindows createProgramWindows(TPlayerForm::Options options) {
    ProgramWindows w;
    w.form = std::make_unique<TPlayerForm>(std::move(options));
    // Owned by the main window, which deletes the playlist before its probe.
    w.playlist = new library::Tplaylist(*w.form, w.form->durationProbe(), w.form.get());
    w.openDialog = new Ttavrelopendialog(w.form.get());
    w.playlist->setOpenChoiceDialog(w.openDialog);
    w.form->setPlaylist(w.playlist);
    w.cdForm = new settings::TCdform(w.form.get());
    return w;
}

} // namespace velbrin::player

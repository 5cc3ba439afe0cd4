#include "ProgramWindows.h"

#include "EngineDurationProbe.h"
#include "PlayerVolumeTarget.h"
#include "TFEditTag.h"
#include "TVolumeForm.h"
#include "TfrmPlayCategories.h"
#include "Tplaylist.h"
#include "secondary_windows.h"

namespace velbrin::player {

ProgramWindows createProgramWindows(TPlayerForm::Options options) {
    ProgramWindows w;
    w.form = std::make_unique<TPlayerForm>(std::move(options));
    TPlayerForm *form = w.form.get();
    // Owned by the main window, which deletes the playlist before its probe.
    w.playlist = new library::Tplaylist(*form, form->durationProbe(), form);
    form->setPlaylist(w.playlist);

    auto *volumeTarget = new PlayerVolumeTarget(*form->controller());
    w.volume = new settings::TVolumeForm(*volumeTarget, form);
    volumeTarget->listen(*w.volume);
    form->setVolumeForm(w.volume);

    library::CategoriesHost host;
    host.currentSongFile = [form] { return form->controller()->currentSongFile(); };
    host.playNextSong = [form] { form->StepSong(+1); };
    host.filterChanged = [form] { form->showCategoryFilter(); };
    host.songTagChanged = [form](const QString &path) {
        if (!path.isEmpty()) {
            form->UpdateView(path);
        }
    };
    w.categories = new library::TfrmPlayCategories(w.playlist->library(), std::move(host), form);
    form->setCategoriesWindow(w.categories);

    w.openDialog = new Ttavrelopendialog(form);
    w.playlist->setOpenChoiceDialog(w.openDialog);

    w.tagEditor = new library::TFEditTag(w.playlist->library(), form);
    form->setTagEditor(w.tagEditor);
    return w;
}

} // namespace velbrin::player

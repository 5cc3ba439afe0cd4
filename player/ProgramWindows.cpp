#include "ProgramWindows.h"

#include "EngineDurationProbe.h"
#include "HandedSongs.h"
#include "MprisService.h"
#include "PlaybackController.h"
#include "PlayerVolumeTarget.h"
#include "SettingsHost.h"
#include "Skin.h"
#include "TCdform.h"
#include "TFEditTag.h"
#include "TSlider.h"
#include "TVolumeForm.h"
#include "TfrmPlayCategories.h"
#include "TfrmSAPI51.h"
#include "Tplaylist.h"
#include "Tsettings.h"
#include "Ttavrelopendialog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QStyle>

namespace velbrin::player {

namespace {

// The settings window's view of the main window. A child of the main window,
// so it lives exactly as long as the windows that use it.
class FormSettingsHost : public QObject, public settings::SettingsHost {
public:
    explicit FormSettingsHost(TPlayerForm &form) : QObject(&form), form_(form) {}

    void chooseOutput(int module) override {
        form_.controller()->soundOutput().choose(static_cast<OutputChoice>(module));
    }
    void setPriority(int priority) override { form_.controller()->setPriority(priority); }
    void setPlayerEnvironmentInteger(const QString &name, int value) override {
        form_.controller()->soundOutput().setPlayerEnvironmentInteger(
            name.toLocal8Bit().toStdString(), value);
    }
    void setDuckDepth(int decibels) override { form_.controller()->setDuckDepth(decibels); }
    void selectPlayMode(int index) override {
        if (auto *b = form_.RadioGroup1->findChild<QRadioButton *>(
                QStringLiteral("RadioGroup1Item%1").arg(index))) {
            b->setChecked(true);
        }
        form_.RadioGroup1Click();
    }
    QStringList styleNames() const override {
        QStringList names;
        for (int i = 0; i < form_.ComboBox1->count(); ++i) {
            names << form_.ComboBox1->itemText(i);
        }
        return names;
    }
    int activeStyleIndex() const override {
        const QString active = QApplication::style()->name();
        for (int i = 0; i < form_.ComboBox1->count(); ++i) {
            if (form_.ComboBox1->itemText(i).compare(active, Qt::CaseInsensitive) == 0) {
                return i;
            }
        }
        return form_.ComboBox1->currentIndex();
    }
    void styleApplied() override {
        // A light track on light panel colours, a dark one on dark colours.
        form_.Slider->setTrack(
            Skin::picture(Skin::trackFor(form_.palette().color(QPalette::Window))));
    }
    QString appDir() const override { return form_.appDir(); }

private:
    TPlayerForm &form_;
};

void raiseWindow(TPlayerForm &form) {
    form.showNormal();
    form.raise();
    form.activateWindow();
}

} // namespace

ProgramWindows createProgramWindows(TPlayerForm::Options options,
                                    std::shared_ptr<platform::SpeechVoice> voice) {
    ProgramWindows w;
    options.voice = voice;
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

    w.speech = new settings::TfrmSAPI51(std::move(voice), form);
    auto *settingsHost = new FormSettingsHost(*form);
    w.settings = new settings::Tsettings(*settingsHost, *w.speech, form);
    // The status bar's overlap and lowest level: on a first start the settings
    // window has only now stored them, and it may change them at every showing.
    form->RadioGroup1Click();
    if (auto *command = form->findChild<QAction *>(QStringLiteral("Settings1"))) {
        settings::Tsettings *window = w.settings;
        QObject::connect(command, &QAction::triggered, window, [window, form] {
            window->exec();
            form->RadioGroup1Click();
        });
    }

    w.openDialog = new Ttavrelopendialog(form);
    w.playlist->setOpenChoiceDialog(w.openDialog);

    w.cdForm = new settings::TCdform(form);
    if (auto *command = form->findChild<QAction *>(QStringLiteral("PlayCD1"))) {
        QObject::connect(command, &QAction::triggered, w.cdForm, &settings::TCdform::showCdPlayer);
    }

    w.tagEditor = new library::TFEditTag(w.playlist->library(), form);
    form->setTagEditor(w.tagEditor);

    w.mpris = MprisService::publish(
        *form->controller(), {[form] { raiseWindow(*form); }, [form] { form->close(); }}, form);
    // The desktop hears at once when the list or the filter changes Next and Previous.
    QObject::connect(form, &TPlayerForm::navigationChanged, w.mpris,
                     &MprisService::scheduleChanges);
    return w;
}

InstanceService::Hooks launchHooks(const ProgramWindows &windows) {
    TPlayerForm *form = windows.form.get();
    MprisService *mpris = windows.mpris;
    settings::TCdform *cd = windows.cdForm;
    InstanceService::Hooks h;
    h.open = [form](const QStringList &entries) {
        addAndPlayFirst(*form->controller(), entries,
                        [form](const QStringList &names) { form->addNames(names); });
    };
    h.showCd = [cd](const QString &drive) {
        cd->showCdPlayer();
        cd->chooseDrive(drive);
    };
    // The launcher's actions do what the desktop's media controls do.
    h.act = [form, mpris](const QString &action) {
        PlaybackController &c = *form->controller();
        if (action == QLatin1String("play-pause")) {
            c.isPlaying() ? c.pause() : mpris->play();
        } else if (action == QLatin1String("next")) {
            mpris->step(+1);
        } else if (action == QLatin1String("previous")) {
            mpris->step(-1);
        } else if (action == QLatin1String("stop")) {
            c.stop();
        }
    };
    h.raise = [form] { raiseWindow(*form); };
    return h;
}

} // namespace velbrin::player

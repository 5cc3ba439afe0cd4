#include "ProgramWindows.h"

#include "EngineDurationProbe.h"
#include "KelvraSpectrum.h"
#include "PlaybackController.h"
#include "SettingsHost.h"
#include "Skin.h"
#include "TSlider.h"
#include "TfrmSAPI51.h"
#include "TCdform.h"
#include "Tplaylist.h"
#include "Tsettings.h"
#include "secondary_windows.h"

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

    void setOutputName(const QString &name) override {
        for (engine::TKelvraSpectrum *p : songPlayers()) {
            p->SetOutputName(name.toLocal8Bit().toStdString());
        }
    }
    void setPriority(int priority) override {
        for (engine::TKelvraSpectrum *p : songPlayers()) {
            p->setPriority(static_cast<uint32_t>(priority));
        }
    }
    void setPlayerEnvironmentInteger(const QString &name, int value) override {
        for (engine::TKelvraSpectrum *p : songPlayers()) {
            p->SetPlayerEnvironmentInteger(name.toLocal8Bit().toStdString(), value);
        }
    }
    void setWavFileOutput(bool on) override { form_.controller()->setWavFileOutput(on); }
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
    std::vector<engine::TKelvraSpectrum *> songPlayers() const {
        std::vector<engine::TKelvraSpectrum *> players;
        for (engine::TKelvraSpectrum *p :
             {form_.controller()->KelvraSpelare1(), form_.controller()->KelvraSpelare2()}) {
            if (p != nullptr) {
                players.push_back(p);
            }
        }
        return players;
    }
    TPlayerForm &form_;
};

} // namespace

ProgramWindows createProgramWindows(TPlayerForm::Options options,
                                    std::shared_ptr<platform::SpeechVoice> voice) {
    ProgramWindows w;
    w.form = std::make_unique<TPlayerForm>(std::move(options));
    // Owned by the main window, which deletes the playlist before its probe.
    w.playlist = new library::Tplaylist(*w.form, w.form->durationProbe(), w.form.get());
    w.speech = new settings::TfrmSAPI51(std::move(voice), w.form.get());
    auto *host = new FormSettingsHost(*w.form);
    w.settings = new settings::Tsettings(*host, *w.speech, w.form.get());
    if (auto *command = w.form->findChild<QAction *>(QStringLiteral("Settings1"))) {
        settings::Tsettings *window = w.settings;
        QObject::connect(command, &QAction::triggered, window, [window] { window->exec(); });
    }
    w.openDialog = new Ttavrelopendialog(w.form.get());
    w.playlist->setOpenChoiceDialog(w.openDialog);
    w.form->setPlaylist(w.playlist);
    w.cdForm = new settings::TCdform(w.form.get());
    return w;
}

} // namespace velbrin::player

#pragma once

#include "KeyPresets.h"
#include "PlaybackController.h"
#include "PlaylistHost.h"

#include <QMainWindow>
#include <QStringList>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QTimer;
class QToolButton;
class TCoolScrollingText;
class TSlider;

namespace velbrin::library {
class TFEditTag;
class TfrmPlayCategories;
class Tplaylist;
} // namespace velbrin::library

namespace velbrin::platform {
class ScreenSaverInhibit;
class SpeechVoice;
} // namespace velbrin::platform
namespace velbrin::settings {
class TVolumeForm;
}

namespace velbrin::player {

class KeyboardControl;
class LiveSpectrum;
class SpectrumView;
class TInfoForm;
class TModulesForm;

// The main window: its controls, their handlers and the drawing of what the
// playback controller reports. Handlers keep the names the program is known
// by and call the controller, which owns the engine players and makes every
// decision, so tests reach those without a window.
//
// Threads: user-interface thread only. Engine notifications arrive as queued
// events on this thread through each player's hidden window.
class TPlayerForm : public QMainWindow, public library::PlaylistHost {
    Q_OBJECT
public:
    struct Options {
        // The engine library the three players load ("kelvra.dll" resolves to
        // libkelvra.so beside the program).
        std::string enginePath = "kelvra.dll";
        // The command line, entry 0 being the program itself.
        QStringList arguments;
        // The DJ's voice; silent when null.
        std::shared_ptr<platform::SpeechVoice> voice;
    };

    explicit TPlayerForm(Options options, QWidget *parent = nullptr);
    ~TPlayerForm() override;

    // --- program-wide values ------------------------------------------------------
    // The playing song, the play state and the output live in the controller.
    QString CurrentTitleText; // as drawn
    bool fScreenSaverActive = true;

    PlaybackController *controller() const { return controller_; }

    // The song list lives in the playlist window, created after this one; the
    // duration probe it uses runs on the controller's KelvraPlayer3.
    void setPlaylist(library::Tplaylist *playlist);

    // Windows created after this one that its controls show: the tag editor,
    // the categories window (the ">>>" label) and the volume window ("Sound
    // Settings").
    void setTagEditor(library::TFEditTag *editor) { tagEditor_ = editor; }
    void setCategoriesWindow(library::TfrmPlayCategories *window) { categoriesWindow_ = window; }
    void setVolumeForm(settings::TVolumeForm *window) { volumeForm_ = window; }
    settings::TVolumeForm *VolumeForm() const { return volumeForm_; }
    // ">>>" red while the category filter is on, aqua while it is off.
    void showCategoryFilter();
    library::Tplaylist *playlist() const { return playlist_; }
    library::EngineDurationProbe &durationProbe() { return controller_->durationProbe(); }

    // --- handlers ---------------------------------------------------------------------
    void initPlayer(const QString &path) override;
    void PlayButtonClick();
    void PauseButtonClick();
    void StopButtonClick();
    void ResetCurrentOutput();
    void UpdateView(const QString &path);
    void FitTitle();
    void showworkpanel();
    void hideworkpanel();
    void Timer2Timer();
    void Timer3Timer();
    void Timer5Timer();
    void RadioGroup1Click();
    void initButtons();
    // What the form draws when the controller reports.
    void drawState(PlaybackController::PlayState state);
    void drawNowPlaying(const NowPlaying &view);
    void drawModes(const PlayModes &modes);
    void StepSong(int direction);
    void MoveToDirectory(bool forward);
    void playlistbuttonClick();
    void VolumeButtonClick();
    void shuffleClick();
    void checkbox1Click();
    void LoopedCbClick();
    // Key presets, hot keys and the menu commands of PlayerCommands.cpp.
    void runKeyCommand(KeyCommand command);
    void Open1Click();
    // The open command once files are chosen, in the dialog's order.
    void openFiles(const QStringList &files);
    void TAG1Click();
    // The path of the song selected in the song list; empty without one.
    QString selectedSongPath() const;
    void RecordClick();
    void MakeWaveClick();
    void ScreensaverClick(bool allowed);
    QString recorderPath() const;
    KeyboardControl *keyboard() const { return keyboard_; }
    platform::ScreenSaverInhibit *screenSaver() const { return screenSaver_; }
    // Adds dropped names to the song list, in their order.
    void addNames(const QStringList &names);

    // --- the playlist window's view of this window ----------------------------------------
    bool isPlaying() const override { return controller_->isPlaying(); }
    QString currentSongFile() const override { return controller_->currentSongFile(); }
    bool shuffleOn() const override;
    void stopCurrentSong() override;
    void setPlaylistTotal(const QString &panelText) override { setStatusPanel(5, panelText); }
    void refreshButtons() override { initButtons(); }
    void categoriesChanged() override;
    void showWorkPanel(bool visible) override;
    QString appDir() const override { return controller_->appDir(); }
    void editTag(const QString &path) override;

    // The status bar's panel texts (0 to 5).
    QString statusPanel(int index) const;
    void setStatusPanel(int index, const QString &text);
    // The application's title, shown as the window's title.
    QString applicationTitle() const { return windowTitle(); }
    void setApplicationTitle(const QString &text) { setWindowTitle(text); }

    TInfoForm *InfoForm() const { return infoForm_; }
    TModulesForm *ModulesForm() const { return modulesForm_; }

    // Where "lastplay.txt" goes: the program folder when it can be written,
    // else the per-user data folder.
    QString lastPlayPath() const { return controller_->lastPlayPath(); }

signals:
    // Raised after the command line has been processed (tests wait for it).
    void commandLineProcessed();
    // The navigation buttons were worked out again: the song list, its current
    // entry or the genre filter may have changed.
    void navigationChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    void setupKeys();
    void FormCreate();
    void FormActivate();
    void applyAppearance(int skin);
    void applyStyle();
    void connectController();
    // The information window follows the current song player's reports.
    void connectInformation();
    void showError(const QString &text, ErrorKind kind);

    Options options_;
    PlaybackController *controller_ = nullptr; // child object
    library::Tplaylist *playlist_ = nullptr;
    library::TFEditTag *tagEditor_ = nullptr;
    library::TfrmPlayCategories *categoriesWindow_ = nullptr;
    settings::TVolumeForm *volumeForm_ = nullptr;

public:
    // Controls, by their form names.
    QLabel *artist = nullptr;
    QLabel *album = nullptr;
    QLabel *category = nullptr;
    QLabel *year = nullptr;
    QLabel *Label8 = nullptr;
    QLabel *title = nullptr;
    TCoolScrollingText *Title2 = nullptr;
    QLabel *TimeCode = nullptr;
    QLabel *comments = nullptr;
    QLabel *DurationText = nullptr;
    QLabel *Label2 = nullptr;
    QToolButton *prevdisc = nullptr;
    QToolButton *bitbtn1 = nullptr;
    QToolButton *PlayButton = nullptr;
    QToolButton *PauseButton = nullptr;
    QToolButton *StopButton = nullptr;
    QToolButton *bitbtn2 = nullptr;
    QToolButton *nextdisc = nullptr;
    QToolButton *playlistbutton = nullptr;
    QToolButton *VolumeButton = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QCheckBox *shuffle = nullptr;
    QCheckBox *checkbox1 = nullptr;
    QCheckBox *LoopedCb = nullptr;
    QLabel *ShuffleLabel = nullptr;
    QLabel *RepeatLabel = nullptr;
    QLabel *AllSongsLabel = nullptr;
    QLabel *CurrentTrackLabel = nullptr;
    QGroupBox *RadioGroup1 = nullptr;
    QFrame *ModePanel = nullptr;
    QFrame *pnlWorking = nullptr;
    QLineEdit *Edit2 = nullptr;
    QListWidget *ListBox2 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    TSlider *Slider = nullptr;
    QTimer *Timer2 = nullptr;
    QTimer *Timer3 = nullptr;
    QTimer *Timer5 = nullptr;
    QLabel *BackgroundImage = nullptr;
    QLabel *LeftPanelImage = nullptr;
    QLabel *RightPanelImage = nullptr;
    // The live spectrum at the foot of the right-hand display panel.
    SpectrumView *spectrumView = nullptr;

private:
    QList<QRadioButton *> modeButtons_;
    QList<QLabel *> panels_;
    QLabel *busyAnimation_ = nullptr;
    QTimer *busyTimer_ = nullptr;
    int busyFrame_ = 0;
    bool activatedOnce_ = false;
    KeyboardControl *keyboard_ = nullptr;                 // child object
    platform::ScreenSaverInhibit *screenSaver_ = nullptr; // child object, made on first use
    TInfoForm *infoForm_ = nullptr;                       // child window
    TModulesForm *modulesForm_ = nullptr;                 // child window
    LiveSpectrum *liveSpectrum_ = nullptr;                // child object
    QList<std::pair<QString, ErrorKind>> waitingErrors_;
    bool showingError_ = false;
};

} // namespace velbrin::player

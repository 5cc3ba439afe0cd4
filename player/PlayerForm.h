#pragma once

#include "KelvraSpectrum.h"
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
class EngineDurationProbe;
class PlayOrder;
class TagReader;
class TFEditTag;
class TfrmPlayCategories;
class Tplaylist;
} // namespace velbrin::library

namespace velbrin::settings {
class TVolumeForm;
}

namespace velbrin::player {

class TInfoForm;
class TModulesForm;

// The main window: owns the three engine players and the play logic. Handlers
// keep the names the program is known by; their decisions live in
// PlayerLogic so tests reach them without a window.
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
    };

    explicit TPlayerForm(Options options, QWidget *parent = nullptr);
    ~TPlayerForm() override;

    // --- program-wide values ------------------------------------------------------
    QString AppDir;
    QString CurrentSongFile;
    bool IsPlaying = false;
    bool WavFileOutput = false;
    bool LastPlayFirstWrite = true;
    QString CurrentTitleText;
    bool fScreenSaverActive = true;
    bool Tracking = false;

    // --- engine players -------------------------------------------------------------
    engine::TKelvraSpectrum *KelvraSpelare1 = nullptr;
    engine::TKelvraSpectrum *KelvraSpelare2 = nullptr;
    engine::TKelvraSpectrum *KelvraPlayer3 = nullptr;
    engine::TKelvraSpectrum *KelvraSpectrum1 = nullptr;   // the current player
    engine::TKelvraSpectrum *KelvraSpectrumOld = nullptr; // the other one

    // The song list lives in the playlist window, created after this one; the
    // duration probe it uses runs on KelvraPlayer3.
    void setPlaylist(library::Tplaylist *playlist);
    library::Tplaylist *playlist() const { return playlist_; }
    library::EngineDurationProbe &durationProbe() { return *probe_; }
    library::PlayOrder *playOrder() const { return order_.get(); }

    // Windows created after this one that its controls show: the tag editor,
    // the categories window (the ">>>" label) and the volume window ("Sound
    // Settings").
    void setTagEditor(library::TFEditTag *editor) { tagEditor_ = editor; }
    void setCategoriesWindow(library::TfrmPlayCategories *window) { categoriesWindow_ = window; }
    void setVolumeForm(settings::TVolumeForm *window) { volumeForm_ = window; }
    settings::TVolumeForm *VolumeForm() const { return volumeForm_; }
    // ">>>" red while the category filter is on, aqua while it is off.
    void showCategoryFilter();

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
    void RadioGroup1Click();
    void initButtons();
    void StepSong(int direction);
    void MoveToDirectory(bool forward);
    void playlistbuttonClick();
    void shuffleClick();
    void checkbox1Click();
    void LoopedCbClick();
    // Adds dropped or chosen names to the song list, in their order.
    void addNames(const QStringList &names, bool chosenInDialog);

    // --- the playlist window's view of this window ----------------------------------------
    bool isPlaying() const override { return IsPlaying; }
    QString currentSongFile() const override { return CurrentSongFile; }
    bool shuffleOn() const override;
    void stopCurrentSong() override;
    void setPlaylistTotal(const QString &panelText) override { setStatusPanel(5, panelText); }
    void refreshButtons() override { initButtons(); }
    void categoriesChanged() override;
    void showWorkPanel(bool visible) override;
    QString appDir() const override { return AppDir; }
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
    QString lastPlayPath() const;

signals:
    // Raised after the command line has been processed (tests wait for it).
    void commandLineProcessed();

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
    void FormCreate();
    void FormActivate();
    void applyAppearance(int skin);
    void applyStyle();
    void configureSongPlayer(engine::TKelvraSpectrum *player);
    void setupDurationProbe();
    void bindEvents(engine::TKelvraSpectrum *player);
    void endOfSong();
    void restoreModeCheckBoxes();
    // Plays the selected entry: buttons, the playlist's chosen file, initPlayer.
    void playSelection();
    int windowHandle();

    // Notification handlers shared by the three players.
    void NotifyPlayerState(engine::TKelvraSpectrum *sender, int state);
    void NotifyNack(engine::TKelvraSpectrum *sender, uint8_t command, int16_t code);
    void NotifyInputPosition(engine::TKelvraSpectrum *sender, uint32_t offset, uint32_t range);
    void NotifyInputTimecode(engine::TKelvraSpectrum *sender, uint8_t h, uint8_t m, uint8_t s);
    void NotifyStreamDuration(engine::TKelvraSpectrum *sender, uint32_t duration);
    void NotifyStreamParameters(engine::TKelvraSpectrum *sender, uint32_t f, int16_t b, uint8_t ch);
    void NotifyOutputState(engine::TKelvraSpectrum *sender, int state);

    Options options_;
    std::unique_ptr<library::TagReader> tags_;
    std::unique_ptr<library::EngineDurationProbe> probe_;
    std::unique_ptr<library::PlayOrder> order_;
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

private:
    QList<QRadioButton *> modeButtons_;
    QList<QLabel *> panels_;
    QLabel *busyAnimation_ = nullptr;
    QTimer *busyTimer_ = nullptr;
    int busyFrame_ = 0;
    bool activatedOnce_ = false;
    TInfoForm *infoForm_ = nullptr;       // child window
    TModulesForm *modulesForm_ = nullptr; // child window
};

} // namespace velbrin::player

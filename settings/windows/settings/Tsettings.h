#pragma once

#include <QDialog>

#include <functional>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTabBar;
class QTabWidget;
class QToolButton;

namespace velbrin::settings {

class SettingsHost;
class TfrmSAPI51;

// The settings window. Every control stores its setting the moment it
// changes and engine settings reach both song players at once; "Close" only
// closes. Created once at start (the load runs then), shown modally.
class Tsettings : public QDialog {
    Q_OBJECT
public:
    Tsettings(SettingsHost &host, TfrmSAPI51 &speech, QWidget *parent = nullptr);

    // The WAV folder chooser: gets the folder to start in, returns the chosen
    // one or empty text when the user cancels. Tests replace it.
    std::function<QString(const QString &start)> chooseFolder;

    // Fills the style list from the main window and copies the voices and
    // rate from the speech window; runs on every showing.
    void FormShow();

    // Inserts a variable into the DJ text at the cursor (the start of any
    // selection; nothing is removed).
    void insertVariable(const QString &variable);
    void HelpClick();

    // Controls, by their form names.
    QTabWidget *PageControl1 = nullptr;
    QRadioButton *UseDirectSoundRadioButton = nullptr;
    QRadioButton *UseWaveDriverRadioButton = nullptr;
    QRadioButton *RadioButton1 = nullptr;
    QLabel *WavDirLabel = nullptr;
    QPushButton *Button1 = nullptr;
    QSlider *PitchBar1 = nullptr;
    QToolButton *bitbtn5 = nullptr;
    QComboBox *LoudnessComboBox = nullptr; // "Off" / "Track": every song at one loudness
    QGroupBox *RadioGroup2 = nullptr;
    QWidget *SpeechPage = nullptr;
    QComboBox *cbVoices = nullptr;
    QSlider *tbRate = nullptr;
    QLabel *lblRate = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QPushButton *Button9 = nullptr;
    QTabWidget *PageControl2 = nullptr;
    QSpinBox *SpinEdit1 = nullptr;
    QSpinBox *SpinEdit2 = nullptr;
    QSpinBox *SpinEdit3 = nullptr;
    QSlider *VolumeTrackBar = nullptr;
    QSlider *TrackBar1 = nullptr;
    QSlider *TrackBar2 = nullptr;
    QCheckBox *CheckBox1 = nullptr;
    QCheckBox *CheckBox2 = nullptr;
    QSpinBox *DuckSpinEdit = nullptr;         // "DuckDepth": the music under the DJ, in dB
    QCheckBox *SkipSilenceCheckBox = nullptr; // "SkipSilence": overlaps from the audible end
    QTabBar *TabControl1 = nullptr;
    QPlainTextEdit *Memo2 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QRadioButton *RadioButton4 = nullptr;
    QRadioButton *RadioButton5 = nullptr;
    QRadioButton *RadioButton2 = nullptr;
    QCheckBox *CheckBox3 = nullptr;
    QGroupBox *RadioGroup1 = nullptr;
    QLabel *UtseendeLabel = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QPushButton *CancelBtn = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildEnginePage();
    QWidget *buildSpeechPage();
    QWidget *buildDjPage();
    QWidget *buildControlsetPage();
    QWidget *buildMiscPage();
    QWidget *buildMixTab(const QString &mode, QSpinBox *&overlap, QSlider *&level,
                         const char *overlapName, const char *levelName);
    void connectActions();
    void FormCreate();

    void outputChosen(int module);
    void Button1Click();
    void setWavDirLabel();
    void styleChosen(const QString &name);
    void voiceChosen(int index);
    void rateMoved(int position);

    SettingsHost &host_;
    TfrmSAPI51 &speech_;
    bool fupdating = false;
    QButtonGroup *priorityGroup_ = nullptr;
    QButtonGroup *appearanceGroup_ = nullptr;
    QButtonGroup *presetGroup_ = nullptr;
};

} // namespace velbrin::settings

#pragma once

#include "cd_audio.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QTimer;
class QToolButton;

namespace velbrin::settings {

// The small audio CD player. It plays a disc (or a disc image) on its own
// device, independently of the engine's players, and keeps the chosen drive
// as "CD-Player"/"DefaultDrive". Created hidden at start; each showing opens the
// stored drive afresh, unless the disc playing there is still the same.
//
// Threads: user-interface thread only; the device announces completed
// commands as queued signals.
class TCdform : public QDialog {
    Q_OBJECT
public:
    explicit TCdform(QWidget *parent = nullptr);
    ~TCdform() override;

    // The menu's play-CD command: shows the window without blocking.
    void showCdPlayer();

    // The user picks a drive or an image in the chooser (added to it when it
    // is not listed yet).
    void chooseDrive(const QString &path);

    int displayMode() const { return TimeMode; }
    platform::CdAudioDevice &device() { return *MediaPlayer1Device; }

    // Handlers, by the names the window is known by.
    void ShellComboBox1Change();
    void Label6Click();
    void MediaPlayer1Click(QToolButton *button);
    void MediaPlayer1Notify();
    void Timer1Timer();
    void OpenDrive(const QString &name);
    void UpdateDisplay();

    // Controls, by their form names.
    QFrame *Panel1 = nullptr;
    QComboBox *ShellComboBox1 = nullptr;
    QToolButton *OpenImageButton = nullptr;
    QLabel *Label3 = nullptr; // number of tracks
    QLabel *Label5 = nullptr; // current track
    QLabel *Label6 = nullptr; // "Time"
    QLabel *Label7 = nullptr; // the time text
    QCheckBox *CheckBox1 = nullptr;
    QWidget *MediaPlayer1 = nullptr;
    QToolButton *btPlay = nullptr;
    QToolButton *btPause = nullptr;
    QToolButton *btStop = nullptr;
    QToolButton *btNext = nullptr;
    QToolButton *btPrev = nullptr;
    QToolButton *btEject = nullptr;
    QTimer *Timer1 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormShow();
    void OpenImageButtonClick();
    void selectInChooser(const QString &path);
    void enableButtons();

    platform::CdAudioDevice *MediaPlayer1Device = nullptr; // child object
    QString openElement_;
    int TimeMode = 1;
};

} // namespace velbrin::settings

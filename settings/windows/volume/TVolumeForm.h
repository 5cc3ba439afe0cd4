#pragma once

#include "equalizer_bands.h"
#include "kelvra_interface.h"

#include <QDialog>

#include <array>
#include <cstdint>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;
class QSlider;

namespace velbrin::settings {

// Where the volume window sends what the user sets: the current player's
// levels, mute and channels, and the equalizer of both song players. Engine
// failures come back through the engine's notifications, so these report
// nothing.
class VolumeTarget {
public:
    virtual ~VolumeTarget() = default;
    // 0..99 each; -1 leaves a level unchanged.
    virtual void SetOutputVolume(int balance, int pcmLevel, int masterLevel) = 0;
    virtual void OutputMute() = 0;
    virtual void OutputUnmute() = 0;
    virtual void SetOutputChannels(uint32_t channels) = 0;
    // On both song players, each followed by a read-back; null switches the
    // equalizer off.
    virtual void SetCodecEqualizer(const KV_EqualizerInfo *equalizer) = 0;
};

// The volume and equalizer window. Levels, mute and channels are the current
// player's and are not stored; the equalizer sliders and "Enable" are kept in
// the section "Equalizer" of the store. User-interface thread only.
class TVolumeForm : public QDialog {
    Q_OBJECT
public:
    // Loads the equalizer from the store; a stored "Enabled" of "1" sends it to
    // the players at once.
    explicit TVolumeForm(VolumeTarget &target, QWidget *parent = nullptr);

    // True while sliders are set from outside (at creation and while reported
    // levels are shown): their change actions then send and store nothing.
    bool UpdatingVolumeControls = false;

    // Levels the current player reported, shown without being sent back.
    void showReportedVolume(int masterLevel, int pcmLevel, int balance);
    void showReportedPcmLevel(int pcmLevel);
    void showReportedMasterLevel(int masterLevel);
    void showReportedBalance(int balance);
    // The equalizer a player read back, shown on the sliders (each by its first
    // engine band) without being sent back or stored. Left alone while the
    // equalizer is off or the user holds a slider.
    void showReportedEqualizer(const KV_EqualizerInfo &equalizer);

    // --- handlers -------------------------------------------------------------------
    void MasterTrackBarChange();
    void VolumeTrackBarChange();
    void BalanceTrackBarChange();
    void CenterButtonClick();
    void MuteCheckBoxClick();
    void ChannelsClick(int index);
    void EnableCheckBoxClick();
    void EqualizerTrackBarChange();
    void NeutralizeClick();
    void CloseButtonClick();
    // Equalizer update: the record from the sliders, stored, then sent or switched off.
    void UpdateEqualizer();

    // Controls, by their form names.
    QGroupBox *VolumeGroup = nullptr;
    QSlider *MasterTrackBar = nullptr;
    QSlider *VolumeTrackBar = nullptr;
    QSlider *BalanceTrackBar = nullptr;
    QPushButton *CenterButton = nullptr;
    QCheckBox *MuteCheckBox = nullptr;
    QGroupBox *RadioGroup1 = nullptr; // "Channels:"
    std::array<QRadioButton *, 4> ChannelButtons{};
    QGroupBox *EqualizerGroup = nullptr;
    QCheckBox *EnableCheckBox = nullptr;
    QPushButton *NeutralizeButton = nullptr;
    // TrackBar01, then TrackBar1 .. TrackBar15, left to right.
    std::array<QSlider *, 16> EqualizerTrackBars{};
    QPushButton *CloseButton = nullptr;

private:
    void buildControls();
    void loadEqualizer();
    void setSliderQuietly(QSlider *slider, int value);

    VolumeTarget &target_;
};

} // namespace velbrin::settings

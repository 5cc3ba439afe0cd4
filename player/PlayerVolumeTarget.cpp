#include "PlayerVolumeTarget.h"

#include "PlaybackController.h"

namespace velbrin::player {

PlayerVolumeTarget::PlayerVolumeTarget(PlaybackController &controller)
    : QObject(&controller), controller_(controller) {}

void PlayerVolumeTarget::listen(settings::TVolumeForm &window) {
    window_ = &window;
    connect(&controller_, &PlaybackController::levelsShown, this, &PlayerVolumeTarget::showLevels);
    connect(&controller_, &PlaybackController::outputAvailableChanged, &window,
            &QWidget::setEnabled);
    connect(&controller_, &PlaybackController::equalizerReported, &window,
            &settings::TVolumeForm::showReportedEqualizer);
}

void PlayerVolumeTarget::showLevels(std::optional<int> master, std::optional<int> pcm,
                                    std::optional<int> balance) {
    if (window_ == nullptr) {
        return;
    }
    // The window's own flag keeps its change handlers from sending these back.
    if (master && pcm && balance) {
        window_->showReportedVolume(*master, *pcm, *balance);
        return;
    }
    if (master) {
        window_->showReportedMasterLevel(*master);
    }
    if (pcm) {
        window_->showReportedPcmLevel(*pcm);
    }
    if (balance) {
        window_->showReportedBalance(*balance);
    }
}

void PlayerVolumeTarget::SetOutputVolume(int balance, int pcmLevel, int masterLevel) {
    controller_.setOutputLevels(masterLevel, pcmLevel, balance);
}

void PlayerVolumeTarget::OutputMute() {
    controller_.setMuted(true);
}

void PlayerVolumeTarget::OutputUnmute() {
    controller_.setMuted(false);
}

void PlayerVolumeTarget::SetOutputChannels(uint32_t channels) {
    controller_.setChannels(static_cast<kv_channel_mode>(channels));
}

void PlayerVolumeTarget::SetCodecEqualizer(const KV_EqualizerInfo *equalizer) {
    controller_.setEqualizer(equalizer);
}

} // namespace velbrin::player

#include "PlayerVolumeTarget.h"

#include "PlaybackController.h"

namespace velbrin::player {

PlayerVolumeTarget::PlayerVolumeTarget(PlaybackController &controller)
    : QObject(&controller), controller_(controller) {}

void PlayerVolumeTarget::listen(settings::TVolumeForm &window) {
    connect(&controller_, &PlaybackController::levelsChanged, &window,
            [&window](const OutputLevels &levels) {
                window.showReportedVolume(levels.master, levels.pcm, levels.balance);
            });
    connect(&controller_, &PlaybackController::outputAvailableChanged, &window,
            &QWidget::setEnabled);
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

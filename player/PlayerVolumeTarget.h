#pragma once

#include "TVolumeForm.h"

#include <QObject>

#include <optional>

namespace velbrin::player {

class PlaybackController;

// The volume window's way to the players, through the playback controller:
// levels, mute and channels go to the current player, the equalizer to both
// song players. It also shows on the window what the controller says the
// volume is (the current player's reports and the levels of a cross-fade),
// without sending it back, and enables the window only while that player's
// output works. A child of the controller, so it lives exactly as long as
// what calls into it.
class PlayerVolumeTarget : public QObject, public settings::VolumeTarget {
public:
    explicit PlayerVolumeTarget(PlaybackController &controller);

    // Shows the current player's reported levels, equalizer and output state
    // on `window`.
    void listen(settings::TVolumeForm &window);

    void SetOutputVolume(int balance, int pcmLevel, int masterLevel) override;
    void OutputMute() override;
    void OutputUnmute() override;
    void SetOutputChannels(uint32_t channels) override;
    void SetCodecEqualizer(const KV_EqualizerInfo *equalizer) override;

private:
    void showLevels(std::optional<int> master, std::optional<int> pcm, std::optional<int> balance);

    PlaybackController &controller_;
    settings::TVolumeForm *window_ = nullptr;
};

} // namespace velbrin::player

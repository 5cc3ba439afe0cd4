#pragma once

#include "TVolumeForm.h"

#include <QObject>

namespace velbrin::player {

class TPlayerForm;

// The volume window's way to the main window's players: levels, mute and
// channels go to the current player, the equalizer to both song players. It
// also shows on the window the levels the current player reports, and binds
// those notifications of both song players for that. A child of the main
// window, so it lives exactly as long as the players that call into it.
class PlayerVolumeTarget : public QObject, public settings::VolumeTarget {
public:
    explicit PlayerVolumeTarget(TPlayerForm &form);

    // Routes the level notifications of both song players to `window`.
    void listen(settings::TVolumeForm &window);

    void SetOutputVolume(int balance, int pcmLevel, int masterLevel) override;
    void OutputMute() override;
    void OutputUnmute() override;
    void SetOutputChannels(uint32_t channels) override;
    void SetCodecEqualizer(const KV_EqualizerInfo *equalizer) override;

private:
    TPlayerForm &form_;
};

} // namespace velbrin::player

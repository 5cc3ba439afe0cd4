#include "PlayerVolumeTarget.h"

#include "PlayerForm.h"

namespace velbrin::player {

using engine::TKelvraSpectrum;

namespace {

// An engine refusal comes back as a notification; a player that is gone or
// not set up has nothing to set. Neither is the volume window's to report.
template <typename Command> void quietly(TKelvraSpectrum *player, Command command) {
    if (player == nullptr) {
        return;
    }
    try {
        command(*player);
    } catch (const std::exception &) {
    }
}

} // namespace

PlayerVolumeTarget::PlayerVolumeTarget(TPlayerForm &form) : QObject(&form), form_(form) {}

void PlayerVolumeTarget::listen(settings::TVolumeForm &window) {
    for (TKelvraSpectrum *p : {form_.KelvraSpelare1, form_.KelvraSpelare2}) {
        if (p == nullptr) {
            continue;
        }
        // Only the current player's reports move the sliders.
        p->OnNotifyOutputVolume = [this, &window](TKelvraSpectrum *s, uint8_t master, uint8_t pcm,
                                                  uint8_t balance) {
            if (s == form_.KelvraSpectrum1) {
                window.showReportedVolume(master, pcm, balance);
            }
        };
        p->OnNotifyOutputPcmLevel = [this, &window](TKelvraSpectrum *s, uint8_t pcm) {
            if (s == form_.KelvraSpectrum1) {
                window.showReportedPcmLevel(pcm);
            }
        };
        p->OnNotifyOutputMasterLevel = [this, &window](TKelvraSpectrum *s, uint8_t master) {
            if (s == form_.KelvraSpectrum1) {
                window.showReportedMasterLevel(master);
            }
        };
        p->OnNotifyOutputBalance = [this, &window](TKelvraSpectrum *s, uint8_t balance) {
            if (s == form_.KelvraSpectrum1) {
                window.showReportedBalance(balance);
            }
        };
    }
}

void PlayerVolumeTarget::SetOutputVolume(int balance, int pcmLevel, int masterLevel) {
    quietly(form_.KelvraSpectrum1,
            [&](TKelvraSpectrum &p) { p.SetOutputVolume(balance, pcmLevel, masterLevel); });
}

void PlayerVolumeTarget::OutputMute() {
    quietly(form_.KelvraSpectrum1, [](TKelvraSpectrum &p) { p.OutputMute(); });
}

void PlayerVolumeTarget::OutputUnmute() {
    quietly(form_.KelvraSpectrum1, [](TKelvraSpectrum &p) { p.OutputUnmute(); });
}

void PlayerVolumeTarget::SetOutputChannels(uint32_t channels) {
    quietly(form_.KelvraSpectrum1, [&](TKelvraSpectrum &p) { p.SetOutputChannels(channels); });
}

void PlayerVolumeTarget::SetCodecEqualizer(const KV_EqualizerInfo *equalizer) {
    for (TKelvraSpectrum *p : {form_.KelvraSpelare1, form_.KelvraSpelare2}) {
        quietly(p, [&](TKelvraSpectrum &player) {
            player.SetCodecEqualizer(equalizer);
            if (equalizer != nullptr) {
                player.GetCodecEqualizer();
            }
        });
    }
}

} // namespace velbrin::player

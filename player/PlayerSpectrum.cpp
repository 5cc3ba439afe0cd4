#include "PlayerSpectrum.h"

#include "KelvraSpectrum.h"

namespace velbrin::player {

static_assert(std::is_same_v<PlayerSpectrum::Bands, engine::TSpectrum>);

PlayerSpectrum::PlayerSpectrum(engine::TKelvraSpectrum &player)
    : QObject(&player), player_(player) {
    connect(&player_, &engine::TKelvraSpectrum::OnNotifySpectrum, this,
            [this](const engine::TSpectrum &left, const engine::TSpectrum &right, int) {
                emit spectrum(left, right);
            });
}

void PlayerSpectrum::switchOn() {
    (void)player_.loadfft(true);
}

void PlayerSpectrum::switchOff() {
    (void)player_.unloadfft(true);
}

void PlayerSpectrum::request() {
    player_.getspectrum();
}

} // namespace velbrin::player

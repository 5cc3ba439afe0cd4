#pragma once

#include <QObject>

#include <array>
#include <cstdint>

namespace velbrin::engine {
class TKelvraSpectrum;
}

namespace velbrin::player {

// One song player's spectrum, and nothing else of that player: what the live
// spectrum display may do with the player it follows. A child of the player,
// so it goes when the player goes.
//
// Threads: user-interface thread only.
class PlayerSpectrum : public QObject {
    Q_OBJECT
public:
    using Bands = std::array<uint8_t, 65>;

    explicit PlayerSpectrum(engine::TKelvraSpectrum &player);

    // The engine's analysers for both channels; errors (no engine) reach the caller.
    void switchOn();
    void switchOff();
    // Asks for the latest spectrum, which arrives as `spectrum`.
    void request();

signals:
    void spectrum(const velbrin::player::PlayerSpectrum::Bands &left,
                  const velbrin::player::PlayerSpectrum::Bands &right);

private:
    engine::TKelvraSpectrum &player_;
};

} // namespace velbrin::player

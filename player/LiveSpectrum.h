#pragma once

#include "PlayerSpectrum.h"
#include "SpectrumView.h"

#include <QObject>
#include <QPointer>

namespace velbrin::player {

class PlaybackController;

// Feeds a SpectrumView from the song being heard: switches the engine's
// spectrum on for the controller's current player when it plays (through that
// player's spectrum, the one thing of it the display may touch), follows the
// hand-over to the other player, and lets the view run only while a song
// plays. The analysers are one for the whole program, so during a cross-fade
// both songs show in one spectrum, as both are heard.
//
// Threads: user-interface thread only; the engine's thread fills the spectra
// behind the engine component's lock.
class LiveSpectrum : public QObject {
    Q_OBJECT
public:
    LiveSpectrum(PlaybackController *controller, SpectrumView *view, QObject *parent = nullptr);
    ~LiveSpectrum() override;

    // Stops the view and deletes the analysers; called before the players go.
    void shutDown();
    // The spectrum last switched on, if its player still exists.
    PlayerSpectrum *fedSpectrum() const { return fed_; }

private:
    void follow();
    bool latest(SpectrumBands &bands);

    PlaybackController *controller_;
    bool outputLost_ = false;
    QPointer<SpectrumView> view_; // a widget of the window, which may go first
    QPointer<PlayerSpectrum> fed_;
    // Whether analysers exist, so they are deleted once.
    bool loaded_ = false;
    SpectrumBands bands_{};
};

} // namespace velbrin::player

#include "LiveSpectrum.h"

#include "PlaybackController.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace velbrin::player {

LiveSpectrum::LiveSpectrum(PlaybackController *controller, SpectrumView *view, QObject *parent)
    : QObject(parent), controller_(controller), view_(view) {
    view_->setSource([this](SpectrumBands &bands) { return latest(bands); });
    connect(controller_, &PlaybackController::stateChanged, this, [this] { follow(); });
    connect(controller_, &PlaybackController::playersSwapped, this, [this] { follow(); });
    // Nothing is heard while the output is lost: the bars fall flat rather
    // than freeze on the last sound.
    connect(controller_, &PlaybackController::soundOutputLost, this, [this](bool lost) {
        outputLost_ = lost;
        follow();
    });
}

LiveSpectrum::~LiveSpectrum() {
    shutDown();
}

void LiveSpectrum::follow() {
    const bool playing = controller_->isPlaying();
    PlayerSpectrum *current = controller_->currentSpectrum();
    if (current != nullptr && current != fed_ && (playing || fed_ != nullptr)) {
        // The handler stays installed in a player once it is there; switching
        // it on again for the player that takes over makes fresh analysers.
        if (fed_ != nullptr) {
            disconnect(fed_, &PlayerSpectrum::spectrum, this, nullptr);
        }
        try {
            loaded_ = true;
            current->switchOn();
            fed_ = current;
            connect(current, &PlayerSpectrum::spectrum, this,
                    [this](const PlayerSpectrum::Bands &left, const PlayerSpectrum::Bands &right) {
                        // One picture of both channels: the louder of each band.
                        for (size_t i = 0; i < bands_.size(); ++i) {
                            bands_[i] = std::max(left[i], right[i]);
                        }
                    });
        } catch (const std::exception &) {
            // No engine: the controller has told the user; the view stays dark.
            fed_ = nullptr;
        }
    }
    if (view_ != nullptr) {
        view_->setPlaying(playing && fed_ != nullptr && !outputLost_);
    }
}

bool LiveSpectrum::latest(SpectrumBands &bands) {
    if (fed_ == nullptr) {
        return false;
    }
    fed_->request();
    bands = bands_;
    return true;
}

void LiveSpectrum::shutDown() {
    if (view_ != nullptr) {
        view_->setPlaying(false);
    }
    if (fed_ != nullptr && std::exchange(loaded_, false)) {
        try {
            fed_->switchOff();
        } catch (const std::exception &) {
            // Nothing more to release.
        }
    }
    fed_ = nullptr;
}

} // namespace velbrin::player

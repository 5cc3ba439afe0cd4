#include "EngineDurationProbe.h"

#include "KelvraSpectrum.h"

namespace velbrin::library {

EngineDurationProbe::EngineDurationProbe(engine::TKelvraSpectrum &player) : player_(&player) {}

EngineDurationProbe::~EngineDurationProbe() {
    // The player may outlive the probe; its handler must not reach a dead queue.
    if (attached_ && player_) {
        player_->OnNotifyStreamDuration = std::move(previous_);
    }
}

void EngineDurationProbe::attach(DurationQueue &queue) {
    if (!player_) {
        return;
    }
    if (!attached_) {
        previous_ = std::move(player_->OnNotifyStreamDuration);
        attached_ = true;
    }
    queue_ = &queue;
    player_->OnNotifyStreamDuration = [this](engine::TKelvraSpectrum *sender, uint32_t duration) {
        if (sender == player_ && queue_) {
            queue_->durationReported(static_cast<std::int64_t>(duration));
        }
        if (previous_) {
            previous_(sender, duration);
        }
    };
}

void EngineDurationProbe::begin(const QString &path) {
    // Engine errors must not escape into the queue: the song then counts as
    // not measured when its time is up.
    if (!player_) {
        return;
    }
    try {
        player_->Stop();
        player_->InputOpen(path.toLocal8Bit().toStdString());
        player_->OutputMute();
        player_->Pause();
        player_->Play();
    } catch (const engine::EKelvraException &e) {
        lastError_ = e.what();
    }
}

void EngineDurationProbe::end() {
    if (!player_) {
        return;
    }
    try {
        player_->Pause();
        player_->Stop();
        player_->InputClose();
    } catch (const engine::EKelvraException &e) {
        lastError_ = e.what();
    }
}

} // namespace velbrin::library

#include "EngineDurationProbe.h"

#include "KelvraSpectrum.h"

namespace velbrin::library {

EngineDurationProbe::EngineDurationProbe(engine::TKelvraSpectrum &player) : player_(&player) {}

EngineDurationProbe::~EngineDurationProbe() {
    // The player may outlive the probe; its signal must not reach a dead queue.
    QObject::disconnect(connection_);
}

void EngineDurationProbe::attach(DurationQueue &queue) {
    queue_ = &queue;
    if (!player_ || connection_) {
        return;
    }
    connection_ =
        QObject::connect(player_.data(), &engine::TKelvraSpectrum::OnNotifyStreamDuration,
                         [this](engine::TKelvraSpectrum *sender, uint32_t duration) {
                             if (sender == player_ && queue_) {
                                 queue_->durationReported(static_cast<std::int64_t>(duration));
                             }
                         });
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

#pragma once

#include "duration_probe.h"

#include <QPointer>

#include <cstdint>
#include <string>

namespace velbrin::engine {
class TKelvraSpectrum;
}

namespace velbrin::library {

// The duration probe over the main window's third engine player
// (`KelvraPlayer3`). Each song is opened muted, paused and played until the
// engine reports its duration; then the queue ends the measurement, which
// pauses, stops and closes the input. Muting keeps the moment that plays
// before the report from being heard.
//
// GUI thread only: the engine's notifications arrive there. The player may be
// destroyed before the probe (the main window owns it); the probe then does
// nothing.
class EngineDurationProbe : public DurationProbe {
public:
    explicit EngineDurationProbe(engine::TKelvraSpectrum &player);
    ~EngineDurationProbe() override;
    EngineDurationProbe(const EngineDurationProbe &) = delete;
    EngineDurationProbe &operator=(const EngineDurationProbe &) = delete;

    // Listens to the player's `OnNotifyStreamDuration` for `queue`; other
    // listeners of the player are not affected, now or when the probe goes.
    void attach(DurationQueue &queue);

    void begin(const QString &path) override;
    void end() override;

    // The text of the last engine error raised while starting or ending a
    // measurement; empty when there was none. A song that failed to open
    // simply runs into the time limit.
    const std::string &lastError() const { return lastError_; }

private:
    QPointer<engine::TKelvraSpectrum> player_;
    QPointer<DurationQueue> queue_; // may go before the probe too
    QMetaObject::Connection connection_;
    std::string lastError_;
};

} // namespace velbrin::library

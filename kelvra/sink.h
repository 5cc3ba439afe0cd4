#pragma once

#include "errors.h"
#include "kelvra_interface.h"
#include "levels.h"
#include "module_loader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kelvra {

// The last stage of a player's output chain: where the audio leaves the
// player. All methods run on the player's thread.
class Sink {
public:
    virtual ~Sink() = default;

    // The chain's view of the sink, as the next stage of the last filter.
    virtual int32_t write(const int16_t *samples, uint32_t bytes, uint32_t channels,
                          uint32_t rate) = 0;
    virtual int32_t control(kv_output_format *format, uint32_t flags) = 0;

    // Frames the sink takes now without waiting; the player decodes ahead
    // only that far.
    virtual size_t room() const = 0;
    virtual void setPlaying(bool playing, bool fade) = 0;
    // Drops what is buffered and restarts the played count. With `fade`
    // audio already sounding is faded out first; the sink refuses new audio
    // (room() is 0) until that is done.
    virtual void flush(bool fade) = 0;
    // No more audio follows until the next flush.
    virtual void markComplete() = 0;
    // Marked complete and every frame of it has been played.
    virtual bool drained() const = 0;
    // Frames played since the last flush, at the sink's rate.
    virtual uint64_t playedFrames() const = 0;
    virtual uint32_t rate() const = 0;
    // Closes a file output so that its header is final; a later write
    // starts it afresh.
    virtual void finish() {}
    virtual void setLevels(const LevelSettings &levels) = 0;
    virtual void setPitch(int perMille) { (void)perMille; }
    // A factor on the audio written from now on, before the levels. Only a
    // sound device's mix takes it; a file sink keeps the decode as it is.
    virtual void setGain(float factor) { (void)factor; }
    // Paced by a clock (a sound card) rather than by decoding speed.
    virtual bool realTime() const = 0;
    // The device went away; nothing is played until it is back.
    virtual bool lost() const { return false; }
};

// A device module instance owned by one player, written at decoding speed
// (the WAV writer).
class DirectSink final : public Sink {
public:
    static std::unique_ptr<DirectSink> create(std::shared_ptr<const Module> module,
                                              std::string name, kv_host_interface *host,
                                              Error &error);
    DirectSink() = default; // use create()
    ~DirectSink() override;

    int32_t write(const int16_t *samples, uint32_t bytes, uint32_t channels,
                  uint32_t rate) override;
    int32_t control(kv_output_format *format, uint32_t flags) override;
    size_t room() const override { return playing_ ? SIZE_MAX : 0; }
    void setPlaying(bool playing, bool) override { playing_ = playing; }
    void flush(bool) override;
    void markComplete() override;
    bool drained() const override { return complete_; }
    uint64_t playedFrames() const override { return played_; }
    uint32_t rate() const override { return rate_; }
    void finish() override;
    void setLevels(const LevelSettings &levels) override { ramp_.setTarget(levels); }
    bool realTime() const override { return false; }

private:
    bool ensureOpen();

    std::shared_ptr<const Module> module_;
    std::string name_;
    void *instance_ = nullptr;
    kv_output_chain chain_{};
    bool open_ = false;
    bool playing_ = false;
    bool complete_ = false;
    uint64_t played_ = 0;
    uint32_t rate_ = 44100;
    kv_output_format format_{44100, 2, 16, 0};
    bool haveFormat_ = false;
    LevelRamp ramp_;
    std::vector<int16_t> scratch_;
};

} // namespace kelvra

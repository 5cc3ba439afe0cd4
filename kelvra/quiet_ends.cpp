#include "quiet_ends.h"

#include "decoder.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace kelvra {

namespace {
bool audible(int16_t sample) {
    return std::abs(static_cast<int>(sample)) > kAudibleThreshold;
}
} // namespace

size_t firstAudibleFrame(const int16_t *samples, size_t frames, unsigned channels) {
    channels = std::max(channels, 1u);
    for (size_t i = 0; i < frames * channels; ++i)
        if (audible(samples[i]))
            return i / channels;
    return frames;
}

size_t audibleFramesEnd(const int16_t *samples, size_t frames, unsigned channels) {
    channels = std::max(channels, 1u);
    for (size_t i = frames * channels; i > 0; --i)
        if (audible(samples[i - 1]))
            return (i - 1) / channels + 1;
    return 0;
}

uint64_t audibleEnd(uint64_t lastAudibleEnd, uint64_t totalFrames, uint32_t rate) {
    const uint64_t end = std::min(lastAudibleEnd, totalFrames);
    const auto shortest = static_cast<uint64_t>(kShortestDeadAir * rate);
    return totalFrames - end >= shortest ? end : totalFrames;
}

EndScan::EndScan(std::string path, uint64_t totalFrames, uint32_t rate, std::atomic<int32_t> &out)
    : path_(std::move(path)), totalFrames_(totalFrames), rate_(rate == 0 ? 44100 : rate),
      out_(out) {
    thread_ = std::thread([this] { run(); });
}

EndScan::~EndScan() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void EndScan::run() {
    Decoder decoder;
    StreamInfo info;
    if (decoder.open(path_, info) != Error::None || info.channels == 0)
        return;
    const uint64_t total = totalFrames_;
    std::vector<int16_t> block(4096 * info.channels);
    // Back from the end in growing windows: most songs are found in the
    // first, a long hidden silence takes a few more.
    uint64_t windowEnd = total;
    uint64_t window = static_cast<uint64_t>(30.0 * rate_);
    uint64_t lastAudible = 0;
    bool found = false;
    while (!found && windowEnd > 0 && !stop_) {
        const uint64_t from = windowEnd > window ? windowEnd - window : 0;
        if (!decoder.seek(from))
            return;
        uint64_t at = from;
        while (at < windowEnd && !stop_) {
            size_t samples = 0;
            if (decoder.read(block, samples) != Decoder::ReadResult::Data)
                break;
            const size_t frames = std::min<uint64_t>(samples / info.channels, windowEnd - at);
            if (const size_t end = audibleFramesEnd(block.data(), frames, info.channels); end > 0) {
                lastAudible = at + end;
                found = true;
            }
            at += frames;
        }
        windowEnd = from;
        window *= 2;
    }
    if (stop_)
        return;
    const uint64_t end = audibleEnd(found ? lastAudible : 0, total, rate_);
    out_ = static_cast<int32_t>(std::min<uint64_t>(end * 1000 / rate_, INT32_MAX));
}

} // namespace kelvra

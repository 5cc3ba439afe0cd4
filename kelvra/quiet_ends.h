#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

namespace kelvra {

// Where a song is heard: above -60 dBFS. Silence that lasts to the end of a
// song counts only from 2 s on; a shorter tail is part of the song.
inline constexpr int kAudibleThreshold = 33; // -60 dBFS of full scale, rounded up
inline constexpr double kShortestDeadAir = 2.0;
// A song's opening silence is skipped up to this far in.
inline constexpr double kLongestOpeningSilence = 30.0;

// The first frame of interleaved audio with a sample above the threshold, or
// `frames` when there is none.
size_t firstAudibleFrame(const int16_t *samples, size_t frames, unsigned channels);
// One past the last frame with a sample above the threshold, or 0.
size_t audibleFramesEnd(const int16_t *samples, size_t frames, unsigned channels);

// The frame a song is heard to, given one past its last audible frame: the
// whole length unless the silence after it lasts kShortestDeadAir or more.
uint64_t audibleEnd(uint64_t lastAudibleEnd, uint64_t totalFrames, uint32_t rate);

// Finds the last audible moment of a file on a thread of its own, with a
// decoder of its own, reading back from the end until it meets the song.
// The result, in milliseconds from the song's start, is stored into `out`
// (left alone until found). The thread is told to stop and joined when the
// scan is destroyed; it checks between blocks, so that is prompt.
class EndScan {
public:
    EndScan(std::string path, uint64_t totalFrames, uint32_t rate, std::atomic<int32_t> &out);
    ~EndScan();
    EndScan(const EndScan &) = delete;
    EndScan &operator=(const EndScan &) = delete;

private:
    void run();

    std::string path_;
    uint64_t totalFrames_;
    uint32_t rate_;
    std::atomic<int32_t> &out_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace kelvra

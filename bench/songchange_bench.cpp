// Song changes heard at the sink: the play modes' song changer over two players
// of the real engine, recorded from the private sound server's null sink.
//   songchange_bench norm [runs]     the Norm hand-over: silence between the
//                                    two songs, and the longest drop-out elsewhere
//   songchange_bench studio [runs]   Studio: from the trigger second of the old
//                                    song to the new song's first sample heard
// Needs PULSE_SERVER pointing at a server with a sink "null" (bench/songchange_bench.sh).
#include "settings_store.h"
#include "sink_recorder.h"
#include "song_changer_rig.h"

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

using namespace velbrin;

namespace {

constexpr double kRate = 44100.0;
constexpr int kOld = 400, kNew = 1200; // Hz
constexpr int kLoud = 2000, kQuiet = 200;

std::optional<size_t> firstLoud(const std::vector<int16_t> &s) {
    const auto it =
        std::find_if(s.begin(), s.end(), [](int16_t v) { return std::abs(v) >= kLoud; });
    return it == s.end() ? std::nullopt : std::optional<size_t>(size_t(it - s.begin()));
}

// The longest run of quiet samples in [from, to).
size_t longestQuiet(const std::vector<int16_t> &s, size_t from, size_t to) {
    size_t longest = 0, run = 0;
    for (size_t i = from; i < to && i < s.size(); ++i) {
        run = std::abs(s[i]) < kQuiet ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

double ms(double samples) {
    return 1000.0 * samples / kRate;
}

// One song change recorded; nullopt when it did not play through.
std::optional<std::vector<int16_t>> record(player::PlayMode mode, double oldSeconds) {
    QTemporaryDir dir;
    test::SongChangerRig rig(dir.path());
    const QString a = test::makeToneSong(dir.path(), "old", oldSeconds, kOld);
    const QString b = test::makeToneSong(dir.path(), "new", 3, kNew);
    if (a.isEmpty() || b.isEmpty())
        return std::nullopt;
    rig.build({a, b}, "/dev/dsound/0");
    rig.changer->setMode(mode);
    test::SinkRecorder recorder(dir.filePath("sink.raw").toStdString());
    // The first song's start must be on the recording: the trigger second
    // is counted from it.
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    if (!rig.play(30000))
        return std::nullopt;
    return recorder.stopAndReadLeft();
}

void summary(const char *what, std::vector<double> v) {
    if (v.empty()) {
        std::printf("%s: no run measured\n", what);
        return;
    }
    std::sort(v.begin(), v.end());
    std::printf("%s: median %.2f ms, worst %.2f ms, best %.2f ms (%zu runs)\n", what,
                v[v.size() / 2], v.back(), v.front(), v.size());
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2 || (std::strcmp(argv[1], "norm") != 0 && std::strcmp(argv[1], "studio") != 0)) {
        std::fprintf(stderr, "usage: songchange_bench norm|studio [runs]\n");
        return 2;
    }
    if (!test::soundServerReachable()) {
        std::fprintf(stderr, "songchange_bench: no sound server (PULSE_SERVER)\n");
        return 1;
    }
    const bool norm = std::strcmp(argv[1], "norm") == 0;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    test::ensureCoreApplication();
    test::PrivateSettings settings;
    unsetenv("KELVRA_OUTPUT");
    // Studio: a three-second overlap rising from 90, so the new song is loud
    // from its first sample.
    constexpr int kOverlap = 3;
    constexpr double kOldSeconds = 6;
    WriteSetting("DJ-Settings", "OverlapStudio", QString::number(kOverlap));
    WriteSetting("DJ-Settings", "MinVolumeStudio", "90");
    std::vector<double> gaps, dropouts, latencies;
    for (int run = 0; run < runs; ++run) {
        const auto s =
            record(norm ? player::PlayMode::Norm : player::PlayMode::Studio, kOldSeconds);
        const auto start = s ? firstLoud(*s) : std::nullopt;
        // The new song comes a second or more after the old one's start.
        const auto switched =
            start && *start > 0 ? test::toneOnset(*s, *start + size_t(kRate), kNew) : std::nullopt;
        if (!switched) {
            std::printf("run %d: not measured (%s)\n", run + 1,
                        !s                      ? "the songs did not play through"
                        : !start || *start == 0 ? "the recording missed the first song's start"
                                                : "the new song was not heard");
            continue;
        }
        if (norm) {
            // The silence just before the new song's first sample, and the
            // longest silence anywhere else between the first and last sound.
            const size_t gap = test::quietBefore(*s, *switched);
            size_t end = s->size();
            while (end > *start && std::abs((*s)[end - 1]) < kLoud)
                --end;
            const size_t elsewhere = std::max(longestQuiet(*s, *start, *switched - gap),
                                              longestQuiet(*s, *switched, end));
            gaps.push_back(ms(double(gap)));
            dropouts.push_back(ms(double(elsewhere)));
            std::printf("run %d: hand-over gap %.2f ms, longest silence elsewhere %.2f ms\n",
                        run + 1, gaps.back(), dropouts.back());
        } else {
            // The old song's time code for its trigger second goes out when
            // that second's first sample reaches the device, and the new
            // song travels the same device stream: both measured at the sink.
            const double trigger = double(*start) + (kOldSeconds - kOverlap) * kRate;
            latencies.push_back(ms(double(*switched) - trigger));
            std::printf("run %d: trigger second to new song heard %.2f ms\n", run + 1,
                        latencies.back());
        }
    }
    if (norm) {
        summary("norm hand-over gap at the sink", gaps);
        summary("longest silence elsewhere in the two songs", dropouts);
    } else {
        summary("studio trigger second to new song heard", latencies);
    }
    return 0;
}

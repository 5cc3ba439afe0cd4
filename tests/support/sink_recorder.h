#pragma once

// Records what reaches the private sound server's null sink (44.1 kHz stereo,
// 16-bit) and reads it back, for tests that must hear the program.

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace velbrin::test {

// Whether the private server the test command starts is reachable.
inline bool soundServerReachable() {
    return std::getenv("PULSE_SERVER") != nullptr && std::system("pactl info >/dev/null 2>&1") == 0;
}

class SinkRecorder {
public:
    explicit SinkRecorder(std::string rawFile) : file_(std::move(rawFile)) {
        pid_ = fork();
        if (pid_ == 0) {
            execlp("parec", "parec", "-d", "null.monitor", "--latency-msec=20", "--format=s16le",
                   "--rate=44100", "--channels=2", "--raw", file_.c_str(),
                   static_cast<char *>(nullptr));
            _exit(127);
        }
        // parec needs a moment before it captures.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    ~SinkRecorder() { stop(); }
    SinkRecorder(const SinkRecorder &) = delete;
    SinkRecorder &operator=(const SinkRecorder &) = delete;

    // Waits until the sink has rendered something. A freshly started server's
    // null sink renders nothing for its first two seconds or so, whoever plays.
    bool waitUntilRendering(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream in(file_, std::ios::binary | std::ios::ate);
            if (in && in.tellg() > 0) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // Ends the recording and returns the left channel.
    std::vector<int16_t> stopAndReadLeft() {
        stop();
        std::ifstream in(file_, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
        std::vector<int16_t> left(bytes.size() / 4);
        for (size_t i = 0; i < left.size(); ++i) {
            std::memcpy(&left[i], bytes.data() + 4 * i, 2);
        }
        return left;
    }

private:
    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    std::string file_;
    pid_t pid_ = -1;
};

// The level (RMS in dB of full scale) of each stretch of `channel` that stays
// above `thresholdDb` for more than `minimumFrames`, over its middle half, in
// the order heard.
inline std::vector<double> stretchLevels(const std::vector<int16_t> &channel, double thresholdDb,
                                         size_t minimumFrames) {
    const size_t window = 441;
    const auto level = [&](size_t from, size_t to) {
        double sum = 0;
        for (size_t i = from; i < to; ++i) {
            sum += static_cast<double>(channel[i]) * channel[i];
        }
        return 10.0 *
               std::log10(sum / static_cast<double>(to - from) / (32768.0 * 32768.0) + 1e-12);
    };
    std::vector<double> levels;
    size_t start = 0;
    bool inside = false;
    for (size_t w = 0; w + window <= channel.size(); w += window) {
        const bool loud = level(w, w + window) > thresholdDb;
        if (loud && !inside) {
            start = w;
        }
        if (!loud && inside && w - start > minimumFrames) {
            const size_t quarter = (w - start) / 4;
            levels.push_back(level(start + quarter, w - quarter));
        }
        inside = loud;
    }
    return levels;
}

} // namespace velbrin::test

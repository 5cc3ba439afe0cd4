#pragma once
// Drives libkelvra.so the way the player does: loaded at run time, commands
// through the control-message exports, notifications through a kv_window
// whose posted messages the test pumps and decodes.

#include "kelvra_interface.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kelvra_test {

struct Engine {
    void *library = nullptr;
    kv_player_new_fn player_new = nullptr;
    kv_player_delete_fn player_delete = nullptr;
    kv_player_set_priority_fn player_set_priority = nullptr;
    kv_player_get_priority_fn player_get_priority = nullptr;
    kv_error_string_fn error_string = nullptr;
    kv_get_version_fn get_version = nullptr;
    kv_send_N_fn send_N = nullptr;
    kv_send_P_fn send_P = nullptr;
    kv_send_S_fn send_S = nullptr;
    kv_send_SS_fn send_SS = nullptr;
    kv_send_SI_fn send_SI = nullptr;
    kv_send_IPI_fn send_IPI = nullptr;
    kv_send_I_fn send_I = nullptr;
    kv_send_II_fn send_II = nullptr;
    kv_send_III_fn send_III = nullptr;
    kv_send_IIII_fn send_IIII = nullptr;
    kv_params_to_message_fn params_to_message = nullptr;
    kv_fft_analyzer_new_fn fft_new = nullptr;
    kv_fft_analyzer_delete_fn fft_delete = nullptr;
    kv_fft_analyzer_set_samples_fn fft_set_samples = nullptr;
    kv_fft_analyzer_get_spectrum_fn fft_get_spectrum = nullptr;
    kv_fft_analyzer_interpolate_fn fft_interpolate_signed = nullptr;
    kv_fft_analyzer_interpolate_fn fft_interpolate_unsigned = nullptr;

    // The process-wide engine, loaded on first use (fails the test if absent).
    static Engine &get();
};

// A decoded notification with its texts copied out.
struct Event {
    KV_Message msg{};
    std::string text1;
    std::string text2;
    KV_EqualizerInfo equalizer{};
    // Stream properties as name=123 (integer) or name='text' (text).
    std::vector<std::string> properties;
    std::chrono::steady_clock::time_point when;
};

// The test's kv_window: queues what the engine posts, in order.
struct TestWindow {
    kv_window base{};
    std::mutex mutex;
    std::condition_variable posted;
    struct Raw {
        uint32_t message;
        uintptr_t w;
        intptr_t l;
        std::chrono::steady_clock::time_point when;
    };
    std::deque<Raw> queue;
    TestWindow();
};

class TestPlayer {
public:
    TestPlayer();
    ~TestPlayer();
    TestPlayer(const TestPlayer &) = delete;
    TestPlayer &operator=(const TestPlayer &) = delete;

    kv_player *handle() const { return player_; }
    Engine &engine() const { return engine_; }

    void N(int32_t code);
    void I(int32_t code, int32_t a);
    void II(int32_t code, int32_t a, int32_t b);
    void III(int32_t code, int32_t a, int32_t b, int32_t c);
    void S(int32_t code, const std::string &text);
    void SI(int32_t code, const std::string &text, int32_t a);
    void SS(int32_t code, const std::string &a, const std::string &b);
    void P(int32_t code, const void *pointer);

    // Decodes everything posted so far into events(); returns how many.
    size_t pump();
    // Pumps until an event satisfies `match` or the timeout passes; the
    // event when found. Events before it stay in events().
    std::optional<Event> waitFor(const std::function<bool(const Event &)> &match,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // As waitFor, looking only at events from index `from` of events().
    std::optional<Event> waitForFrom(size_t from, const std::function<bool(const Event &)> &match,
                                     std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Sends Play and waits for the end of the stream it starts.
    bool playToEnd(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    std::optional<Event> waitForCode(int32_t code,
                                     std::chrono::milliseconds timeout = std::chrono::seconds(10));
    std::optional<Event> waitForState(uint8_t state,
                                      std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Sends Ping and pumps until its pong: every earlier command has run.
    void sync();

    std::vector<Event> &events() { return events_; }
    std::vector<Event> eventsWithCode(int32_t code) const;
    void clearEvents() { events_.clear(); }
    // Deletes the player now (the destructor does it otherwise).
    void destroy();

    // Opens a file and waits for its duration.
    uint32_t openAndWaitForDuration(const std::string &path);

private:
    Engine &engine_;
    TestWindow window_;
    kv_window *windowPointer_ = &window_.base;
    kv_player *player_ = nullptr;
    std::vector<Event> events_;
    uint32_t nextTag_ = 1000;
};

// Media generated once per process into a temporary folder.
class Media {
public:
    static Media &get();
    const std::string &folder() const { return folder_; }
    // A stereo sine of `seconds` at `rate`, MP3-encoded with `lameOptions`.
    // Cached by name.
    std::string tone(const std::string &name, double seconds, int rate = 44100, int channels = 2,
                     int frequency = 1000, const std::string &lameOptions = "-b 128");
    std::string path(const std::string &name) const { return folder_ + "/" + name; }
    // Runs a shell command; true on exit status 0.
    static bool run(const std::string &command);

    ~Media();

private:
    Media();
    std::string folder_;
};

struct WavData {
    uint32_t rate = 0;
    uint16_t channels = 0;
    uint16_t bits = 0;
    uint32_t declaredDataBytes = 0;
    uint32_t declaredRiffBytes = 0;
    size_t fileBytes = 0;
    std::vector<int16_t> samples;
};
// Reads a 16-bit PCM WAV file; nullopt when it is not one.
std::optional<WavData> readWav(const std::string &path);
double rms(const int16_t *samples, size_t count, size_t stride = 1, size_t offset = 0);

} // namespace kelvra_test

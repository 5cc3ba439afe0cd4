#include "engine_harness.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

// The sound server libraries keep a few allocations of their own until the
// process ends; only the sanitizer build consults this.
extern "C" const char *__lsan_default_suppressions();
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libSDL2-2.0.so\nleak:libpulse.so\nleak:libpulsecommon\nleak:libdbus-1.so\n";
}

namespace kelvra_test {

Engine &Engine::get() {
    static Engine engine = [] {
        Engine e;
        e.library = dlopen(KELVRA_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (e.library == nullptr)
            return e;
        auto bind = [&](auto &slot, const char *name) {
            slot =
                reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(e.library, name));
        };
        bind(e.player_new, "player_new");
        bind(e.player_delete, "player_delete");
        bind(e.player_set_priority, "player_set_priority");
        bind(e.player_get_priority, "player_get_priority");
        bind(e.error_string, "kelvra_error_string");
        bind(e.get_version, "kelvra_get_version");
        bind(e.send_N, "control_message_send_N");
        bind(e.send_P, "control_message_send_P");
        bind(e.send_S, "control_message_send_S");
        bind(e.send_SS, "control_message_send_SS");
        bind(e.send_SI, "control_message_send_SI");
        bind(e.send_IPI, "control_message_send_IPI");
        bind(e.send_I, "control_message_send_I");
        bind(e.send_II, "control_message_send_II");
        bind(e.send_III, "control_message_send_III");
        bind(e.send_IIII, "control_message_send_IIII");
        bind(e.params_to_message, "control_win32_params_to_message");
        bind(e.fft_new, "fft_analyzer_new");
        bind(e.fft_delete, "fft_analyzer_delete");
        bind(e.fft_set_samples, "fft_analyzer_set_samples");
        bind(e.fft_get_spectrum, "fft_analyzer_get_spectrum");
        bind(e.fft_interpolate_signed, "fft_analyzer_interpolate_samples_signed");
        bind(e.fft_interpolate_unsigned, "fft_analyzer_interpolate_samples_unsigned");
        return e;
    }();
    if (engine.library == nullptr || engine.player_new == nullptr)
        ADD_FAILURE() << "cannot load " << KELVRA_LIBRARY << ": " << dlerror();
    return engine;
}

TestWindow::TestWindow() {
    base.post_message = [](kv_window *self, uint32_t message, uintptr_t w, intptr_t l) {
        auto *window = reinterpret_cast<TestWindow *>(self);
        {
            std::lock_guard lock(window->mutex);
            window->queue.push_back({message, w, l, std::chrono::steady_clock::now()});
        }
        window->posted.notify_all();
    };
}

TestPlayer::TestPlayer() : engine_(Engine::get()) {
    if (engine_.player_new != nullptr) {
        EXPECT_EQ(engine_.player_new(&player_, &windowPointer_), 0);
    }
}

TestPlayer::~TestPlayer() {
    destroy();
}

void TestPlayer::destroy() {
    if (player_ != nullptr)
        engine_.player_delete(player_);
    player_ = nullptr;
}

void TestPlayer::N(int32_t code) {
    EXPECT_EQ(engine_.send_N(player_, code), 0);
}
void TestPlayer::I(int32_t code, int32_t a) {
    EXPECT_EQ(engine_.send_I(player_, code, a), 0);
}
void TestPlayer::II(int32_t code, int32_t a, int32_t b) {
    EXPECT_EQ(engine_.send_II(player_, code, a, b), 0);
}
void TestPlayer::III(int32_t code, int32_t a, int32_t b, int32_t c) {
    EXPECT_EQ(engine_.send_III(player_, code, a, b, c), 0);
}
void TestPlayer::S(int32_t code, const std::string &text) {
    EXPECT_EQ(engine_.send_S(player_, code, text.c_str()), 0);
}
void TestPlayer::SI(int32_t code, const std::string &text, int32_t a) {
    EXPECT_EQ(engine_.send_SI(player_, code, text.c_str(), a), 0);
}
void TestPlayer::SS(int32_t code, const std::string &a, const std::string &b) {
    EXPECT_EQ(engine_.send_SS(player_, code, a.c_str(), b.c_str()), 0);
}
void TestPlayer::P(int32_t code, const void *pointer) {
    EXPECT_EQ(engine_.send_P(player_, code, pointer), 0);
}

size_t TestPlayer::pump() {
    std::deque<TestWindow::Raw> raw;
    {
        std::lock_guard lock(window_.mutex);
        raw.swap(window_.queue);
    }
    size_t decoded = 0;
    for (const auto &m : raw) {
        Event e;
        e.when = m.when;
        if (engine_.params_to_message(player_, &e.msg, m.message, m.w, m.l) != 0) {
            ADD_FAILURE() << "the engine did not claim its own message " << m.message;
            continue;
        }
        // Copy what the pointers show now, as the component does.
        auto copy = [](const char *s) { return s != nullptr ? std::string(s) : std::string(); };
        const auto &d = e.msg.Data;
        switch (e.msg.Code) {
        case KV_NOTIFY_INPUT_NAME:
        case KV_NOTIFY_OUTPUT_NAME:
        case KV_NOTIFY_STREAM_MIME_TYPE:
            e.text1 = copy(d.Name);
            break;
        case KV_NOTIFY_PLAYER_ENVIRONMENT_INTEGER:
            e.text1 = copy(d.Environment_Info.Name);
            break;
        case KV_NOTIFY_PLAYER_ENVIRONMENT_STRING:
            e.text1 = copy(d.Environment_Info.Name);
            e.text2 = copy(d.Environment_Info.Value.String_Value);
            break;
        case KV_NOTIFY_OUTPUT_MODULE_INFO:
        case KV_NOTIFY_INPUT_MODULE_INFO:
        case KV_NOTIFY_CODEC_MODULE_INFO:
            e.text1 = copy(d.Module_Info.Name);
            e.text2 = copy(d.Module_Info.Description);
            break;
        case KV_NOTIFY_OUTPUT_DEVICE_INFO:
        case KV_NOTIFY_INPUT_DEVICE_INFO:
        case KV_NOTIFY_CODEC_DEVICE_INFO:
            e.text1 = copy(d.Device_Info.Name);
            e.text2 = copy(d.Device_Info.Description);
            break;
        case KV_NOTIFY_OUTPUT_FILTER_INFO:
            e.text1 = copy(d.Filter_Info.Name);
            break;
        case KV_NOTIFY_ERROR:
            e.text1 = copy(d.Error.Msg);
            break;
        case KV_NOTIFY_STREAM_PROPERTIES:
            for (uint32_t i = 0;
                 d.Properties.Properties != nullptr && i < d.Properties.NBProperties; ++i) {
                const KV_Property &p = d.Properties.Properties[i];
                e.properties.push_back(copy(p.Name) + "=" +
                                       (p.ValueType == KV_PROPERTY_TYPE_INTEGER
                                            ? std::to_string(p.Value.IntegerValue)
                                            : "'" + copy(p.Value.StringValue) + "'"));
            }
            break;
        case KV_NOTIFY_CODEC_EQUALIZER:
            if (d.Equalizer != nullptr)
                e.equalizer = *d.Equalizer;
            break;
        default:
            break;
        }
        events_.push_back(std::move(e));
        ++decoded;
    }
    return decoded;
}

std::optional<Event> TestPlayer::waitFor(const std::function<bool(const Event &)> &match,
                                         std::chrono::milliseconds timeout) {
    return waitForFrom(0, match, timeout);
}

bool TestPlayer::playToEnd(std::chrono::milliseconds timeout) {
    pump();
    const size_t from = events_.size();
    N(KV_CMD_PLAY);
    return waitForFrom(
               from,
               [](const Event &e) {
                   return e.msg.Code == KV_NOTIFY_PLAYER_STATE &&
                          e.msg.Data.State == KV_PLAYER_STATE_EOS;
               },
               timeout)
        .has_value();
}

std::optional<Event> TestPlayer::waitForFrom(size_t from,
                                             const std::function<bool(const Event &)> &match,
                                             std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    size_t checked = from;
    while (true) {
        pump();
        for (; checked < events_.size(); ++checked)
            if (match(events_[checked]))
                return events_[checked];
        std::unique_lock lock(window_.mutex);
        if (window_.queue.empty() &&
            !window_.posted.wait_until(lock, deadline, [&] { return !window_.queue.empty(); }))
            return std::nullopt;
    }
}

std::optional<Event> TestPlayer::waitForCode(int32_t code, std::chrono::milliseconds timeout) {
    return waitFor([code](const Event &e) { return e.msg.Code == code; }, timeout);
}

std::optional<Event> TestPlayer::waitForState(uint8_t state, std::chrono::milliseconds timeout) {
    return waitFor(
        [state](const Event &e) {
            return e.msg.Code == KV_NOTIFY_PLAYER_STATE && e.msg.Data.State == state;
        },
        timeout);
}

void TestPlayer::sync() {
    const uint32_t tag = nextTag_++;
    I(KV_CMD_PING, static_cast<int32_t>(tag));
    const auto pong = waitFor(
        [tag](const Event &e) { return e.msg.Code == KV_NOTIFY_PONG && e.msg.Data.Tag == tag; });
    ASSERT_TRUE(pong.has_value()) << "no pong for tag " << tag;
}

std::vector<Event> TestPlayer::eventsWithCode(int32_t code) const {
    std::vector<Event> out;
    for (const Event &e : events_)
        if (e.msg.Code == code)
            out.push_back(e);
    return out;
}

uint32_t TestPlayer::openAndWaitForDuration(const std::string &path) {
    S(KV_CMD_INPUT_OPEN, path);
    const auto duration = waitForCode(KV_NOTIFY_STREAM_DURATION);
    EXPECT_TRUE(duration.has_value()) << "no duration for " << path;
    return duration ? duration->msg.Data.Duration : 0;
}

Media::Media() {
    char pattern[] = "/tmp/kelvra-test.XXXXXX";
    const char *dir = mkdtemp(pattern);
    folder_ = dir != nullptr ? dir : "/tmp";
}

Media::~Media() {
    std::error_code ignored;
    if (folder_.starts_with("/tmp/kelvra-test."))
        std::filesystem::remove_all(folder_, ignored);
}

Media &Media::get() {
    static Media media;
    return media;
}

bool Media::run(const std::string &command) {
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

std::string Media::tone(const std::string &name, double seconds, int rate, int channels,
                        int frequency, const std::string &lameOptions) {
    const std::string mp3 = path(name);
    if (std::ifstream(mp3).good())
        return mp3;
    const std::string wav = path(name + ".src.wav");
    char command[1024];
    std::snprintf(command, sizeof command,
                  "sox -n -r %d -c %d -b 16 '%s' synth %.3f sine %d vol 0.5 && "
                  "lame --quiet %s '%s' '%s'",
                  rate, channels, wav.c_str(), seconds, frequency, lameOptions.c_str(), wav.c_str(),
                  mp3.c_str());
    EXPECT_TRUE(run(command)) << command;
    return mp3;
}

std::optional<WavData> readWav(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    if (bytes.size() < 44 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return std::nullopt;
    auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
                                     (static_cast<uint32_t>(bytes[at + 3]) << 24));
    };
    auto u16 = [&](size_t at) { return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8)); };
    WavData w;
    w.fileBytes = bytes.size();
    w.declaredRiffBytes = u32(4);
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const uint32_t size = u32(at + 4);
        if (std::memcmp(bytes.data() + at, "fmt ", 4) == 0) {
            w.channels = u16(at + 10);
            w.rate = u32(at + 12);
            w.bits = u16(at + 22);
        } else if (std::memcmp(bytes.data() + at, "data", 4) == 0) {
            w.declaredDataBytes = size;
            const size_t available = std::min<size_t>(size, bytes.size() - at - 8);
            w.samples.resize(available / 2);
            if (!w.samples.empty())
                std::memcpy(w.samples.data(), bytes.data() + at + 8, w.samples.size() * 2);
            return w;
        }
        at += 8 + size + (size & 1);
    }
    return std::nullopt;
}

double rms(const int16_t *samples, size_t count, size_t stride, size_t offset) {
    double sum = 0.0;
    size_t n = 0;
    for (size_t i = offset; i < count; i += stride) {
        sum += static_cast<double>(samples[i]) * samples[i];
        ++n;
    }
    return n == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(n));
}

} // namespace kelvra_test

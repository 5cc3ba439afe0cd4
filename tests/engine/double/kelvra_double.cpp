// A stand-in for the engine library that records what the component asks of it.
// Built in three variants: complete, missing one export, and reporting API 3.9.
#define KELVRA_BUILDING_ENGINE
#include "kelvra_double.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#ifndef KVDOUBLE_API_MINOR
#define KVDOUBLE_API_MINOR 8
#endif

struct kv_player {
    int id;
    kv_window *window;
    uint32_t priority;
    bool quietEnds;
    int32_t audibleEnd;
};

struct kv_fft_analyzer {
    int id;
    int lastCount;
};

namespace {

struct State {
    std::mutex mutex;
    std::string log;
    std::string logCopy;
    int32_t playerNewResult = 0;
    int32_t sendResult = 0;
    int32_t analyzerNewResult = 0;
    uint32_t version = (3u << 16) | (KVDOUBLE_API_MINOR << 8);
    int nextPlayer = 1;
    std::map<kv_player *, std::unique_ptr<kv_player>> players;
    std::deque<std::pair<kv_player *, KV_Message>> posted;
    std::map<kv_fft_analyzer *, std::unique_ptr<kv_fft_analyzer>> analyzers;
    int nextAnalyzer = 1;
    int32_t offered = 0;
    int32_t speechResult = 0;
    uint32_t speechPending = 0;
};

State &state() {
    static State s;
    return s;
}

void record(const char *format, ...) __attribute__((format(printf, 1, 2)));
void record(const char *format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::lock_guard lock(state().mutex);
    state().log += line;
    state().log += '\n';
}

int id(kv_player *p) {
    return p != nullptr ? p->id : 0;
}

std::string quoted(const char *s) {
    return s == nullptr ? std::string("(null)") : "'" + std::string(s) + "'";
}

} // namespace

extern "C" {

KV_EXPORT void kvdouble_reset(void) {
    std::lock_guard lock(state().mutex);
    state().log.clear();
    state().playerNewResult = 0;
    state().sendResult = 0;
    state().analyzerNewResult = 0;
    state().version = (3u << 16) | (KVDOUBLE_API_MINOR << 8);
    state().offered = 0;
    state().speechResult = 0;
    state().speechPending = 0;
}

KV_EXPORT const char *kvdouble_log(void) {
    std::lock_guard lock(state().mutex);
    state().logCopy = state().log;
    return state().logCopy.c_str();
}

KV_EXPORT void kvdouble_set_player_new_result(int32_t value) {
    std::lock_guard lock(state().mutex);
    state().playerNewResult = value;
}

KV_EXPORT void kvdouble_set_send_result(int32_t value) {
    std::lock_guard lock(state().mutex);
    state().sendResult = value;
}

KV_EXPORT void kvdouble_set_analyzer_new_result(int32_t value) {
    std::lock_guard lock(state().mutex);
    state().analyzerNewResult = value;
}

KV_EXPORT void kvdouble_set_version(uint32_t word) {
    std::lock_guard lock(state().mutex);
    state().version = word;
}

KV_EXPORT void kvdouble_offer_extensions(int32_t bits) {
    std::lock_guard lock(state().mutex);
    state().offered = bits;
}

KV_EXPORT void kvdouble_set_speech_result(int32_t value) {
    std::lock_guard lock(state().mutex);
    state().speechResult = value;
}

KV_EXPORT void kvdouble_set_speech_pending(int32_t milliseconds) {
    std::lock_guard lock(state().mutex);
    state().speechPending = static_cast<uint32_t>(milliseconds);
}

KV_EXPORT void kvdouble_set_audible_end(kv_player *player, int32_t milliseconds) {
    std::lock_guard lock(state().mutex);
    if (state().players.count(player) != 0) {
        player->audibleEnd = milliseconds;
    }
}

KV_EXPORT kv_window *kvdouble_window(kv_player *player) {
    std::lock_guard lock(state().mutex);
    auto it = state().players.find(player);
    return it != state().players.end() ? it->second->window : nullptr;
}

KV_EXPORT kv_player *kvdouble_player(int32_t id) {
    std::lock_guard lock(state().mutex);
    for (auto &entry : state().players) {
        if (entry.second->id == id) {
            return entry.first;
        }
    }
    return nullptr;
}

KV_EXPORT void kvdouble_post(kv_player *player, const KV_Message *message) {
    kv_window *window = nullptr;
    intptr_t index = 0;
    {
        std::lock_guard lock(state().mutex);
        auto it = state().players.find(player);
        if (it == state().players.end() || message == nullptr) {
            return;
        }
        window = it->second->window;
        state().posted.emplace_back(player, *message);
        index = static_cast<intptr_t>(state().posted.size() - 1);
    }
    if (window != nullptr) {
        window->post_message(window, KV_WM_NOTIFY_BASE + 1, 0, index);
    }
}

int32_t player_new(kv_player **player, kv_window **window) {
    int32_t result;
    {
        std::lock_guard lock(state().mutex);
        result = state().playerNewResult;
    }
    if (result != 0) {
        record("player_new failed %d", result);
        return result;
    }
    auto p = std::make_unique<kv_player>();
    {
        std::lock_guard lock(state().mutex);
        p->id = state().nextPlayer++;
    }
    p->window = window != nullptr ? *window : nullptr;
    p->priority = 3;
    p->quietEnds = false;
    p->audibleEnd = -1;
    *player = p.get();
    record("player_new #%d", p->id);
    std::lock_guard lock(state().mutex);
    state().players.emplace(p.get(), std::move(p));
    return 0;
}

int32_t player_delete(kv_player *player) {
    record("player_delete #%d", id(player));
    std::lock_guard lock(state().mutex);
    state().players.erase(player);
    return 0;
}

int32_t player_set_priority(kv_player *player, uint32_t priority) {
    record("player_set_priority #%d %u", id(player), priority);
    if (player != nullptr) {
        player->priority = priority;
    }
    return 0;
}

int32_t player_get_priority(kv_player *player) {
    record("player_get_priority #%d", id(player));
    return player != nullptr ? static_cast<int32_t>(player->priority) : -1;
}

const char *kelvra_error_string(int32_t code) {
    record("kelvra_error_string %d", code);
    static thread_local char text[64];
    std::snprintf(text, sizeof text, "error %d", code);
    return text;
}

uint32_t kelvra_get_version(int32_t index) {
    record("kelvra_get_version %d", index);
    std::lock_guard lock(state().mutex);
    return state().version;
}

static int32_t sendResult() {
    std::lock_guard lock(state().mutex);
    return state().sendResult;
}

int32_t control_message_send_N(kv_player *p, int32_t code) {
    record("send_N #%d %d", id(p), code);
    return sendResult();
}
int32_t control_message_send_P(kv_player *p, int32_t code, const void *ptr) {
    record("send_P #%d %d %s", id(p), code, ptr == nullptr ? "null" : "ptr");
    return sendResult();
}
int32_t control_message_send_S(kv_player *p, int32_t code, const char *s) {
    record("send_S #%d %d %s", id(p), code, quoted(s).c_str());
    return sendResult();
}
int32_t control_message_send_SS(kv_player *p, int32_t code, const char *s1, const char *s2) {
    record("send_SS #%d %d %s %s", id(p), code, quoted(s1).c_str(), quoted(s2).c_str());
    return sendResult();
}
int32_t control_message_send_SI(kv_player *p, int32_t code, const char *s, int32_t i) {
    record("send_SI #%d %d %s %d", id(p), code, quoted(s).c_str(), i);
    return sendResult();
}
int32_t control_message_send_IPI(kv_player *p, int32_t code, int32_t i1, const void *ptr,
                                 int32_t i2) {
    record("send_IPI #%d %d %d %s %d", id(p), code, i1, ptr == nullptr ? "null" : "ptr", i2);
    return sendResult();
}
int32_t control_message_send_I(kv_player *p, int32_t code, int32_t i) {
    record("send_I #%d %d %d", id(p), code, i);
    return sendResult();
}
int32_t control_message_send_II(kv_player *p, int32_t code, int32_t i1, int32_t i2) {
    record("send_II #%d %d %d %d", id(p), code, i1, i2);
    return sendResult();
}
int32_t control_message_send_III(kv_player *p, int32_t code, int32_t i1, int32_t i2, int32_t i3) {
    record("send_III #%d %d %d %d %d", id(p), code, i1, i2, i3);
    return sendResult();
}
int32_t control_message_send_IIII(kv_player *p, int32_t code, int32_t i1, int32_t i2, int32_t i3,
                                  int32_t i4) {
    record("send_IIII #%d %d %d %d %d %d", id(p), code, i1, i2, i3, i4);
    return sendResult();
}

int32_t control_win32_params_to_message(kv_player *player, KV_Message *msg, uint32_t message,
                                        uintptr_t, intptr_t lparam) {
    if (message != KV_WM_NOTIFY_BASE + 1 || msg == nullptr || lparam < 0) {
        return 1;
    }
    std::lock_guard lock(state().mutex);
    const auto index = static_cast<size_t>(lparam);
    if (index >= state().posted.size() || state().posted[index].first != player) {
        return 1;
    }
    *msg = state().posted[index].second;
    return 0;
}

int32_t fft_analyzer_new(kv_fft_analyzer **analyzer) {
    std::lock_guard lock(state().mutex);
    if (state().analyzerNewResult != 0) {
        state().log += "fft_analyzer_new failed\n";
        return state().analyzerNewResult;
    }
    auto a = std::make_unique<kv_fft_analyzer>();
    a->id = state().nextAnalyzer++;
    a->lastCount = 0;
    *analyzer = a.get();
    state().log += "fft_analyzer_new A" + std::to_string(a->id) + "\n";
    state().analyzers.emplace(a.get(), std::move(a));
    return 0;
}

int32_t fft_analyzer_delete(kv_fft_analyzer **analyzer) {
    std::lock_guard lock(state().mutex);
    if (analyzer == nullptr || *analyzer == nullptr) {
        state().log += "fft_analyzer_delete none\n";
        return 0;
    }
    state().log += "fft_analyzer_delete A" + std::to_string((*analyzer)->id) + "\n";
    state().analyzers.erase(*analyzer);
    *analyzer = nullptr;
    return 1;
}

void fft_analyzer_set_samples(kv_fft_analyzer *analyzer, const int16_t *samples, int32_t count) {
    if (analyzer == nullptr) {
        return;
    }
    analyzer->lastCount = count;
    // The first and the last sample, so a test can tell which samples went in.
    record("fft_analyzer_set_samples A%d %s %d %s", analyzer->id,
           samples != nullptr ? std::to_string(samples[0]).c_str() : "null", count,
           samples != nullptr && count > 0 ? std::to_string(samples[count - 1]).c_str() : "-");
}

// Reports the sample count of the last set as every band, so a test can tell
// which analyser fed which spectrum.
void fft_analyzer_get_spectrum(kv_fft_analyzer *analyzer, uint8_t *spectrum, int32_t bands) {
    if (analyzer == nullptr || spectrum == nullptr) {
        return;
    }
    for (int32_t i = 0; i < bands; ++i) {
        spectrum[i] = static_cast<uint8_t>(analyzer->lastCount + analyzer->id);
    }
}

void fft_analyzer_interpolate_samples_signed(kv_fft_analyzer *, const void *, int32_t, int32_t) {}

#ifndef KVDOUBLE_OMIT_UNSIGNED
void fft_analyzer_interpolate_samples_unsigned(kv_fft_analyzer *, const void *, int32_t, int32_t) {}
#endif

} // extern "C"

namespace {

int32_t setQuietEnds(kv_player *player, int32_t on) {
    record("set_quiet_ends #%d %d", id(player), on != 0 ? 1 : 0);
    std::lock_guard lock(state().mutex);
    if (state().players.count(player) == 0) {
        return -1;
    }
    player->quietEnds = on != 0;
    return 0;
}

int32_t audibleEnd(kv_player *player) {
    std::lock_guard lock(state().mutex);
    if (state().players.count(player) == 0 || !player->quietEnds) {
        return -1;
    }
    return player->audibleEnd;
}

int32_t speechWrite(const int16_t *samples, uint32_t frames, uint32_t rate) {
    record("speech_write %u %u", frames, rate);
    if (samples == nullptr || frames == 0 || rate == 0) {
        return -1;
    }
    std::lock_guard lock(state().mutex);
    return state().speechResult;
}

void speechClear() {
    record("speech_clear");
}

uint32_t speechPending() {
    std::lock_guard lock(state().mutex);
    return state().speechPending;
}

void setDuckDepth(int32_t hundredths) {
    record("set_duck_depth %d", hundredths);
}

const kv_quiet_ends_extension quietEndsTable{KV_QUIET_ENDS_VERSION, &setQuietEnds, &audibleEnd};
const kv_speech_mix_extension speechMixTable{KV_SPEECH_MIX_VERSION, &speechWrite, &speechClear,
                                             &speechPending, &setDuckDepth};

} // namespace

extern "C" const void *kelvra_get_extension(const char *name) {
    if (name == nullptr) {
        return nullptr;
    }
    std::lock_guard lock(state().mutex);
    const std::string wanted(name);
    if (wanted == KV_EXTENSION_QUIET_ENDS && (state().offered & KVDOUBLE_QUIET_ENDS) != 0) {
        return &quietEndsTable;
    }
    if (wanted == KV_EXTENSION_SPEECH_MIX && (state().offered & KVDOUBLE_SPEECH_MIX) != 0) {
        return &speechMixTable;
    }
    return nullptr;
}

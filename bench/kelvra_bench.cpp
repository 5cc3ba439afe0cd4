// Engine measurements, driven through the exports like the player does.
//   kelvra_bench render <mp3> <wav>        seconds to render the file to WAV
//   kelvra_bench cpu <mp3> <seconds>       CPU use of real-time playback, % of one core
//   kelvra_bench latency <mp3> <runs>      Play to the playing-state notification, ms
//   kelvra_bench handover <a.mp3> <b.mp3>  plays a then b on "/dev/dsound/0", b started
//                                          when a reports its end (the gapless hand-over)
//   kelvra_bench gap <raw>                 longest silence between two sounds in a
//                                          recording (s16le stereo 44100), ms
#include "kelvra_interface.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <dlfcn.h>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Api {
    kv_player_new_fn player_new;
    kv_player_delete_fn player_delete;
    kv_send_N_fn send_N;
    kv_send_S_fn send_S;
    kv_params_to_message_fn decode;
};

Api load() {
    void *library = dlopen(KELVRA_LIBRARY, RTLD_NOW);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", KELVRA_LIBRARY, dlerror());
        std::exit(2);
    }
    Api api{};
    api.player_new = reinterpret_cast<kv_player_new_fn>(dlsym(library, "player_new"));
    api.player_delete = reinterpret_cast<kv_player_delete_fn>(dlsym(library, "player_delete"));
    api.send_N = reinterpret_cast<kv_send_N_fn>(dlsym(library, "control_message_send_N"));
    api.send_S = reinterpret_cast<kv_send_S_fn>(dlsym(library, "control_message_send_S"));
    api.decode = reinterpret_cast<kv_params_to_message_fn>(
        dlsym(library, "control_win32_params_to_message"));
    return api;
}

// One window shared by the players of a run; messages carry their player in
// the word parameter, so each is decoded by trying the players in turn.
struct Window {
    kv_window base{};
    std::mutex mutex;
    std::condition_variable posted;
    struct Raw {
        uint32_t m;
        uintptr_t w;
        intptr_t l;
    };
    std::deque<Raw> queue;
    Window() {
        base.post_message = [](kv_window *self, uint32_t m, uintptr_t w, intptr_t l) {
            auto *window = reinterpret_cast<Window *>(self);
            {
                std::lock_guard lock(window->mutex);
                window->queue.push_back({m, w, l});
            }
            window->posted.notify_all();
        };
    }
};

struct Player {
    Api &api;
    Window window;
    kv_window *pointer = &window.base;
    kv_player *handle = nullptr;
    explicit Player(Api &a) : api(a) { api.player_new(&handle, &pointer); }
    ~Player() { api.player_delete(handle); }
    // Waits for a notification matching `code` (and `state` for state codes).
    bool waitFor(int32_t code, int state = -1, double seconds = 60.0) {
        const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                 std::chrono::duration<double>(seconds));
        std::unique_lock lock(window.mutex);
        while (true) {
            while (!window.queue.empty()) {
                const auto raw = window.queue.front();
                window.queue.pop_front();
                KV_Message msg{};
                if (api.decode(handle, &msg, raw.m, raw.w, raw.l) != 0)
                    continue;
                if (msg.Code == KV_NOTIFY_NACK) {
                    std::fprintf(stderr, "refused: command %u\n", msg.Data.Nack.Command);
                    return false;
                }
                if (msg.Code == code && (state < 0 || msg.Data.State == state))
                    return true;
            }
            if (window.posted.wait_until(lock, deadline) == std::cv_status::timeout &&
                window.queue.empty())
                return false;
        }
    }
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int render(Api &api, const std::string &mp3, const std::string &wav) {
    Player p(api);
    const auto start = Clock::now();
    api.send_S(p.handle, KV_CMD_SET_OUTPUT_NAME, ("wav:" + wav).c_str());
    api.send_S(p.handle, KV_CMD_INPUT_OPEN, mp3.c_str());
    api.send_N(p.handle, KV_CMD_PLAY);
    if (!p.waitFor(KV_NOTIFY_PLAYER_STATE, KV_PLAYER_STATE_EOS, 600))
        return 1;
    std::printf("%.3f\n", std::chrono::duration<double>(Clock::now() - start).count());
    return 0;
}

int cpu(Api &api, const std::string &mp3, double seconds) {
    Player p(api);
    api.send_S(p.handle, KV_CMD_INPUT_OPEN, mp3.c_str());
    if (!p.waitFor(KV_NOTIFY_STREAM_DURATION))
        return 1;
    api.send_N(p.handle, KV_CMD_PLAY);
    if (!p.waitFor(KV_NOTIFY_PLAYER_STATE, KV_PLAYER_STATE_PLAYING))
        return 1;
    const double cpu0 = cpuSeconds();
    const auto wall0 = Clock::now();
    p.waitFor(-1, -1, seconds); // let it play
    const double used = cpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    std::printf("%.2f\n", 100.0 * used / wall);
    return 0;
}

int latency(Api &api, const std::string &mp3, int runs) {
    std::vector<double> ms;
    std::vector<double> open;
    Player p(api);
    for (int i = 0; i < runs; ++i) {
        api.send_N(p.handle, KV_CMD_STOP);
        const auto opened = Clock::now();
        api.send_S(p.handle, KV_CMD_INPUT_OPEN, mp3.c_str());
        if (!p.waitFor(KV_NOTIFY_STREAM_DURATION))
            return 1;
        open.push_back(std::chrono::duration<double, std::milli>(Clock::now() - opened).count());
        p.waitFor(-1, -1, 0.2);
        const auto start = Clock::now();
        api.send_N(p.handle, KV_CMD_PLAY);
        if (!p.waitFor(KV_NOTIFY_PLAYER_STATE, KV_PLAYER_STATE_PLAYING))
            return 1;
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::sort(open.begin(), open.end());
    std::printf(
        "play->playing median %.3f ms max %.3f ms; open->duration median %.1f ms max %.1f ms\n",
        ms[ms.size() / 2], ms.back(), open[open.size() / 2], open.back());
    return 0;
}

int handover(Api &api, const std::string &a, const std::string &b) {
    Player first(api);
    Player second(api);
    for (Player *p : {&first, &second}) {
        api.send_S(p->handle, KV_CMD_OUTPUT_MODULE_REGISTER,
                   "dsound_output_module_register@kv_dsound_output.dll");
        api.send_S(p->handle, KV_CMD_SET_OUTPUT_NAME, "/dev/dsound/0");
    }
    api.send_S(first.handle, KV_CMD_INPUT_OPEN, a.c_str());
    api.send_S(second.handle, KV_CMD_INPUT_OPEN, b.c_str());
    if (!first.waitFor(KV_NOTIFY_STREAM_DURATION) || !second.waitFor(KV_NOTIFY_STREAM_DURATION))
        return 1;
    api.send_N(first.handle, KV_CMD_PLAY);
    if (!first.waitFor(KV_NOTIFY_PLAYER_STATE, KV_PLAYER_STATE_EOS))
        return 1;
    api.send_N(second.handle, KV_CMD_PLAY);
    if (!second.waitFor(KV_NOTIFY_PLAYER_STATE, KV_PLAYER_STATE_EOS))
        return 1;
    return 0;
}

int gap(const std::string &raw) {
    std::ifstream in(raw, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t frames = bytes.size() / 4;
    std::vector<int16_t> s(frames * 2);
    std::copy_n(bytes.data(), frames * 4, reinterpret_cast<char *>(s.data()));
    auto quiet = [&](size_t f) { return std::abs(s[2 * f]) <= 2 && std::abs(s[2 * f + 1]) <= 2; };
    size_t first = 0;
    while (first < frames && quiet(first))
        ++first;
    size_t last = frames;
    while (last > first && quiet(last - 1))
        --last;
    size_t longest = 0;
    size_t run = 0;
    for (size_t f = first; f < last; ++f) {
        run = quiet(f) ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    std::printf("sound %.3f s, longest silence inside %.2f ms (%zu frames)\n",
                static_cast<double>(last - first) / 44100.0,
                static_cast<double>(longest) * 1000.0 / 44100.0, longest);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: see the comment at the top of kelvra_bench.cpp\n");
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "gap")
        return gap(argv[2]);
    Api api = load();
    if (mode == "render" && argc == 4)
        return render(api, argv[2], argv[3]);
    if (mode == "cpu" && argc == 4)
        return cpu(api, argv[2], std::atof(argv[3]));
    if (mode == "latency" && argc == 4)
        return latency(api, argv[2], std::atoi(argv[3]));
    if (mode == "handover" && argc == 4)
        return handover(api, argv[2], argv[3]);
    return 2;
}

// The one real-time run through a sound server: a tone played to the sound
// card output must arrive at the private PulseAudio's null sink.
#include "engine_harness.h"
#include "private_sound_server.h"
#include "sink_recorder.h"
#include "studio_listen.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace kelvra_test;
using namespace std::chrono_literals;

namespace {

// Keeps KELVRA_OUTPUT=null away from this test only.
class RealOutput {
public:
    RealOutput() {
        if (const char *v = std::getenv("KELVRA_OUTPUT"))
            saved_ = v;
        unsetenv("KELVRA_OUTPUT");
    }
    ~RealOutput() {
        if (!saved_.empty())
            setenv("KELVRA_OUTPUT", saved_.c_str(), 1);
    }

private:
    std::string saved_;
};

pid_t startRecording(const std::string &file) {
    const pid_t pid = fork();
    if (pid == 0) {
        const std::string out = "--file-format=raw";
        execlp("parec", "parec", "-d", "null.monitor", "--latency-msec=20", "--format=s16le",
               "--rate=44100", "--channels=2", "--raw", file.c_str(), nullptr);
        _exit(127);
    }
    return pid;
}

// Points this process's sound clients (SDL, parec) at a server of the test's
// own for the test's length.
class ServerAddress {
public:
    explicit ServerAddress(const std::string &address) {
        if (const char *v = std::getenv("PULSE_SERVER"))
            saved_ = v;
        setenv("PULSE_SERVER", address.c_str(), 1);
    }
    ~ServerAddress() {
        if (saved_.empty())
            unsetenv("PULSE_SERVER");
        else
            setenv("PULSE_SERVER", saved_.c_str(), 1);
    }

private:
    std::string saved_;
};

bool isOutputState(const Event &e, uint8_t state) {
    return e.msg.Code == KV_NOTIFY_OUTPUT_STATE && e.msg.Data.State == state;
}

// Seconds of the 1 kHz tone in a recording's left channel, and where it starts.
struct Heard {
    double startSeconds = 0.0;
    double seconds = 0.0;
};
Heard toneIn(const std::vector<int16_t> &left) {
    size_t first = left.size();
    size_t last = 0;
    for (size_t i = 0; i < left.size(); ++i)
        if (std::abs(left[i]) > 8000) {
            first = std::min(first, i);
            last = i;
        }
    if (first >= last)
        return {};
    return {static_cast<double>(first) / 44100.0, static_cast<double>(last - first) / 44100.0};
}

double secondsBetween(std::chrono::steady_clock::time_point a,
                      std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

} // namespace

TEST(KelvraSoundServer, ToneReachesTheNullSink) {
    if (std::getenv("PULSE_SERVER") == nullptr || !Media::run("pactl info"))
        GTEST_SKIP() << "no private PulseAudio (PULSE_SERVER unset or unreachable)";
    RealOutput real;
    const std::string mp3 = Media::get().tone("server.mp3", 1.5);
    const std::string raw = Media::get().path("server.raw");
    const pid_t recorder = startRecording(raw);
    ASSERT_GT(recorder, 0);
    std::this_thread::sleep_for(300ms);
    {
        TestPlayer p;
        p.S(KV_CMD_OUTPUT_MODULE_REGISTER, "dsound_output_module_register@kv_dsound_output.dll");
        p.S(KV_CMD_SET_OUTPUT_NAME, "/dev/dsound/0");
        p.S(KV_CMD_INPUT_OPEN, mp3);
        const auto state = p.waitForCode(KV_NOTIFY_OUTPUT_STATE);
        ASSERT_TRUE(state);
        ASSERT_EQ(state->msg.Data.State, 0u) << "the sound server output opens";
        p.N(KV_CMD_PLAY);
        ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS, 5s));
        // The null sink of a freshly started server renders late; give it
        // time before the stream closes.
        std::this_thread::sleep_for(1500ms);
    }
    kill(recorder, SIGTERM);
    waitpid(recorder, nullptr, 0);

    std::ifstream in(raw, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    ASSERT_GT(samples.size(), 44100u * 2) << "the recording ran";
    // Where the tone is, and its pitch from the left channel's zero crossings.
    size_t first = samples.size();
    size_t last = 0;
    for (size_t i = 0; i < samples.size(); i += 2)
        if (std::abs(samples[i]) > 8000) {
            first = std::min(first, i);
            last = i;
        }
    ASSERT_LT(first, last) << "the tone arrived";
    size_t crossings = 0;
    for (size_t i = first + 2; i <= last; i += 2)
        if ((samples[i - 2] < 0) != (samples[i] < 0))
            ++crossings;
    const double seconds = static_cast<double>(last - first) / 2.0 / 44100.0;
    EXPECT_GT(seconds, 1.0) << "most of the 1.5 s tone arrived";
    EXPECT_NEAR(static_cast<double>(crossings) / 2.0 / seconds, 1000.0, 20.0);
}

// The sound server crashes two seconds into a song and a new one starts on the
// same socket: the engine says the output is lost within a second and holds the
// song (no time codes, no state change), says it is back within two seconds of
// the new server, and the rest of the song is heard there, from where it held.
TEST(KelvraSoundServer, AServerRestartMidSongHoldsTheSongAndGoesOnFromThere) {
    if (!velbrin::test::PrivateSoundServer::installed())
        GTEST_SKIP() << "no pulseaudio";
    RealOutput real;
    velbrin::test::PrivateSoundServer server(Media::get().path("restarting-server"));
    ServerAddress address(server.address());
    ASSERT_TRUE(server.start());
    constexpr double kSong = 8.0;
    TestPlayer p;
    p.S(KV_CMD_SET_OUTPUT_NAME, "/dev/dsound/0");
    p.S(KV_CMD_INPUT_OPEN, Media::get().tone("restart.mp3", kSong));
    ASSERT_TRUE(p.waitFor([](const Event &e) { return isOutputState(e, 0); }));
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitFor([](const Event &e) {
        return e.msg.Code == KV_NOTIFY_INPUT_TIMECODE && e.msg.Data.TimeCode.S == 2;
    }));

    const auto killed = std::chrono::steady_clock::now();
    server.kill();
    const size_t fromKill = p.events().size();
    const auto lost = p.waitForFrom(
        fromKill, [](const Event &e) { return isOutputState(e, KV_OUTPUT_STATE_LOST); }, 3s);
    ASSERT_TRUE(lost) << "the loss is reported";
    EXPECT_LT(secondsBetween(killed, lost->when), 1.0);
    int heldAt = 0;
    for (const Event &e : p.eventsWithCode(KV_NOTIFY_INPUT_TIMECODE))
        heldAt = e.msg.Data.TimeCode.S;

    std::this_thread::sleep_for(1500ms);
    const auto restarted = std::chrono::steady_clock::now();
    ASSERT_TRUE(server.start());
    velbrin::test::SinkRecorder recorder(Media::get().path("restart.raw"));
    const auto back = p.waitForFrom(
        fromKill, [](const Event &e) { return isOutputState(e, 0); }, 3s);
    ASSERT_TRUE(back) << "the output comes back by itself";
    EXPECT_LT(secondsBetween(restarted, back->when), 2.0);
    ASSERT_TRUE(recorder.waitUntilRendering());
    for (size_t i = fromKill; i < p.events().size(); ++i) {
        const Event &e = p.events()[i];
        if (e.when < back->when) {
            EXPECT_NE(e.msg.Code, KV_NOTIFY_PLAYER_STATE) << "the player keeps its state";
            if (e.msg.Code == KV_NOTIFY_INPUT_TIMECODE) {
                EXPECT_LT(secondsBetween(lost->when, e.when), 0.2) << "no time goes by unheard";
            }
        }
    }
    const auto resumed = p.waitForFrom(fromKill, [&](const Event &e) {
        return e.msg.Code == KV_NOTIFY_INPUT_TIMECODE && e.when > back->when;
    });
    ASSERT_TRUE(resumed);
    EXPECT_LE(resumed->msg.Data.TimeCode.S, heldAt + 1);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS, 12s));
    std::this_thread::sleep_for(500ms);

    // The recording starts with the new sink's first rendered sample: the
    // earliest anything could be heard there.
    const Heard heard = toneIn(recorder.stopAndReadLeft());
    EXPECT_LT(heard.startSeconds, 2.0);
    // Played from where it held: neither again from the start nor on in the dark.
    EXPECT_GT(heard.seconds, kSong - heldAt - 1.3);
    EXPECT_LT(heard.seconds, kSong - heldAt + 0.3);
}

// With no sound server yet, a song is taken and held, and it plays whole once a
// server starts.
TEST(KelvraSoundServer, ASongStartedBeforeAnyServerPlaysWhenOneStarts) {
    if (!velbrin::test::PrivateSoundServer::installed())
        GTEST_SKIP() << "no pulseaudio";
    RealOutput real;
    velbrin::test::PrivateSoundServer server(Media::get().path("late-server"));
    ServerAddress address(server.address());
    constexpr double kSong = 2.5;
    TestPlayer p;
    p.S(KV_CMD_SET_OUTPUT_NAME, "/dev/dsound/0");
    p.S(KV_CMD_INPUT_OPEN, Media::get().tone("late.mp3", kSong));
    ASSERT_TRUE(
        p.waitFor([](const Event &e) { return isOutputState(e, KV_OUTPUT_STATE_LOST); }, 5s));
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_PLAYING, 2s));
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(p.eventsWithCode(KV_NOTIFY_NACK).empty()) << "Play is not refused";
    EXPECT_LE(p.eventsWithCode(KV_NOTIFY_INPUT_TIMECODE).size(), 1u) << "nothing plays unheard";

    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(server.start());
    velbrin::test::SinkRecorder recorder(Media::get().path("late.raw"));
    const auto back = p.waitFor([](const Event &e) { return isOutputState(e, 0); }, 3s);
    ASSERT_TRUE(back);
    EXPECT_LT(secondsBetween(started, back->when), 2.0);
    ASSERT_TRUE(recorder.waitUntilRendering());
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS, 8s));
    std::this_thread::sleep_for(500ms);
    EXPECT_NEAR(toneIn(recorder.stopAndReadLeft()).seconds, kSong, 0.3);
}

TEST(KelvraSoundServer, InputGainIsHeardForTheWholeSongOpenedAfterIt) {
    if (std::getenv("PULSE_SERVER") == nullptr || !Media::run("pactl info"))
        GTEST_SKIP() << "no private PulseAudio (PULSE_SERVER unset or unreachable)";
    RealOutput real;
    auto query = reinterpret_cast<kv_get_extension_fn>(
        dlsym(Engine::get().library, KV_GET_EXTENSION_EXPORT));
    ASSERT_NE(query, nullptr);
    const auto *gain =
        static_cast<const kv_player_gain_extension *>(query(KV_EXTENSION_PLAYER_GAIN));
    ASSERT_NE(gain, nullptr);
    const std::string mp3 = Media::get().tone("gained.mp3", 1.5);
    velbrin::test::SinkRecorder recorder(Media::get().path("gained.raw"));
    {
        TestPlayer p;
        p.S(KV_CMD_OUTPUT_MODULE_REGISTER, "dsound_output_module_register@kv_dsound_output.dll");
        p.S(KV_CMD_SET_OUTPUT_NAME, "/dev/dsound/0");
        ASSERT_EQ(gain->set_input_gain(p.handle(), -1200), 0);
        p.S(KV_CMD_INPUT_OPEN, mp3);
        // Too late for the song just opened: it keeps -12 dB throughout.
        ASSERT_EQ(gain->set_input_gain(p.handle(), 0), 0);
        ASSERT_TRUE(p.playToEnd(5s));
        std::this_thread::sleep_for(700ms);
        p.S(KV_CMD_INPUT_OPEN, mp3);
        ASSERT_TRUE(p.playToEnd(5s));
        std::this_thread::sleep_for(1500ms);
    }
    const std::vector<double> levels =
        velbrin::test::stretchLevels(recorder.stopAndReadLeft(), -40.0, 44100 / 2);
    ASSERT_EQ(levels.size(), 2u) << "two songs heard";
    EXPECT_NEAR(levels[0] - levels[1], -12.0, 0.3);
}

namespace {

// The RMS of the `hz` component of `s[from, from + count)`, in dB of full
// scale.
double toneDb(const std::vector<int16_t> &s, size_t from, size_t count, double hz) {
    return velbrin::test::decibels(velbrin::test::toneAmplitude(s, from, count, hz) /
                                   std::sqrt(2.0));
}

} // namespace

TEST(KelvraSoundServer, TheVoiceOverTwoLoudSongsLowersThemAndNothingClips) {
    if (std::getenv("PULSE_SERVER") == nullptr || !Media::run("pactl info"))
        GTEST_SKIP() << "no private PulseAudio (PULSE_SERVER unset or unreachable)";
    RealOutput real;
    auto query = reinterpret_cast<kv_get_extension_fn>(
        dlsym(Engine::get().library, KV_GET_EXTENSION_EXPORT));
    const auto *mix = static_cast<const kv_speech_mix_extension *>(
        query != nullptr ? query(KV_EXTENSION_SPEECH_MIX) : nullptr);
    ASSERT_NE(mix, nullptr);
    mix->set_duck_depth(1200);
    // Mastered at -0.1 dBFS, as loud records are.
    const auto loud = [](const std::string &name, int hz) {
        const std::string mp3 = Media::get().path(name);
        EXPECT_TRUE(Media::run("sox -n -r 44100 -c 2 -b 16 '" + mp3 + ".wav' synth 9 sine " +
                               std::to_string(hz) + " vol 0.988 && lame --quiet -b 192 '" + mp3 +
                               ".wav' '" + mp3 + "'"));
        return mp3;
    };
    const std::string a = loud("loud-a.mp3", 440);
    const std::string b = loud("loud-b.mp3", 660);
    std::vector<int16_t> voice(22050 * 3 / 2);
    for (size_t i = 0; i < voice.size(); ++i)
        voice[i] = static_cast<int16_t>(20000 * std::sin(2 * M_PI * 2000 * double(i) / 22050));

    velbrin::test::SinkRecorder recorder(Media::get().path("loud.raw"));
    {
        TestPlayer p1, p2;
        for (TestPlayer *p : {&p1, &p2}) {
            p->S(KV_CMD_OUTPUT_MODULE_REGISTER,
                 "dsound_output_module_register@kv_dsound_output.dll");
            p->S(KV_CMD_SET_OUTPUT_NAME, "/dev/dsound/0");
            // The middle of a cross-fade: both songs at about 70 %.
            p->III(KV_CMD_SET_OUTPUT_VOLUME, -1, 83, -1);
        }
        p1.S(KV_CMD_INPUT_OPEN, a);
        p2.S(KV_CMD_INPUT_OPEN, b);
        p1.N(KV_CMD_PLAY);
        p2.N(KV_CMD_PLAY);
        ASSERT_TRUE(p1.waitForCode(KV_NOTIFY_INPUT_TIMECODE, 3s));
        // A fresh server's sink renders nothing for its first seconds; the
        // music before the voice must be on the recording.
        ASSERT_TRUE(recorder.waitUntilRendering());
        std::this_thread::sleep_for(1500ms);
        ASSERT_EQ(mix->speech_write(voice.data(), static_cast<uint32_t>(voice.size()), 22050), 0);
        std::this_thread::sleep_for(3500ms);
    }
    const std::vector<int16_t> left = recorder.stopAndReadLeft();
    size_t clipped = 0;
    for (int16_t s : left)
        clipped += s >= 32767 || s <= -32767;
    EXPECT_EQ(clipped, 0u);

    // Where the voice is heard, in 50 ms windows.
    const size_t w = 2205;
    size_t first = 0, last = 0;
    for (size_t at = 0; at + w <= left.size(); at += w)
        if (toneDb(left, at, w, 2000) > -30) {
            first = first == 0 ? at : first;
            last = at;
        }
    ASSERT_GT(first, 44100u) << "the voice was heard";
    ASSERT_GT(last - first, 44100u);
    const double before = toneDb(left, first - 44100 / 2 - w, 44100 / 2, 440);
    const double under = toneDb(left, first + 44100 / 4, 44100 / 2, 440);
    EXPECT_NEAR(before - under, 12.0, 1.5) << "before " << before << " under " << under;
    EXPECT_GT(before, -12.0) << "the songs were heard loud";
}

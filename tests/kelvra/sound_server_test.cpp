// The one real-time run through a sound server: a tone played to the sound
// card output must arrive at the private PulseAudio's null sink.
#include "engine_harness.h"
#include "sink_recorder.h"

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

TEST(KelvraSoundServer, MissingServerRefusesPlayWithoutHanging) {
    RealOutput real;
    const char *server = std::getenv("PULSE_SERVER");
    const std::string saved = server != nullptr ? server : "";
    setenv("PULSE_SERVER", "unix:/nonexistent/kelvra-test-socket", 1);
    setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
    {
        TestPlayer p;
        p.S(KV_CMD_SET_OUTPUT_NAME, "/dev/dsound/0");
        p.S(KV_CMD_INPUT_OPEN, Media::get().tone("short.mp3", 2.5));
        const auto state = p.waitForCode(KV_NOTIFY_OUTPUT_STATE, 5s);
        ASSERT_TRUE(state);
        EXPECT_NE(state->msg.Data.State, 0u);
        p.N(KV_CMD_PLAY);
        const auto nack = p.waitForCode(KV_NOTIFY_NACK, 5s);
        ASSERT_TRUE(nack);
        EXPECT_EQ(nack->msg.Data.Nack.Command, KV_CMD_PLAY);
        EXPECT_STREQ(p.engine().error_string(nack->msg.Data.Nack.Code),
                     "Sound output device cannot be opened");
    }
    unsetenv("SDL_AUDIODRIVER");
    if (saved.empty())
        unsetenv("PULSE_SERVER");
    else
        setenv("PULSE_SERVER", saved.c_str(), 1);
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

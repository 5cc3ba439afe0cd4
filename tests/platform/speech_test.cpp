// The espeak-ng voice through a real sound server.
#include "espeak_voice.h"
#include "private_sound_server.h"
#include "sink_recorder.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

using velbrin::platform::EspeakVoice;
using namespace std::chrono_literals;

// The sound server's client libraries keep a few allocations until the
// process ends; they are theirs, not leaks of ours.
extern "C" const char *__lsan_default_suppressions();
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libSDL2-2.0.so\nleak:libpulse.so\nleak:libpulsecommon\nleak:libdbus-1.so\n";
}

namespace {

// Speaks the text and waits until it has been played out; returns how long that took.
std::chrono::milliseconds speakAndWait(EspeakVoice &voice, const QString &text) {
    const auto start = std::chrono::steady_clock::now();
    voice.speak(text);
    while (voice.busy() && std::chrono::steady_clock::now() - start < 30s) {
        std::this_thread::sleep_for(10ms);
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
}

double rms(const std::vector<int16_t> &s) {
    double sum = 0;
    for (int16_t v : s) {
        sum += double(v) * v;
    }
    return s.empty() ? 0.0 : std::sqrt(sum / double(s.size()));
}

const QString kText = QStringLiteral("That was the band playing a long song from the album");

// Streams the sound server has open for players now.
int serverStreams() {
    FILE *list = popen("pactl list short sink-inputs 2>/dev/null", "r");
    if (list == nullptr) {
        return -1;
    }
    int lines = 0;
    for (int c = 0; (c = std::fgetc(list)) != EOF;) {
        lines += c == '\n' ? 1 : 0;
    }
    pclose(list);
    return lines;
}

TEST(EspeakVoice, RatesSpanAThirdToThreeTimesTheNormalPace) {
    EXPECT_EQ(EspeakVoice::wordsPerMinute(0), 175);
    EXPECT_EQ(EspeakVoice::wordsPerMinute(5), 303);
    EXPECT_EQ(EspeakVoice::wordsPerMinute(-10), 80); // the synthesiser's slowest
    EXPECT_EQ(EspeakVoice::wordsPerMinute(10), 450); // and its fastest
    EXPECT_EQ(EspeakVoice::wordsPerMinute(-40), 80);
}

TEST(EspeakVoice, WithoutASoundServerItIsUnavailable) {
    const QByteArray saved = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", "unix:/nonexistent/velbrin-no-server");
    {
        auto voice = EspeakVoice::create();
        EXPECT_FALSE(voice->available());
        voice->speak(kText); // does nothing and returns
        EXPECT_FALSE(voice->busy());
    }
    if (saved.isEmpty()) {
        qunsetenv("PULSE_SERVER");
    } else {
        qputenv("PULSE_SERVER", saved);
    }
}

// An output that takes speech, or refuses it as one without a running mix does.
class RecordingOutput final : public velbrin::platform::SpeechOutput {
public:
    explicit RecordingOutput(bool takes) : takes_(takes) {}
    bool write(const int16_t *, size_t frames, int samplesPerSecond) override {
        framesWritten += frames;
        rate = samplesPerSecond;
        return takes_;
    }
    void clear() override { ++clears; }
    int pendingMilliseconds() const override { return takes_ ? pending.load() : 0; }
    std::atomic<size_t> framesWritten{0};
    std::atomic<int> rate{0}, clears{0}, pending{0};

private:
    const bool takes_;
};

// SDL's silent driver plays in real time, so no sound server is needed: what
// the voice plays itself keeps it busy for the speech's length, what the
// output takes only while the output says it waits.
TEST(EspeakVoice, SpeechGoesToTheOutputThatTakesItAndIsPlayedHereWhenRefused) {
    const QByteArray saved = qgetenv("SDL_AUDIODRIVER");
    qputenv("SDL_AUDIODRIVER", "dummy");
    {
        auto voice = EspeakVoice::create();
        ASSERT_TRUE(voice->available());
        voice->setRate(10);
        auto refusing = std::make_shared<RecordingOutput>(false);
        voice->setOutput(refusing);
        const auto played = speakAndWait(*voice, kText);
        ASSERT_GT(refusing->rate, 0);
        const auto spoken = std::chrono::milliseconds(1000 * refusing->framesWritten /
                                                      static_cast<size_t>(refusing->rate.load()));
        EXPECT_GT(played, spoken * 7 / 10) << "played through the voice's own device";

        auto taking = std::make_shared<RecordingOutput>(true);
        taking->pending = 500;
        voice->setOutput(taking);
        voice->speak(kText);
        const auto start = std::chrono::steady_clock::now();
        while (taking->framesWritten == 0 && std::chrono::steady_clock::now() - start < 5s) {
            std::this_thread::sleep_for(2ms);
        }
        EXPECT_TRUE(voice->busy()) << "the output still holds speech";
        voice->stop();
        EXPECT_EQ(taking->clears, 1);
        taking->pending = 0;
        EXPECT_FALSE(voice->busy());
        EXPECT_GT(taking->framesWritten, 0u);
        EXPECT_EQ(refusing->clears, 0);
    }
    if (saved.isEmpty()) {
        qunsetenv("SDL_AUDIODRIVER");
    } else {
        qputenv("SDL_AUDIODRIVER", saved);
    }
}

TEST(EspeakVoice, SpeechIsHeardAtTheSinkAndTheRateChangesItsLength) {
    if (!velbrin::test::soundServerReachable()) {
        GTEST_SKIP() << "no private sound server";
    }
    QTemporaryDir dir;
    auto voice = EspeakVoice::create();
    ASSERT_TRUE(voice->available());
    EXPECT_GT(voice->voices().size(), 10);

    velbrin::test::SinkRecorder recorder(dir.filePath("speech.raw").toStdString());
    voice->setRate(-10);
    const auto slow = speakAndWait(*voice, kText);
    voice->setRate(10);
    const auto fast = speakAndWait(*voice, kText);
    std::this_thread::sleep_for(300ms);
    const std::vector<int16_t> heard = recorder.stopAndReadLeft();

    EXPECT_GT(rms(heard), 300.0) << "speech reached the sink";
    EXPECT_GT(slow.count(), 2 * fast.count()) << slow.count() << " ms vs " << fast.count() << " ms";
}

TEST(EspeakVoice, TheSoundServerHasAStreamOnlyWhileSomethingIsSaid) {
    if (!velbrin::test::soundServerReachable()) {
        GTEST_SKIP() << "no private sound server";
    }
    auto voice = EspeakVoice::create();
    ASSERT_TRUE(voice->available());
    EXPECT_EQ(serverStreams(), 0) << "silence is not streamed";
    voice->speak(QStringLiteral("one two three"));
    bool streamed = false;
    for (int i = 0; i < 300 && voice->busy(); ++i) {
        streamed = streamed || serverStreams() > 0;
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(streamed);
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(serverStreams(), 0) << "closed once heard";
}

TEST(EspeakVoice, StopEndsTheSpeechAndDropsTheQueue) {
    if (!velbrin::test::soundServerReachable()) {
        GTEST_SKIP() << "no private sound server";
    }
    auto voice = EspeakVoice::create();
    ASSERT_TRUE(voice->available());
    voice->setRate(-10);
    voice->speak(kText);
    voice->speak(kText);
    std::this_thread::sleep_for(400ms);
    ASSERT_TRUE(voice->busy());
    const auto stopped = std::chrono::steady_clock::now();
    voice->stop();
    while (voice->busy() && std::chrono::steady_clock::now() - stopped < 5s) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 1s);
}

// The sound server restarts between two announcements; the second is heard.
TEST(EspeakVoice, SpeechIsHeardAgainAfterTheSoundServerRestarts) {
    if (!velbrin::test::PrivateSoundServer::installed()) {
        GTEST_SKIP() << "no pulseaudio";
    }
    QTemporaryDir dir;
    velbrin::test::PrivateSoundServer server(dir.filePath("server").toStdString());
    const QByteArray saved = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", QByteArray::fromStdString(server.address()));
    ASSERT_TRUE(server.start());
    {
        auto voice = EspeakVoice::create();
        ASSERT_TRUE(voice->available());
        server.kill();
        std::this_thread::sleep_for(500ms);
        ASSERT_TRUE(server.start());
        velbrin::test::SinkRecorder recorder(dir.filePath("again.raw").toStdString());
        ASSERT_TRUE(recorder.waitUntilRendering());
        speakAndWait(*voice, kText);
        std::this_thread::sleep_for(300ms);
        EXPECT_GT(rms(recorder.stopAndReadLeft()), 300.0);
    }
    if (saved.isEmpty()) {
        qunsetenv("PULSE_SERVER");
    } else {
        qputenv("PULSE_SERVER", saved);
    }
}

} // namespace

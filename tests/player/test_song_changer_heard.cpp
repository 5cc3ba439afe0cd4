// Song changes heard: the song changer drives two players of the real engine
// into the private sound server, whose sink is recorded and analysed; and into
// WAV files.
#include "engine_harness.h"
#include "espeak_voice.h"
#include "settings_store.h"
#include "shared_helpers.h"
#include "sink_recorder.h"
#include "song_changer_rig.h"
#include "studio_listen.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

using namespace velbrin::player;

namespace {

constexpr int kRate = 44100;

// Energy of what is not a low tone: the second difference passes speech and
// all but silences tones of a few hundred hertz.
double highBandLevel(const std::vector<int16_t> &s, size_t from, size_t count) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = std::max<size_t>(from, 2); i < from + count && i < s.size(); ++i, ++n) {
        const double d = double(s[i]) - 2.0 * s[i - 1] + s[i - 2];
        sum += d * d;
    }
    return n == 0 ? 0.0 : std::sqrt(sum / double(n));
}

class SongChangerHeard : public ::testing::Test {
protected:
    static void SetUpTestSuite() { velbrin::test::ensureCoreApplication(); }
    void SetUp() override { unsetenv("KELVRA_OUTPUT"); }
    void TearDown() override { velbrin::SetSpeechVoice(nullptr); }

    QString song(const QString &name, double seconds, int frequency, const QString &artist = "",
                 double volume = 0.5) {
        const QString path =
            velbrin::test::makeToneSong(dir.path(), name, seconds, frequency, artist, volume);
        EXPECT_FALSE(path.isEmpty()) << "sox and lame made " << name.toStdString();
        return path;
    }
    // The DJ's voice, in force for the test.
    std::shared_ptr<velbrin::platform::EspeakVoice> speakingVoice() {
        std::shared_ptr<velbrin::platform::EspeakVoice> voice =
            velbrin::platform::EspeakVoice::create();
        velbrin::SetSpeechVoice(voice);
        return voice;
    }
    void play(int timeoutMs) {
        ASSERT_TRUE(rig.play(timeoutMs)) << "the songs played to their end";
    }

    velbrin::test::PrivateSettings settings;
    QTemporaryDir dir;
    velbrin::test::SongChangerRig rig{dir.path()};
};

// Windows of 100 ms where a tone is heard.
struct Heard {
    std::vector<double> low, high, band;
};
Heard analyse(const std::vector<int16_t> &s, double lowHz, double highHz) {
    Heard h;
    const size_t w = kRate / 10;
    for (size_t at = 0; at + w <= s.size(); at += w) {
        h.low.push_back(velbrin::test::toneLevel(s, at, w, lowHz));
        h.high.push_back(velbrin::test::toneLevel(s, at, w, highHz));
        h.band.push_back(highBandLevel(s, at, w));
    }
    return h;
}

TEST_F(SongChangerHeard, StudioCrossFadesTheTwoSongs) {
    if (!velbrin::test::soundServerReachable()) {
        GTEST_SKIP() << "no private sound server";
    }
    velbrin::WriteSetting("DJ-Settings", "OverlapStudio", "3");
    velbrin::WriteSetting("DJ-Settings", "MinVolumeStudio", "30");
    rig.build({song("studio-a", 6, 400), song("studio-b", 5, 1200)}, "/dev/dsound/0");
    rig.changer->setMode(PlayMode::Studio);
    velbrin::test::SinkRecorder recorder(dir.filePath("studio.raw").toStdString());
    play(20000);
    const Heard h = analyse(recorder.stopAndReadLeft(), 400, 1200);
    const double present = 300; // a tone at full volume measures about 16000
    std::vector<size_t> both;
    for (size_t i = 0; i < h.low.size(); ++i) {
        if (h.low[i] > present && h.high[i] > present) {
            both.push_back(i);
        }
    }
    ASSERT_FALSE(both.empty()) << "the songs overlap";
    const double overlapSeconds = double(both.size()) / 10.0;
    EXPECT_GT(overlapSeconds, 2.0);
    // Not the whole song: under load the half-second ticks run late and the
    // ramp stretches, but the old song still ends on its own.
    EXPECT_LT(overlapSeconds, 5.5);
    // The old song falls through the overlap while the new one rises.
    const size_t first = both.front() + 1, last = both.back() - 1;
    EXPECT_GT(h.low[first], 2 * h.low[last]);
    EXPECT_LT(h.high[first], h.high[last]);
}

TEST_F(SongChangerHeard, NormFollowsTheEndWithoutAGap) {
    if (!velbrin::test::soundServerReachable()) {
        GTEST_SKIP() << "no private sound server";
    }
    rig.build({song("norm-a", 7, 400), song("norm-b", 3, 1200)}, "/dev/dsound/0");
    rig.changer->setMode(PlayMode::Norm);
    velbrin::test::SinkRecorder recorder(dir.filePath("norm.raw").toStdString());
    play(20000);
    const std::vector<int16_t> s = recorder.stopAndReadLeft();
    size_t start = 0, end = s.size();
    while (start < s.size() && std::abs(s[start]) < 2000) {
        ++start;
    }
    while (end > start && std::abs(s[end - 1]) < 2000) {
        --end;
    }
    const auto next = velbrin::test::toneOnset(s, start + kRate, 1200);
    ASSERT_TRUE(next) << "the second song was heard";
    const double gapMs = 1000.0 * double(velbrin::test::quietBefore(s, *next)) / kRate;
    std::printf("norm hand-over: %.2f ms of silence before the next song\n", gapMs);
    // Under 0.1 ms on a quiet machine (the song-change benchmark). Among
    // other tests and builds on two busy cores the end of stream and the Play
    // can wait on the user-interface thread for longer than the engine holds
    // the device: 40 ms has been seen there, so the bound is twice that.
    EXPECT_LT(gapMs, 80.0);
    EXPECT_GT(double(end - start) / kRate, 9.5) << "both songs were heard whole";
}

TEST_F(SongChangerHeard, TheDjSpeaksInTheRampOnlyWhenOn) {
    if (!velbrin::test::soundServerReachable()) {
        GTEST_SKIP() << "no private sound server";
    }
    const auto voice = speakingVoice();
    ASSERT_TRUE(voice->available());
    velbrin::WriteSetting("DJ-Settings", "OverlapStudio", "4");
    velbrin::WriteSetting("DJ-Settings", "MinVolumeStudio", "60");
    velbrin::WriteSetting("DJ-Settings", "DJ-text0", "That was %ARTIST% playing %SONGTITLE%");
    const QString a = song("dj-a", 6, 300, "Tall Trees", 0.1);
    const QString b = song("dj-b", 8, 500, "Quiet Ones", 0.1);
    // The same change twice: first silent, then with the DJ.
    rig.build({a, b}, "/dev/dsound/0");
    rig.changer->setMode(PlayMode::Studio);
    std::vector<double> band[2];
    for (int on = 0; on < 2; ++on) {
        velbrin::WriteBooleanSetting("DJ-Settings", "UseDJ", on == 1);
        rig.finished = false;
        rig.next = 0;
        velbrin::test::SinkRecorder recorder(
            dir.filePath(QString("dj%1.raw").arg(on)).toStdString());
        play(25000);
        band[on] = analyse(recorder.stopAndReadLeft(), 300, 500).band;
    }
    // Speech fills windows with half as much high-band energy again as the quiet songs
    // ever have on their own, their starts and ends included.
    const double music = *std::max_element(band[0].begin(), band[0].end());
    const auto spoken = std::count_if(band[1].begin(), band[1].end(),
                                      [music](double level) { return 1.5 * music < level; });
    std::printf("speech: %d windows of 100 ms above 1.5 times the music's loudest (%.0f)\n",
                int(spoken), music);
    EXPECT_GE(spoken, 5);
}

TEST_F(SongChangerHeard, TheDjOverALoudCrossFadeDucksTheMusicAndNothingClips) {
    if (!velbrin::test::soundServerReachable()) {
        GTEST_SKIP() << "no private sound server";
    }
    const auto voice = speakingVoice();
    ASSERT_TRUE(voice->available());
    velbrin::WriteSetting("DJ-Settings", "OverlapStudio", "6");
    velbrin::WriteBooleanSetting("DJ-Settings", "UseDJ", true);
    velbrin::WriteSetting("DJ-Settings", "DJ-text0", "That was %ARTIST%. And now, more music.");
    // Mastered at -0.1 dBFS, as loud records are.
    rig.build(
        {song("loud-a", 12, 330, "Tall Trees", 0.988), song("loud-b", 8, 440, "Quiet Ones", 0.988)},
        "/dev/dsound/0");
    ASSERT_NE(rig.speechOutput, nullptr) << "the engine offers its mix to the voice";
    voice->setOutput(rig.speechOutput);
    rig.changer->setMode(PlayMode::Studio);
    velbrin::test::SinkRecorder recorder(dir.filePath("loud.raw").toStdString());
    play(30000);
    const std::vector<int16_t> left = recorder.stopAndReadLeft();
    voice->setOutput(nullptr);
    EXPECT_EQ(velbrin::test::clippedSamples(left), 0u);
    const velbrin::test::Duck duck = velbrin::test::findDuck(velbrin::test::listen(left, 330, 440));
    ASSERT_TRUE(duck.found) << "the DJ was heard";
    EXPECT_NEAR(duck.before - duck.under, 12.0, 1.5)
        << "before " << duck.before << " dBFS, under the voice " << duck.under << " dBFS";
}

TEST_F(SongChangerHeard, StudioCrossFadesFromTheLastAudibleMomentNotTheSilenceAfterIt) {
    if (!velbrin::test::soundServerReachable()) {
        GTEST_SKIP() << "no private sound server";
    }
    velbrin::WriteSetting("DJ-Settings", "OverlapStudio", "6");
    velbrin::WriteSetting("DJ-Settings", "MinVolumeStudio", "90");
    // Heard for 10 s, then 5 s of silence.
    const QString a = velbrin::test::makeToneSong(dir.path(), "dead-air", 10, 400, "", 0.5, 5.0);
    rig.build({a, song("after-dead-air", 3, 1200)}, "/dev/dsound/0");
    rig.changer->setMode(PlayMode::Studio);
    velbrin::test::SinkRecorder recorder(dir.filePath("dead-air.raw").toStdString());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    play(30000);
    const std::vector<int16_t> left = recorder.stopAndReadLeft();
    const auto start =
        std::find_if(left.begin(), left.end(), [](int16_t v) { return std::abs(v) >= 1000; });
    ASSERT_NE(start, left.end());
    const size_t first = size_t(start - left.begin());
    const auto onset = velbrin::test::toneOnset(left, first + kRate, 1200);
    ASSERT_TRUE(onset) << "the next song was heard";
    const double into = double(*onset - first) / kRate;
    EXPECT_NEAR(into, 10.0 - 6.0, 0.5) << "seconds into the old song";
}

TEST_F(SongChangerHeard, StudioIntoWavFilesGivesOneWholeFilePerSong) {
    velbrin::WriteSetting("DJ-Settings", "OverlapStudio", "2");
    setenv("KELVRA_OUTPUT", "null", 1); // WAV files pace themselves; no server needed
    rig.build({song("wav-a", 4, 400), song("wav-b", 3, 1200)}, QString());
    rig.changer->setMode(PlayMode::Studio);
    rig.one->SetOutputName(("wav:" + dir.filePath("wav-a.wav")).toStdString());
    play(20000);
    // Deleting the players finishes their files.
    rig.changer.reset();
    rig.one.reset();
    rig.two.reset();
    for (const auto &[name, seconds] : {std::pair{"wav-a.wav", 4}, std::pair{"wav-b.wav", 3}}) {
        const auto wav = kelvra_test::readWav(dir.filePath(name).toStdString());
        ASSERT_TRUE(wav) << name;
        EXPECT_EQ(wav->declaredDataBytes, uint32_t(seconds * kRate * 4)) << name;
        EXPECT_EQ(wav->samples.size(), size_t(seconds * kRate * 2)) << name;
    }
    unsetenv("KELVRA_OUTPUT");
}

} // namespace

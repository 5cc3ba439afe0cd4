// WAV output: exact length and content, header integrity, and the levels,
// channel modes and equalizer measured in what is written.
#include "engine_harness.h"

#include <cmath>
#include <cstdio>
#include <fstream>

#include <dlfcn.h>

using namespace kelvra_test;
using namespace std::chrono_literals;

namespace {

// Plays `mp3` into `wav` to the end of the stream, after `setup` commands.
void render(TestPlayer &p, const std::string &mp3, const std::string &wav) {
    p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + wav);
    p.S(KV_CMD_INPUT_OPEN, mp3);
    ASSERT_TRUE(p.playToEnd()) << mp3;
}

WavData reference(const std::string &mp3) {
    const std::string wav = mp3 + ".ref.wav";
    EXPECT_TRUE(Media::run("mpg123 -q -w '" + wav + "' '" + mp3 + "'"));
    auto data = readWav(wav);
    EXPECT_TRUE(data.has_value());
    return data.value_or(WavData{});
}

size_t sourceSamples(const std::string &mp3) {
    const auto source = readWav(mp3 + ".src.wav");
    return source ? source->samples.size() : 0;
}

void expectConsistentHeader(const WavData &w) {
    EXPECT_EQ(w.declaredDataBytes, w.samples.size() * 2);
    EXPECT_EQ(w.declaredRiffBytes, w.fileBytes - 8);
    EXPECT_EQ(w.bits, 16);
}

} // namespace

TEST(KelvraWav, OutputEqualsTheDecodedStreamExactly) {
    struct Case {
        std::string name;
        double seconds;
        int rate;
        int channels;
        std::string lame;
    };
    const std::vector<Case> cases = {
        {"cbr.mp3", 3.0, 44100, 2, "-b 128"},
        {"vbr.mp3", 3.0, 44100, 2, "-V 2"},
        {"mpeg2-mono.mp3", 2.0, 22050, 1, "-b 32"},
        {"mpeg25.mp3", 2.0, 8000, 1, "-b 16"},
        {"tagged.mp3", 2.0, 44100, 2, "-b 128 --id3v2-only --tt Title --ta Artist"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string mp3 =
            Media::get().tone(c.name, c.seconds, c.rate, c.channels, 1000, c.lame);
        TestPlayer p;
        const std::string out = Media::get().path(c.name + ".out.wav");
        render(p, mp3, out);
        const auto written = readWav(out);
        ASSERT_TRUE(written);
        expectConsistentHeader(*written);
        EXPECT_EQ(written->rate, static_cast<uint32_t>(c.rate));
        EXPECT_EQ(written->channels, c.channels);
        const WavData decoded = reference(mp3);
        EXPECT_EQ(written->samples.size(), decoded.samples.size());
        const auto duration = p.eventsWithCode(KV_NOTIFY_STREAM_DURATION);
        ASSERT_EQ(duration.size(), 1u);
        EXPECT_EQ(duration[0].msg.Data.Duration, decoded.samples.size() /
                                                     static_cast<size_t>(c.channels) /
                                                     static_cast<size_t>(c.rate))
            << "whole seconds, also for VBR";
        EXPECT_TRUE(written->samples == decoded.samples) << "same samples as the decoder";
        // The encoder writes its delay and padding for MPEG 1 streams; they
        // are removed, so the length is the original's to the sample.
        if (c.rate == 44100) {
            EXPECT_EQ(written->samples.size(), sourceSamples(mp3));
        }
    }
}

TEST(KelvraWav, LayerTwoFilesPlay) {
    const std::string mp2 = Media::get().path("layer2.mp2");
    ASSERT_TRUE(Media::run("sox -n -r 44100 -c 2 '" + mp2 + "' synth 2 sine 1000 vol 0.5"));
    TestPlayer p;
    const std::string out = Media::get().path("layer2.out.wav");
    render(p, mp2, out);
    const auto written = readWav(out);
    ASSERT_TRUE(written);
    EXPECT_TRUE(written->samples == reference(mp2).samples);
}

TEST(KelvraWav, BackslashesSeparateFoldersAndTheHeaderSurvivesStopAndDelete) {
    const std::string mp3 = Media::get().tone("wavlong.mp3", 20.0);
    std::string windowsStyle = Media::get().path("stopped.wav");
    for (char &ch : windowsStyle)
        if (ch == '/')
            ch = '\\';
    windowsStyle = "/" + windowsStyle.substr(1);
    {
        TestPlayer p;
        p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + windowsStyle);
        p.S(KV_CMD_INPUT_OPEN, mp3);
        p.N(KV_CMD_PLAY);
        p.N(KV_CMD_STOP);
        ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_STOPPED, 5s));
        p.sync();
        const auto stopped = readWav(Media::get().path("stopped.wav"));
        ASSERT_TRUE(stopped) << "written through a path with backslashes";
        expectConsistentHeader(*stopped);

        // A new open closes the old file with a correct header.
        p.clearEvents();
        p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + Media::get().path("deleted.wav"));
        p.S(KV_CMD_INPUT_OPEN, mp3);
        p.N(KV_CMD_PLAY);
        ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_PLAYING, 5s));
        // Deleting the player mid-song closes the file properly.
    }
    const auto deleted = readWav(Media::get().path("deleted.wav"));
    ASSERT_TRUE(deleted);
    expectConsistentHeader(*deleted);
}

TEST(KelvraWav, UnwritableOutputRefusesPlayWithAText) {
    TestPlayer p;
    p.S(KV_CMD_SET_OUTPUT_NAME, "wav:/nonexistent-folder/x.wav");
    p.S(KV_CMD_INPUT_OPEN, Media::get().tone("short.mp3", 2.5));
    const auto state = p.waitForCode(KV_NOTIFY_OUTPUT_STATE);
    ASSERT_TRUE(state);
    EXPECT_NE(state->msg.Data.State, 0u);
    p.N(KV_CMD_PLAY);
    const auto nack = p.waitForCode(KV_NOTIFY_NACK);
    ASSERT_TRUE(nack);
    EXPECT_EQ(nack->msg.Data.Nack.Command, KV_CMD_PLAY);
    const auto error = p.waitForCode(KV_NOTIFY_ERROR);
    ASSERT_TRUE(error);
    EXPECT_NE(error->text1.find("nonexistent-folder"), std::string::npos) << error->text1;
}

TEST(KelvraWav, LevelsBalanceAndMuteScaleTheOutput) {
    const std::string mp3 = Media::get().tone("levels.mp3", 2.0);
    const WavData full = reference(mp3);
    const double fullRms = rms(full.samples.data(), full.samples.size());
    auto renderWith = [&](const std::string &name, const std::function<void(TestPlayer &)> &setup) {
        TestPlayer p;
        setup(p);
        const std::string out = Media::get().path(name);
        render(p, mp3, out);
        auto w = readWav(out);
        EXPECT_TRUE(w);
        return w.value_or(WavData{});
    };
    // PCM level 50 of 99 on the square-law scale.
    const WavData half =
        renderWith("pcm50.wav", [](TestPlayer &p) { p.III(KV_CMD_SET_OUTPUT_VOLUME, -1, 50, -1); });
    const double expected = std::pow(50.0 / 99.0, 2.0);
    EXPECT_NEAR(rms(half.samples.data(), half.samples.size()) / fullRms, expected, 0.01);

    // Balance fully left silences the right channel only.
    const WavData left = renderWith(
        "balance0.wav", [](TestPlayer &p) { p.III(KV_CMD_SET_OUTPUT_VOLUME, 0, -1, -1); });
    EXPECT_NEAR(rms(left.samples.data(), left.samples.size(), 2, 0),
                rms(full.samples.data(), full.samples.size(), 2, 0), 1.0);
    EXPECT_LT(rms(left.samples.data(), left.samples.size(), 2, 1), 1.0);

    const WavData muted = renderWith("muted.wav", [](TestPlayer &p) { p.N(KV_CMD_OUTPUT_MUTE); });
    EXPECT_LT(rms(muted.samples.data(), muted.samples.size()), 1.0);
}

TEST(KelvraWav, VolumeNotificationsCarryAllThreeLevels) {
    TestPlayer p;
    p.III(KV_CMD_SET_OUTPUT_VOLUME, 40, -1, 70);
    p.sync();
    for (int32_t code : {KV_NOTIFY_OUTPUT_VOLUME, KV_NOTIFY_OUTPUT_BALANCE,
                         KV_NOTIFY_OUTPUT_PCM_LEVEL, KV_NOTIFY_OUTPUT_MASTER_LEVEL}) {
        const auto events = p.eventsWithCode(code);
        ASSERT_EQ(events.size(), 1u) << code;
        EXPECT_EQ(events[0].msg.Data.Volume.Balance, 40);
        EXPECT_EQ(events[0].msg.Data.Volume.PCM_Level, 99) << "-1 leaves a level unchanged";
        EXPECT_EQ(events[0].msg.Data.Volume.Master_Level, 70);
    }
}

TEST(KelvraWav, VolumeStepsWhilePlayingAreRampedWithoutClicks) {
    const std::string mp3 = Media::get().tone("ramp.mp3", 20.0);
    TestPlayer p;
    const std::string out = Media::get().path("ramp.wav");
    p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + out);
    p.S(KV_CMD_INPUT_OPEN, mp3);
    p.sync();
    p.N(KV_CMD_PLAY);
    for (int level : {80, 60, 40, 20, 10})
        p.III(KV_CMD_SET_OUTPUT_VOLUME, -1, level, -1);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS, 10s));
    const auto w = readWav(out);
    ASSERT_TRUE(w);
    // A 1 kHz sine at half scale moves at most about 2330 per sample; a gain
    // jump at a peak would move several thousand.
    int maxStep = 0;
    for (size_t i = 2; i < w->samples.size(); i += 2)
        maxStep = std::max(maxStep, std::abs(w->samples[i] - w->samples[i - 2]));
    EXPECT_LT(maxStep, 2600);
    const size_t tail = 44100 * 2;
    const double end = rms(w->samples.data() + w->samples.size() - tail, tail);
    EXPECT_NEAR(end / (16384.0 / std::sqrt(2.0)), std::pow(10.0 / 99.0, 2.0), 0.005);
}

TEST(KelvraWav, ChannelModesCopyOrMixTheChannels) {
    // Left 1 kHz, right 3 kHz.
    const std::string mp3 = Media::get().path("split.mp3");
    ASSERT_TRUE(
        Media::run("sox -n -r 44100 -c 2 -b 16 '" + mp3 +
                   ".src.wav' synth 1.5 sine 1000 sine 3000 vol 0.4 && lame --quiet -b 192 '" +
                   mp3 + ".src.wav' '" + mp3 + "'"));
    const WavData plain = reference(mp3);
    for (int mode : {1, 2, 3}) {
        SCOPED_TRACE(mode);
        TestPlayer p;
        p.I(KV_CMD_SET_OUTPUT_CHANNELS, mode);
        const std::string out = Media::get().path("mode" + std::to_string(mode) + ".wav");
        render(p, mp3, out);
        const auto w = readWav(out);
        ASSERT_TRUE(w);
        ASSERT_EQ(w->samples.size(), plain.samples.size());
        size_t mismatches = 0;
        for (size_t i = 0; i < w->samples.size(); i += 2) {
            const int l = plain.samples[i];
            const int r = plain.samples[i + 1];
            const int want = mode == 1 ? l : mode == 2 ? r : (l + r) / 2;
            if (w->samples[i] != w->samples[i + 1] || std::abs(w->samples[i] - want) > 1)
                ++mismatches;
        }
        EXPECT_EQ(mismatches, 0u);
        EXPECT_EQ(p.eventsWithCode(KV_NOTIFY_OUTPUT_CHANNELS).back().msg.Data.Channels, mode);
    }
}

TEST(KelvraWav, EqualizerCutsByTenthsOfADecibelAndReportsItself) {
    const std::string mp3 = Media::get().tone("eq.mp3", 2.0);
    const WavData plain = reference(mp3);
    TestPlayer p;
    KV_EqualizerInfo eq{};
    for (int b = 0; b < KV_EQUALIZER_BANDS; ++b)
        eq.Left[b] = eq.Right[b] = -80;
    p.P(KV_CMD_SET_CODEC_EQUALIZER, &eq);
    eq.Left[0] = 55; // the engine copied the record during the call
    const std::string out = Media::get().path("eq.wav");
    render(p, mp3, out);
    const auto cut = readWav(out);
    ASSERT_TRUE(cut);
    const double ratio = rms(cut->samples.data(), cut->samples.size()) /
                         rms(plain.samples.data(), plain.samples.size());
    EXPECT_NEAR(20.0 * std::log10(ratio), -8.0, 0.5);

    p.N(KV_CMD_GET_CODEC_EQUALIZER);
    p.sync();
    const auto reports = p.eventsWithCode(KV_NOTIFY_CODEC_EQUALIZER);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports.back().equalizer.Left[0], -80);
    EXPECT_EQ(reports.back().equalizer.Right[31], -80);

    // A null record switches it off.
    p.P(KV_CMD_SET_CODEC_EQUALIZER, nullptr);
    const std::string flat = Media::get().path("eq-off.wav");
    render(p, mp3, flat);
    const auto off = readWav(flat);
    ASSERT_TRUE(off);
    EXPECT_TRUE(off->samples == plain.samples);
}

TEST(KelvraWav, OutputNamedAfterOpeningIsUsedByThePlayThatFollows) {
    // The program opens a song and then names its WAV file; the name must reach
    // the Play that follows, while a player already being heard keeps its file.
    Media &m = Media::get();
    const std::string mp3 = m.tone("named-after-open.mp3", 1.0);
    const std::string first = m.path("named-after-open.wav");
    const std::string later = m.path("named-while-playing.wav");
    TestPlayer p;
    p.S(KV_CMD_INPUT_OPEN, mp3);
    p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + first);
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS));
    const auto written = readWav(first);
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(written->samples.size(), sourceSamples(mp3));

    // While the song is being heard (here on the real-time sound-card output,
    // which the test environment makes silent), a new name waits for the next open.
    p.clearEvents();
    p.S(KV_CMD_SET_OUTPUT_NAME, "/dev/dsound/0");
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_PLAYING));
    p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + later);
    p.sync();
    EXPECT_FALSE(p.waitForState(KV_PLAYER_STATE_EOS, std::chrono::milliseconds(200)));
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS));
    EXPECT_FALSE(readWav(later).has_value());
}

TEST(KelvraWav, OpeningTheNextSongLeavesTheFinishedFileAlone) {
    // The program opens the next song before it names that song's file; the
    // previous song's file must keep every sample.
    Media &m = Media::get();
    const std::string first = m.tone("next-a.mp3", 1.0);
    const std::string second = m.tone("next-b.mp3", 1.5, 44100, 2, 500);
    const std::string a = m.path("next-a.wav");
    const std::string b = m.path("next-b.wav");
    TestPlayer p;
    render(p, first, a);
    p.clearEvents();
    p.S(KV_CMD_INPUT_OPEN, second);
    p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + b);
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS));
    const auto wa = readWav(a);
    const auto wb = readWav(b);
    ASSERT_TRUE(wa && wb);
    EXPECT_EQ(wa->samples.size(), sourceSamples(first));
    EXPECT_EQ(wb->samples.size(), sourceSamples(second));
}

TEST(KelvraWav, InputGainNeverReachesAFile) {
    auto query = reinterpret_cast<kv_get_extension_fn>(
        dlsym(Engine::get().library, KV_GET_EXTENSION_EXPORT));
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(query("no_such_extension"), nullptr);
    const auto *gain =
        static_cast<const kv_player_gain_extension *>(query(KV_EXTENSION_PLAYER_GAIN));
    ASSERT_NE(gain, nullptr);
    ASSERT_GE(gain->version, KV_PLAYER_GAIN_VERSION);
    const std::string mp3 = Media::get().tone("gain.mp3", 1.0);
    TestPlayer p;
    ASSERT_EQ(gain->set_input_gain(p.handle(), -1200), 0);
    render(p, mp3, Media::get().path("gain.wav"));
    const auto written = readWav(Media::get().path("gain.wav"));
    ASSERT_TRUE(written);
    EXPECT_TRUE(written->samples == reference(mp3).samples) << "a render stays the decode";
}

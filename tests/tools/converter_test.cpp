// The converter: a WAV file turned into an MP3 plays back, through our own
// engine, to the WAV's length; an MP3 turns back into a WAV; bad input is
// refused and leaves nothing behind.
#include "engine_harness.h"

#include <filesystem>
#include <fstream>

using namespace kelvra_test;

namespace {

std::string dresko(const std::string &args) {
    return std::string("'") + DRESKO_PROGRAM + "' " + args + " 2>/dev/null";
}

std::string source(const std::string &name, int channels) {
    const std::string wav = Media::get().path(name);
    EXPECT_TRUE(Media::run("sox -n -r 44100 -c " + std::to_string(channels) + " -b 16 '" + wav +
                           "' synth 2.3 sine 440 vol 0.5"));
    return wav;
}

TEST(Converter, Mp3PlaysBackToTheWavLength) {
    for (int channels : {1, 2}) {
        SCOPED_TRACE(channels);
        const std::string wav = source("in" + std::to_string(channels) + ".wav", channels);
        const std::string mp3 = wav + ".mp3";
        ASSERT_TRUE(Media::run(dresko("-b 128 '" + wav + "' '" + mp3 + "'")));
        const std::string back = mp3 + ".engine.wav";
        TestPlayer p;
        p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + back);
        p.S(KV_CMD_INPUT_OPEN, mp3);
        ASSERT_TRUE(p.playToEnd());
        const auto in = readWav(wav);
        const auto out = readWav(back);
        ASSERT_TRUE(in && out);
        const long frames = static_cast<long>(in->samples.size() / channels);
        const long played = static_cast<long>(out->samples.size() / out->channels);
        EXPECT_LE(std::labs(played - frames), 1152) << played << " vs " << frames;
        EXPECT_GT(rms(out->samples.data(), out->samples.size()), 5000.0);
    }
}

TEST(Converter, Mp3BackToWav) {
    const std::string mp3 = Media::get().tone("song.mp3", 1.5);
    const std::string wav = mp3 + ".dresko.wav";
    ASSERT_TRUE(Media::run(dresko("'" + mp3 + "' '" + wav + "'")));
    const auto out = readWav(wav);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->rate, 44100u);
    EXPECT_EQ(out->channels, 2);
    EXPECT_EQ(out->declaredDataBytes, out->samples.size() * 2);
    EXPECT_EQ(out->samples.size() / 2, 66150u); // the encoder's gapless header makes it exact
}

TEST(Converter, BadInputLeavesNoOutput) {
    const std::string junk = Media::get().path("junk.wav");
    std::ofstream(junk) << "RIFF but nothing else";
    const std::string truncatedMp3 = Media::get().path("empty.mp3");
    std::ofstream(truncatedMp3) << "";
    for (const auto &[in, out] :
         {std::pair{junk, junk + ".mp3"}, std::pair{truncatedMp3, truncatedMp3 + ".wav"},
          std::pair{Media::get().path("missing.wav"), std::string("x.mp3")}}) {
        EXPECT_FALSE(Media::run(dresko("'" + in + "' '" + out + "'"))) << in;
        EXPECT_FALSE(std::filesystem::exists(out)) << out;
    }
}

} // namespace

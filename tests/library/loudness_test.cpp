// Loudness matching: measurement against reference figures, the true peak,
// the gain rule, the encoder's ReplayGain and the measuring cache.
#include "library_test_support.h"
#include "loudness.h"
#include "loudness_analyser.h"
#include "tagged_media.h"
#include "true_peak.h"

#include <QRegularExpression>

#include <cmath>
#include <numbers>

using namespace velbrin::library;
using namespace velbrin::library::test;

namespace {

// The integrated loudness another decoder and meter (ffmpeg's) find in `file`.
double referenceLufs(const QString &file) {
    QProcess p;
    p.start("ffmpeg", {"-nostats", "-i", file, "-af", "ebur128", "-f", "null", "-"});
    p.waitForFinished(60000);
    const QString out = QString::fromUtf8(p.readAllStandardError());
    static const QRegularExpression summary(QStringLiteral("I:\\s+(-?\\d+\\.\\d) LUFS\\s*\\n"));
    QRegularExpressionMatch last;
    for (auto it = summary.globalMatch(out); it.hasNext();) {
        last = it.next();
    }
    EXPECT_TRUE(last.hasMatch()) << out.toStdString();
    return last.captured(1).toDouble();
}

struct Song {
    QString wav, mp3;
};

// Eight seconds of `synth` (sox's words) at `level`, and its MP3.
Song made(const QString &name, const QStringList &synth, const QString &level,
          const QStringList &lame = {}) {
    TaggedMedia &m = TaggedMedia::get();
    const Song song{m.path(name + ".wav"), m.path(name + ".mp3")};
    EXPECT_TRUE(TaggedMedia::run("sox", QStringList{"-R", "-n", "-r", "44100", "-c", "2", "-b",
                                                    "16", song.wav, "synth", "8"} +
                                            synth + QStringList{"vol", level}));
    EXPECT_TRUE(TaggedMedia::run("lame", QStringList{"--quiet", "-b", "192"} + lame +
                                             QStringList{song.wav, song.mp3}));
    return song;
}

TEST(Loudness, MeasuredWithinHalfAUnitOfTheReferenceFigures) {
    struct Case {
        const char *name;
        QStringList synth;
        const char *level;
        std::optional<double> known; // the standard's own figure
    };
    const Case cases[] = {
        {"sine-23", {"sine", "1000"}, "-23dB", -23.0}, // 1 kHz stereo at -23 dBFS: -23 LUFS
        {"pink-10", {"pinknoise"}, "-10dB", std::nullopt},
        {"white-30", {"whitenoise"}, "-30dB", std::nullopt},
    };
    const std::atomic<bool> running{false};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Song song = made(QString::fromLatin1(c.name), c.synth, QString::fromLatin1(c.level));
        const auto measured = measureLoudness(song.mp3, running);
        ASSERT_TRUE(measured);
        ASSERT_TRUE(measured->integratedLufs);
        // The encoder's low-pass takes some of the noise's loudness away, so
        // the reference decodes the same song.
        EXPECT_NEAR(*measured->integratedLufs, c.known.value_or(referenceLufs(song.mp3)), 0.5);
    }
}

TEST(Loudness, TruePeakFindsWhatLiesBetweenTheSamples) {
    // A quarter of the rate, 45 degrees off: every sample sits 3 dB below the
    // wave's crest. Faded in and out, as a wave that starts at once does
    // overshoot between its first samples.
    std::vector<float> frames;
    for (int n = 0; n < 4410; ++n) {
        const double fade = std::min(1.0, std::min(n, 4409 - n) / 441.0);
        const auto v = static_cast<float>(
            fade * 0.5 * std::sin(std::numbers::pi / 2 * n + std::numbers::pi / 4));
        frames.push_back(v);
        frames.push_back(v * 0.25f);
    }
    TruePeakMeter meter(2);
    meter.add(frames.data(), frames.size() / 2);
    EXPECT_NEAR(20 * std::log10(meter.peak()), 20 * std::log10(0.5), 0.1);
    EXPECT_GT(meter.peak(), 0.36) << "more than the highest sample, 0.354";
}

TEST(Loudness, GainKeepsThePeakUnderTheCeiling) {
    struct Case {
        LoudnessInfo info;
        double gain;
    };
    const Case cases[] = {
        {{}, 0.0},                                 // unknown: unity
        {{-6.0, std::nullopt}, -6.0},              // quieter needs no peak
        {{6.0, 0.25}, 6.0},                        // -12 dBFS + 6 stays below -1
        {{6.0, 0.7}, -1.0 - 20 * std::log10(0.7)}, // held at the ceiling
        {{6.0, std::nullopt}, 0.0},                // louder without a peak: not at all
        {{std::numeric_limits<double>::quiet_NaN(), 0.1}, 0.0},
    };
    for (const Case &c : cases) {
        EXPECT_NEAR(playbackGainDb(c.info), c.gain, 1e-9);
    }
}

TEST(Loudness, TheEncodersReplayGainIsRead) {
    const QString quiet = made("lame-quiet", {"pinknoise"}, "-24dB").mp3;
    const QString loud = made("lame-loud", {"pinknoise"}, "-12dB").mp3;
    const QString none = made("lame-none", {"pinknoise"}, "-12dB", {"--noreplaygain"}).mp3;
    const auto a = readLameReplayGain(quiet, 0);
    const auto b = readLameReplayGain(loud, 0);
    ASSERT_TRUE(a && b);
    EXPECT_NEAR(*a - *b, 12.0, 0.3);
    EXPECT_FALSE(readLameReplayGain(none, 0));
    EXPECT_FALSE(readLameReplayGain(TaggedMedia::get().path("base.mp3"), 0)) << "no Info frame";
}

TEST(Loudness, AnalyserMeasuresOnceAndRemembers) {
    // Without the encoder's own figure, so only a measurement knows.
    const QString quiet = made("an-quiet", {"pinknoise"}, "-26dB", {"--noreplaygain"}).mp3;
    const QString loud = made("an-loud", {"pinknoise"}, "-14dB", {"--noreplaygain"}).mp3;
    QTemporaryDir dir;
    const QString cache = dir.filePath("cache/loudness.tsv");
    {
        LoudnessAnalyser analyser(cache);
        EXPECT_FALSE(analyser.infoFor(quiet).gainDb) << "not measured yet: unity";
        analyser.enqueue(quiet);
        analyser.enqueue(loud);
        analyser.enqueue(quiet);
        ASSERT_TRUE(analyser.waitUntilIdle(std::chrono::seconds(60)));
        const LoudnessInfo q = analyser.infoFor(quiet);
        const LoudnessInfo l = analyser.infoFor(loud);
        ASSERT_TRUE(q.gainDb && l.gainDb && q.peak);
        EXPECT_NEAR(*q.gainDb - *l.gainDb, 12.0, 0.5);
        EXPECT_GT(playbackGainDb(q), 0.0) << "the quiet song is made louder";
    }
    LoudnessAnalyser again(cache);
    EXPECT_TRUE(again.infoFor(loud).gainDb) << "kept in the cache";
    // A changed file is a new song to the cache.
    QFile f(loud);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(QByteArray(10, '\0'));
    f.close();
    EXPECT_FALSE(again.infoFor(loud).gainDb);
}

} // namespace

// The spectrum feedback handler and the analyser start-up, against the double.
#include "KelvraSpectrum.h"
#include "engine_double.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace spectrum = velbrin::engine::spectrum;
using velbrin::engine::TKelvraSpectrum;
using velbrin::engine::TSpectrum;
using velbrin::test::doublePath;
using velbrin::test::EngineDouble;

namespace {

int count(const std::vector<std::string> &log, const std::string &prefix) {
    int n = 0;
    for (const auto &l : log) {
        n += l.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return n;
}

struct Spectra {
    TSpectrum left{};
    TSpectrum right{};
    int bands = 0;
};

Spectra read(TKelvraSpectrum &c) {
    Spectra s;
    const QMetaObject::Connection connection =
        QObject::connect(&c, &TKelvraSpectrum::OnNotifySpectrum,
                         [&](const TSpectrum &l, const TSpectrum &r, int bands) {
                             s.left = l;
                             s.right = r;
                             s.bands = bands;
                         });
    c.getspectrum();
    QObject::disconnect(connection);
    return s;
}

} // namespace

TEST(SpectrumHandler, TableNameAndInformation) {
    kv_feedback_table table{};
    ASSERT_EQ(spectrum::InitHandler(&table), 0);
    EXPECT_EQ(table.interface_version, 0x00030800u);
    EXPECT_EQ(table.name_match("Visualisation"), 0);
    EXPECT_EQ(table.name_match("visualisation"), -1);
    EXPECT_EQ(table.name_match(""), -1);
    EXPECT_EQ(table.reserved_3(), 0);
    EXPECT_EQ(table.unset_7, nullptr);

    kv_feedback_information info{};
    EXPECT_EQ(table.information(&info, 1), 0);
    EXPECT_STREQ(info.Description, "Version 1");
    EXPECT_GT(std::strlen(info.Name), 0u);
    EXPECT_EQ(table.information(&info, 4), 0);
    EXPECT_STREQ(info.Description, "Sample feedback handler");
    EXPECT_EQ(table.information(&info, 2), 0);
    EXPECT_EQ(info.Flags, 1u);
    kv_feedback_information untouched{};
    EXPECT_EQ(table.information(&untouched, 3), 0);
    EXPECT_EQ(untouched.Name[0], '\0');
}

TEST(SpectrumHandler, LoadSendsTheHandlerAndFeedsAtMost128Samples) {
    EngineDouble engine;
    TKelvraSpectrum c;
    c.setKelvraPath(doublePath());
    ASSERT_TRUE(c.Init());
    engine.reset();
    ASSERT_TRUE(c.loadfft(true));
    auto log = engine.log();
    ASSERT_GE(log.size(), 6u);
    EXPECT_NE(log[0].find(" 125 'function@"), std::string::npos) << log[0];
    EXPECT_NE(log[1].find(" 141 'Visualisation'"), std::string::npos);
    EXPECT_NE(log[2].find(" 139 40"), std::string::npos);
    EXPECT_NE(log[3].find(" 129"), std::string::npos);
    EXPECT_EQ(count(log, "fft_analyzer_new A"), 2);

    // Interleaved frames, left i and right 1000 + i: each analyser takes the
    // first 128 frames of its own channel.
    std::vector<int16_t> samples(1152 * 2);
    for (size_t i = 0; i < 1152; ++i) {
        samples[2 * i] = static_cast<int16_t>(i);
        samples[2 * i + 1] = static_cast<int16_t>(1000 + i);
    }
    KV_AudioEvent stereo{{0, 0}, 44100, 2, 1152, samples.data()};
    engine.reset();
    EXPECT_EQ(spectrum::AudioEvent(nullptr, &stereo), 0);
    log = engine.log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[0].find(" 0 128 127"), std::string::npos) << log[0];
    EXPECT_NE(log[1].find(" 1000 128 1127"), std::string::npos) << log[1];
    Spectra s = read(c);
    EXPECT_EQ(s.bands, 64);
    EXPECT_NE(s.left[0], 0);
    EXPECT_NE(s.right[0], 0);

    // One channel updates only the left spectrum.
    KV_AudioEvent mono{{0, 0}, 44100, 1, 10, samples.data()};
    const TSpectrum rightBefore = s.right;
    const uint8_t leftBefore = s.left[0];
    spectrum::AudioEvent(nullptr, &mono);
    s = read(c);
    EXPECT_NE(s.left[0], leftBefore);
    EXPECT_EQ(s.right, rightBefore);

    EXPECT_TRUE(c.unloadfft(true));
    EXPECT_EQ(count(engine.log(), "fft_analyzer_delete A"), 2);
}

TEST(SpectrumHandler, AnalysersRunOnlyWhileTheSpectrumIsRead) {
    EngineDouble engine;
    TKelvraSpectrum c;
    c.setKelvraPath(doublePath());
    ASSERT_TRUE(c.Init());
    ASSERT_TRUE(c.loadfft(true));
    std::vector<int16_t> samples(256, 1000);
    KV_AudioEvent stereo{{0, 0}, 44100, 2, 128, samples.data()};
    spectrum::AudioEvent(nullptr, &stereo);
    ASSERT_NE(read(c).left[0], 0);

    // Nobody has read the spectra for a while (a hidden display): no analysis.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    engine.reset();
    spectrum::AudioEvent(nullptr, &stereo);
    EXPECT_EQ(count(engine.log(), "fft_analyzer_set_samples"), 0);
    EXPECT_EQ(read(c).left[0], 0) << "old sound is not shown as new";
    spectrum::AudioEvent(nullptr, &stereo);
    EXPECT_EQ(count(engine.log(), "fft_analyzer_set_samples"), 2) << "read again: analysed again";
    EXPECT_TRUE(c.unloadfft(true));
}

TEST(SpectrumHandler, RefusedRegistrationStillCreatesAnalysers) {
    EngineDouble engine;
    TKelvraSpectrum c;
    c.setKelvraPath(doublePath());
    ASSERT_TRUE(c.Init());
    engine.reset();
    engine.setSendResult(-1);
    EXPECT_TRUE(c.loadfft(false));
    const auto log = engine.log();
    EXPECT_EQ(count(log, "send_"), 1);
    EXPECT_EQ(count(log, "fft_analyzer_new A"), 1);
    EXPECT_TRUE(c.unloadfft(false));
}

TEST(SpectrumHandler, FailedRightAnalyserReleasesTheLeftOne) {
    EngineDouble engine;
    TKelvraSpectrum c;
    c.setKelvraPath(doublePath());
    ASSERT_TRUE(c.Init());
    ASSERT_TRUE(c.loadfft(false));
    ASSERT_TRUE(c.unloadfft(false));
    engine.reset();
    engine.setAnalyzerNewResult(1);
    EXPECT_FALSE(c.loadfft(true));
    EXPECT_EQ(count(engine.log(), "fft_analyzer_new failed"), 2);
}

#ifdef KELVRA_ENGINE_PATH
// The real engine feeds the analysers on its own thread while the song plays;
// loading and unloading them, and creating and deleting another instance, must
// neither free what a feed uses nor stop the feeding (the sanitizer build
// checks the first).
TEST(SpectrumHandler, LoadAndUnloadWhileTheRealEnginePlays) {
    const QString dir =
        QDir::tempPath() +
        QStringLiteral("/velbrin-spectrum-%1").arg(QCoreApplication::applicationPid());
    QDir().mkpath(dir);
    const std::string mp3 = (dir + QStringLiteral("/tone.mp3")).toStdString();
    const std::string make =
        "sox -n -r 44100 -c 2 -b 16 '" + dir.toStdString() +
        "/tone.wav' synth 4 sine 1000 sine 3000 vol 0.5 2>/dev/null && lame --quiet " + "-b 128 '" +
        dir.toStdString() + "/tone.wav' '" + mp3 + "'";
    if (std::system(make.c_str()) != 0) {
        GTEST_SKIP() << "sox and lame are needed to make the song";
    }
    // The silent output plays in real time, so the song lasts the whole test.
    qputenv("KELVRA_OUTPUT", "null");
    TKelvraSpectrum c;
    c.setKelvraPath(KELVRA_ENGINE_PATH);
    ASSERT_TRUE(c.Init());
    c.SetOutputName("/dev/dsound/0");
    c.InputOpen(mp3);
    c.Play();
    auto pump = [](int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
    };
    for (int round = 0; round < 15; ++round) {
        ASSERT_TRUE(c.loadfft(round % 2 == 0));
        pump(10);
        if (round == 7) {
            // Another instance comes and goes while this one's feedback runs.
            auto other = std::make_unique<TKelvraSpectrum>();
            other->setKelvraPath(KELVRA_ENGINE_PATH);
            ASSERT_TRUE(other->Init());
            other.reset();
        }
        c.getspectrum();
        EXPECT_TRUE(c.unloadfft(round % 2 == 0));
    }
    // With fresh analysers the engine feeds the spectrum again.
    ASSERT_TRUE(c.loadfft(true));
    const auto heard = [](const TSpectrum &bands) {
        return std::any_of(bands.begin(), bands.end(), [](uint8_t b) { return b != 0; });
    };
    Spectra s;
    for (int i = 0; i < 100 && !heard(s.left); ++i) {
        pump(20);
        s = read(c);
    }
    ASSERT_TRUE(heard(s.left));
    // Left plays 1000 Hz and right 3000 Hz; band i is centred on
    // (i + 1) * 44100 / 128 Hz.
    const auto peak = [](const TSpectrum &bands) {
        return std::max_element(bands.begin(), bands.begin() + 64) - bands.begin();
    };
    EXPECT_EQ(peak(s.left), 2);
    EXPECT_EQ(peak(s.right), 8);
    EXPECT_TRUE(c.unloadfft(true));
    c.Stop();
    qunsetenv("KELVRA_OUTPUT");
    QDir(dir).removeRecursively();
}
#endif

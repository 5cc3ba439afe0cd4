// Binding the engine library, the player lifecycle and every command's encoding,
// checked against the recording engine double.
#include "KelvraSpectrum.h"
#include "KelvraSpeechOutput.h"
#include "engine_double.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <algorithm>

using velbrin::engine::EKelvraException;
using velbrin::engine::TKelvraSpectrum;
using velbrin::platform::DynamicLibrary;
using velbrin::test::doublePath;
using velbrin::test::EngineDouble;

namespace {

std::string raised(const std::function<void()> &f) {
    try {
        f();
    } catch (const EKelvraException &e) {
        return e.what();
    }
    return "(nothing raised)";
}

bool contains(const std::vector<std::string> &log, const std::string &line) {
    return std::find(log.begin(), log.end(), line) != log.end();
}

std::unique_ptr<TKelvraSpectrum> component(const std::string &path = doublePath()) {
    auto c = std::make_unique<TKelvraSpectrum>();
    c->setKelvraPath(path);
    return c;
}

} // namespace

TEST(EngineBinding, FreshInstanceLoadsNothing) {
    const int loads = DynamicLibrary::loadCount();
    TKelvraSpectrum c;
    EXPECT_EQ(c.KelvraPath(), "kelvra.dll");
    EXPECT_EQ(c.GetVersion(2), 0u);
    EXPECT_EQ(c.GetPriority(), 3u);
    EXPECT_FALSE(c.libraryLoaded());
    EXPECT_EQ(DynamicLibrary::loadCount(), loads);
}

TEST(EngineBinding, MissingLibraryRaisesAndSendsNothing) {
    auto c = component("/nonexistent/folder/kelvra.dll");
    EXPECT_EQ(raised([&] { c->Play(); }),
              "Cannot Load Kelvra DLL (/nonexistent/folder/kelvra.dll)");
    EXPECT_FALSE(c->libraryLoaded());
    EXPECT_FALSE(c->hasPlayer());
}

TEST(EngineBinding, MissingExportIsRefusedAndRetriedOnNextUse) {
    EngineDouble engine("kelvra_double_missing");
    auto c = component(doublePath("kelvra_double_missing"));
    const int loads = DynamicLibrary::loadCount();
    const std::string expected =
        "Cannot Find Symbol fft_analyzer_interpolate_samples_unsigned in Kelvra DLL";
    EXPECT_EQ(raised([&] { c->Init(); }), expected);
    EXPECT_FALSE(c->libraryLoaded());
    EXPECT_EQ(raised([&] { c->Stop(); }), expected);
    EXPECT_EQ(DynamicLibrary::loadCount(), loads + 2); // unbound again, so loaded again
    for (const auto &line : engine.log()) {
        EXPECT_EQ(line.rfind("send_", 0), std::string::npos) << line;
    }
}

TEST(EngineBinding, ApiMismatchKeepsLibraryAndRaisesEveryTime) {
    EngineDouble engine("kelvra_double_v39");
    auto c = component(doublePath("kelvra_double_v39"));
    const int loads = DynamicLibrary::loadCount();
    const std::string expected = "Kelvra DLL API Mismatch\rExpected 3.8, Got 3.9";
    EXPECT_EQ(raised([&] { c->Init(); }), expected);
    EXPECT_TRUE(c->libraryLoaded());
    EXPECT_EQ(raised([&] { c->Play(); }), expected);
    EXPECT_EQ(DynamicLibrary::loadCount(), loads + 1);
    EXPECT_FALSE(contains(engine.log(), "player_new #1"));
}

TEST(EngineBinding, FailedPlayerCreationCanBeRetried) {
    EngineDouble engine;
    auto c = component();
    engine.setPlayerNewResult(5);
    EXPECT_EQ(raised([&] { c->Init(); }), "Cannot Start Kelvra Player");
    EXPECT_FALSE(c->hasPlayer());
    engine.setPlayerNewResult(0);
    EXPECT_TRUE(c->Init());
    EXPECT_TRUE(c->hasPlayer());
}

TEST(EngineBinding, PathIsReadAtFirstUseOnly) {
    EngineDouble engine;
    auto c = component();
    EXPECT_TRUE(c->Init());
    c->setKelvraPath("/nonexistent/other.dll");
    EXPECT_NO_THROW(c->Play()); // the loaded library stays in use
    EXPECT_EQ(engine.log().back().substr(0, 7), "send_N ");
}

TEST(EngineLifecycle, PriorityIsSentOnlyWhenNotThree) {
    EngineDouble engine;
    {
        auto c = component();
        c->setPriority(3);
        c->Init();
        for (const auto &line : engine.log()) {
            EXPECT_EQ(line.find("player_set_priority"), std::string::npos);
        }
    }
    engine.reset();
    auto c = component();
    c->setPriority(4);
    c->Init();
    const auto log = engine.log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], "kelvra_get_version 2");
    EXPECT_EQ(log[1].substr(0, 12), "player_new #");
    EXPECT_EQ(log[2], "player_set_priority " + log[1].substr(11) + " 4");
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string &l) { return l.find("priority") != l.npos; }),
              1);

    // While running the engine holds the priority, not the component.
    c->SetPriority(1);
    EXPECT_EQ(c->GetPriority(), 1u);
    c->setPriority(2);
    EXPECT_EQ(engine.log().back().find("player_get_priority"), std::string::npos);
    EXPECT_EQ(c->Priority(), 2u);
}

TEST(EngineLifecycle, DestroyDeletesOnlyARunningPlayerOnce) {
    EngineDouble engine;
    { auto idle = component(); }
    EXPECT_TRUE(engine.log().empty());
    {
        auto c = component();
        c->Init();
        engine.reset();
    }
    const auto log = engine.log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].substr(0, 15), "player_delete #");
}

TEST(EngineLifecycle, ErrorStringCopiesTheEngineText) {
    EngineDouble engine;
    auto c = component();
    EXPECT_EQ(c->ErrorString(-12), "error -12");
}

TEST(EngineCommands, EveryCommandUsesItsCodeVariantAndArgumentOrder) {
    EngineDouble engine;
    auto c = component();
    c->Init();
    const std::string p = engine.log()[1].substr(11); // "#N"
    engine.reset();

    KV_EqualizerInfo eq{};
    const char data[4] = {1, 2, 3, 4};
    struct Case {
        std::function<void()> call;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {[&] { c->Synchronize(); }, "send_N P 2"},
        {[&] { c->Ping(0xFFFFFFFFu); }, "send_I P 3 -1"},
        {[&] { c->Play(); }, "send_N P 4"},
        {[&] { c->Pause(); }, "send_N P 5"},
        {[&] { c->Stop(); }, "send_N P 6"},
        {[&] { c->InputSeek(120, 400); }, "send_II P 7 120 400"},
        {[&] { c->InputOpen("/music/a b.mp3"); }, "send_S P 8 '/music/a b.mp3'"},
        {[&] { c->InputOpen(""); }, "send_S P 8 ''"},
        {[&] { c->InputClose(); }, "send_N P 9"},
        {[&] { c->InputSendMessage(65535, data, 4); }, "send_IPI P 10 65535 ptr 4"},
        {[&] { c->InputAddFilter("f", 2); }, "send_SI P 11 'f' 2"},
        {[&] { c->InputRemoveFilter("f", 7); }, "send_SI P 12 'f' 7"},
        {[&] { c->InputFilterList(); }, "send_N P 13"},
        {[&] { c->InputModuleRegister("m@x.dll"); }, "send_S P 14 'm@x.dll'"},
        {[&] { c->InputModuleQuery(3); }, "send_I P 15 3"},
        {[&] { c->InputModulesList(); }, "send_N P 16"},
        {[&] { c->OutputOpen("o"); }, "send_S P 17 'o'"},
        {[&] { c->OutputClose(); }, "send_N P 18"},
        {[&] { c->OutputSendMessage(1, nullptr, 0); }, "send_IPI P 19 1 null 0"},
        {[&] { c->OutputMute(); }, "send_N P 20"},
        {[&] { c->OutputUnmute(); }, "send_N P 21"},
        {[&] { c->OutputReset(); }, "send_N P 22"},
        {[&] { c->OutputDrain(); }, "send_N P 23"},
        {[&] { c->OutputAddFilter("r@kv_resampler.dll", 0); },
         "send_SI P 24 'r@kv_resampler.dll' 0"},
        {[&] { c->OutputRemoveFilter("r", 1); }, "send_SI P 25 'r' 1"},
        {[&] { c->OutputFilterList(); }, "send_N P 26"},
        {[&] { c->OutputModuleRegister("dsound_output_module_register@kv_dsound_output.dll"); },
         "send_S P 27 'dsound_output_module_register@kv_dsound_output.dll'"},
        {[&] { c->OutputModuleQuery(1); }, "send_I P 28 1"},
        {[&] { c->OutputModulesList(); }, "send_N P 29"},
        {[&] { c->CodecSendMessage(2, data, 2); }, "send_IPI P 30 2 ptr 2"},
        {[&] { c->CodecModuleRegister("c"); }, "send_S P 31 'c'"},
        {[&] { c->CodecModuleQuery(0); }, "send_I P 32 0"},
        {[&] { c->CodecModulesList(); }, "send_N P 33"},
        {[&] { c->SetPlayerMode(6); }, "send_I P 34 6"},
        {[&] { c->GetPlayerMode(); }, "send_N P 35"},
        {[&] { c->SetPlayerEnvironmentInteger("OUTPUT.DIRECTSOUND.PITCH", 1000); },
         "send_SI P 36 'OUTPUT.DIRECTSOUND.PITCH' 1000"},
        {[&] { c->GetPlayerEnvironmentInteger("X"); }, "send_S P 37 'X'"},
        {[&] { c->SetPlayerEnvironmentString("K", "V"); }, "send_SS P 38 'K' 'V'"},
        {[&] { c->GetPlayerEnvironmentString("K"); }, "send_S P 39 'K'"},
        {[&] { c->UnsetPlayerEnvironment("K"); }, "send_S P 40 'K'"},
        {[&] { c->SetInputName("n"); }, "send_S P 41 'n'"},
        {[&] { c->GetInputName(); }, "send_N P 42"},
        {[&] { c->SetInputModule(2); }, "send_I P 43 2"},
        {[&] { c->GetInputModule(); }, "send_N P 44"},
        {[&] { c->SetInputPositionRange(1000); }, "send_I P 45 1000"},
        {[&] { c->GetInputPositionRange(); }, "send_N P 46"},
        {[&] { c->SetInputTimecodeGranularity(100); }, "send_I P 47 100"},
        {[&] { c->GetInputTimecodeGranularity(); }, "send_N P 48"},
        {[&] { c->SetOutputName("wav:/tmp/x.wav"); }, "send_S P 49 'wav:/tmp/x.wav'"},
        {[&] { c->GetOutputName(); }, "send_N P 50"},
        {[&] { c->SetOutputModule(1); }, "send_I P 51 1"},
        {[&] { c->GetOutputModule(); }, "send_N P 52"},
        {[&] { c->SetOutputVolume(-1, 99, -1); }, "send_III P 57 -1 99 -1"},
        {[&] { c->SetOutputVolume(50, 0, 75); }, "send_III P 57 50 0 75"},
        {[&] { c->GetOutputVolume(); }, "send_N P 58"},
        {[&] { c->SetOutputChannels(3); }, "send_I P 59 3"},
        {[&] { c->GetOutputChannels(); }, "send_N P 60"},
        {[&] { c->SetOutputPorts(5); }, "send_I P 61 5"},
        {[&] { c->GetOutputPorts(); }, "send_N P 62"},
        {[&] { c->SetCodecQuality(255); }, "send_I P 63 255"},
        {[&] { c->GetCodecQuality(); }, "send_N P 64"},
        {[&] { c->SetCodecEqualizer(&eq); }, "send_P P 65 ptr"},
        {[&] { c->SetCodecEqualizer(nullptr); }, "send_P P 65 null"},
        {[&] { c->GetCodecEqualizer(); }, "send_N P 66"},
        {[&] { c->SetNotificationMask(0xFF); }, "send_I P 69 255"},
        {[&] { c->GetNotificationMask(); }, "send_N P 70"},
        {[&] { c->SetDebugLevel(-2); }, "send_I P 71 -2"},
        {[&] { c->GetDebugLevel(); }, "send_N P 72"},
    };
    for (const auto &tc : cases) {
        engine.reset();
        tc.call();
        std::string expected = tc.expected;
        expected.replace(expected.find(" P "), 3, " " + p + " ");
        const auto log = engine.log();
        ASSERT_EQ(log.size(), 1u) << expected;
        EXPECT_EQ(log[0], expected);
    }
}

TEST(EngineCommands, FirstCommandLoadsAndCreatesBeforeSending) {
    EngineDouble engine;
    auto c = component();
    c->Play();
    const auto log = engine.log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "kelvra_get_version 2");
    EXPECT_EQ(log[1].substr(0, 12), "player_new #");
    EXPECT_EQ(log.back().substr(0, 7), "send_N ");
}

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

TEST(EngineBinding, EngineWithoutExtensionsOpensSongsAsAlways) {
    EngineDouble engine;
    auto c = component();
    int asked = 0;
    c->setInputGainSource([&](const std::string &) {
        ++asked;
        return -6.0;
    });
    c->setQuietEndsSource([&] {
        ++asked;
        return true;
    });
    EXPECT_FALSE(c->SupportsInputGain());
    EXPECT_FALSE(c->SetInputGain(-6.0));
    EXPECT_FALSE(c->SupportsQuietEnds());
    EXPECT_FALSE(c->SetQuietEnds(true));
    EXPECT_EQ(c->AudibleEnd(), -1);
    EXPECT_EQ(velbrin::engine::KelvraSpeechOutput::bind(doublePath()), nullptr);
    engine.reset();
    c->InputOpen("song.mp3");
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(engine.log(), std::vector<std::string>{"send_S #1 8 'song.mp3'"});
}

TEST(EngineBinding, QuietEndsGoBeforeEachOpenAndTheAudibleEndIsReadWhileOn) {
    EngineDouble engine;
    engine.offerExtensions(KVDOUBLE_QUIET_ENDS);
    auto c = component();
    EXPECT_EQ(c->AudibleEnd(), -1) << "no player yet, and none is made for the question";
    EXPECT_FALSE(c->hasPlayer());
    bool on = true;
    c->setQuietEndsSource([&] { return on; });
    ASSERT_TRUE(c->SupportsQuietEnds());
    kv_player *player = engine.lastPlayer();
    engine.reset();
    engine.setAudibleEnd(player, 171500);
    c->InputOpen("a.mp3");
    EXPECT_EQ(c->AudibleEnd(), 171500);
    on = false;
    c->InputOpen("b.mp3");
    EXPECT_EQ(c->AudibleEnd(), -1) << "quiet ends off";
    const auto log = engine.log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].substr(0, 15), "set_quiet_ends ");
    EXPECT_EQ(log[0].back(), '1');
    EXPECT_EQ(log[1].substr(0, 7), "send_S ");
    EXPECT_EQ(log[2].back(), '0');
}

TEST(EngineBinding, SpeechReachesTheEnginesMixAndWhatItRefusesIsSaid) {
    using velbrin::engine::KelvraSpeechOutput;
    EngineDouble engine;
    engine.offerExtensions(KVDOUBLE_SPEECH_MIX);
    const auto out = KelvraSpeechOutput::bind(doublePath());
    ASSERT_NE(out, nullptr);
    const int16_t speech[3] = {1, 2, 3};
    EXPECT_TRUE(out->write(speech, 3, 22050));
    engine.setSpeechResult(1); // no sound device mix runs
    EXPECT_FALSE(out->write(speech, 3, 22050));
    EXPECT_FALSE(out->write(speech, 0, 22050)) << "nothing to take";
    engine.setSpeechPending(250);
    EXPECT_EQ(out->pendingMilliseconds(), 250);
    out->clear();
    out->setDuckDepth(30);
    out->setDuckDepth(-3);
    out->setDuckDepth(12);
    EXPECT_EQ(engine.log(), (std::vector<std::string>{
                                "speech_write 3 22050", "speech_write 3 22050", "speech_clear",
                                "set_duck_depth 2400", "set_duck_depth 0", "set_duck_depth 1200"}));
}

#ifdef KELVRA_ENGINE_PATH
TEST(EngineBinding, RealEngineOffersTheInputGain) {
    TKelvraSpectrum c;
    c.setKelvraPath(KELVRA_ENGINE_PATH);
    EXPECT_TRUE(c.SupportsInputGain());
    EXPECT_TRUE(c.SetInputGain(-6.5));
}
#endif

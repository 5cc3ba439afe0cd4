// The library as a whole: exports, refusals of bad input, several players,
// deletion mid-song, module lists, feedback handlers and the analyser.
#include "engine_harness.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <dlfcn.h>
#include <fstream>
#include <mutex>
#include <numbers>
#include <thread>
#include <utility>
#include <vector>

using namespace kelvra_test;
using namespace std::chrono_literals;

TEST(KelvraExports, VersionErrorsAndForeignMessages) {
    Engine &e = Engine::get();
    EXPECT_EQ(e.get_version(KV_VERSION_INDEX_API), 0x030800u);
    EXPECT_EQ((e.get_version(KV_VERSION_INDEX_API) >> 16) & 0xFF, 3u);
    EXPECT_EQ((e.get_version(KV_VERSION_INDEX_API) >> 8) & 0xFF, 8u);
    for (int code = 0; code < 25; ++code)
        EXPECT_STRNE(e.error_string(code), "") << code;
    EXPECT_STREQ(e.error_string(-12345), "Unknown error");

    // Sends to no player are refused, not crashed on.
    EXPECT_NE(e.send_N(nullptr, KV_CMD_PLAY), 0);

    TestPlayer a;
    TestPlayer b;
    a.I(KV_CMD_PING, 7);
    ASSERT_TRUE(a.waitForCode(KV_NOTIFY_PONG));
    KV_Message msg{};
    // Below the notification range, or another player's message: not ours.
    EXPECT_NE(e.params_to_message(a.handle(), &msg, 0x8FFF, 0, 0), 0);
    EXPECT_NE(e.params_to_message(b.handle(), &msg, KV_WM_NOTIFY_BASE + KV_NOTIFY_PONG, 1, 1), 0);
    EXPECT_EQ(a.eventsWithCode(KV_NOTIFY_PONG).front().msg.Data.Tag, 7u);

    EXPECT_EQ(e.player_set_priority(a.handle(), 4), 0);
    EXPECT_EQ(e.player_get_priority(a.handle()), 4);
    EXPECT_NE(e.player_set_priority(a.handle(), 9), 0);
}

TEST(KelvraExports, CommandsAreAnsweredWithTheirCodes) {
    TestPlayer p;
    p.N(KV_CMD_SYNCHRONIZE);
    p.I(KV_CMD_SET_PLAYER_MODE, 5);
    p.I(KV_CMD_SET_NOTIFICATION_MASK, 0x77);
    p.I(KV_CMD_SET_DEBUG_LEVEL, 3);
    p.I(KV_CMD_SET_CODEC_QUALITY, 2);
    p.S(KV_CMD_SET_OUTPUT_NAME, "/dev/wave/0");
    p.N(KV_CMD_GET_OUTPUT_NAME);
    p.N(98); // no such command
    p.sync();
    EXPECT_EQ(p.eventsWithCode(KV_NOTIFY_ACK).front().msg.Data.Ack, KV_CMD_SYNCHRONIZE);
    EXPECT_EQ(p.eventsWithCode(KV_NOTIFY_PLAYER_MODE).front().msg.Data.Mode, 5u);
    EXPECT_EQ(p.eventsWithCode(KV_NOTIFY_NOTIFICATION_MASK).front().msg.Data.NotificationMask,
              0x77u);
    EXPECT_EQ(p.eventsWithCode(KV_NOTIFY_DEBUG_LEVEL).front().msg.Data.Debug_Level, 3u);
    EXPECT_EQ(p.eventsWithCode(KV_NOTIFY_CODEC_QUALITY).front().msg.Data.Quality, 2u);
    const auto names = p.eventsWithCode(KV_NOTIFY_OUTPUT_NAME);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[1].text1, "/dev/wave/0");
    const auto nack = p.eventsWithCode(KV_NOTIFY_NACK);
    ASSERT_EQ(nack.size(), 1u);
    EXPECT_EQ(nack[0].msg.Data.Nack.Command, 98);
}

TEST(KelvraExports, ModuleListsNumberDevicesByTheirModule) {
    TestPlayer p;
    const std::string card = "dsound_output_module_register@kv_dsound_output.dll";
    p.S(KV_CMD_OUTPUT_MODULE_REGISTER, card);
    p.S(KV_CMD_OUTPUT_MODULE_REGISTER, card); // repeated: still one entry
    p.N(KV_CMD_OUTPUT_MODULES_LIST);
    p.sync();
    const auto acks = p.eventsWithCode(KV_NOTIFY_ACK);
    EXPECT_EQ(acks.size(), 2u);
    int lastModule = -1;
    std::vector<std::string> modules;
    std::vector<std::string> devices;
    for (const Event &e : p.events()) {
        if (e.msg.Code == KV_NOTIFY_OUTPUT_MODULE_INFO) {
            EXPECT_EQ(e.msg.Data.Module_Info.ID, modules.size());
            lastModule = e.msg.Data.Module_Info.ID;
            modules.push_back(e.text1);
        } else if (e.msg.Code == KV_NOTIFY_OUTPUT_DEVICE_INFO) {
            EXPECT_EQ(e.msg.Data.Device_Info.Module_ID, lastModule);
            devices.push_back(e.text1);
        }
    }
    EXPECT_EQ(modules.size(), 3u);
    EXPECT_NE(std::find(devices.begin(), devices.end(), "/dev/dsound/0"), devices.end());
    EXPECT_NE(std::find(devices.begin(), devices.end(), "/dev/wave/0"), devices.end());

    p.clearEvents();
    p.S(KV_CMD_OUTPUT_MODULE_REGISTER, "x@missing.dll");
    const auto nack = p.waitForCode(KV_NOTIFY_NACK);
    ASSERT_TRUE(nack);
    EXPECT_EQ(nack->msg.Data.Nack.Command, KV_CMD_OUTPUT_MODULE_REGISTER);
}

TEST(KelvraInput, BadFilesAreRefusedWithWordedErrors) {
    Media &m = Media::get();
    const std::string empty = m.path("empty.mp3");
    std::ofstream(empty).close();
    const std::string text = m.path("text.mp3");
    {
        std::ofstream out(text);
        for (int i = 0; i < 200; ++i)
            out << "This is a text file pretending to be an MP3 file, line " << i << ".\n";
    }
    const std::string random = m.path("random.mp3");
    ASSERT_TRUE(Media::run("head -c 65536 /dev/urandom > '" + random + "'"));
    struct Case {
        std::string path;
        std::string text;
    };
    for (const Case &c : std::vector<Case>{{m.path("missing.mp3"), "File not found"},
                                           {empty, "File is empty"},
                                           {text, "File is not an MPEG audio stream"},
                                           {m.folder(), "File cannot be read"},
                                           {"", "File not found"}}) {
        SCOPED_TRACE(c.path);
        TestPlayer p;
        p.S(KV_CMD_INPUT_OPEN, c.path);
        const auto nack = p.waitForCode(KV_NOTIFY_NACK);
        ASSERT_TRUE(nack);
        EXPECT_EQ(nack->msg.Data.Nack.Command, KV_CMD_INPUT_OPEN);
        EXPECT_EQ(p.engine().error_string(nack->msg.Data.Nack.Code), c.text);
        p.N(KV_CMD_PLAY);
        const auto refused = p.waitFor([](const Event &e) {
            return e.msg.Code == KV_NOTIFY_NACK && e.msg.Data.Nack.Command == KV_CMD_PLAY;
        });
        EXPECT_TRUE(refused);
        EXPECT_TRUE(p.eventsWithCode(KV_NOTIFY_STREAM_DURATION).empty());
    }
    // Random bytes: either refused or played to a clean end, never a crash.
    TestPlayer p;
    p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + m.path("random.wav"));
    p.S(KV_CMD_INPUT_OPEN, random);
    p.N(KV_CMD_PLAY);
    EXPECT_TRUE(p.waitFor([](const Event &e) {
        return (e.msg.Code == KV_NOTIFY_NACK && e.msg.Data.Nack.Command == KV_CMD_PLAY) ||
               (e.msg.Code == KV_NOTIFY_PLAYER_STATE && e.msg.Data.State == KV_PLAYER_STATE_EOS);
    }));
}

TEST(KelvraInput, TruncatedAndDamagedFilesPlayWhatTheyHave) {
    Media &m = Media::get();
    const std::string whole = m.tone("whole.mp3", 3.0);
    const std::string cut = m.path("truncated.mp3");
    const std::string damaged = m.path("damaged.mp3");
    ASSERT_TRUE(Media::run("head -c 20000 '" + whole + "' > '" + cut + "'"));
    // Overwrite 2 kB in the middle with zeros.
    ASSERT_TRUE(Media::run("cp '" + whole + "' '" + damaged + "' && dd if=/dev/zero of='" +
                           damaged + "' bs=1 seek=20000 count=2000 conv=notrunc"));
    for (const std::string &file : {cut, damaged}) {
        SCOPED_TRACE(file);
        TestPlayer p;
        const std::string out = file + ".wav";
        p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + out);
        p.S(KV_CMD_INPUT_OPEN, file);
        p.N(KV_CMD_PLAY);
        ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS, 10s));
        const auto w = readWav(out);
        ASSERT_TRUE(w);
        EXPECT_GT(w->samples.size(), 44100u) << "audio before the damage was played";
        if (file == damaged) {
            EXPECT_GT(w->samples.size(), 44100u * 2 * 2) << "audio after the damage was played";
        }
    }
}

// An opened song reports one integer and one text property, each under the
// value type the player reads it by.
TEST(KelvraInput, StreamPropertiesCarryIntegerAndTextValues) {
    TestPlayer p;
    p.openAndWaitForDuration(Media::get().tone("properties.mp3", 0.5, 44100, 1, 440));
    const auto props = p.waitForCode(KV_NOTIFY_STREAM_PROPERTIES);
    ASSERT_TRUE(props);
    EXPECT_EQ(props->properties, (std::vector<std::string>{"Layer=3", "Channel mode='Mono'"}));
}

TEST(KelvraPlayers, TwoPlayersPlayTogetherAndAThirdProbes) {
    Media &m = Media::get();
    TestPlayer a;
    TestPlayer b;
    TestPlayer probe;
    a.openAndWaitForDuration(m.tone("a.mp3", 1.5, 44100, 2, 500));
    b.openAndWaitForDuration(m.tone("b.mp3", 1.5, 48000, 2, 700));
    a.N(KV_CMD_PLAY);
    b.N(KV_CMD_PLAY);
    EXPECT_EQ(probe.openAndWaitForDuration(m.tone("long.mp3", 30.0)), 30u);
    probe.N(KV_CMD_STOP);
    ASSERT_TRUE(a.waitForState(KV_PLAYER_STATE_EOS, 5s));
    ASSERT_TRUE(b.waitForState(KV_PLAYER_STATE_EOS, 5s));
    EXPECT_EQ(a.eventsWithCode(KV_NOTIFY_INPUT_TIMECODE).size(), 2u);
    EXPECT_EQ(b.eventsWithCode(KV_NOTIFY_INPUT_TIMECODE).size(), 2u);
}

TEST(KelvraPlayers, GaplessHandOverStartsTheNextPlayerAtTheEnd) {
    Media &m = Media::get();
    TestPlayer a;
    TestPlayer b;
    a.openAndWaitForDuration(m.tone("one.mp3", 1.2));
    b.openAndWaitForDuration(m.tone("next.mp3", 1.5, 44100, 2, 440));
    a.N(KV_CMD_PLAY);
    const auto end = a.waitForState(KV_PLAYER_STATE_EOS, 5s);
    ASSERT_TRUE(end);
    b.N(KV_CMD_PLAY);
    const auto playing = b.waitForState(KV_PLAYER_STATE_PLAYING, 1s);
    ASSERT_TRUE(playing);
    const auto first = b.waitForCode(KV_NOTIFY_INPUT_TIMECODE, 1s);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->msg.Data.TimeCode.S, 0u);
    EXPECT_LT(playing->when - end->when, 100ms);
    ASSERT_TRUE(b.waitForState(KV_PLAYER_STATE_EOS, 5s));
}

TEST(KelvraPlayers, DeletingPlayersMidSongIsClean) {
    Media &m = Media::get();
    for (int round = 0; round < 3; ++round) {
        TestPlayer p;
        p.openAndWaitForDuration(m.tone("long.mp3", 30.0));
        p.N(KV_CMD_PLAY);
        ASSERT_TRUE(p.waitForCode(KV_NOTIFY_INPUT_TIMECODE, 2s));
        // Commands still queued and notifications never dispatched are
        // released with the player.
        for (int i = 0; i < 50; ++i)
            p.I(KV_CMD_PING, i);
        p.destroy();
    }
}

TEST(KelvraPlayers, ManyNotificationsStayValidWhileDispatchedLate) {
    TestPlayer p;
    for (int i = 0; i < 500; ++i)
        p.S(KV_CMD_SET_OUTPUT_NAME, "name-" + std::to_string(i));
    p.sync();
    const auto names = p.eventsWithCode(KV_NOTIFY_OUTPUT_NAME);
    ASSERT_EQ(names.size(), 500u);
    EXPECT_EQ(names[499].text1, "name-499");
}

// --- feedback handler -------------------------------------------------------

namespace {

std::atomic<int> audioEvents{0};
std::atomic<int> lastChannels{0};
std::atomic<double> lastRms{0.0};
// Each event's position and loudness.
std::mutex heardMutex;
std::vector<std::pair<double, double>> heard;

int32_t nameMatch(const char *name) {
    return std::string(name) == "Visualisation" ? 0 : -1;
}
int32_t information(kv_feedback_information *, int32_t) {
    return 0;
}
int32_t nothing() {
    return 0;
}
int32_t audioEvent(void *, const KV_AudioEvent *event) {
    lastChannels = event->NB_Channels;
    lastRms = rms(event->Samples, static_cast<size_t>(event->NB_Samples) * event->NB_Channels);
    {
        std::lock_guard lock(heardMutex);
        heard.emplace_back(event->When.Seconds + event->When.MicroSeconds / 1e6, lastRms.load());
    }
    ++audioEvents;
    return 0;
}
int32_t initHandler(kv_feedback_table *table) {
    table->interface_version = KV_FEEDBACK_INTERFACE_VERSION;
    table->name_match = &nameMatch;
    table->information = &information;
    table->reserved_3 = table->reserved_4 = table->reserved_5 = table->reserved_6 = &nothing;
    table->audio_event = &audioEvent;
    return 0;
}

} // namespace

void installHandler(TestPlayer &p) {
    char location[64];
    std::snprintf(location, sizeof location, "function@%lX",
                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(&initHandler)));
    EXPECT_EQ(p.engine().send_S(p.handle(), KV_CMD_FEEDBACK_REGISTER, location), 0);
    p.S(KV_CMD_FEEDBACK_SELECT, "Visualisation");
    p.I(KV_CMD_FEEDBACK_SET_PERIOD, 40);
    p.N(KV_CMD_FEEDBACK_ENABLE);
    p.sync();
}

TEST(KelvraFeedback, HandlerReceivesDecodedAudioWhilePlaying) {
    TestPlayer p;
    installHandler(p);
    EXPECT_TRUE(p.eventsWithCode(KV_NOTIFY_NACK).empty());
    // A text that is no location is refused by the send itself.
    EXPECT_NE(p.engine().send_S(p.handle(), KV_CMD_FEEDBACK_REGISTER, "function@xyz"), 0);
    // An address outside any loaded code is refused, not called.
    p.S(KV_CMD_FEEDBACK_REGISTER, "function@10");
    const auto refused = p.waitForCode(KV_NOTIFY_NACK);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->msg.Data.Nack.Command, KV_CMD_FEEDBACK_REGISTER);

    audioEvents = 0;
    p.openAndWaitForDuration(Media::get().tone("one.mp3", 1.2));
    EXPECT_EQ(audioEvents.load(), 0) << "nothing before Play";
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS, 5s));
    // 1.2 s at one event per 40 ms.
    EXPECT_GE(audioEvents.load(), 15);
    EXPECT_LE(audioEvents.load(), 40);
    EXPECT_EQ(lastChannels.load(), 2);
    EXPECT_GT(lastRms.load(), 5000.0);
}

// Decoding runs ahead of the sound; the handler must be given what is heard.
TEST(KelvraFeedback, HandlerGetsTheAudioBeingHeardNotTheAudioDecodedAhead) {
    const std::string song = Media::get().path("quiet-then-tone.mp3");
    ASSERT_TRUE(Media::run("sox -n -r 44100 -c 2 -b 16 '" + song +
                           ".wav' synth 1 sine 1000 vol 0.5 "
                           "pad 1 0 && lame --quiet -b 128 '" +
                           song + ".wav' '" + song + "'"));
    TestPlayer p;
    installHandler(p);
    p.openAndWaitForDuration(song);
    {
        std::lock_guard lock(heardMutex);
        heard.clear();
    }
    p.N(KV_CMD_PLAY);
    ASSERT_TRUE(p.waitForState(KV_PLAYER_STATE_EOS, 5s));
    std::lock_guard lock(heardMutex);
    ASSERT_GE(heard.size(), 30u) << "25 a second";
    // One event holds 1152 frames (26 ms): those ending before the tone are
    // quiet, those from its start on are loud.
    int quietJustBefore = 0;
    for (const auto &[when, loudness] : heard) {
        if (when + 0.03 < 0.97) {
            EXPECT_LT(loudness, 300.0) << "at " << when << " s";
            quietJustBefore += when > 0.75 ? 1 : 0;
        } else if (when >= 1.0) {
            EXPECT_GT(loudness, 5000.0) << "at " << when << " s";
        }
    }
    EXPECT_GE(quietJustBefore, 3) << "the last fifth of a second before the tone is quiet too";
}

TEST(KelvraAnalyzer, SpectrumPeaksAtTheTonesBand) {
    Engine &e = Engine::get();
    kv_fft_analyzer *analyzer = nullptr;
    ASSERT_EQ(e.fft_new(&analyzer), 0);
    ASSERT_NE(analyzer, nullptr);
    // A full-scale sine centred on bin 16 (band 15).
    std::vector<int16_t> samples(128);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(
            32000.0 * std::sin(2.0 * std::numbers::pi * 16.0 * static_cast<double>(i) / 128.0));
    e.fft_set_samples(analyzer, samples.data(), 128);
    uint8_t spectrum[65] = {};
    e.fft_get_spectrum(analyzer, spectrum, 64);
    const auto peak = std::max_element(spectrum, spectrum + 64) - spectrum;
    EXPECT_EQ(peak, 15);
    EXPECT_GE(spectrum[15], 250) << "full scale reads near 255";
    EXPECT_LT(spectrum[40], spectrum[15] / 2);
    EXPECT_EQ(spectrum[64], 0) << "never more than 64 bands";

    // Silence is the bottom of the scale; fewer bands take the loudest bin.
    std::vector<int16_t> silence(128, 0);
    e.fft_set_samples(analyzer, silence.data(), 128);
    e.fft_get_spectrum(analyzer, spectrum, 64);
    EXPECT_EQ(*std::max_element(spectrum, spectrum + 64), 0);
    e.fft_set_samples(analyzer, samples.data(), 1152); // more than 128: takes 128
    e.fft_get_spectrum(analyzer, spectrum, 16);
    EXPECT_EQ(std::max_element(spectrum, spectrum + 16) - spectrum, 3);

    // Interpolation of stereo frames onto the analyser's 128 points.
    std::vector<int16_t> stereo(512);
    for (size_t i = 0; i < 256; ++i)
        stereo[2 * i] = stereo[2 * i + 1] = samples[i % 128];
    e.fft_interpolate_signed(analyzer, stereo.data(), 256, 2);
    e.fft_get_spectrum(analyzer, spectrum, 64);
    EXPECT_EQ(std::max_element(spectrum, spectrum + 64) - spectrum, 31);

    EXPECT_EQ(e.fft_delete(&analyzer), 1);
    EXPECT_EQ(analyzer, nullptr);
    EXPECT_NE(e.fft_delete(&analyzer), 1) << "nothing left to delete";
}

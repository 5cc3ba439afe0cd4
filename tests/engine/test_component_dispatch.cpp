// Notification dispatch: engine messages posted by the double arrive through the
// hidden window as one raw and at most one typed event each, in order.
#include "KelvraSpectrum.h"
#include "engine_double.h"
#include "hidden_window.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

using velbrin::engine::TKelvraSpectrum;
using velbrin::test::doublePath;
using velbrin::test::EngineDouble;

namespace {

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override {
        c = std::make_unique<TKelvraSpectrum>();
        c->setKelvraPath(doublePath());
        ASSERT_TRUE(c->Init());
        player = engine.lastPlayer();
        ASSERT_NE(player, nullptr);
        QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyMessage,
                         [this](TKelvraSpectrum *s, KV_Message &m) {
                             EXPECT_EQ(s, c.get());
                             events.push_back("raw " + std::to_string(m.Code));
                         });
    }
    void post(const KV_Message &m) {
        engine.post(player, m);
        QCoreApplication::processEvents();
    }
    static KV_Message msg(int32_t code) {
        KV_Message m{};
        m.Code = code;
        return m;
    }

    EngineDouble engine;
    std::unique_ptr<TKelvraSpectrum> c;
    kv_player *player = nullptr;
    std::vector<std::string> events;
};

} // namespace

TEST_F(Dispatch, RawEventComesBeforeTypedEventInPostingOrder) {
    QObject::connect(
        c.get(), &TKelvraSpectrum::OnNotifyPlayerState,
        [this](TKelvraSpectrum *, int s) { events.push_back("state " + std::to_string(s)); });
    KV_Message a = msg(KV_NOTIFY_PLAYER_STATE);
    a.Data.State = 1;
    KV_Message b = msg(KV_NOTIFY_PLAYER_STATE);
    b.Data.State = 3;
    engine.post(player, a);
    engine.post(player, b);
    QCoreApplication::processEvents();
    EXPECT_EQ(events, (std::vector<std::string>{"raw 78", "state 1", "raw 78", "state 3"}));
}

TEST_F(Dispatch, RawHandlerMayChangeTheCode) {
    bool exited = false;
    bool state = false;
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyMessage,
                     [](TKelvraSpectrum *, KV_Message &m) { m.Code = KV_NOTIFY_EXITED; });
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyExited,
                     [&](TKelvraSpectrum *) { exited = true; });
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyPlayerState,
                     [&](TKelvraSpectrum *, int) { state = true; });
    post(msg(KV_NOTIFY_PLAYER_STATE));
    EXPECT_TRUE(exited);
    EXPECT_FALSE(state);
}

TEST_F(Dispatch, CodesWithoutEventRaiseOnlyTheRawEvent) {
    int typed = 0;
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyOutputCaps,
                     [&](TKelvraSpectrum *, uint32_t) { ++typed; });
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyOutputVolume,
                     [&](TKelvraSpectrum *, uint8_t, uint8_t, uint8_t) { ++typed; });
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyReady, [&](TKelvraSpectrum *) { ++typed; });
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyError,
                     [&](TKelvraSpectrum *, uint8_t, int16_t, const std::string &) { ++typed; });
    for (int32_t code : {96, 97, 98, 99, 72, 124, 0, -1}) {
        post(msg(code));
    }
    EXPECT_EQ(typed, 0);
    EXPECT_EQ(events.size(), 8u);
}

TEST_F(Dispatch, PayloadsAreUnpackedFromTheirOffsets) {
    std::vector<std::string> got;
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyOutputVolume,
                     [&](TKelvraSpectrum *, uint8_t m, uint8_t p, uint8_t b) {
                         got.push_back("volume " + std::to_string(m) + " " + std::to_string(p) +
                                       " " + std::to_string(b));
                     });
    QObject::connect(
        c.get(), &TKelvraSpectrum::OnNotifyOutputBalance,
        [&](TKelvraSpectrum *, uint8_t b) { got.push_back("balance " + std::to_string(b)); });
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyInputTimecode,
                     [&](TKelvraSpectrum *, uint8_t h, uint8_t m, uint8_t s, uint8_t f) {
                         got.push_back("time " + std::to_string(h) + ":" + std::to_string(m) + ":" +
                                       std::to_string(s) + "." + std::to_string(f));
                     });
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyOutputFilterInfo,
                     [&](TKelvraSpectrum *, uint8_t id, const std::string &n) {
                         got.push_back("filter " + std::to_string(id) + " [" + n + "]");
                     });
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyNack,
                     [&](TKelvraSpectrum *, uint8_t cmd, int16_t code) {
                         got.push_back("nack " + std::to_string(cmd) + " " + std::to_string(code));
                     });
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyStreamParameters,
                     [&](TKelvraSpectrum *, uint32_t f, int16_t b, uint8_t ch) {
                         got.push_back("params " + std::to_string(f) + " " + std::to_string(b) +
                                       " " + std::to_string(ch));
                     });
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyInputPosition,
                     [&](TKelvraSpectrum *, uint32_t o, uint32_t r) {
                         got.push_back("pos " + std::to_string(o) + "/" + std::to_string(r));
                     });
    QObject::connect(
        c.get(), &TKelvraSpectrum::OnNotifyOutputPorts,
        [&](TKelvraSpectrum *, uint32_t p) { got.push_back("ports " + std::to_string(p)); });

    KV_Message m = msg(KV_NOTIFY_OUTPUT_VOLUME);
    const uint8_t bytes[3] = {0x63, 0x32, 0x00};
    std::memcpy(&m.Data.Volume, bytes, 3);
    post(m);
    m = msg(KV_NOTIFY_OUTPUT_BALANCE);
    m.Data.Volume.Balance = -1; // a signed byte reaches the event as its bit pattern
    post(m);
    m = msg(KV_NOTIFY_INPUT_TIMECODE);
    const uint8_t tc[4] = {0, 3, 25, 7};
    std::memcpy(&m.Data.TimeCode, tc, 4);
    post(m);
    m = msg(KV_NOTIFY_OUTPUT_FILTER_INFO);
    m.Data.Filter_Info.ID = 0x0102;
    m.Data.Filter_Info.Name = nullptr;
    post(m);
    m = msg(KV_NOTIFY_NACK);
    m.Data.Nack.Command = 8;
    m.Data.Nack.Code = -7;
    post(m);
    m = msg(KV_NOTIFY_STREAM_PARAMETERS);
    m.Data.Stream_Parameters = {44100, 128, 2};
    post(m);
    m = msg(KV_NOTIFY_INPUT_POSITION);
    m.Data.Position = {200, 400};
    post(m);
    m = msg(KV_NOTIFY_OUTPUT_PORTS);
    m.Data.Ports = 0xAB;
    post(m);

    EXPECT_EQ(got, (std::vector<std::string>{"volume 99 50 0", "balance 255", "time 0:3:25.7",
                                             "filter 2 []", "nack 8 -7", "params 44100 128 2",
                                             "pos 200/400", "ports 171"}));
}

TEST_F(Dispatch, TextsAreCopiedAndNullTextsAreEmpty) {
    std::vector<std::string> got;
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyInputName,
                     [&](TKelvraSpectrum *, const std::string &n) { got.push_back(n); });
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyOutputModuleInfo,
                     [&](TKelvraSpectrum *, uint8_t id, uint8_t n, const std::string &name,
                         const std::string &d) {
                         got.push_back(std::to_string(id) + "," + std::to_string(n) + "," + name +
                                       "," + d);
                     });
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyPlayerEnvironmentString,
                     [&](TKelvraSpectrum *, const std::string &n, const std::string &v) {
                         got.push_back(n + "=" + v);
                     });
    KV_Message m = msg(KV_NOTIFY_INPUT_NAME);
    m.Data.Name = "/music/song.mp3";
    post(m);
    m.Data.Name = nullptr;
    post(m);
    m = msg(KV_NOTIFY_OUTPUT_MODULE_INFO);
    m.Data.Module_Info = {1, 2, "dsound", nullptr};
    post(m);
    m = msg(KV_NOTIFY_PLAYER_ENVIRONMENT_STRING);
    m.Data.Environment_Info.Name = "K";
    m.Data.Environment_Info.Value.String_Value = nullptr;
    post(m);
    EXPECT_EQ(got, (std::vector<std::string>{"/music/song.mp3", "", "1,2,dsound,", "K="}));
}

TEST_F(Dispatch, EqualizerRecordIsPassedByReference) {
    KV_EqualizerInfo engineRecord{};
    engineRecord.Right[31] = -80;
    int8_t seen = 0;
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyCodecEqualizer,
                     [&](TKelvraSpectrum *, KV_EqualizerInfo &e) {
                         seen = e.Right[31];
                         e.Left[0] = 5;
                     });
    KV_Message m = msg(KV_NOTIFY_CODEC_EQUALIZER);
    m.Data.Equalizer = &engineRecord;
    post(m);
    EXPECT_EQ(seen, -80);
    EXPECT_EQ(engineRecord.Left[0], 5);
}

TEST_F(Dispatch, MessagesBelowTheEngineRangeGetDefaultProcessing) {
    EXPECT_EQ(c->hiddenWindow().send(0x0400, 1, 2), 0);
    EXPECT_EQ(c->hiddenWindow().send(0x8FFF, 1, 2), 0);
    // A message in the engine range that the engine does not claim is no event.
    EXPECT_EQ(c->hiddenWindow().send(KV_WM_NOTIFY_BASE + 500, 0, 0), 0);
    EXPECT_TRUE(events.empty());
}

TEST_F(Dispatch, AnotherPlayersNotificationIsNotClaimed) {
    TKelvraSpectrum other;
    other.setKelvraPath(doublePath());
    other.Init();
    kv_player *otherPlayer = engine.lastPlayer();
    ASSERT_NE(otherPlayer, player);
    std::vector<int> mine;
    std::vector<int> theirs;
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyPong,
                     [&](TKelvraSpectrum *, uint32_t t) { mine.push_back(static_cast<int>(t)); });
    QObject::connect(&other, &TKelvraSpectrum::OnNotifyPong,
                     [&](TKelvraSpectrum *, uint32_t t) { theirs.push_back(static_cast<int>(t)); });
    KV_Message m = msg(KV_NOTIFY_PONG);
    m.Data.Tag = 11;
    engine.post(player, m);
    m.Data.Tag = 22;
    engine.post(otherPlayer, m);
    QCoreApplication::processEvents();
    EXPECT_EQ(mine, std::vector<int>{11});
    EXPECT_EQ(theirs, std::vector<int>{22});
}

TEST_F(Dispatch, ListenersConnectAndDisconnectIndependently) {
    std::vector<std::string> heard;
    auto first = QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyStreamDuration,
                                  [&](TKelvraSpectrum *s, uint32_t d) {
                                      EXPECT_EQ(s, c.get());
                                      heard.push_back("first " + std::to_string(d));
                                  });
    QObject::connect(
        c.get(), &TKelvraSpectrum::OnNotifyStreamDuration,
        [&](TKelvraSpectrum *, uint32_t d) { heard.push_back("second " + std::to_string(d)); });
    KV_Message m = msg(KV_NOTIFY_STREAM_DURATION);
    m.Data.Duration = 7;
    post(m);
    QObject::disconnect(first);
    m.Data.Duration = 8;
    post(m);
    EXPECT_EQ(heard, (std::vector<std::string>{"first 7", "second 7", "second 8"}));
}

TEST_F(Dispatch, HandlerExceptionIsReportedAndLaterMessagesStillArrive) {
    std::string reported;
    velbrin::platform::HiddenWindow::setErrorReporter([&](const char *what) { reported = what; });
    int states = 0;
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyPlayerState, [&](TKelvraSpectrum *, int s) {
        ++states;
        if (s == 1) {
            throw std::runtime_error("handler failed");
        }
    });
    KV_Message m = msg(KV_NOTIFY_PLAYER_STATE);
    m.Data.State = 1;
    engine.post(player, m);
    m.Data.State = 0;
    engine.post(player, m);
    QCoreApplication::processEvents();
    velbrin::platform::HiddenWindow::setErrorReporter(nullptr);
    EXPECT_EQ(reported, "handler failed");
    EXPECT_EQ(states, 2);
}

TEST_F(Dispatch, NotificationsPostedFromOtherThreadsKeepTheirOrder) {
    std::vector<uint32_t> tags;
    QObject::connect(c.get(), &TKelvraSpectrum::OnNotifyPong,
                     [&](TKelvraSpectrum *, uint32_t t) { tags.push_back(t); });
    std::thread t([&] {
        for (uint32_t i = 0; i < 200; ++i) {
            KV_Message m = msg(KV_NOTIFY_PONG);
            m.Data.Tag = i;
            engine.post(player, m);
        }
    });
    t.join();
    QCoreApplication::processEvents();
    ASSERT_EQ(tags.size(), 200u);
    for (uint32_t i = 0; i < 200; ++i) {
        EXPECT_EQ(tags[i], i);
    }
}

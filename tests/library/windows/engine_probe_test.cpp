// The engine-backed duration probe against the engine test double: what it
// sends to the third player and how the duration report reaches the queue.
#include "EngineDurationProbe.h"
#include "KelvraSpectrum.h"
#include "engine_double.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

using velbrin::engine::TKelvraSpectrum;
using velbrin::library::DurationQueue;
using velbrin::library::EngineDurationProbe;
using velbrin::test::doublePath;
using velbrin::test::EngineDouble;

namespace {

class LibraryEngineProbe : public ::testing::Test {
protected:
    void SetUp() override {
        player.setKelvraPath(doublePath());
        ASSERT_TRUE(player.Init());
        kv_player *mine = engine.lastPlayer();
        ASSERT_NE(mine, nullptr);
        for (int i = 1; i < 1000; ++i) {
            if (engine.player(i) == mine) {
                tag = " #" + std::to_string(i) + " ";
            }
        }
        self = mine;
        engine.reset();
    }
    // The commands sent to this player since the last call, e.g. "8 '/a.mp3'".
    std::vector<std::string> takeSends() {
        std::vector<std::string> out;
        for (const auto &line : engine.log()) {
            const auto at = line.find(tag);
            if (line.rfind("send_", 0) == 0 && at != std::string::npos) {
                out.push_back(line.substr(at + tag.size()));
            }
        }
        engine.reset();
        return out;
    }
    void reportDuration(uint32_t seconds) {
        KV_Message m{};
        m.Code = KV_NOTIFY_STREAM_DURATION;
        m.Data.Duration = seconds;
        engine.post(self, m);
        QCoreApplication::processEvents();
    }
    static void waitUntilIdle(const DurationQueue &queue) {
        QElapsedTimer clock;
        clock.start();
        while (queue.isBusy() && clock.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        }
    }

    EngineDouble engine;
    TKelvraSpectrum player;
    kv_player *self = nullptr;
    std::string tag;
};

} // namespace

TEST_F(LibraryEngineProbe, OpensMutedBeforePlayingAndStopsOnTheDuration) {
    int otherListenerCalls = 0;
    QObject::connect(&player, &TKelvraSpectrum::OnNotifyStreamDuration,
                     [&](TKelvraSpectrum *, uint32_t) { ++otherListenerCalls; });
    EngineDurationProbe probe(player);
    DurationQueue queue(probe);
    probe.attach(queue);

    queue.enqueue(QStringLiteral("/music/first.mp3"));
    const std::vector<std::string> start = takeSends();
    const std::vector<std::string> expectedStart = {"6", "8 '/music/first.mp3'", "20", "5", "4"};
    EXPECT_EQ(start, expectedStart);

    reportDuration(125);
    EXPECT_EQ(queue.PlaylistTotalSeconds(), 125);
    EXPECT_FALSE(queue.isBusy());
    const std::vector<std::string> expectedEnd = {"5", "6", "9"};
    EXPECT_EQ(takeSends(), expectedEnd);
    EXPECT_EQ(otherListenerCalls, 1);

    // Nothing is being measured now: a stray report adds nothing.
    reportDuration(50);
    EXPECT_EQ(queue.PlaylistTotalSeconds(), 125);
}

TEST_F(LibraryEngineProbe, SongsWithoutAReportRunIntoTheLimitOneAfterAnother) {
    EngineDurationProbe probe(player);
    DurationQueue queue(probe, std::chrono::milliseconds(30));
    probe.attach(queue);

    queue.enqueue(QStringList{QStringLiteral("/m/a.mp3"), QStringLiteral("/m/b.mp3")});
    waitUntilIdle(queue);
    EXPECT_EQ(queue.errantalplayedforduration(),
              (QStringList{QStringLiteral("/m/a.mp3"), QStringLiteral("/m/b.mp3")}));
    const std::vector<std::string> expected = {"6", "8 '/m/a.mp3'", "20", "5", "4", "5", "6", "9",
                                               "6", "8 '/m/b.mp3'", "20", "5", "4", "5", "6", "9"};
    EXPECT_EQ(takeSends(), expected);
}

TEST_F(LibraryEngineProbe, AnEngineThatCannotBeLoadedDoesNotWedgeTheQueue) {
    TKelvraSpectrum broken;
    broken.setKelvraPath("/nonexistent/libkelvra.so");
    EngineDurationProbe probe(broken);
    DurationQueue queue(probe, std::chrono::milliseconds(20));
    probe.attach(queue);

    queue.enqueue(QStringList{QStringLiteral("/m/a.mp3"), QStringLiteral("/m/b.mp3")});
    waitUntilIdle(queue);
    EXPECT_FALSE(probe.lastError().empty());
    EXPECT_EQ(queue.errantalplayedforduration().size(), 2);
}

TEST_F(LibraryEngineProbe, AnotherListenerKeepsHearingWhenTheProbeGoes) {
    int otherListenerCalls = 0;
    QObject::connect(&player, &TKelvraSpectrum::OnNotifyStreamDuration,
                     [&](TKelvraSpectrum *, uint32_t) { ++otherListenerCalls; });
    {
        EngineDurationProbe probe(player);
        DurationQueue queue(probe);
        probe.attach(queue);
        probe.attach(queue); // attaching again adds no second listener
        queue.enqueue(QStringLiteral("/m/a.mp3"));
        reportDuration(10);
        EXPECT_EQ(queue.PlaylistTotalSeconds(), 10);
    }
    reportDuration(20);
    EXPECT_EQ(otherListenerCalls, 2);
}

TEST_F(LibraryEngineProbe, EitherSideMayGoFirst) {
    {
        auto doomed = std::make_unique<TKelvraSpectrum>();
        doomed->setKelvraPath(doublePath());
        ASSERT_TRUE(doomed->Init());
        EngineDurationProbe probe(*doomed);
        DurationQueue queue(probe, std::chrono::milliseconds(20));
        probe.attach(queue);
        doomed.reset();
        queue.enqueue(QStringLiteral("/m/a.mp3")); // nothing left to send to
        waitUntilIdle(queue);
        EXPECT_EQ(queue.errantalplayedforduration().size(), 1);
    }
    EngineDurationProbe probe(player);
    {
        DurationQueue queue(probe);
        probe.attach(queue);
        queue.enqueue(QStringLiteral("/m/b.mp3"));
    }
    takeSends();
    reportDuration(10); // reaches no queue, so nothing is stopped
    EXPECT_EQ(takeSends().size(), 0u);
}

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

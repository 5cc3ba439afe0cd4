#include "FrameTimer.h"

#include <QElapsedTimer>
#include <QTest>

#include <algorithm>

#include <gtest/gtest.h>

#include <vector>

namespace {

// The moments a timer fired, in microseconds from the start.
struct Ticks {
    std::vector<qint64> at;
    void follow(FrameTimer &timer, const QElapsedTimer &clock) {
        QObject::connect(&timer, &FrameTimer::timeout,
                         [this, &clock] { at.push_back(clock.nsecsElapsed() / 1000); });
    }
};

} // namespace

TEST(FrameTimer, TimersOfTwoRatesKeepTheirRatesAndFireTogether) {
    QElapsedTimer clock;
    clock.start();
    FrameTimer fast;
    FrameTimer slow;
    fast.setInterval(25);
    slow.setInterval(40);
    Ticks fastTicks;
    Ticks slowTicks;
    fastTicks.follow(fast, clock);
    slowTicks.follow(slow, clock);
    fast.start();
    slow.start();
    QTest::qWait(1000);
    fast.stop();
    slow.stop();
    // A loaded machine runs late, never early.
    EXPECT_LE(fastTicks.at.size(), 41u);
    EXPECT_GE(fastTicks.at.size(), 20u);
    EXPECT_LE(slowTicks.at.size(), 26u);
    EXPECT_GE(slowTicks.at.size(), 12u);
    // Every tick of the slow timer falls on a tick of the fast one: on the
    // same beat, a moment after it, where the beats are 25 ms apart.
    for (qint64 t : slowTicks.at) {
        EXPECT_TRUE(std::any_of(fastTicks.at.begin(), fastTicks.at.end(),
                                [t](qint64 f) { return f <= t && t - f < 2000; }))
            << "at " << t / 1000 << " ms";
    }

    const size_t stopped = slowTicks.at.size();
    QTest::qWait(100);
    EXPECT_EQ(slowTicks.at.size(), stopped) << "stopped";
    EXPECT_FALSE(slow.isActive());
}

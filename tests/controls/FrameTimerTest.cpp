#include "FrameTimer.h"

#include <QElapsedTimer>
#include <QTest>

#include <algorithm>

#include <gtest/gtest.h>

#include <vector>

namespace {

// The moments a timer fired, in milliseconds from the start.
struct Ticks {
    std::vector<qint64> at;
    void follow(FrameTimer &timer, const QElapsedTimer &clock) {
        QObject::connect(&timer, &FrameTimer::timeout,
                         [this, &clock] { at.push_back(clock.elapsed()); });
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
    // Every tick of the slow timer falls on a tick of the fast one.
    for (qint64 t : slowTicks.at) {
        EXPECT_NE(std::find(fastTicks.at.begin(), fastTicks.at.end(), t), fastTicks.at.end())
            << "at " << t << " ms";
    }

    const size_t stopped = slowTicks.at.size();
    QTest::qWait(100);
    EXPECT_EQ(slowTicks.at.size(), stopped) << "stopped";
    EXPECT_FALSE(slow.isActive());
}

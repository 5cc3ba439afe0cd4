#include "FrameTimer.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <vector>

using Clock = std::chrono::steady_clock;

// The beat of one thread: a precise timer at the shortest interval of the
// frame timers that run.
class FrameBeat : public QObject {
public:
    static FrameBeat &forThisThread() {
        thread_local FrameBeat beat;
        return beat;
    }

    void add(FrameTimer *timer) {
        if (std::find(running_.begin(), running_.end(), timer) == running_.end())
            running_.push_back(timer);
        retune();
    }
    void remove(FrameTimer *timer) {
        std::erase(running_, timer);
        retune();
    }
    void retune() {
        int shortest = 0;
        for (const FrameTimer *t : running_)
            shortest = shortest == 0 ? t->interval_ : std::min(shortest, t->interval_);
        if (shortest == 0) {
            timer_.stop();
            return;
        }
        if (!timer_.isActive() || timer_.interval() != shortest)
            timer_.start(shortest);
    }

private:
    FrameBeat() {
        timer_.setTimerType(Qt::PreciseTimer);
        connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
    }

    void tick() {
        const Clock::time_point now = Clock::now();
        // Half a beat early is nearer than half a beat late.
        const auto half = std::chrono::milliseconds(timer_.interval()) / 2;
        // A handler may stop or start timers; the ones due now are taken first.
        std::vector<QPointer<FrameTimer>> due;
        for (FrameTimer *t : running_) {
            if (now + half < t->due_)
                continue;
            const auto step = std::chrono::milliseconds(t->interval_);
            t->due_ += step;
            // Late by more than a step (a busy thread): no catching up.
            if (t->due_ + step < now)
                t->due_ = now + step;
            due.emplace_back(t);
        }
        for (const QPointer<FrameTimer> &t : due)
            if (t != nullptr && t->active_)
                emit t->timeout();
    }

    QTimer timer_;
    std::vector<FrameTimer *> running_;
};

FrameTimer::FrameTimer(QObject *parent) : QObject(parent) {}

FrameTimer::~FrameTimer() {
    stop();
}

void FrameTimer::setInterval(int milliseconds) {
    milliseconds = std::max(milliseconds, 1);
    if (milliseconds == interval_)
        return;
    interval_ = milliseconds;
    if (active_) {
        due_ = Clock::now() + std::chrono::milliseconds(interval_);
        FrameBeat::forThisThread().retune();
    }
}

void FrameTimer::start() {
    if (interval_ == 0)
        interval_ = 1;
    active_ = true;
    due_ = Clock::now() + std::chrono::milliseconds(interval_);
    FrameBeat::forThisThread().add(this);
}

void FrameTimer::stop() {
    if (!active_)
        return;
    active_ = false;
    FrameBeat::forThisThread().remove(this);
}

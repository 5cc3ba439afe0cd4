#pragma once

#include <QObject>

#include <chrono>

// A timer for what a window animates. All frame timers of a thread run on one
// beat, the interval of the fastest that runs, and each fires on the beat
// nearest its own due time, so that animations which move in the same frame
// are painted in one pass and sent to the screen together and the program
// wakes once for all of them. On average each fires at its own interval; a
// timer alone on the beat fires exactly at it.
//
// Threads: a timer belongs to the thread that made it and ticks there.
class FrameTimer : public QObject {
    Q_OBJECT
public:
    explicit FrameTimer(QObject *parent = nullptr);
    ~FrameTimer() override;

    void setInterval(int milliseconds);
    int interval() const { return interval_; }
    void start();
    void stop();
    bool isActive() const { return active_; }

signals:
    void timeout();

private:
    friend class FrameBeat;

    int interval_ = 0;
    bool active_ = false;
    std::chrono::steady_clock::time_point due_;
};

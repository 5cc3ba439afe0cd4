#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <cstdint>

namespace velbrin::library {

// The player that measures song durations. The window plugs in the third engine
// player; tests plug in a fake. An implementation opens the song muted, since a
// moment of it plays before the duration is known, and reports the duration by
// calling `DurationQueue::durationReported`.
class DurationProbe {
public:
    virtual ~DurationProbe() = default;
    // Stop, open `path`, pause, then play muted until a duration is reported.
    virtual void begin(const QString &path) = 0;
    // Pause, stop and close the input.
    virtual void end() = 0;
};

// "%.2d:%.2d:%.2d" over hours (not wrapped at 24), minutes and seconds.
QString formatPlaytime(std::int64_t totalSeconds);

// Measures songs one after another, each with a time limit (2 s unless told),
// and keeps the playlist total `PlaylistTotalSeconds`. Waiting is asynchronous:
// the song list can change while songs are measured and is never touched here,
// so commands given meanwhile cannot put its lists out of step.
// Lives on the GUI thread; `durationReported` must be called there too.
class DurationQueue : public QObject {
    Q_OBJECT
public:
    explicit DurationQueue(DurationProbe &probe,
                           std::chrono::milliseconds limit = std::chrono::milliseconds(2000),
                           QObject *parent = nullptr);
    ~DurationQueue() override;

    void enqueue(const QString &path);
    void enqueue(const QStringList &paths);
    // Drops the waiting songs and the one being measured.
    void cancel();
    bool isBusy() const { return measuring_; }

    // The probe's `OnNotifyStreamDuration`. A report while nothing is being
    // measured is ignored.
    void durationReported(std::int64_t seconds);

    std::int64_t PlaylistTotalSeconds() const { return total_; }
    // "Clear list" and "Update total Playingtime" start again from 0.
    void resetTotal();

    // Songs whose duration did not come in time, since the last clear.
    const QStringList &errantalplayedforduration() const { return errant_; }
    void clearErrant() { errant_.clear(); }

signals:
    void totalChanged(std::int64_t totalSeconds);
    // The queue ran empty (not emitted by `cancel`).
    void finished();

private:
    void startNext();
    void timedOut();

    DurationProbe &probe_;
    QTimer timer_;
    QStringList waiting_;
    QString current_;
    bool measuring_ = false;
    bool starting_ = false;
    std::int64_t total_ = 0;
    QStringList errant_;
};

} // namespace velbrin::library

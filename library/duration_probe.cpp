#include "duration_probe.h"

namespace velbrin::library {

QString formatPlaytime(std::int64_t totalSeconds) {
    const std::int64_t hours = totalSeconds / 3600;
    const std::int64_t minutes = (totalSeconds % 3600) / 60;
    const std::int64_t seconds = totalSeconds % 60;
    return QStringLiteral("%1:%2:%3")
        .arg(hours, 2, 10, QLatin1Char('0'))
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'));
}

DurationQueue::DurationQueue(DurationProbe &probe, std::chrono::milliseconds limit, QObject *parent)
    : QObject(parent), probe_(probe) {
    timer_.setSingleShot(true);
    timer_.setInterval(limit);
    connect(&timer_, &QTimer::timeout, this, &DurationQueue::timedOut);
}

DurationQueue::~DurationQueue() {
    if (measuring_) {
        probe_.end();
    }
}

void DurationQueue::enqueue(const QString &path) {
    waiting_.append(path);
    if (!measuring_) {
        startNext();
    }
}

void DurationQueue::enqueue(const QStringList &paths) {
    waiting_.append(paths);
    if (!measuring_ && !waiting_.isEmpty()) {
        startNext();
    }
}

void DurationQueue::cancel() {
    waiting_.clear();
    timer_.stop();
    if (measuring_) {
        measuring_ = false;
        current_.clear();
        probe_.end();
    }
}

void DurationQueue::resetTotal() {
    total_ = 0;
    emit totalChanged(total_);
}

void DurationQueue::durationReported(std::int64_t seconds) {
    if (!measuring_) {
        return;
    }
    timer_.stop();
    measuring_ = false;
    current_.clear();
    probe_.end();
    if (seconds > 0) {
        total_ += seconds;
    }
    emit totalChanged(total_);
    startNext();
}

void DurationQueue::timedOut() {
    if (!measuring_) {
        return;
    }
    errant_.append(current_);
    measuring_ = false;
    current_.clear();
    probe_.end();
    startNext();
}

void DurationQueue::startNext() {
    // A probe may report during `begin`; the loop then goes on here instead of
    // recursing once per song.
    if (starting_) {
        return;
    }
    while (!measuring_) {
        if (waiting_.isEmpty()) {
            emit finished();
            return;
        }
        current_ = waiting_.takeFirst();
        measuring_ = true;
        timer_.start();
        starting_ = true;
        probe_.begin(current_);
        starting_ = false;
    }
}

} // namespace velbrin::library

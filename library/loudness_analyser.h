#pragma once

#include "loudness.h"

#include <QHash>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace velbrin::library {

// Measures the loudness of added songs in the background, one at a time on a
// thread of the lowest priority, and keeps what it measured in a cache file
// keyed by path, size and modification time, so a song is measured once. A
// song whose tags give its gain (and, to be made louder, its peak) is not
// measured.
//
// Locking: `mutex_` guards the queue, the results, `busy_` and `quit_`. The
// worker holds it only to take a path and to store a result, never while it
// reads or decodes a file; the cache file is appended by the worker alone and
// rewritten only by the constructor, before the worker starts.
class LoudnessAnalyser {
public:
    // An empty `cacheFile` keeps nothing between runs.
    explicit LoudnessAnalyser(QString cacheFile);
    ~LoudnessAnalyser();
    LoudnessAnalyser(const LoudnessAnalyser &) = delete;
    LoudnessAnalyser &operator=(const LoudnessAnalyser &) = delete;

    // Queues a song after those already waiting, unless it is waiting already;
    // one measured already is looked up and left.
    void enqueue(const QString &path);

    // What is known now: the song's ReplayGain tags and LAME header (read
    // now), else what was measured. Any thread.
    LoudnessInfo infoFor(const QString &path);

    // Waits until the queue is empty and nothing is being measured; true when
    // that happened within `timeout`.
    bool waitUntilIdle(std::chrono::milliseconds timeout);

    // The per-user cache file the program uses.
    static QString defaultCacheFile();

private:
    struct Entry {
        qint64 size = 0;
        qint64 modified = 0; // ms since the epoch
        LoudnessMeasurement measurement;
    };

    void run();
    void load();
    void append(const QString &path, const Entry &entry);
    std::optional<LoudnessMeasurement> lookup(const QString &path, qint64 size,
                                              qint64 modified) const;

    QString cacheFile_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<QString> queue_;
    std::set<QString> queued_;
    QHash<QString, Entry> results_;
    bool busy_ = false;
    std::atomic<bool> quit_{false};
    std::thread worker_; // last: starts once everything above exists
};

} // namespace velbrin::library

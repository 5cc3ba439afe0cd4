#include "loudness_analyser.h"

#include "song_tags.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace velbrin::library {

namespace {

struct FileKey {
    bool exists = false;
    qint64 size = 0;
    qint64 modified = 0;
};

FileKey keyOf(const QString &path) {
    const QFileInfo info(path);
    if (!info.isFile()) {
        return {};
    }
    return {true, info.size(), info.lastModified().toMSecsSinceEpoch()};
}

// One line per measurement: size, modification time, loudness ("-" for
// none), true peak and the percent-encoded path, tab-separated.
QByteArray lineFor(const QString &path, qint64 size, qint64 modified,
                   const LoudnessMeasurement &m) {
    const QByteArray lufs =
        m.integratedLufs ? QByteArray::number(*m.integratedLufs, 'f', 3) : QByteArray("-");
    return QByteArray::number(size) + '\t' + QByteArray::number(modified) + '\t' + lufs + '\t' +
           QByteArray::number(m.truePeak, 'f', 6) + '\t' + path.toUtf8().toPercentEncoding() + '\n';
}

void lowestPriority() {
    // Idle scheduling runs the thread only when nothing else wants the
    // processor; the nice value counts where idle scheduling is refused.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
    sched_param param{};
    (void)pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
}

} // namespace

LoudnessAnalyser::LoudnessAnalyser(QString cacheFile) : cacheFile_(std::move(cacheFile)) {
    load();
    worker_ = std::thread([this] { run(); });
}

LoudnessAnalyser::~LoudnessAnalyser() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

QString LoudnessAnalyser::defaultCacheFile() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation))
        .filePath(QStringLiteral("loudness.tsv"));
}

void LoudnessAnalyser::load() {
    if (cacheFile_.isEmpty()) {
        return;
    }
    QFile file(cacheFile_);
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    int lines = 0;
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().trimmed().split('\t');
        ++lines;
        if (fields.size() != 5) {
            continue;
        }
        bool sizeOk = false, timeOk = false, peakOk = false, lufsOk = false;
        Entry entry;
        entry.size = fields[0].toLongLong(&sizeOk);
        entry.modified = fields[1].toLongLong(&timeOk);
        if (fields[2] != "-") {
            entry.measurement.integratedLufs = fields[2].toDouble(&lufsOk);
        } else {
            lufsOk = true;
        }
        entry.measurement.truePeak = fields[3].toDouble(&peakOk);
        const QString path = QString::fromUtf8(QByteArray::fromPercentEncoding(fields[4]));
        if (sizeOk && timeOk && lufsOk && peakOk && !path.isEmpty()) {
            results_.insert(path, entry);
        }
    }
    file.close();
    // Songs measured again after a change leave old lines behind; once they
    // outnumber the live ones the file is written afresh.
    if (lines > 2 * results_.size() + 100) {
        QSaveFile out(cacheFile_);
        if (out.open(QIODevice::WriteOnly)) {
            for (auto it = results_.cbegin(); it != results_.cend(); ++it) {
                out.write(lineFor(it.key(), it->size, it->modified, it->measurement));
            }
            out.commit();
        }
    }
}

void LoudnessAnalyser::append(const QString &path, const Entry &entry) {
    if (cacheFile_.isEmpty()) {
        return;
    }
    QDir().mkpath(QFileInfo(cacheFile_).absolutePath());
    QFile file(cacheFile_);
    if (file.open(QIODevice::Append)) {
        file.write(lineFor(path, entry.size, entry.modified, entry.measurement));
    }
}

void LoudnessAnalyser::enqueue(const QString &path) {
    {
        std::lock_guard lock(mutex_);
        if (!queued_.insert(path).second) {
            return;
        }
        queue_.push_back(path);
    }
    changed_.notify_all();
}

std::optional<LoudnessMeasurement> LoudnessAnalyser::lookup(const QString &path, qint64 size,
                                                            qint64 modified) const {
    std::lock_guard lock(mutex_);
    const auto it = results_.constFind(path);
    if (it == results_.cend() || it->size != size || it->modified != modified) {
        return std::nullopt;
    }
    return it->measurement;
}

LoudnessInfo LoudnessAnalyser::infoFor(const QString &path) {
    LoudnessInfo info;
    const SongTags tags = readSongTags(path, nullptr);
    if (tags.readFailed) {
        return info;
    }
    info.gainDb = tags.replayGainDb;
    info.peak = tags.replayGainPeak;
    if (!info.gainDb) {
        info.gainDb = readLameReplayGain(path, tags.audioStart);
    }
    const FileKey key = keyOf(path);
    if (const auto measured = lookup(path, key.size, key.modified)) {
        if (!info.gainDb && measured->integratedLufs) {
            info.gainDb = kReferenceLufs - *measured->integratedLufs;
        }
        if (!info.peak && measured->truePeak > 0.0) {
            info.peak = measured->truePeak;
        }
    }
    return info;
}

bool LoudnessAnalyser::waitUntilIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return queue_.empty() && !busy_; });
}

void LoudnessAnalyser::run() {
    lowestPriority();
    while (true) {
        QString path;
        {
            std::unique_lock lock(mutex_);
            busy_ = false;
            changed_.notify_all();
            changed_.wait(lock, [this] { return quit_ || !queue_.empty(); });
            if (quit_) {
                return;
            }
            path = queue_.front();
            queue_.pop_front();
            queued_.erase(path);
            busy_ = true;
        }
        const FileKey key = keyOf(path);
        if (!key.exists || lookup(path, key.size, key.modified)) {
            continue;
        }
        // A song whose tags say enough is left alone; a louder song needs the
        // peak the tags may not give.
        const SongTags tags = readSongTags(path, nullptr);
        std::optional<double> gain = tags.replayGainDb;
        if (!gain) {
            gain = readLameReplayGain(path, tags.audioStart);
        }
        if (gain && (*gain <= 0.0 || tags.replayGainPeak)) {
            continue;
        }
        const std::optional<LoudnessMeasurement> m = measureLoudness(path, quit_);
        if (quit_) {
            return;
        }
        // A song that cannot be decoded is kept as unmeasurable, so it is not
        // decoded again at every start.
        const Entry entry{key.size, key.modified, m.value_or(LoudnessMeasurement{})};
        {
            std::lock_guard lock(mutex_);
            results_.insert(path, entry);
        }
        append(path, entry);
    }
}

} // namespace velbrin::library

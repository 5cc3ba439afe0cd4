#include "duration_probe.h"
#include "song_library.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include "library_test_support.h"

#include <gtest/gtest.h>

#include <map>

using namespace velbrin::library;
using namespace std::chrono_literals;

namespace {

// Knows some songs' durations; reports them at once or on the next turn of the
// event loop, and never for unknown songs, as a stuck engine would.
class FakeProbe : public DurationProbe {
public:
    void begin(const QString &path) override {
        calls.append("begin " + path);
        open = true;
        const auto found = durations.find(path);
        if (found == durations.end() || queue == nullptr) {
            return;
        }
        const std::int64_t seconds = found->second;
        if (synchronous) {
            queue->durationReported(seconds);
        } else {
            QTimer::singleShot(0, queue, [this, seconds] { queue->durationReported(seconds); });
        }
    }
    void end() override {
        calls.append("end");
        open = false;
    }

    std::map<QString, std::int64_t> durations;
    DurationQueue *queue = nullptr;
    bool synchronous = false;
    bool open = false;
    QStringList calls;
};

class LibraryDurations : public ::testing::Test {
protected:
    void runUntilFinished() {
        QElapsedTimer clock;
        clock.start();
        bool done = false;
        QObject::connect(&queue_, &DurationQueue::finished, [&] { done = true; });
        while (!done && clock.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        }
        ASSERT_TRUE(done);
    }
    int argc_ = 1;
    char name_[8] = "library";
    char *argv_[1] = {name_};
    QCoreApplication app_{argc_, argv_};
    FakeProbe probe_;
    DurationQueue queue_{probe_, 50ms};
};

TEST_F(LibraryDurations, AddsReportedDurationsAndListsTheSilentSongs) {
    probe_.queue = &queue_;
    probe_.durations = {{"/a.mp3", 3600}, {"/c.mp3", 125}};
    std::vector<std::int64_t> shown;
    QObject::connect(&queue_, &DurationQueue::totalChanged,
                     [&](std::int64_t total) { shown.push_back(total); });
    queue_.enqueue(QStringList({"/a.mp3", "/b.mp3", "/c.mp3"}));
    runUntilFinished();
    EXPECT_EQ(queue_.PlaylistTotalSeconds(), 3725);
    EXPECT_EQ(formatPlaytime(queue_.PlaylistTotalSeconds()), "01:02:05");
    EXPECT_EQ(shown, std::vector<std::int64_t>({3600, 3725}));
    EXPECT_EQ(queue_.errantalplayedforduration(), QStringList({"/b.mp3"}));
    EXPECT_EQ(probe_.calls,
              QStringList({"begin /a.mp3", "end", "begin /b.mp3", "end", "begin /c.mp3", "end"}));
    EXPECT_FALSE(probe_.open);
}

TEST_F(LibraryDurations, SynchronousReportsDoNotNest) {
    probe_.queue = &queue_;
    probe_.synchronous = true;
    QStringList many;
    for (int i = 0; i < 20000; ++i) {
        many.append(QString("/s%1.mp3").arg(i));
        probe_.durations[many.back()] = 1;
    }
    queue_.enqueue(many);
    EXPECT_FALSE(queue_.isBusy());
    EXPECT_EQ(queue_.PlaylistTotalSeconds(), 20000);
}

TEST_F(LibraryDurations, CancelDropsWaitingSongsAndLateReportsAreIgnored) {
    probe_.queue = nullptr; // nothing ever reports by itself
    queue_.enqueue(QStringList({"/a.mp3", "/b.mp3"}));
    ASSERT_TRUE(queue_.isBusy());
    queue_.cancel();
    EXPECT_FALSE(queue_.isBusy());
    EXPECT_FALSE(probe_.open);
    queue_.durationReported(99);
    EXPECT_EQ(queue_.PlaylistTotalSeconds(), 0);
    EXPECT_EQ(probe_.calls, QStringList({"begin /a.mp3", "end"}));
    EXPECT_TRUE(queue_.errantalplayedforduration().isEmpty());
}

TEST_F(LibraryDurations, AutomaticPlaytimeMeasuresAddedSongsAndClearStopsIt) {
    QTemporaryDir dir;
    const QStringList songs = {dir.filePath("a.mp3"), dir.filePath("b.mp3"), dir.filePath("c.mp3")};
    for (const QString &song : songs) {
        velbrin::library::test::writeSong(song);
    }
    probe_.queue = &queue_;
    probe_.durations = {{songs[0], 100}, {songs[2], 20}};
    SongLibrary lib;
    lib.durations = &queue_;
    lib.autoUpdatePlaytime = true;
    for (const QString &song : songs) {
        lib.ProcessFile(song);
    }
    runUntilFinished();
    EXPECT_EQ(queue_.PlaylistTotalSeconds(), 120);
    EXPECT_EQ(queue_.errantalplayedforduration(), QStringList({songs[1]}));

    lib.updateTotalPlaytime();
    EXPECT_EQ(queue_.PlaylistTotalSeconds(), 0);
    EXPECT_TRUE(queue_.errantalplayedforduration().isEmpty());
    runUntilFinished();
    EXPECT_EQ(queue_.PlaylistTotalSeconds(), 120);

    // A clear while songs are being measured: nothing more is added later.
    lib.updateTotalPlaytime();
    lib.clearList();
    EXPECT_FALSE(queue_.isBusy());
    QCoreApplication::processEvents();
    EXPECT_EQ(queue_.PlaylistTotalSeconds(), 0);
    EXPECT_EQ(lib.list.count(), 0);
    EXPECT_FALSE(probe_.open);
}

TEST(LibraryPlaytimeText, HoursAreNotWrapped) {
    EXPECT_EQ(formatPlaytime(0), "00:00:00");
    EXPECT_EQ(formatPlaytime(59), "00:00:59");
    EXPECT_EQ(formatPlaytime(86400), "24:00:00");
    EXPECT_EQ(formatPlaytime(360000), "100:00:00");
}

} // namespace

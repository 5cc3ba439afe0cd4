// Adds a folder of songs through the walk, the tag reads (ID3v2, APEv2 and
// ID3v1) and the song list (with the automatic playtime off), once with the
// files in the page cache and once with every file's pages dropped first
// ("cold"), then loads a playlist of the same songs, each in a child process of
// its own so every phase reports its own peak memory. A bare walk that only
// reads each file's last 128 bytes is measured as the peer.
//
// Usage: library_bench DATA_DIR   (data from bench/library_make_data.sh)

#include "bench_report.h"
#include "folder_walk.h"
#include "song_library.h"

#include <QDir>
#include <QElapsedTimer>
#include <QString>

#include <cstdio>
#include <filesystem>
#include <functional>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using velbrin::library::SongLibrary;

struct Figures {
    double seconds = 0;
    long peakKiB = 0;
    long songs = 0;
};

// Runs `phase` in a child and returns its time, its peak resident size and the
// number of songs it reports.
Figures inChild(const std::function<long()> &phase) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        std::perror("pipe");
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        QElapsedTimer clock;
        clock.start();
        Figures f;
        f.songs = phase();
        f.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        f.peakKiB = usage.ru_maxrss;
        const ssize_t written = write(pipeFds[1], &f, sizeof f);
        _exit(written == static_cast<ssize_t>(sizeof f) ? 0 : 1);
    }
    close(pipeFds[1]);
    Figures f;
    if (read(pipeFds[0], &f, sizeof f) != static_cast<ssize_t>(sizeof f)) {
        std::fprintf(stderr, "phase failed\n");
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return f;
}

long bareWalk(const std::filesystem::path &root) {
    long songs = 0;
    char tail[128];
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        const int fd = open(entry.path().c_str(), O_RDONLY);
        if (fd < 0) {
            continue;
        }
        const off_t size = lseek(fd, 0, SEEK_END);
        if (size >= 128 && pread(fd, tail, sizeof tail, size - 128) == 128) {
            ++songs;
        }
        close(fd);
    }
    return songs;
}

// Drops the files' pages from the page cache, so the next read comes from the
// disk (or, on a virtual machine, from whatever caches the disk below it).
// Folder entries stay cached: only dropping every cache would clear those.
void evictFiles(const std::filesystem::path &root) {
    sync();
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        const int fd = open(entry.path().c_str(), O_RDONLY);
        if (fd >= 0) {
            (void)posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            close(fd);
        }
    }
}

void report(const char *name, const Figures &f, const Figures *peer) {
    std::printf("%-28s %8ld songs %8.3f s %8.1f MB peak", name, f.songs, f.seconds,
                static_cast<double>(f.peakKiB) / 1024.0);
    velbrin::bench::endRow(f.seconds, peer != nullptr ? peer->seconds : 0.0, "bare walk");
}

} // namespace

int main(int argc, char **argv) {
    if (!velbrin::bench::dataFolderGiven(argc, argv)) {
        return 2;
    }
    const QString data = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString music = data + "/music";
    const QString playlist = data + "/playlist.lst";
    if (!QDir(music).exists() || !QFileInfo::exists(playlist)) {
        return velbrin::bench::noData("data", argv[1]);
    }

    const Figures bare = inChild([&] { return bareWalk(music.toStdString()); });
    const auto addFolder = [&] {
        SongLibrary library;
        library.autoUpdatePlaytime = false;
        library.scanDisc(music);
        return static_cast<long>(library.list.count());
    };
    const Figures folder = inChild(addFolder);
    evictFiles(music.toStdString());
    const Figures cold = inChild(addFolder);
    const Figures list = inChild([&] {
        SongLibrary library;
        const auto result = library.ProcessFile2(playlist);
        return result.message ? -1L : static_cast<long>(library.list.count());
    });

    report("bare walk + tag bytes", bare, nullptr);
    report("add folder (walk+tags+list)", folder, &bare);
    report("add folder, cold", cold, &bare);
    report("load playlist", list, &bare);
    const bool ok = folder.seconds < 3.0 && cold.seconds < 3.0 && list.seconds < 3.0 &&
                    folder.peakKiB < 150 * 1024 && list.peakKiB < 150 * 1024 &&
                    folder.songs == bare.songs && cold.songs == bare.songs &&
                    list.songs == bare.songs;
    std::printf("targets (under 3 s and 150 MB each, every song added): %s\n",
                ok ? "met" : "MISSED");
    return ok ? 0 : 1;
}

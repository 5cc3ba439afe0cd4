#pragma once

// What the song-library benchmarks share: their one argument and the end of
// each result row.

#include <cstdio>

namespace velbrin::bench {

// True when the data folder is the one argument; otherwise prints the usage.
inline bool dataFolderGiven(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DATA_DIR\n", argv[0]);
        return false;
    }
    return true;
}

// The exit status for a folder without the generated data; `what` is what is
// missing ("data", "songs").
inline int noData(const char *what, const char *folder) {
    std::fprintf(stderr, "no %s in %s: run bench/library_make_data.sh first\n", what, folder);
    return 2;
}

// Ends a result row with the ratio to the peer's time, when there is one.
inline void endRow(double seconds, double peerSeconds, const char *peer) {
    if (peerSeconds > 0) {
        std::printf("   %.1fx the %s", seconds / peerSeconds, peer);
    }
    std::printf("\n");
}

} // namespace velbrin::bench

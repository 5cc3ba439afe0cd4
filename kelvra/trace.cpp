#include "trace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace kelvra {
namespace {

struct TraceFile {
    std::mutex mutex;
    std::unique_ptr<FILE, int (*)(FILE *)> file{nullptr, &std::fclose};
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();

    TraceFile() {
        const char *path = std::getenv("KELVRA_TRACE");
        if (path != nullptr && *path != '\0')
            file.reset(std::fopen(path, "a"));
    }
};

TraceFile &traceFile() {
    static TraceFile trace;
    return trace;
}

} // namespace

bool traceEnabled() {
    return traceFile().file != nullptr;
}

void traceLine(std::string_view line) {
    TraceFile &trace = traceFile();
    if (!trace.file)
        return;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - trace.start)
                        .count();
    std::lock_guard lock(trace.mutex);
    std::fprintf(trace.file.get(), "%10.3f %.*s\n", static_cast<double>(ms) / 1000.0,
                 static_cast<int>(line.size()), line.data());
    std::fflush(trace.file.get());
}

} // namespace kelvra

// Output module writing a player's audio into a 16-bit PCM RIFF WAV file.
// Output names are "wav:" followed by the file's path (backslashes count as
// folder separators). The header is rewritten whenever the stream drains and
// when the file is closed, so it is correct after end of stream, stop, a new
// open or deletion of the instance; while a long render runs it is brought up
// to date twice a second, so a program killed mid-render leaves a playable
// file of everything but its last moments.
#include "kelvra_interface.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

struct FileCloser {
    void operator()(FILE *file) const { std::fclose(file); }
};

struct WavOutput {
    // Large writes: the file grows at decoding speed, hundreds of megabytes
    // for an album. Declared before the file, which flushes into it on close.
    std::vector<char> buffer = std::vector<char>(1 << 18);
    std::unique_ptr<FILE, FileCloser> file;
    uint32_t rate = 44100;
    uint32_t channels = 2;
    uint64_t dataBytes = 0;
    bool failed = false;
    std::chrono::steady_clock::time_point headerWritten;
};

constexpr auto kHeaderPeriod = std::chrono::milliseconds(500);

// RIFF sizes are 32-bit; a longer stream stops growing the file there.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;

void put16(unsigned char *p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v & 0xFF);
    p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}

void put32(unsigned char *p, uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

bool writeHeader(WavOutput &w) {
    unsigned char h[44];
    const auto data = static_cast<uint32_t>(std::min(w.dataBytes, kMaxDataBytes));
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, 36 + data);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);
    put16(h + 22, w.channels);
    put32(h + 24, w.rate);
    put32(h + 28, w.rate * w.channels * 2);
    put16(h + 32, w.channels * 2);
    put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, data);
    FILE *f = w.file.get();
    const long end = std::ftell(f);
    if (std::fseek(f, 0, SEEK_SET) != 0 || std::fwrite(h, sizeof h, 1, f) != 1)
        return false;
    if (end > 44)
        std::fseek(f, end, SEEK_SET);
    w.headerWritten = std::chrono::steady_clock::now();
    return std::fflush(f) == 0;
}

int32_t getInformation(kv_module_information *info, uint32_t flags) {
    if ((flags & KV_MODULE_INFO_FILL) != 0 && info != nullptr) {
        info->flags = 0;
        std::strncpy(info->name, "WAV File Output", sizeof info->name - 1);
        std::strncpy(info->description, "16-bit PCM RIFF WAV files", sizeof info->description - 1);
    }
    return KV_MODULE_OK;
}

int32_t newInstance(void **instance, const void *, kv_host_interface *) {
    if (instance == nullptr)
        return KV_MODULE_UNSUPPORTED;
    auto *state = new (std::nothrow) WavOutput;
    if (state == nullptr)
        return KV_MODULE_OUT_OF_MEMORY;
    *instance = state;
    return KV_MODULE_OK;
}

int32_t closeOutput(void *instance) {
    auto &w = *static_cast<WavOutput *>(instance);
    if (w.file) {
        writeHeader(w);
        w.file.reset();
    }
    return KV_MODULE_OK;
}

int32_t deleteInstance(void *instance) {
    closeOutput(instance);
    delete static_cast<WavOutput *>(instance);
    return KV_MODULE_OK;
}

int32_t openOutput(void *instance, const char *name) {
    auto &w = *static_cast<WavOutput *>(instance);
    closeOutput(instance);
    if (name == nullptr)
        return KV_MODULE_UNSUPPORTED;
    std::string path = name;
    if (path.size() >= 4 && (path.compare(0, 4, "wav:") == 0 || path.compare(0, 4, "WAV:") == 0))
        path.erase(0, 4);
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.empty())
        return KV_MODULE_UNSUPPORTED;
    w.file.reset(std::fopen(path.c_str(), "w+b"));
    if (!w.file)
        return KV_MODULE_UNSUPPORTED;
    std::setvbuf(w.file.get(), w.buffer.data(), _IOFBF, w.buffer.size());
    w.dataBytes = 0;
    w.failed = false;
    return writeHeader(w) ? KV_MODULE_OK : KV_MODULE_UNSUPPORTED;
}

int32_t write(kv_output_chain *chain, const void *samples, uint32_t size, uint32_t,
              uint32_t channels, uint32_t rate) {
    auto &w = *static_cast<WavOutput *>(chain->instance);
    if (!w.file || w.failed)
        return KV_MODULE_UNSUPPORTED;
    if (w.dataBytes == 0) {
        // The first audio fixes the format; later changes cannot be told in
        // a WAV header.
        if (rate != 0)
            w.rate = rate;
        if (channels != 0)
            w.channels = channels;
    }
    const uint64_t room = kMaxDataBytes - w.dataBytes;
    const auto bytes = static_cast<size_t>(std::min<uint64_t>(size, room));
    if (bytes > 0 && std::fwrite(samples, 1, bytes, w.file.get()) != bytes) {
        w.failed = true;
        return KV_MODULE_UNSUPPORTED;
    }
    w.dataBytes += bytes;
    // Seeking to the header first hands every buffered byte to the file, so
    // the size it declares is always on disk.
    if (std::chrono::steady_clock::now() - w.headerWritten >= kHeaderPeriod && !writeHeader(w)) {
        w.failed = true;
        return KV_MODULE_UNSUPPORTED;
    }
    return KV_MODULE_OK;
}

int32_t control(kv_output_chain *chain, kv_output_format *format, uint32_t flags) {
    auto &w = *static_cast<WavOutput *>(chain->instance);
    if ((flags & KV_CONTROL_FORMAT) != 0 && format != nullptr && w.dataBytes == 0) {
        if (format->rate != 0)
            w.rate = format->rate;
        if (format->channels != 0)
            w.channels = format->channels;
    }
    if ((flags & KV_CONTROL_DRAIN) != 0 && w.file)
        return writeHeader(w) ? KV_MODULE_OK : KV_MODULE_UNSUPPORTED;
    return KV_MODULE_OK;
}

} // namespace

extern "C" KV_EXPORT int32_t wav_output_module_register(kv_output_module_descriptor *d) {
    if (d == nullptr)
        return KV_MODULE_UNSUPPORTED;
    *d = kv_output_module_descriptor{};
    d->interface_version = KV_OUTPUT_MODULE_INTERFACE_VERSION;
    d->get_information = &getInformation;
    d->new_instance = &newInstance;
    d->delete_instance = &deleteInstance;
    d->open = &openOutput;
    d->close = &closeOutput;
    d->write = &write;
    d->control = &control;
    return KV_MODULE_OK;
}

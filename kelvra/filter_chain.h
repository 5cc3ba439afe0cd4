#pragma once

#include "errors.h"
#include "kelvra_interface.h"
#include "module_loader.h"
#include "sink.h"

#include <memory>
#include <string>
#include <vector>

namespace kelvra {

struct FilterEntry {
    std::shared_ptr<const Module> module;
    std::string location;
    uint16_t id = 0;
};

// A player's output filters in order, ending at its sink. Each stage gets a
// kv_output_chain record whose `next` is the following node; the engine's
// trampolines route the stage's next_* calls to that node's module or to the
// sink. Used only on the player's thread.
class FilterChain {
public:
    FilterChain() = default;
    ~FilterChain();
    FilterChain(const FilterChain &) = delete;
    FilterChain &operator=(const FilterChain &) = delete;

    // Creates one instance per filter. A filter that refuses to start is left
    // out and reported through `failed`.
    void build(const std::vector<FilterEntry> &filters, kv_host_interface *host, Sink *sink,
               std::vector<std::string> &failed);
    void clear();
    // The live filter instances, first to last.
    std::vector<void *> instances() const;

    int32_t write(const int16_t *samples, uint32_t bytes, uint32_t channels, uint32_t rate);
    int32_t control(kv_output_format *format, uint32_t flags);

private:
    struct Node {
        kv_output_chain chain{};
        const Module *module = nullptr; // null: the sink
        Sink *sink = nullptr;
        std::vector<int16_t> buffer;
    };
    static int32_t nodeWrite(void *next, const void *samples, uint32_t size, uint32_t width,
                             uint32_t channels, uint32_t rate);
    static void *nodeGetBuffer(void *next, uint32_t size);
    static int32_t nodeControl(void *next, kv_output_format *format, uint32_t flags);

    std::vector<std::unique_ptr<Node>> nodes_; // filters, then the sink node
};

} // namespace kelvra

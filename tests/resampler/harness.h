#pragma once

// A stand-in engine for the resampling filter: it loads the library, offers the
// host services, and plays the next stage of the output chain, recording what
// arrives there.

#include "kelvra_interface.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace resampler_test {

// The descriptor as the library fills it; loaded once per process.
const kv_output_module_descriptor &descriptor();
// The two register functions as found by name.
void *register_symbol(const char *name);

class StandInHost {
public:
    StandInHost();
    StandInHost(const StandInHost &) = delete;
    StandInHost &operator=(const StandInHost &) = delete;
    kv_host_interface *interface() { return &bridge_.record; }

    std::map<std::string, int32_t> values;
    bool refuse_listeners = false;
    struct Listener {
        std::string name;
        void *instance;
        kv_environment_listener_fn callback;
        int32_t handle;
    };
    std::vector<Listener> listeners;
    std::vector<int32_t> removed;

    // Calls every listener registered for the name, as the engine does when a
    // value is set (or unset, with null).
    void notify(const std::string &name, std::optional<int32_t> value);

private:
    // The record the filter sees, first in a standard-layout pair, so that the
    // callbacks find their way back to this object.
    struct Bridge {
        kv_host_interface record;
        StandInHost *self;
    };
    static StandInHost *from(kv_host_interface *record) {
        return reinterpret_cast<Bridge *>(record)->self;
    }
    Bridge bridge_{};
    int32_t next_handle_ = 1;
};

struct Delivery {
    uint32_t size_bytes;
    uint32_t sample_width;
    uint32_t channels;
    uint32_t rate;
    bool passed_through; // the samples pointer was the caller's own
};

class StandInNext {
public:
    std::vector<Delivery> deliveries;
    std::vector<int16_t> samples; // every whole sample delivered, in order
    std::vector<uint32_t> control_flags;
    std::vector<uint32_t> control_rates;
    bool refuse_buffers = false;
    int32_t write_result = 0;
    int32_t control_result = 0;
    const void *caller_samples = nullptr;

    void clear() {
        deliveries.clear();
        samples.clear();
    }
    std::size_t delivered_bytes() const;

    static int32_t write(void *next, const void *samples, uint32_t size_bytes,
                         uint32_t sample_width, uint32_t channels, uint32_t rate);
    static void *get_buffer(void *next, uint32_t size_bytes);
    static int32_t control(void *next, kv_output_format *format, uint32_t flags);

private:
    std::vector<unsigned char> buffer_;
};

// One filter instance in a chain ending in a StandInNext.
class Filter {
public:
    explicit Filter(StandInHost *host = nullptr);
    ~Filter();
    Filter(const Filter &) = delete;
    Filter &operator=(const Filter &) = delete;

    int32_t write(const std::vector<int16_t> &samples, uint32_t channels, uint32_t rate,
                  uint32_t sample_width = 16);
    int32_t write_bytes(const void *data, uint32_t size_bytes, uint32_t channels, uint32_t rate);
    // Sends a format change; returns the rate the format carries afterwards.
    uint32_t format(uint32_t rate, uint32_t channels = 2);
    int32_t control(uint32_t flags);
    int32_t last_control_result() const { return last_result_; }

    StandInNext next;
    void *instance = nullptr;
    int32_t create_result = 0;

private:
    kv_output_chain chain_{};
    int32_t last_result_ = 0;
};

// Writes `samples` in pieces of `piece` samples.
void write_in_pieces(Filter &filter, const std::vector<int16_t> &samples, std::size_t piece,
                     uint32_t channels, uint32_t rate);

} // namespace resampler_test

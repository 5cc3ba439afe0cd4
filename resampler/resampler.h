#pragma once

#include "convolve.h"
#include "kelvra_interface.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace velbrin::resampler {

// Cache-line alignment for the coefficient rows, so that the vector loads of a
// row never straddle two lines.
template <typename T> struct CacheAligned {
    using value_type = T;
    static constexpr std::align_val_t kAlignment{64};
    CacheAligned() = default;
    template <typename U> CacheAligned(const CacheAligned<U> &) {}
    T *allocate(std::size_t n) {
        return static_cast<T *>(::operator new(n * sizeof(T), kAlignment));
    }
    void deallocate(T *p, std::size_t) { ::operator delete(p, kAlignment); }
    template <typename U> bool operator==(const CacheAligned<U> &) const { return true; }
};
template <typename T> using AlignedVector = std::vector<T, CacheAligned<T>>;

// One output-chain stage that converts interleaved 16-bit PCM from the rate of
// each write to the target rate by band-limited interpolation.
//
// Threads and locking: the engine calls write and control of one instance from
// one thread at a time and never concurrently, so the conversion state has no
// lock. The rate listener runs on the engine's command thread and touches only
// target_rate_, an atomic that write and control read once per call.
//
// Work is done per block: input collects in one float plane per channel (the
// last 2T frames of the previous block, then one block), and when a sample
// arrives beyond a full block, every output frame of the block is computed from
// its own precomputed coefficient window and handed on in chunks of at most
// 4096 bytes.
class Resampler {
public:
    static constexpr std::uint32_t kDefaultRate = 48000;

    explicit Resampler(kv_host_interface *host);
    ~Resampler();
    Resampler(const Resampler &) = delete;
    Resampler &operator=(const Resampler &) = delete;

    std::int32_t write(const kv_output_chain &chain, const void *samples, std::uint32_t size_bytes,
                       std::uint32_t sample_width, std::uint32_t channels, std::uint32_t rate);
    std::int32_t control(const kv_output_chain &chain, kv_output_format *format,
                         std::uint32_t flags);
    void set_target_rate(const std::int32_t *value);

private:
    std::int32_t prepare(std::uint32_t channels, std::uint32_t rate, std::uint32_t target,
                         std::size_t samples);
    std::int32_t set_up(std::uint32_t channels, std::uint32_t rate, std::uint32_t target,
                        std::size_t samples);
    void append(const unsigned char *bytes, std::size_t count);
    void zero_from(std::size_t position);
    void compute_block();
    std::int32_t deliver(const kv_output_chain &chain, std::size_t floats,
                         std::uint32_t sample_width, std::uint32_t rate);
    void carry_over();
    std::int32_t drain(const kv_output_chain &chain);

    kv_host_interface *host_;
    std::int32_t listener_handle_ = 0;
    std::atomic<std::uint32_t> target_rate_{kDefaultRate};
    std::int32_t mode_ = 0;
    bool active_ = false;
    Kernels kernels_;

    // The current set-up, valid once configured_ is set.
    bool configured_ = false;
    std::uint32_t channels_ = 2;
    std::uint32_t input_rate_ = 0;
    std::uint32_t output_rate_ = 0;
    float ratio_ = 1.0f;         // target / input, kept in single precision
    std::size_t history_ = 0;    // H = 2 T C floats kept between blocks
    std::size_t out_frames_ = 0; // output frames per block
    std::size_t length_ = 0;     // floats of history plus block
    std::size_t window_ = 0;     // coefficients per output frame, padded
    std::size_t fill_ = 0;       // floats collected, history included

    AlignedVector<float> planes_[2];
    AlignedVector<float> coefficients_;
    std::vector<std::uint32_t> starts_;
    std::vector<float> output_;
};

} // namespace velbrin::resampler

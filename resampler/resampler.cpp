#include "resampler.h"

#include "kernel.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velbrin::resampler {
namespace {

constexpr std::uint32_t kMinimumRate = 8000;
constexpr std::uint32_t kRateGranularity = 5;
constexpr std::size_t kChunkBytes = 4096;
constexpr std::size_t kChunkFloats = kChunkBytes / 2;
constexpr std::size_t kWindowAlignment = 16;
// Writes larger than this are split into several blocks instead of growing the
// block further.
constexpr std::size_t kMaximumBlockFloats = std::size_t{1} << 20;
// A set-up that would need more than this is treated as out of memory; only
// absurd rates (hundreds of megahertz) come near it.
constexpr std::size_t kMaximumSetUpBytes = std::size_t{256} << 20;
constexpr float kNearEpsilon = 0.00001f;

bool rate_supported(std::uint32_t rate) {
    return rate >= kMinimumRate && rate % kRateGranularity == 0;
}

std::int16_t load_sample(const unsigned char *bytes, std::size_t index) {
    std::int16_t sample = 0;
    std::memcpy(&sample, bytes + 2 * index, sizeof sample);
    return sample;
}

// Where output frame i of a block lies in the input: the centre frame c and
// the fraction b past it, in single precision like the stored ratio.
struct Position {
    std::size_t centre;
    float fraction;
};

Position position_of(std::size_t i, float ratio, float step, std::size_t block_frames) {
    const float exact = static_cast<float>(i) / ratio;
    auto centre = static_cast<std::size_t>(exact + 1e-8f);
    float fraction = exact - static_cast<float>(centre);
    // A fraction within a hair of 1 means the next input sample is the nearest:
    // centre the frame on it, so it gets the kernel's peak rather than a
    // near-zero tail value.
    if ((1.0f - fraction) * step < kNearEpsilon) {
        centre += 1;
        fraction = 0.0f;
    }
    return {std::min(centre, block_frames), fraction};
}

// Walks one wing: calls emit(j, value) for every tap of it until the next tap
// would fall past the end of the table (last_entry) or T taps are done.
template <typename Emit>
std::size_t walk_wing(std::span<const float> table, float start, float step, float scale,
                      std::size_t taps, int last_entry, Emit emit) {
    std::size_t j = 0;
    for (; j < taps; ++j) {
        const float x = step * (start + static_cast<float>(j));
        const auto entry = static_cast<int>(256.0f * x);
        if (entry > last_entry) {
            break;
        }
        emit(j, scale * kernel_at(table, x, entry));
    }
    return j;
}

} // namespace

Resampler::Resampler(kv_host_interface *host) : host_(host), kernels_(select_kernels()) {
    if (host_ != nullptr && host_->get_environment_integer != nullptr) {
        std::int32_t value = 0;
        if (host_->get_environment_integer(host_, "OUTPUT.RESAMPLER.RATE", &value) == 0) {
            target_rate_.store(static_cast<std::uint32_t>(value));
        }
        if (host_->get_environment_integer(host_, "OUTPUT.RESAMPLER.MODE", &value) == 0) {
            mode_ = value;
        }
    }
    if (host_ != nullptr && host_->add_environment_listener != nullptr) {
        auto listener = [](void *instance, const char *, const std::int32_t *value) {
            static_cast<Resampler *>(instance)->set_target_rate(value);
        };
        std::int32_t handle = 0;
        if (host_->add_environment_listener(host_, "OUTPUT.RESAMPLER.RATE", this, listener,
                                            &handle) == 0) {
            listener_handle_ = handle;
        }
    }
}

Resampler::~Resampler() {
    if (listener_handle_ != 0 && host_->remove_environment_listener != nullptr) {
        host_->remove_environment_listener(host_, listener_handle_);
    }
}

void Resampler::set_target_rate(const std::int32_t *value) {
    target_rate_.store(value != nullptr ? static_cast<std::uint32_t>(*value) : kDefaultRate);
}

std::int32_t Resampler::write(const kv_output_chain &chain, const void *samples,
                              std::uint32_t size_bytes, std::uint32_t sample_width,
                              std::uint32_t channels, std::uint32_t rate) {
    const std::uint32_t target = target_rate_.load(std::memory_order_relaxed);
    if (rate == target) {
        active_ = false;
        return chain.next_write(chain.next, samples, size_bytes, sample_width, channels, rate);
    }
    if (!rate_supported(rate) || !rate_supported(target)) {
        return KV_MODULE_UNSUPPORTED;
    }
    // The conversion keeps one input position per channel and frame; wider
    // streams are refused rather than read out of bounds.
    if (channels < 1 || channels > 2 || (samples == nullptr && size_bytes > 0)) {
        return KV_MODULE_UNSUPPORTED;
    }
    const std::size_t count = size_bytes / 2;
    if (const std::int32_t result = prepare(channels, rate, target, count); result != 0) {
        return result;
    }
    active_ = true;

    const std::uint32_t downstream_rate = mode_ == 0 ? target : rate;
    const auto *bytes = static_cast<const unsigned char *>(samples);
    std::int32_t result = KV_MODULE_OK;
    std::size_t done = 0;
    while (done < count) {
        // A block is converted only once a sample beyond it arrives, so a
        // write that exactly fills the block delivers nothing yet.
        if (fill_ == length_) {
            compute_block();
            const std::int32_t delivered =
                deliver(chain, out_frames_ * channels_, sample_width, downstream_rate);
            if (result == KV_MODULE_OK) {
                result = delivered;
            }
            carry_over();
        }
        const std::size_t take = std::min(count - done, length_ - fill_);
        append(bytes + 2 * done, take);
        done += take;
    }
    return result;
}

std::int32_t Resampler::control(const kv_output_chain &chain, kv_output_format *format,
                                std::uint32_t flags) {
    std::int32_t result = KV_MODULE_OK;
    if ((flags & KV_CONTROL_FORMAT) != 0 && format != nullptr) {
        // The ratio itself is taken from each write's own rate and the target
        // at that moment, so that a later change of either cannot leave the
        // conversion on a stale one.
        const std::uint32_t target = target_rate_.load(std::memory_order_relaxed);
        if (format->rate != target) {
            active_ = true;
            if (mode_ == 0) {
                format->rate = target;
            }
        }
    }
    if ((flags & KV_CONTROL_RESET) != 0 && active_ && configured_) {
        for (std::uint32_t ch = 0; ch < channels_; ++ch) {
            std::fill(planes_[ch].begin(), planes_[ch].end(), 0.0f);
        }
    }
    if ((flags & KV_CONTROL_DRAIN) != 0 && active_ && configured_) {
        result = drain(chain);
    }
    if (chain.next_control != nullptr) {
        const std::int32_t next = chain.next_control(chain.next, format, flags);
        if (result == KV_MODULE_OK) {
            result = next;
        }
    }
    return result;
}

std::int32_t Resampler::prepare(std::uint32_t channels, std::uint32_t rate, std::uint32_t target,
                                std::size_t samples) {
    // Keyed on both rates, not only on the history length: a new ratio with the
    // same number of taps still needs its own positions and coefficients.
    if (configured_ && channels == channels_ && rate == input_rate_ && target == output_rate_) {
        return KV_MODULE_OK;
    }
    try {
        return set_up(channels, rate, target, samples);
    } catch (const std::bad_alloc &) {
        configured_ = false;
        return KV_MODULE_OUT_OF_MEMORY;
    }
}

std::int32_t Resampler::set_up(std::uint32_t channels, std::uint32_t rate, std::uint32_t target,
                               std::size_t samples) {
    const float ratio = static_cast<float>(static_cast<double>(target) / rate);
    const float stretch = std::max(1.0f, 1.0f / ratio);
    const auto taps = static_cast<std::size_t>(10 - static_cast<int>(32.0f * stretch * -0.5f));

    // 50 ms of input, rounded up to whole periods of the rate pair so that
    // every block yields a whole number of output frames and the next block
    // starts exactly where this one ends. Without that the output grid jumps
    // at every block boundary (44100 to 22050 Hz stereo: half a frame per 50 ms).
    const std::uint64_t period = rate / std::gcd(rate, target);
    std::uint64_t frames = rate / 20;
    frames = (frames + period - 1) / period * period;
    while (frames * channels < samples && frames * channels < kMaximumBlockFloats) {
        frames *= 2;
    }
    const std::uint64_t out_frames = frames * target / rate;

    const float step = ratio < 1.0f ? ratio : 1.0f;
    const float scale = step;
    const std::size_t history_frames = 2 * taps;

    // Wings are longest where they start closest to the centre (a wing's taps
    // only move outwards as its start does), so a start of 0 bounds them all.
    std::span<const float> table = kernel_table();
    const auto count_only = [](std::size_t, float) {};
    const std::size_t left_max =
        std::max<std::size_t>(1, walk_wing(table, 0.0f, step, scale, taps, kLastEntry, count_only));
    const std::size_t right_max =
        walk_wing(table, 0.0f, step, scale, taps, kLastEntry - 1, count_only);
    const auto frame_count = static_cast<std::size_t>(out_frames);
    const std::uint64_t estimate =
        sizeof(float) * (out_frames * (2 * taps + kWindowAlignment) + 2 * (frames + 4 * taps) +
                         out_frames * channels) +
        sizeof(std::uint32_t) * out_frames;
    if (estimate > kMaximumSetUpBytes) {
        configured_ = false;
        return KV_MODULE_OUT_OF_MEMORY;
    }
    const std::size_t window =
        (left_max + right_max + kWindowAlignment - 1) / kWindowAlignment * kWindowAlignment;

    // The coefficient windows, left wing reversed in front of the right one,
    // so that each output frame is one inner product.
    AlignedVector<float> coefficients(frame_count * window, 0.0f);
    std::vector<std::uint32_t> starts(frame_count);
    for (std::size_t i = 0; i < frame_count; ++i) {
        const Position p = position_of(i, ratio, step, frames);
        float *row = coefficients.data() + i * window;
        walk_wing(table, p.fraction, step, scale, taps, kLastEntry,
                  [&](std::size_t j, float value) { row[left_max - 1 - j] = value; });
        walk_wing(table, 1.0f - p.fraction, step, scale, taps, kLastEntry - 1,
                  [&](std::size_t j, float value) { row[left_max + j] = value; });
        starts[i] = static_cast<std::uint32_t>(p.centre + taps - (left_max - 1));
    }

    const std::size_t length_frames = static_cast<std::size_t>(frames) + history_frames;
    // The last windows reach past the block by up to one window.
    const std::size_t plane_frames = length_frames + window + kWindowAlignment;
    const std::size_t history = history_frames * channels;
    const std::size_t length = length_frames * channels;
    // A new rate with the same taps and channel count keeps the same history
    // layout, so the stream carries on with what it has collected; anything
    // else starts afresh.
    const bool keep_input =
        configured_ && channels == channels_ && history == history_ && fill_ <= length;
    for (std::uint32_t ch = 0; ch < channels; ++ch) {
        if (planes_[ch].size() < plane_frames) {
            planes_[ch].resize(plane_frames, 0.0f);
        }
    }
    std::vector<float> output(frame_count * channels, 0.0f);

    coefficients_ = std::move(coefficients);
    starts_ = std::move(starts);
    output_ = std::move(output);
    channels_ = channels;
    input_rate_ = rate;
    output_rate_ = target;
    ratio_ = ratio;
    history_ = history;
    out_frames_ = frame_count;
    length_ = length;
    window_ = window;
    configured_ = true;
    if (keep_input) {
        zero_from(fill_);
    } else {
        for (std::uint32_t ch = 0; ch < channels_; ++ch) {
            std::fill(planes_[ch].begin(), planes_[ch].end(), 0.0f);
        }
        fill_ = history_;
    }
    return KV_MODULE_OK;
}

namespace {

// Splits interleaved stereo samples into the two planes as floats.
void split_stereo(const unsigned char *bytes, float *left, float *right, std::size_t pairs) {
    std::size_t p = 0;
#if defined(__SSE2__)
    // Each 32-bit lane holds one frame: left in its low half, right in its high
    // half; arithmetic shifts sign-extend either into a whole integer.
    for (; p + 4 <= pairs; p += 4) {
        const __m128i frames = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + 4 * p));
        const __m128i low = _mm_srai_epi32(_mm_slli_epi32(frames, 16), 16);
        const __m128i high = _mm_srai_epi32(frames, 16);
        _mm_storeu_ps(left + p, _mm_cvtepi32_ps(low));
        _mm_storeu_ps(right + p, _mm_cvtepi32_ps(high));
    }
#endif
    for (; p < pairs; ++p) {
        left[p] = load_sample(bytes, 2 * p);
        right[p] = load_sample(bytes, 2 * p + 1);
    }
}

void widen_mono(const unsigned char *bytes, float *plane, std::size_t count) {
    std::size_t k = 0;
#if defined(__SSE2__)
    for (; k + 8 <= count; k += 8) {
        const __m128i samples = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + 2 * k));
        const __m128i low = _mm_srai_epi32(_mm_unpacklo_epi16(samples, samples), 16);
        const __m128i high = _mm_srai_epi32(_mm_unpackhi_epi16(samples, samples), 16);
        _mm_storeu_ps(plane + k, _mm_cvtepi32_ps(low));
        _mm_storeu_ps(plane + k + 4, _mm_cvtepi32_ps(high));
    }
#endif
    for (; k < count; ++k) {
        plane[k] = load_sample(bytes, k);
    }
}

} // namespace

void Resampler::append(const unsigned char *bytes, std::size_t count) {
    if (channels_ == 1) {
        widen_mono(bytes, planes_[0].data() + fill_, count);
        fill_ += count;
        return;
    }
    // Writes need not hold whole frames: a stray sample completes or starts a
    // frame, and the rest is split into the two planes pairwise.
    std::size_t k = 0;
    if (fill_ % 2 != 0 && count > 0) {
        planes_[1][fill_ / 2] = load_sample(bytes, 0);
        ++fill_;
        ++k;
    }
    const std::size_t pairs = (count - k) / 2;
    split_stereo(bytes + 2 * k, planes_[0].data() + fill_ / 2, planes_[1].data() + fill_ / 2,
                 pairs);
    fill_ += 2 * pairs;
    k += 2 * pairs;
    if (k < count) {
        planes_[0][fill_ / 2] = load_sample(bytes, k);
        ++fill_;
    }
}

void Resampler::zero_from(std::size_t position) {
    std::size_t frame = position / channels_;
    if (position % channels_ != 0) {
        planes_[1][frame] = 0.0f;
        ++frame;
    }
    for (std::uint32_t ch = 0; ch < channels_; ++ch) {
        std::fill(planes_[ch].begin() + static_cast<std::ptrdiff_t>(frame), planes_[ch].end(),
                  0.0f);
    }
}

void Resampler::compute_block() {
    BlockJob job;
    job.coefficients = coefficients_.data();
    job.starts = starts_.data();
    job.frames = out_frames_;
    job.window = window_;
    job.planes[0] = planes_[0].data();
    job.planes[1] = channels_ == 2 ? planes_[1].data() : planes_[0].data();
    job.channels = channels_;
    job.output = output_.data();
    kernels_.convolve(job);
}

std::int32_t Resampler::deliver(const kv_output_chain &chain, std::size_t floats,
                                std::uint32_t sample_width, std::uint32_t rate) {
    // Whole samples only: a trailing half sample would shift every later byte
    // of the stream in the next stage.
    const std::size_t bytes = 2 * floats;
    std::size_t full = bytes / kChunkBytes;
    std::size_t last = bytes % kChunkBytes;
    if (full > 0 && last < kChunkBytes / 2) {
        --full;
        last += kChunkBytes;
    }
    std::int32_t result = KV_MODULE_OK;
    for (std::size_t k = 0; k <= full; ++k) {
        const std::size_t size = k == full ? last : kChunkBytes;
        if (size == 0) {
            continue;
        }
        void *buffer = chain.next_get_buffer != nullptr
                           ? chain.next_get_buffer(chain.next, static_cast<std::uint32_t>(size))
                           : nullptr;
        if (buffer == nullptr) {
            return KV_MODULE_OUT_OF_MEMORY;
        }
        kernels_.to_pcm16(output_.data() + kChunkFloats * k, buffer, size / 2);
        const std::int32_t written = chain.next_write(
            chain.next, buffer, static_cast<std::uint32_t>(size), sample_width, channels_, rate);
        if (written < 0 && result == KV_MODULE_OK) {
            result = written;
        }
    }
    return result;
}

void Resampler::carry_over() {
    const std::size_t history_frames = history_ / channels_;
    const std::size_t length_frames = length_ / channels_;
    for (std::uint32_t ch = 0; ch < channels_; ++ch) {
        float *plane = planes_[ch].data();
        std::memmove(plane, plane + (length_frames - history_frames),
                     history_frames * sizeof(float));
    }
    fill_ = history_;
}

std::int32_t Resampler::drain(const kv_output_chain &chain) {
    // What is collected, plus the lag of T frames, as whole frames.
    const auto wanted = static_cast<std::size_t>(static_cast<float>(fill_) * ratio_ + 0.5f);
    std::size_t remaining = wanted / channels_;
    // Announce the set-up's own input rate in mode 1 rather than recovering it
    // from the single-precision ratio, which can land one hertz low.
    const std::uint32_t rate = mode_ == 0 ? output_rate_ : input_rate_;
    std::int32_t result = KV_MODULE_OK;
    // Collected input can reach past one block's output (up to 2T frames of
    // it sit in the history part), so a drain may take a second block.
    while (remaining > 0) {
        zero_from(fill_);
        compute_block();
        const std::size_t frames = std::min(remaining, out_frames_);
        const std::int32_t delivered = deliver(chain, frames * channels_, 2, rate);
        if (result == KV_MODULE_OK) {
            result = delivered;
        }
        remaining -= frames;
        if (remaining > 0) {
            carry_over();
        }
    }
    // The drained input is spent: a stream that goes on after a drain must not
    // hear its tail a second time when the block completes.
    for (std::uint32_t ch = 0; ch < channels_; ++ch) {
        std::fill(planes_[ch].begin(), planes_[ch].end(), 0.0f);
    }
    fill_ = history_;
    return result;
}

} // namespace velbrin::resampler

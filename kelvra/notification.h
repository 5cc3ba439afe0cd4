#pragma once

#include "kelvra_interface.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

namespace kelvra {

// One posted notification. The record's text and equalizer pointers point
// into the block itself, so the block must outlive every decoded copy of the
// record.
struct Notification {
    KV_Message message{};
    std::string text1;
    std::string text2;
    KV_EqualizerInfo equalizer{};
    // Stream properties: the records and the texts their pointers point into.
    std::vector<KV_Property> properties;
    std::deque<std::string> propertyTexts;

    explicit Notification(int32_t code) { message.Code = code; }
    // Points the record's text fields at the owned strings; call after the
    // strings are final.
    void bindTexts();
};

std::unique_ptr<Notification> makeState(int32_t code, uint8_t state);
std::unique_ptr<Notification> makeU32(int32_t code, uint32_t value);
std::unique_ptr<Notification> makeText(int32_t code, std::string text);
std::unique_ptr<Notification> makeAck(int32_t command);
std::unique_ptr<Notification> makeNack(int32_t command, int16_t error);
std::unique_ptr<Notification> makeError(int16_t error, std::string text);

// A stream property: an integer or a text value under a name.
struct StreamProperty {
    std::string name;
    std::variant<int32_t, std::string> value;
};
std::unique_ptr<Notification> makeProperties(const std::vector<StreamProperty> &properties);

// The notifications of one player between posting and dispatch.
//
// Locking: `mutex_` guards both containers. post() runs on the player's own
// thread; decode() runs on the receiver's thread. A block moves from
// `pending_` to `recent_` when decoded and is freed only after
// kRecentKept later decodes, so a dispatcher that pumps messages re-entrantly
// still finds its record's texts valid. Whatever is left is freed with the
// mailbox at player_delete.
class Mailbox {
public:
    Mailbox(kv_window **window, uint64_t serial) : window_(window), serial_(serial) {}

    void post(std::unique_ptr<Notification> notification);
    bool decode(KV_Message *out, uint32_t message, uintptr_t w_param, intptr_t l_param);
    uint64_t serial() const { return serial_; }

private:
    static constexpr size_t kRecentKept = 64;
    kv_window **window_;
    uint64_t serial_;
    std::mutex mutex_;
    std::unordered_map<uintptr_t, std::unique_ptr<Notification>> pending_;
    std::deque<std::unique_ptr<Notification>> recent_;
};

std::string describe(const KV_Message &message);

} // namespace kelvra

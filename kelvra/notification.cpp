#include "notification.h"

#include "trace.h"

#include <cstdio>

namespace kelvra {

void Notification::bindTexts() {
    switch (message.Code) {
    case KV_NOTIFY_INPUT_NAME:
    case KV_NOTIFY_OUTPUT_NAME:
    case KV_NOTIFY_STREAM_MIME_TYPE:
        message.Data.Name = text1.c_str();
        break;
    case KV_NOTIFY_PLAYER_ENVIRONMENT_INTEGER:
        message.Data.Environment_Info.Name = text1.c_str();
        break;
    case KV_NOTIFY_PLAYER_ENVIRONMENT_STRING:
        message.Data.Environment_Info.Name = text1.c_str();
        message.Data.Environment_Info.Value.String_Value = text2.c_str();
        break;
    case KV_NOTIFY_INPUT_MODULE_INFO:
    case KV_NOTIFY_OUTPUT_MODULE_INFO:
    case KV_NOTIFY_CODEC_MODULE_INFO:
        message.Data.Module_Info.Name = text1.c_str();
        message.Data.Module_Info.Description = text2.c_str();
        break;
    case KV_NOTIFY_INPUT_DEVICE_INFO:
    case KV_NOTIFY_OUTPUT_DEVICE_INFO:
    case KV_NOTIFY_CODEC_DEVICE_INFO:
        message.Data.Device_Info.Name = text1.c_str();
        message.Data.Device_Info.Description = text2.c_str();
        break;
    case KV_NOTIFY_INPUT_FILTER_INFO:
    case KV_NOTIFY_OUTPUT_FILTER_INFO:
        message.Data.Filter_Info.Name = text1.c_str();
        break;
    case KV_NOTIFY_ERROR:
        message.Data.Error.Msg = text1.c_str();
        break;
    case KV_NOTIFY_DEBUG:
        message.Data.Debug.Msg = text1.c_str();
        break;
    case KV_NOTIFY_CODEC_EQUALIZER:
        message.Data.Equalizer = &equalizer;
        break;
    default:
        break;
    }
}

std::unique_ptr<Notification> makeState(int32_t code, uint8_t state) {
    auto n = std::make_unique<Notification>(code);
    n->message.Data.State = state;
    return n;
}

std::unique_ptr<Notification> makeU32(int32_t code, uint32_t value) {
    auto n = std::make_unique<Notification>(code);
    n->message.Data.Duration = value;
    return n;
}

std::unique_ptr<Notification> makeText(int32_t code, std::string text) {
    auto n = std::make_unique<Notification>(code);
    n->text1 = std::move(text);
    n->bindTexts();
    return n;
}

std::unique_ptr<Notification> makeAck(int32_t command) {
    auto n = std::make_unique<Notification>(KV_NOTIFY_ACK);
    n->message.Data.Ack = static_cast<uint8_t>(command);
    return n;
}

std::unique_ptr<Notification> makeNack(int32_t command, int16_t error) {
    auto n = std::make_unique<Notification>(KV_NOTIFY_NACK);
    n->message.Data.Nack.Command = static_cast<uint8_t>(command);
    n->message.Data.Nack.Code = error;
    return n;
}

std::unique_ptr<Notification> makeError(int16_t error, std::string text) {
    auto n = std::make_unique<Notification>(KV_NOTIFY_ERROR);
    n->message.Data.Error.Code = error;
    n->text1 = std::move(text);
    n->bindTexts();
    return n;
}

std::unique_ptr<Notification> makeProperties(const std::vector<StreamProperty> &properties) {
    auto n = std::make_unique<Notification>(KV_NOTIFY_STREAM_PROPERTIES);
    for (const StreamProperty &p : properties) {
        KV_Property record{};
        record.Name = n->propertyTexts.emplace_back(p.name).c_str();
        if (const auto *number = std::get_if<int32_t>(&p.value)) {
            record.ValueType = KV_PROPERTY_TYPE_INTEGER;
            record.Value.IntegerValue = *number;
        } else {
            record.ValueType = KV_PROPERTY_TYPE_STRING;
            record.Value.StringValue =
                n->propertyTexts.emplace_back(std::get<std::string>(p.value)).c_str();
        }
        n->properties.push_back(record);
    }
    n->message.Data.Properties.NBProperties = static_cast<uint32_t>(n->properties.size());
    n->message.Data.Properties.Properties = n->properties.data();
    return n;
}

void Mailbox::post(std::unique_ptr<Notification> notification) {
    const auto key = reinterpret_cast<uintptr_t>(notification.get());
    const uint32_t number = KV_WM_NOTIFY_BASE + static_cast<uint32_t>(notification->message.Code);
    if (traceEnabled())
        traceLine("player " + std::to_string(serial_) + " notify " +
                  describe(notification->message));
    {
        std::lock_guard lock(mutex_);
        pending_.emplace(key, std::move(notification));
    }
    kv_window *window = window_ != nullptr ? *window_ : nullptr;
    if (window != nullptr && window->post_message != nullptr)
        window->post_message(window, number, static_cast<uintptr_t>(serial_),
                             static_cast<intptr_t>(key));
}

bool Mailbox::decode(KV_Message *out, uint32_t message, uintptr_t w_param, intptr_t l_param) {
    if (message < KV_WM_NOTIFY_BASE || w_param != serial_)
        return false;
    const auto key = static_cast<uintptr_t>(l_param);
    std::lock_guard lock(mutex_);
    const Notification *found = nullptr;
    if (auto it = pending_.find(key); it != pending_.end()) {
        found = it->second.get();
        recent_.push_back(std::move(it->second));
        pending_.erase(it);
        if (recent_.size() > kRecentKept)
            recent_.pop_front();
    } else {
        for (const auto &block : recent_)
            if (reinterpret_cast<uintptr_t>(block.get()) == key)
                found = block.get();
    }
    if (found == nullptr ||
        KV_WM_NOTIFY_BASE + static_cast<uint32_t>(found->message.Code) != message)
        return false;
    if (out != nullptr)
        *out = found->message;
    return true;
}

std::string describe(const KV_Message &m) {
    char buffer[160];
    const auto &d = m.Data;
    auto text = [](const char *s) { return s != nullptr ? s : ""; };
    switch (m.Code) {
    case KV_NOTIFY_ACK:
        std::snprintf(buffer, sizeof buffer, "%d ack command=%u", m.Code, d.Ack);
        break;
    case KV_NOTIFY_NACK:
        std::snprintf(buffer, sizeof buffer, "%d nack command=%u code=%d", m.Code, d.Nack.Command,
                      d.Nack.Code);
        break;
    case KV_NOTIFY_PLAYER_STATE:
    case KV_NOTIFY_INPUT_STATE:
    case KV_NOTIFY_OUTPUT_STATE:
        std::snprintf(buffer, sizeof buffer, "%d state=%u", m.Code, d.State);
        break;
    case KV_NOTIFY_INPUT_POSITION:
        std::snprintf(buffer, sizeof buffer, "%d position=%u/%u", m.Code, d.Position.Offset,
                      d.Position.Range);
        break;
    case KV_NOTIFY_INPUT_TIMECODE:
        std::snprintf(buffer, sizeof buffer, "%d timecode=%02u:%02u:%02u.%02u", m.Code,
                      d.TimeCode.H, d.TimeCode.M, d.TimeCode.S, d.TimeCode.F);
        break;
    case KV_NOTIFY_INPUT_NAME:
    case KV_NOTIFY_OUTPUT_NAME:
    case KV_NOTIFY_STREAM_MIME_TYPE:
        std::snprintf(buffer, sizeof buffer, "%d \"%s\"", m.Code, text(d.Name));
        break;
    case KV_NOTIFY_STREAM_PARAMETERS:
        std::snprintf(buffer, sizeof buffer, "%d %u Hz %d kbps %u ch", m.Code,
                      d.Stream_Parameters.Frequency, d.Stream_Parameters.BitRate,
                      d.Stream_Parameters.NB_Channels);
        break;
    case KV_NOTIFY_OUTPUT_VOLUME:
    case KV_NOTIFY_OUTPUT_BALANCE:
    case KV_NOTIFY_OUTPUT_PCM_LEVEL:
    case KV_NOTIFY_OUTPUT_MASTER_LEVEL:
        std::snprintf(buffer, sizeof buffer, "%d master=%d pcm=%d balance=%d", m.Code,
                      d.Volume.Master_Level, d.Volume.PCM_Level, d.Volume.Balance);
        break;
    case KV_NOTIFY_ERROR:
        std::snprintf(buffer, sizeof buffer, "%d error code=%d \"%s\"", m.Code, d.Error.Code,
                      text(d.Error.Msg));
        break;
    default:
        std::snprintf(buffer, sizeof buffer, "%d value=%u", m.Code, d.Duration);
        break;
    }
    return buffer;
}

} // namespace kelvra

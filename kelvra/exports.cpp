// The 23 functions the player binds by name, and the optional query for the
// engine's extensions. Everything else in the library is hidden.
#include "analyzer.h"
#include "errors.h"
#include "feedback.h"
#include "kelvra_interface.h"
#include "mixer.h"
#include "player.h"
#include "trace.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>

struct kv_fft_analyzer {
    kelvra::Analyzer analyzer;
};

namespace kelvra {
namespace {

// Live players, so that a call with a deleted or foreign handle is refused
// instead of touching freed memory. The lock is held while a command is
// queued, which keeps player_delete from freeing the player under a send.
struct Players {
    std::mutex mutex;
    std::set<const kv_player *> live;
};

Players &players() {
    static Players p;
    return p;
}

const char *commandName(int32_t code) {
    switch (code) {
    case KV_CMD_SYNCHRONIZE:
        return "Synchronize";
    case KV_CMD_PING:
        return "Ping";
    case KV_CMD_PLAY:
        return "Play";
    case KV_CMD_PAUSE:
        return "Pause";
    case KV_CMD_STOP:
        return "Stop";
    case KV_CMD_INPUT_SEEK:
        return "InputSeek";
    case KV_CMD_INPUT_OPEN:
        return "InputOpen";
    case KV_CMD_INPUT_CLOSE:
        return "InputClose";
    case KV_CMD_OUTPUT_OPEN:
        return "OutputOpen";
    case KV_CMD_OUTPUT_CLOSE:
        return "OutputClose";
    case KV_CMD_OUTPUT_MUTE:
        return "OutputMute";
    case KV_CMD_OUTPUT_UNMUTE:
        return "OutputUnmute";
    case KV_CMD_OUTPUT_RESET:
        return "OutputReset";
    case KV_CMD_OUTPUT_DRAIN:
        return "OutputDrain";
    case KV_CMD_OUTPUT_ADD_FILTER:
        return "OutputAddFilter";
    case KV_CMD_OUTPUT_REMOVE_FILTER:
        return "OutputRemoveFilter";
    case KV_CMD_OUTPUT_FILTER_LIST:
        return "OutputFilterList";
    case KV_CMD_OUTPUT_MODULE_REGISTER:
        return "OutputModuleRegister";
    case KV_CMD_OUTPUT_MODULES_LIST:
        return "OutputModulesList";
    case KV_CMD_SET_PLAYER_ENVIRONMENT_INTEGER:
        return "SetPlayerEnvironmentInteger";
    case KV_CMD_SET_OUTPUT_NAME:
        return "SetOutputName";
    case KV_CMD_SET_OUTPUT_VOLUME:
        return "SetOutputVolume";
    case KV_CMD_SET_OUTPUT_CHANNELS:
        return "SetOutputChannels";
    case KV_CMD_SET_CODEC_EQUALIZER:
        return "SetCodecEqualizer";
    case KV_CMD_FEEDBACK_REGISTER:
        return "FeedbackRegister";
    default:
        return "";
    }
}

const char *extensionName(int32_t code) {
    switch (static_cast<ExtensionCommand>(code)) {
    case ExtensionCommand::SetInputGain:
        return "SetInputGain";
    case ExtensionCommand::SetQuietEnds:
        return "SetQuietEnds";
    }
    return "";
}

void traceCommand(const kv_player *player, const Command &c, const char *variant) {
    if (!traceEnabled())
        return;
    uint64_t serial = 0;
    if (const auto *p = dynamic_cast<const Player *>(player))
        serial = const_cast<Player *>(p)->mailbox().serial();
    char head[128];
    std::snprintf(head, sizeof head, "player %llu command %d %s %s ints=%d,%d,%d,%d",
                  static_cast<unsigned long long>(serial), c.code,
                  c.extension ? extensionName(c.code) : commandName(c.code), variant, c.ints[0],
                  c.ints[1], c.ints[2], c.ints[3]);
    std::string line = head;
    if (!c.text1.empty() || !c.text2.empty())
        line += " text=\"" + c.text1 + "\",\"" + c.text2 + "\"";
    if (!c.nullPointer)
        line += " data=" + std::to_string(c.data.size()) + " bytes";
    traceLine(line);
}

int32_t queue(kv_player *player, Command command, const char *variant) {
    Players &p = players();
    std::lock_guard lock(p.mutex);
    if (player == nullptr || !p.live.contains(player))
        return -1;
    traceCommand(player, command, variant);
    static_cast<Player *>(player)->send(std::move(command));
    return 0;
}

std::string copyText(const char *text) {
    return text != nullptr ? std::string(text) : std::string();
}

int32_t setInputGain(kv_player *player, int32_t hundredths) {
    Command c;
    c.code = static_cast<int32_t>(ExtensionCommand::SetInputGain);
    c.extension = true;
    c.ints[0] = hundredths;
    return queue(player, std::move(c), "extension");
}

constexpr kv_player_gain_extension kPlayerGain{KV_PLAYER_GAIN_VERSION, &setInputGain};

int32_t setQuietEnds(kv_player *player, int32_t on) {
    Command c;
    c.code = static_cast<int32_t>(ExtensionCommand::SetQuietEnds);
    c.extension = true;
    c.ints[0] = on != 0 ? 1 : 0;
    return queue(player, std::move(c), "extension");
}

int32_t audibleEnd(kv_player *player) {
    Players &p = players();
    std::lock_guard lock(p.mutex);
    if (player == nullptr || !p.live.contains(player))
        return -1;
    return static_cast<Player *>(player)->audibleEndMilliseconds();
}

constexpr kv_quiet_ends_extension kQuietEnds{KV_QUIET_ENDS_VERSION, &setQuietEnds, &audibleEnd};

constexpr kv_speech_mix_extension kSpeechMix{KV_SPEECH_MIX_VERSION, &speech::write, &speech::clear,
                                             &speech::pendingMilliseconds, &speech::setDuckDepth};

} // namespace
} // namespace kelvra

using kelvra::Command;

extern "C" {

int32_t player_new(kv_player **player, kv_window **window) {
    if (player == nullptr)
        return -1;
    *player = nullptr;
    try {
        auto created = std::make_unique<kelvra::Player>(window);
        kelvra::Players &p = kelvra::players();
        std::lock_guard lock(p.mutex);
        p.live.insert(created.get());
        *player = created.release();
        return 0;
    } catch (...) {
        return -1;
    }
}

int32_t player_delete(kv_player *player) {
    kelvra::Players &p = kelvra::players();
    {
        std::lock_guard lock(p.mutex);
        if (player == nullptr || p.live.erase(player) == 0)
            return -1;
    }
    std::unique_ptr<kv_player> owned(player);
    return 0;
}

int32_t player_set_priority(kv_player *player, uint32_t priority) {
    kelvra::Players &p = kelvra::players();
    std::lock_guard lock(p.mutex);
    if (player == nullptr || !p.live.contains(player) || priority > 4)
        return -1;
    static_cast<kelvra::Player *>(player)->setPriority(priority);
    return 0;
}

int32_t player_get_priority(kv_player *player) {
    kelvra::Players &p = kelvra::players();
    std::lock_guard lock(p.mutex);
    if (player == nullptr || !p.live.contains(player))
        return -1;
    return static_cast<kelvra::Player *>(player)->priority();
}

const char *kelvra_error_string(int32_t code) {
    return kelvra::errorText(code);
}

uint32_t kelvra_get_version(int32_t version_index) {
    return version_index == KV_VERSION_INDEX_API ? KV_API_VERSION_WORD : 0u;
}

int32_t control_message_send_N(kv_player *player, int32_t code) {
    Command c;
    c.code = code;
    return kelvra::queue(player, std::move(c), "N");
}

int32_t control_message_send_P(kv_player *player, int32_t code, const void *pointer1) {
    Command c;
    c.code = code;
    c.nullPointer = pointer1 == nullptr;
    // The only pointer command with a known size is the equalizer record;
    // it is copied now because the caller frees it right after the call.
    if (pointer1 != nullptr && code == KV_CMD_SET_CODEC_EQUALIZER) {
        const auto *bytes = static_cast<const uint8_t *>(pointer1);
        c.data.assign(bytes, bytes + sizeof(KV_EqualizerInfo));
    }
    return kelvra::queue(player, std::move(c), "P");
}

int32_t control_message_send_S(kv_player *player, int32_t code, const char *str1) {
    Command c;
    c.code = code;
    c.text1 = kelvra::copyText(str1);
    // A feedback location that cannot be parsed is refused at once, so the
    // caller knows not to go on selecting and enabling it.
    if (code == KV_CMD_FEEDBACK_REGISTER && !kelvra::parseFeedbackLocation(c.text1))
        return -2;
    return kelvra::queue(player, std::move(c), "S");
}

int32_t control_message_send_SS(kv_player *player, int32_t code, const char *str1,
                                const char *str2) {
    Command c;
    c.code = code;
    c.text1 = kelvra::copyText(str1);
    c.text2 = kelvra::copyText(str2);
    return kelvra::queue(player, std::move(c), "SS");
}

int32_t control_message_send_SI(kv_player *player, int32_t code, const char *str1, int32_t int1) {
    Command c;
    c.code = code;
    c.text1 = kelvra::copyText(str1);
    c.ints[0] = int1;
    return kelvra::queue(player, std::move(c), "SI");
}

int32_t control_message_send_IPI(kv_player *player, int32_t code, int32_t int1, const void *ptr1,
                                 int32_t int2) {
    Command c;
    c.code = code;
    c.ints[0] = int1;
    c.ints[1] = int2;
    c.nullPointer = ptr1 == nullptr;
    constexpr int32_t kLargestMessage = 1 << 20;
    if (ptr1 != nullptr && int2 > 0 && int2 <= kLargestMessage) {
        const auto *bytes = static_cast<const uint8_t *>(ptr1);
        c.data.assign(bytes, bytes + int2);
    }
    return kelvra::queue(player, std::move(c), "IPI");
}

int32_t control_message_send_I(kv_player *player, int32_t code, int32_t int1) {
    Command c;
    c.code = code;
    c.ints[0] = int1;
    return kelvra::queue(player, std::move(c), "I");
}

int32_t control_message_send_II(kv_player *player, int32_t code, int32_t int1, int32_t int2) {
    Command c;
    c.code = code;
    c.ints[0] = int1;
    c.ints[1] = int2;
    return kelvra::queue(player, std::move(c), "II");
}

int32_t control_message_send_III(kv_player *player, int32_t code, int32_t int1, int32_t int2,
                                 int32_t int3) {
    Command c;
    c.code = code;
    c.ints[0] = int1;
    c.ints[1] = int2;
    c.ints[2] = int3;
    return kelvra::queue(player, std::move(c), "III");
}

int32_t control_message_send_IIII(kv_player *player, int32_t code, int32_t int1, int32_t int2,
                                  int32_t int3, int32_t int4) {
    Command c;
    c.code = code;
    c.ints[0] = int1;
    c.ints[1] = int2;
    c.ints[2] = int3;
    c.ints[3] = int4;
    return kelvra::queue(player, std::move(c), "IIII");
}

int32_t control_win32_params_to_message(kv_player *player, KV_Message *msg, uint32_t message,
                                        uintptr_t w_param, intptr_t l_param) {
    if (message < KV_WM_NOTIFY_BASE)
        return -1;
    kelvra::Players &p = kelvra::players();
    std::lock_guard lock(p.mutex);
    if (player == nullptr || !p.live.contains(player))
        return -1;
    return static_cast<kelvra::Player *>(player)->mailbox().decode(msg, message, w_param, l_param)
               ? 0
               : -1;
}

const void *kelvra_get_extension(const char *name) {
    if (name == nullptr)
        return nullptr;
    if (std::strcmp(name, KV_EXTENSION_PLAYER_GAIN) == 0)
        return &kelvra::kPlayerGain;
    if (std::strcmp(name, KV_EXTENSION_QUIET_ENDS) == 0)
        return &kelvra::kQuietEnds;
    if (std::strcmp(name, KV_EXTENSION_SPEECH_MIX) == 0)
        return &kelvra::kSpeechMix;
    return nullptr;
}

int32_t fft_analyzer_new(kv_fft_analyzer **analyzer) {
    if (analyzer == nullptr)
        return -1;
    try {
        *analyzer = std::make_unique<kv_fft_analyzer>().release();
        return 0;
    } catch (...) {
        *analyzer = nullptr;
        return 1;
    }
}

int32_t fft_analyzer_delete(kv_fft_analyzer **analyzer) {
    if (analyzer == nullptr || *analyzer == nullptr)
        return 0;
    std::unique_ptr<kv_fft_analyzer> owned(*analyzer);
    *analyzer = nullptr;
    return 1;
}

void fft_analyzer_set_samples(kv_fft_analyzer *analyzer, const int16_t *samples, int32_t count) {
    if (analyzer != nullptr)
        analyzer->analyzer.setSamples(samples, count);
}

void fft_analyzer_get_spectrum(kv_fft_analyzer *analyzer, uint8_t *spectrum, int32_t bands) {
    if (analyzer != nullptr)
        analyzer->analyzer.spectrum(spectrum, bands);
}

void fft_analyzer_interpolate_samples_signed(kv_fft_analyzer *analyzer, const void *samples,
                                             int32_t count, int32_t channels) {
    if (analyzer != nullptr)
        analyzer->analyzer.interpolate(samples, count, channels, true);
}

void fft_analyzer_interpolate_samples_unsigned(kv_fft_analyzer *analyzer, const void *samples,
                                               int32_t count, int32_t channels) {
    if (analyzer != nullptr)
        analyzer->analyzer.interpolate(samples, count, channels, false);
}

} // extern "C"

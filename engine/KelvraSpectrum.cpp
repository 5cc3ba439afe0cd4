#include "KelvraSpectrum.h"

#include "hidden_window.h"
#include "library_loader.h"

#include <QString>

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace velbrin::engine {
namespace {

std::string text(const char *p) {
    return p != nullptr ? std::string(p) : std::string();
}

// Levels travel as signed bytes and reach the events with the same bit pattern.
uint8_t level(int8_t v) {
    return static_cast<uint8_t>(v);
}

// One spectrum state for the whole program. The engine's thread writes the
// spectra while the user-interface thread may read them; the fields are atomic
// so that a read during an update mixes old and new bands but is never torn.
struct SpectrumState {
    std::atomic<bool> both{false};
    std::atomic<kv_fft_analyzer *> left{nullptr};
    std::array<std::atomic<uint8_t>, 65> leftSpectrum{};
    std::atomic<kv_fft_analyzer *> right{nullptr};
    std::array<std::atomic<uint8_t>, 65> rightSpectrum{};
    std::atomic<kv_fft_analyzer_set_samples_fn> setSamples{nullptr};
    std::atomic<kv_fft_analyzer_get_spectrum_fn> getSpectrum{nullptr};
};
SpectrumState spectrumState;

constexpr int kBands = 64;
constexpr uint16_t kMaxAnalysedSamples = 128;
constexpr const char *kHandlerName = "Visualisation";
constexpr const char *kCredit = "Velbrin spectrum feedback handler";

void fetchSpectrum(kv_fft_analyzer *analyzer, std::array<std::atomic<uint8_t>, 65> &into) {
    auto get = spectrumState.getSpectrum.load();
    if (get == nullptr || analyzer == nullptr) {
        return;
    }
    std::array<uint8_t, 65> bands{};
    get(analyzer, bands.data(), kBands);
    for (size_t i = 0; i < bands.size(); ++i) {
        into[i].store(bands[i], std::memory_order_relaxed);
    }
}

int32_t doNothing() {
    return 0;
}

void copyText(char *field, const char *value) {
    std::strncpy(field, value, 255);
    field[255] = '\0';
}

} // namespace

namespace spectrum {

int32_t InitHandler(kv_feedback_table *table) {
    if (table == nullptr) {
        return -1;
    }
    table->interface_version = KV_FEEDBACK_INTERFACE_VERSION;
    table->name_match = &NameMatch;
    table->information = &Information;
    table->reserved_3 = &doNothing;
    table->reserved_4 = &doNothing;
    table->reserved_5 = &doNothing;
    table->reserved_6 = &doNothing;
    table->audio_event = &AudioEvent;
    return 0;
}

int32_t NameMatch(const char *name) {
    return name != nullptr && std::strcmp(name, kHandlerName) == 0 ? 0 : -1;
}

int32_t Information(kv_feedback_information *info, int32_t kind) {
    if (info == nullptr) {
        return 0;
    }
    switch (kind) {
    case KV_FEEDBACK_INFO_MODULE:
        copyText(info->Name, kCredit);
        copyText(info->Description, "Version 1");
        break;
    case KV_FEEDBACK_INFO_CAPS:
        info->Flags = 1;
        break;
    case KV_FEEDBACK_INFO_HANDLER:
        copyText(info->Name, kCredit);
        copyText(info->Description, "Sample feedback handler");
        break;
    default:
        break;
    }
    return 0;
}

int32_t AudioEvent(void *, const KV_AudioEvent *event) {
    auto set = spectrumState.setSamples.load();
    if (event == nullptr || set == nullptr) {
        return 0;
    }
    const int32_t n = std::min(event->NB_Samples, kMaxAnalysedSamples);
    kv_fft_analyzer *left = spectrumState.left.load();
    if (event->NB_Channels == 2) {
        kv_fft_analyzer *right = spectrumState.both ? spectrumState.right.load() : nullptr;
        if (left != nullptr) {
            set(left, event->Samples, n);
        }
        if (right != nullptr) {
            set(right, event->Samples, n);
        }
        fetchSpectrum(left, spectrumState.leftSpectrum);
        if (right != nullptr) {
            fetchSpectrum(right, spectrumState.rightSpectrum);
        }
    } else {
        if (left != nullptr) {
            set(left, event->Samples, n);
        }
        fetchSpectrum(left, spectrumState.leftSpectrum);
    }
    return 0;
}

} // namespace spectrum

TKelvraSpectrum::TKelvraSpectrum(QObject *AOwner) : QObject(AOwner) {
    Window = new platform::HiddenWindow(this); // owned by this object through Qt
    Window->setHandler([this](uint32_t m, uintptr_t w, intptr_t l) { return WndProc(m, w, l); });
    HiddenWindow = Window->handle();
    UnloadEngineLibrary();
}

TKelvraSpectrum::~TKelvraSpectrum() {
    kv_player *player = std::exchange(Player, nullptr);
    if (player != nullptr && PlayerDelete != nullptr) {
        (void)PlayerDelete(player);
    }
    UnloadEngineLibrary();
    // The hidden window is a child object; deleting it here, before the base
    // destructor runs, drops any notification still queued for it.
    delete std::exchange(Window, nullptr);
    HiddenWindow = nullptr;
}

bool TKelvraSpectrum::Init() {
    return EnsurePlayer();
}

uint32_t TKelvraSpectrum::GetVersion(uint8_t VersionId) {
    if (Player == nullptr) {
        return 0;
    }
    return KelvraGetVersion(VersionId);
}

void TKelvraSpectrum::SetPriority(uint32_t Value) {
    if (Player != nullptr) {
        (void)PlayerSetPriority(Player, Value);
    } else {
        PlayerPriority = Value;
    }
}

uint32_t TKelvraSpectrum::GetPriority() {
    if (Player != nullptr) {
        return static_cast<uint32_t>(PlayerGetPriority(Player));
    }
    return PlayerPriority;
}

std::string TKelvraSpectrum::ErrorString(int Code) {
    if (!EnsurePlayer()) {
        return {};
    }
    return text(KelvraErrorString(Code));
}

bool TKelvraSpectrum::EnsurePlayer() {
    if (Player != nullptr) {
        return true;
    }
    if (!LibraryHandle) {
        LoadEngineLibrary();
    }
    if (!LibraryHandle) {
        return false;
    }
    const uint32_t v = KelvraGetVersion(KV_VERSION_INDEX_API);
    const uint32_t major = (v >> 16) & 255u;
    const uint32_t minor = (v >> 8) & 255u;
    if (major != KV_API_MAJOR || minor != KV_API_MINOR) {
        throw EKelvraException("Kelvra DLL API Mismatch\rExpected 3.8, Got " +
                               std::to_string(major) + "." + std::to_string(minor));
    }
    if (PlayerNew(&Player, &HiddenWindow) != 0) {
        Player = nullptr;
        throw EKelvraException("Cannot Start Kelvra Player");
    }
    if (PlayerPriority != 3) {
        (void)PlayerSetPriority(Player, PlayerPriority);
    }
    return true;
}

void TKelvraSpectrum::LoadEngineLibrary() {
    LibraryHandle = platform::DynamicLibrary::open(QString::fromLocal8Bit(LibraryPath.c_str()));
    if (!LibraryHandle) {
        throw EKelvraException("Cannot Load Kelvra DLL (" + LibraryPath + ")");
    }
    auto bind = [this](auto &field, const char *name) {
        field = reinterpret_cast<std::remove_reference_t<decltype(field)>>(ResolveSymbol(name));
    };
    bind(PlayerNew, "player_new");
    bind(PlayerDelete, "player_delete");
    bind(PlayerSetPriority, "player_set_priority");
    bind(PlayerGetPriority, "player_get_priority");
    bind(KelvraErrorString, "kelvra_error_string");
    bind(KelvraGetVersion, "kelvra_get_version");
    bind(ControlMessageSendN, "control_message_send_N");
    bind(ControlMessageSendP, "control_message_send_P");
    bind(ControlMessageSendS, "control_message_send_S");
    bind(ControlMessageSendSS, "control_message_send_SS");
    bind(ControlMessageSendSI, "control_message_send_SI");
    bind(ControlMessageSendIPI, "control_message_send_IPI");
    bind(ControlMessageSendI, "control_message_send_I");
    bind(ControlMessageSendII, "control_message_send_II");
    bind(ControlMessageSendIII, "control_message_send_III");
    bind(ControlMessageSendIIII, "control_message_send_IIII");
    bind(ControlWin32ParamsToMessage, "control_win32_params_to_message");
    bind(FFTAnalyzerNew, "fft_analyzer_new");
    bind(FFTAnalyzerDelete, "fft_analyzer_delete");
    kv_fft_analyzer_set_samples_fn setSamples = nullptr;
    kv_fft_analyzer_get_spectrum_fn getSpectrum = nullptr;
    bind(setSamples, "fft_analyzer_set_samples");
    bind(getSpectrum, "fft_analyzer_get_spectrum");
    bind(FFTAnalyzerInterpolateSamplesSigned, "fft_analyzer_interpolate_samples_signed");
    bind(FFTAnalyzerInterpolateSamplesUnsigned, "fft_analyzer_interpolate_samples_unsigned");
    spectrumState.setSamples = setSamples;
    spectrumState.getSpectrum = getSpectrum;
}

void *TKelvraSpectrum::ResolveSymbol(const char *Name) {
    if (!LibraryHandle) {
        return nullptr;
    }
    if (void *p = LibraryHandle->symbol(Name)) {
        return p;
    }
    UnloadEngineLibrary();
    throw EKelvraException(std::string("Cannot Find Symbol ") + Name + " in Kelvra DLL");
}

void TKelvraSpectrum::UnloadEngineLibrary() {
    LibraryHandle.reset();
    PlayerNew = nullptr;
    PlayerDelete = nullptr;
    PlayerSetPriority = nullptr;
    PlayerGetPriority = nullptr;
    KelvraErrorString = nullptr;
    KelvraGetVersion = nullptr;
    ControlMessageSendN = nullptr;
    ControlMessageSendP = nullptr;
    ControlMessageSendS = nullptr;
    ControlMessageSendSS = nullptr;
    ControlMessageSendSI = nullptr;
    ControlMessageSendIPI = nullptr;
    ControlMessageSendI = nullptr;
    ControlMessageSendII = nullptr;
    ControlMessageSendIII = nullptr;
    ControlMessageSendIIII = nullptr;
    ControlWin32ParamsToMessage = nullptr;
    FFTAnalyzerNew = nullptr;
    FFTAnalyzerDelete = nullptr;
    FFTAnalyzerInterpolateSamplesSigned = nullptr;
    FFTAnalyzerInterpolateSamplesUnsigned = nullptr;
    spectrumState.setSamples = nullptr;
    spectrumState.getSpectrum = nullptr;
}

// --- commands -------------------------------------------------------------------

// Sends go through the bound entry point as it is after EnsurePlayer, which
// may have just bound it.
#define KV_SEND(field, ...)                                                                        \
    do {                                                                                           \
        if (!EnsurePlayer()) {                                                                     \
            return;                                                                                \
        }                                                                                          \
        (void)field(Player, __VA_ARGS__);                                                          \
    } while (false)

namespace {
int32_t i32(uint32_t v) {
    return static_cast<int32_t>(v);
}
} // namespace

void TKelvraSpectrum::Synchronize() {
    KV_SEND(ControlMessageSendN, KV_CMD_SYNCHRONIZE);
}
void TKelvraSpectrum::Ping(uint32_t Tag) {
    KV_SEND(ControlMessageSendI, KV_CMD_PING, i32(Tag));
}
void TKelvraSpectrum::Play() {
    KV_SEND(ControlMessageSendN, KV_CMD_PLAY);
}
void TKelvraSpectrum::Pause() {
    KV_SEND(ControlMessageSendN, KV_CMD_PAUSE);
}
void TKelvraSpectrum::Stop() {
    KV_SEND(ControlMessageSendN, KV_CMD_STOP);
}
void TKelvraSpectrum::InputSeek(uint32_t Offset, uint32_t Range) {
    KV_SEND(ControlMessageSendII, KV_CMD_INPUT_SEEK, i32(Offset), i32(Range));
}
void TKelvraSpectrum::InputOpen(const std::string &FName) {
    KV_SEND(ControlMessageSendS, KV_CMD_INPUT_OPEN, FName.c_str());
}
void TKelvraSpectrum::InputClose() {
    KV_SEND(ControlMessageSendN, KV_CMD_INPUT_CLOSE);
}
void TKelvraSpectrum::InputSendMessage(uint16_t MsgType, const void *Data, uint32_t Size) {
    KV_SEND(ControlMessageSendIPI, KV_CMD_INPUT_SEND_MESSAGE, int32_t{MsgType}, Data, i32(Size));
}
void TKelvraSpectrum::InputAddFilter(const std::string &FName, int Where) {
    KV_SEND(ControlMessageSendSI, KV_CMD_INPUT_ADD_FILTER, FName.c_str(), Where);
}
void TKelvraSpectrum::InputRemoveFilter(const std::string &FName, int ID) {
    KV_SEND(ControlMessageSendSI, KV_CMD_INPUT_REMOVE_FILTER, FName.c_str(), ID);
}
void TKelvraSpectrum::InputFilterList() {
    KV_SEND(ControlMessageSendN, KV_CMD_INPUT_FILTER_LIST);
}
void TKelvraSpectrum::InputModuleRegister(const std::string &FName) {
    KV_SEND(ControlMessageSendS, KV_CMD_INPUT_MODULE_REGISTER, FName.c_str());
}
void TKelvraSpectrum::InputModuleQuery(uint32_t ID) {
    KV_SEND(ControlMessageSendI, KV_CMD_INPUT_MODULE_QUERY, i32(ID));
}
void TKelvraSpectrum::InputModulesList() {
    KV_SEND(ControlMessageSendN, KV_CMD_INPUT_MODULES_LIST);
}
void TKelvraSpectrum::OutputOpen(const std::string &FName) {
    KV_SEND(ControlMessageSendS, KV_CMD_OUTPUT_OPEN, FName.c_str());
}
void TKelvraSpectrum::OutputClose() {
    KV_SEND(ControlMessageSendN, KV_CMD_OUTPUT_CLOSE);
}
void TKelvraSpectrum::OutputSendMessage(uint16_t MsgType, const void *Data, uint32_t Size) {
    KV_SEND(ControlMessageSendIPI, KV_CMD_OUTPUT_SEND_MESSAGE, int32_t{MsgType}, Data, i32(Size));
}
void TKelvraSpectrum::OutputMute() {
    KV_SEND(ControlMessageSendN, KV_CMD_OUTPUT_MUTE);
}
void TKelvraSpectrum::OutputUnmute() {
    KV_SEND(ControlMessageSendN, KV_CMD_OUTPUT_UNMUTE);
}
void TKelvraSpectrum::OutputReset() {
    KV_SEND(ControlMessageSendN, KV_CMD_OUTPUT_RESET);
}
void TKelvraSpectrum::OutputDrain() {
    KV_SEND(ControlMessageSendN, KV_CMD_OUTPUT_DRAIN);
}
void TKelvraSpectrum::OutputAddFilter(const std::string &FName, int Where) {
    KV_SEND(ControlMessageSendSI, KV_CMD_OUTPUT_ADD_FILTER, FName.c_str(), Where);
}
void TKelvraSpectrum::OutputRemoveFilter(const std::string &FName, int ID) {
    KV_SEND(ControlMessageSendSI, KV_CMD_OUTPUT_REMOVE_FILTER, FName.c_str(), ID);
}
void TKelvraSpectrum::OutputFilterList() {
    KV_SEND(ControlMessageSendN, KV_CMD_OUTPUT_FILTER_LIST);
}
void TKelvraSpectrum::OutputModuleRegister(const std::string &FName) {
    KV_SEND(ControlMessageSendS, KV_CMD_OUTPUT_MODULE_REGISTER, FName.c_str());
}
void TKelvraSpectrum::OutputModuleQuery(uint32_t ID) {
    KV_SEND(ControlMessageSendI, KV_CMD_OUTPUT_MODULE_QUERY, i32(ID));
}
void TKelvraSpectrum::OutputModulesList() {
    KV_SEND(ControlMessageSendN, KV_CMD_OUTPUT_MODULES_LIST);
}
void TKelvraSpectrum::CodecSendMessage(uint16_t MsgType, const void *Data, uint32_t Size) {
    KV_SEND(ControlMessageSendIPI, KV_CMD_CODEC_SEND_MESSAGE, int32_t{MsgType}, Data, i32(Size));
}
void TKelvraSpectrum::CodecModuleRegister(const std::string &FName) {
    KV_SEND(ControlMessageSendS, KV_CMD_CODEC_MODULE_REGISTER, FName.c_str());
}
void TKelvraSpectrum::CodecModuleQuery(uint32_t ID) {
    KV_SEND(ControlMessageSendI, KV_CMD_CODEC_MODULE_QUERY, i32(ID));
}
void TKelvraSpectrum::CodecModulesList() {
    KV_SEND(ControlMessageSendN, KV_CMD_CODEC_MODULES_LIST);
}
void TKelvraSpectrum::SetPlayerMode(uint32_t Mode) {
    KV_SEND(ControlMessageSendI, KV_CMD_SET_PLAYER_MODE, i32(Mode));
}
void TKelvraSpectrum::GetPlayerMode() {
    KV_SEND(ControlMessageSendN, KV_CMD_GET_PLAYER_MODE);
}
void TKelvraSpectrum::SetPlayerEnvironmentInteger(const std::string &FName, int Value) {
    KV_SEND(ControlMessageSendSI, KV_CMD_SET_PLAYER_ENVIRONMENT_INTEGER, FName.c_str(), Value);
}
void TKelvraSpectrum::GetPlayerEnvironmentInteger(const std::string &FName) {
    KV_SEND(ControlMessageSendS, KV_CMD_GET_PLAYER_ENVIRONMENT_INTEGER, FName.c_str());
}
void TKelvraSpectrum::SetPlayerEnvironmentString(const std::string &FName,
                                                 const std::string &Value) {
    KV_SEND(ControlMessageSendSS, KV_CMD_SET_PLAYER_ENVIRONMENT_STRING, FName.c_str(),
            Value.c_str());
}
void TKelvraSpectrum::GetPlayerEnvironmentString(const std::string &FName) {
    KV_SEND(ControlMessageSendS, KV_CMD_GET_PLAYER_ENVIRONMENT_STRING, FName.c_str());
}
void TKelvraSpectrum::UnsetPlayerEnvironment(const std::string &FName) {
    KV_SEND(ControlMessageSendS, KV_CMD_UNSET_PLAYER_ENVIRONMENT, FName.c_str());
}
void TKelvraSpectrum::SetInputName(const std::string &FName) {
    KV_SEND(ControlMessageSendS, KV_CMD_SET_INPUT_NAME, FName.c_str());
}
void TKelvraSpectrum::GetInputName() {
    KV_SEND(ControlMessageSendN, KV_CMD_GET_INPUT_NAME);
}
void TKelvraSpectrum::SetInputModule(uint32_t ID) {
    KV_SEND(ControlMessageSendI, KV_CMD_SET_INPUT_MODULE, i32(ID));
}
void TKelvraSpectrum::GetInputModule() {
    KV_SEND(ControlMessageSendN, KV_CMD_GET_INPUT_MODULE);
}
void TKelvraSpectrum::SetInputPositionRange(uint32_t Range) {
    KV_SEND(ControlMessageSendI, KV_CMD_SET_INPUT_POSITION_RANGE, i32(Range));
}
void TKelvraSpectrum::GetInputPositionRange() {
    KV_SEND(ControlMessageSendN, KV_CMD_GET_INPUT_POSITION_RANGE);
}
void TKelvraSpectrum::SetInputTimecodeGranularity(uint32_t Granularity) {
    KV_SEND(ControlMessageSendI, KV_CMD_SET_INPUT_TIMECODE_GRANULARITY, i32(Granularity));
}
void TKelvraSpectrum::GetInputTimecodeGranularity() {
    KV_SEND(ControlMessageSendN, KV_CMD_GET_INPUT_TIMECODE_GRANULARITY);
}
void TKelvraSpectrum::SetOutputName(const std::string &FName) {
    KV_SEND(ControlMessageSendS, KV_CMD_SET_OUTPUT_NAME, FName.c_str());
}
void TKelvraSpectrum::GetOutputName() {
    KV_SEND(ControlMessageSendN, KV_CMD_GET_OUTPUT_NAME);
}
void TKelvraSpectrum::SetOutputModule(uint32_t ID) {
    KV_SEND(ControlMessageSendI, KV_CMD_SET_OUTPUT_MODULE, i32(ID));
}
void TKelvraSpectrum::GetOutputModule() {
    KV_SEND(ControlMessageSendN, KV_CMD_GET_OUTPUT_MODULE);
}
void TKelvraSpectrum::SetOutputVolume(int Balance, int PcmLevel, int MasterLevel) {
    KV_SEND(ControlMessageSendIII, KV_CMD_SET_OUTPUT_VOLUME, Balance, PcmLevel, MasterLevel);
}
void TKelvraSpectrum::GetOutputVolume() {
    KV_SEND(ControlMessageSendN, KV_CMD_GET_OUTPUT_VOLUME);
}
void TKelvraSpectrum::SetOutputChannels(uint32_t Channels) {
    KV_SEND(ControlMessageSendI, KV_CMD_SET_OUTPUT_CHANNELS, i32(Channels));
}
void TKelvraSpectrum::GetOutputChannels() {
    KV_SEND(ControlMessageSendN, KV_CMD_GET_OUTPUT_CHANNELS);
}
void TKelvraSpectrum::SetOutputPorts(uint32_t Ports) {
    KV_SEND(ControlMessageSendI, KV_CMD_SET_OUTPUT_PORTS, i32(Ports));
}
void TKelvraSpectrum::GetOutputPorts() {
    KV_SEND(ControlMessageSendN, KV_CMD_GET_OUTPUT_PORTS);
}
void TKelvraSpectrum::SetCodecQuality(uint8_t Quality) {
    KV_SEND(ControlMessageSendI, KV_CMD_SET_CODEC_QUALITY, int32_t{Quality});
}
void TKelvraSpectrum::GetCodecQuality() {
    KV_SEND(ControlMessageSendN, KV_CMD_GET_CODEC_QUALITY);
}
void TKelvraSpectrum::SetCodecEqualizer(const KV_EqualizerInfo *Equalizer) {
    KV_SEND(ControlMessageSendP, KV_CMD_SET_CODEC_EQUALIZER, static_cast<const void *>(Equalizer));
}
void TKelvraSpectrum::GetCodecEqualizer() {
    KV_SEND(ControlMessageSendN, KV_CMD_GET_CODEC_EQUALIZER);
}
void TKelvraSpectrum::SetNotificationMask(uint32_t Mask) {
    KV_SEND(ControlMessageSendI, KV_CMD_SET_NOTIFICATION_MASK, i32(Mask));
}
void TKelvraSpectrum::GetNotificationMask() {
    KV_SEND(ControlMessageSendN, KV_CMD_GET_NOTIFICATION_MASK);
}
void TKelvraSpectrum::SetDebugLevel(int Level) {
    KV_SEND(ControlMessageSendI, KV_CMD_SET_DEBUG_LEVEL, Level);
}
void TKelvraSpectrum::GetDebugLevel() {
    KV_SEND(ControlMessageSendN, KV_CMD_GET_DEBUG_LEVEL);
}

#undef KV_SEND

// --- spectrum -------------------------------------------------------------------

bool TKelvraSpectrum::loadfft(bool leftandright) {
    // Needs a running player; like every command, create it when missing.
    if (!EnsurePlayer()) {
        return false;
    }
    bool result = true;
    spectrumState.both = leftandright;
    char location[64];
    std::snprintf(location, sizeof location, "function@%" PRIXPTR,
                  reinterpret_cast<uintptr_t>(&spectrum::InitHandler));
    if (ControlMessageSendS(Player, KV_CMD_FEEDBACK_REGISTER, location) == 0) {
        (void)ControlMessageSendS(Player, KV_CMD_FEEDBACK_SELECT, kHandlerName);
        (void)ControlMessageSendI(Player, KV_CMD_FEEDBACK_SET_PERIOD, 40);
        (void)ControlMessageSendN(Player, KV_CMD_FEEDBACK_ENABLE);
    }
    kv_fft_analyzer *left = nullptr;
    if (FFTAnalyzerNew(&left) == 1) {
        result = false;
    }
    spectrumState.left = left;
    if (leftandright) {
        kv_fft_analyzer *right = nullptr;
        if (FFTAnalyzerNew(&right) == 1) {
            kv_fft_analyzer *l = spectrumState.left.exchange(nullptr);
            (void)FFTAnalyzerDelete(&l);
            result = false;
        }
        spectrumState.right = right;
    }
    return result;
}

bool TKelvraSpectrum::unloadfft(bool leftandright) {
    if (FFTAnalyzerDelete == nullptr) {
        return false;
    }
    kv_fft_analyzer *left = spectrumState.left.exchange(nullptr);
    int32_t last = FFTAnalyzerDelete(&left);
    if (leftandright) {
        kv_fft_analyzer *right = spectrumState.right.exchange(nullptr);
        last = FFTAnalyzerDelete(&right);
    }
    return last == 1;
}

void TKelvraSpectrum::getspectrum() {
    if (!OnNotifySpectrum) {
        return;
    }
    TSpectrum left{};
    TSpectrum right{};
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = spectrumState.leftSpectrum[i].load(std::memory_order_relaxed);
        right[i] = spectrumState.rightSpectrum[i].load(std::memory_order_relaxed);
    }
    OnNotifySpectrum(left, right, kBands);
}

// --- notification dispatch --------------------------------------------------------

intptr_t TKelvraSpectrum::WndProc(uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
    if (Msg < KV_WM_NOTIFY_BASE) {
        return platform::HiddenWindow::defaultProcessing(Msg, WParam, LParam);
    }
    if (Player == nullptr || ControlWin32ParamsToMessage == nullptr) {
        return 0;
    }
    KV_Message message{};
    if (ControlWin32ParamsToMessage(Player, &message, Msg, WParam, LParam) != 0) {
        return 0;
    }
    Dispatch(message);
    return 0;
}

void TKelvraSpectrum::Dispatch(KV_Message &Msg) {
    if (OnNotifyMessage) {
        OnNotifyMessage(this, Msg);
    }
    const auto &d = Msg.Data;
    // Text copies are locals, released when this function is left, also when a
    // handler throws.
    switch (Msg.Code) {
    case KV_NOTIFY_READY:
        if (OnNotifyReady)
            OnNotifyReady(this);
        break;
    case KV_NOTIFY_ACK:
        if (OnNotifyAck)
            OnNotifyAck(this, d.Ack);
        break;
    case KV_NOTIFY_NACK:
        if (OnNotifyNack)
            OnNotifyNack(this, d.Nack.Command, d.Nack.Code);
        break;
    case KV_NOTIFY_PONG:
        if (OnNotifyPong)
            OnNotifyPong(this, d.Tag);
        break;
    case KV_NOTIFY_EXITED:
        if (OnNotifyExited)
            OnNotifyExited(this);
        break;
    case KV_NOTIFY_PLAYER_STATE:
        if (OnNotifyPlayerState)
            OnNotifyPlayerState(this, d.State);
        break;
    case KV_NOTIFY_PLAYER_MODE:
        if (OnNotifyPlayerMode)
            OnNotifyPlayerMode(this, static_cast<int>(d.Mode));
        break;
    case KV_NOTIFY_PLAYER_ENVIRONMENT_INTEGER:
        if (OnNotifyPlayerEnvironmentInteger) {
            OnNotifyPlayerEnvironmentInteger(this, text(d.Environment_Info.Name),
                                             d.Environment_Info.Value.Integer_Value);
        }
        break;
    case KV_NOTIFY_PLAYER_ENVIRONMENT_STRING:
        if (OnNotifyPlayerEnvironmentString) {
            OnNotifyPlayerEnvironmentString(this, text(d.Environment_Info.Name),
                                            text(d.Environment_Info.Value.String_Value));
        }
        break;
    case KV_NOTIFY_INPUT_STATE:
        if (OnNotifyInputState)
            OnNotifyInputState(this, d.State);
        break;
    case KV_NOTIFY_INPUT_NAME:
        if (OnNotifyInputName)
            OnNotifyInputName(this, text(d.Name));
        break;
    case KV_NOTIFY_INPUT_CAPS:
        if (OnNotifyInputCaps)
            OnNotifyInputCaps(this, d.Caps);
        break;
    case KV_NOTIFY_INPUT_POSITION:
        if (OnNotifyInputPosition)
            OnNotifyInputPosition(this, d.Position.Offset, d.Position.Range);
        break;
    case KV_NOTIFY_INPUT_POSITION_RANGE:
        if (OnNotifyInputPositionRange) {
            OnNotifyInputPositionRange(this, static_cast<int>(d.Range));
        }
        break;
    case KV_NOTIFY_INPUT_TIMECODE:
        if (OnNotifyInputTimecode) {
            OnNotifyInputTimecode(this, d.TimeCode.H, d.TimeCode.M, d.TimeCode.S, d.TimeCode.F);
        }
        break;
    case KV_NOTIFY_INPUT_TIMECODE_GRANULARITY:
        if (OnNotifyInputTimecodeGranularity)
            OnNotifyInputTimecodeGranularity(this, d.Granularity);
        break;
    case KV_NOTIFY_INPUT_MODULE:
        if (OnNotifyInputModule)
            OnNotifyInputModule(this, d.Module_ID);
        break;
    case KV_NOTIFY_INPUT_MODULE_INFO:
        if (OnNotifyInputModuleInfo) {
            OnNotifyInputModuleInfo(this, d.Module_Info.ID, d.Module_Info.NB_Devices,
                                    text(d.Module_Info.Name), text(d.Module_Info.Description));
        }
        break;
    case KV_NOTIFY_INPUT_DEVICE_INFO:
        if (OnNotifyInputDeviceInfo) {
            OnNotifyInputDeviceInfo(this, d.Device_Info.Module_ID, d.Device_Info.Index,
                                    d.Device_Info.Flags, text(d.Device_Info.Name),
                                    text(d.Device_Info.Description));
        }
        break;
    case KV_NOTIFY_INPUT_FILTER_INFO:
        if (OnNotifyInputFilterInfo) {
            OnNotifyInputFilterInfo(this, static_cast<uint8_t>(d.Filter_Info.ID & 0xFFu),
                                    text(d.Filter_Info.Name));
        }
        break;
    case KV_NOTIFY_OUTPUT_STATE:
        if (OnNotifyOutputState)
            OnNotifyOutputState(this, d.State);
        break;
    case KV_NOTIFY_OUTPUT_NAME:
        if (OnNotifyOutputName)
            OnNotifyOutputName(this, text(d.Name));
        break;
    case KV_NOTIFY_OUTPUT_CAPS:
        if (OnNotifyOutputCaps)
            OnNotifyOutputCaps(this, d.Caps);
        break;
    case KV_NOTIFY_OUTPUT_VOLUME:
        if (OnNotifyOutputVolume) {
            OnNotifyOutputVolume(this, level(d.Volume.Master_Level), level(d.Volume.PCM_Level),
                                 level(d.Volume.Balance));
        }
        break;
    case KV_NOTIFY_OUTPUT_BALANCE:
        if (OnNotifyOutputBalance)
            OnNotifyOutputBalance(this, level(d.Volume.Balance));
        break;
    case KV_NOTIFY_OUTPUT_PCM_LEVEL:
        if (OnNotifyOutputPcmLevel)
            OnNotifyOutputPcmLevel(this, level(d.Volume.PCM_Level));
        break;
    case KV_NOTIFY_OUTPUT_MASTER_LEVEL:
        if (OnNotifyOutputMasterLevel) {
            OnNotifyOutputMasterLevel(this, level(d.Volume.Master_Level));
        }
        break;
    case KV_NOTIFY_OUTPUT_CHANNELS:
        if (OnNotifyOutputChannels)
            OnNotifyOutputChannels(this, d.Channels);
        break;
    case KV_NOTIFY_OUTPUT_PORTS:
        if (OnNotifyOutputPorts)
            OnNotifyOutputPorts(this, d.Ports);
        break;
    case KV_NOTIFY_OUTPUT_MODULE:
        if (OnNotifyOutputModule)
            OnNotifyOutputModule(this, d.Module_ID);
        break;
    case KV_NOTIFY_OUTPUT_MODULE_INFO:
        if (OnNotifyOutputModuleInfo) {
            OnNotifyOutputModuleInfo(this, d.Module_Info.ID, d.Module_Info.NB_Devices,
                                     text(d.Module_Info.Name), text(d.Module_Info.Description));
        }
        break;
    case KV_NOTIFY_OUTPUT_DEVICE_INFO:
        if (OnNotifyOutputDeviceInfo) {
            OnNotifyOutputDeviceInfo(this, d.Device_Info.Module_ID, d.Device_Info.Index,
                                     d.Device_Info.Flags, text(d.Device_Info.Name),
                                     text(d.Device_Info.Description));
        }
        break;
    case KV_NOTIFY_OUTPUT_FILTER_INFO:
        if (OnNotifyOutputFilterInfo) {
            OnNotifyOutputFilterInfo(this, static_cast<uint8_t>(d.Filter_Info.ID & 0xFFu),
                                     text(d.Filter_Info.Name));
        }
        break;
    case KV_NOTIFY_STREAM_MIME_TYPE:
        if (OnNotifyStreamMimeType)
            OnNotifyStreamMimeType(this, text(d.MimeType));
        break;
    case KV_NOTIFY_STREAM_DURATION:
        if (OnNotifyStreamDuration)
            OnNotifyStreamDuration(this, d.Duration);
        break;
    case KV_NOTIFY_STREAM_PARAMETERS:
        if (OnNotifyStreamParameters) {
            OnNotifyStreamParameters(this, d.Stream_Parameters.Frequency,
                                     d.Stream_Parameters.BitRate, d.Stream_Parameters.NB_Channels);
        }
        break;
    case KV_NOTIFY_STREAM_PROPERTIES:
        if (OnNotifyStreamProperties) {
            OnNotifyStreamProperties(this, d.Properties.NBProperties, d.Properties.Properties);
        }
        break;
    case KV_NOTIFY_CODEC_QUALITY:
        if (OnNotifyCodecQuality)
            OnNotifyCodecQuality(this, d.Quality);
        break;
    case KV_NOTIFY_CODEC_EQUALIZER:
        if (OnNotifyCodecEqualizer) {
            // A record the engine did not supply reads as flat.
            KV_EqualizerInfo flat{};
            OnNotifyCodecEqualizer(this, d.Equalizer != nullptr ? *d.Equalizer : flat);
        }
        break;
    case KV_NOTIFY_CODEC_MODULE:
        if (OnNotifyCodecModule)
            OnNotifyCodecModule(this, d.Module_ID);
        break;
    case KV_NOTIFY_CODEC_MODULE_INFO:
        if (OnNotifyCodecModuleInfo) {
            OnNotifyCodecModuleInfo(this, d.Module_Info.ID, d.Module_Info.NB_Devices,
                                    text(d.Module_Info.Name), text(d.Module_Info.Description));
        }
        break;
    case KV_NOTIFY_CODEC_DEVICE_INFO:
        if (OnNotifyCodecDeviceInfo) {
            OnNotifyCodecDeviceInfo(this, d.Device_Info.Module_ID, d.Device_Info.Index,
                                    d.Device_Info.Flags, text(d.Device_Info.Name),
                                    text(d.Device_Info.Description));
        }
        break;
    case KV_NOTIFY_NOTIFICATION_MASK:
        if (OnNotifyNotificationMask)
            OnNotifyNotificationMask(this, d.NotificationMask);
        break;
    case KV_NOTIFY_DEBUG_LEVEL:
        if (OnNotifyDebugLevel)
            OnNotifyDebugLevel(this, d.Debug_Level);
        break;
    case KV_NOTIFY_PROGRESS:
        if (OnNotifyProgress) {
            OnNotifyProgress(this, d.Progress.Source, d.Progress.Code, d.Progress.Value,
                             text(d.Progress.Msg));
        }
        break;
    case KV_NOTIFY_DEBUG:
        if (OnNotifyDebug)
            OnNotifyDebug(this, d.Debug.Source, d.Debug.Level, text(d.Debug.Msg));
        break;
    case KV_NOTIFY_ERROR:
        if (OnNotifyError)
            OnNotifyError(this, d.Error.Source, d.Error.Code, text(d.Error.Msg));
        break;
    default:
        // 96 to 99 and codes outside 73 to 123 have no typed event.
        break;
    }
}

} // namespace velbrin::engine

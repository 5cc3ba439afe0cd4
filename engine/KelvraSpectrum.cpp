#include "KelvraSpectrum.h"

#include "hidden_window.h"
#include "library_loader.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace velbrin::engine {
namespace {

std::string text(const char *p) {
    return p != nullptr ? std::string(p) : std::string();
}

// Levels travel as signed bytes and reach the events with the same bit pattern.
uint8_t level(int8_t v) {
    return static_cast<uint8_t>(v);
}

// One spectrum state for the whole program, shared by every instance: the
// feedback handler the engine calls is a plain function without context.
//
// Locking: `mutex` guards every field. The engine's thread takes it with
// try_lock around one feed of the analysers and skips that audio event when the
// user-interface thread holds it, so the audio thread never waits; the
// user-interface thread holds it only to swap analysers in or out, to copy the
// spectra and to bind or clear the entry points. Analysers are deleted only
// after they were taken out under the lock, so no feed can still be using them.
// The entry points are cleared when the last instance that bound them unloads
// the library, so creating or destroying one instance leaves another's
// feedback working.
//
// The analysers run only while someone reads the spectra: an audio event
// feeds them only within `kDemandWindow` of the last getspectrum (or loadfft),
// so a spectrum display that is hidden or stopped costs no analysis, and one
// that draws gets spectra at the engine's feedback period.
struct SpectrumState {
    std::mutex mutex;
    bool both = false;
    kv_fft_analyzer *left = nullptr;
    TSpectrum leftSpectrum{};
    kv_fft_analyzer *right = nullptr;
    TSpectrum rightSpectrum{};
    kv_fft_analyzer_set_samples_fn setSamples = nullptr;
    kv_fft_analyzer_get_spectrum_fn getSpectrum = nullptr;
    kv_fft_analyzer_delete_fn deleteAnalyzer = nullptr;
    int boundInstances = 0;
    std::chrono::steady_clock::time_point demanded;
};
SpectrumState spectrumState;

constexpr int kBands = 64;
// Ten frames of a display drawing 25 a second.
constexpr auto kDemandWindow = std::chrono::milliseconds(400);
constexpr uint16_t kMaxAnalysedSamples = 128;
constexpr const char *kHandlerName = "Visualisation";
constexpr const char *kCredit = "Velbrin spectrum feedback handler";

// Called with the state's lock held.
void fetchSpectrum(kv_fft_analyzer *analyzer, TSpectrum &into) {
    if (spectrumState.getSpectrum != nullptr && analyzer != nullptr) {
        spectrumState.getSpectrum(analyzer, into.data(), kBands);
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
    std::unique_lock lock(spectrumState.mutex, std::try_to_lock);
    auto set = spectrumState.setSamples;
    if (!lock.owns_lock() || event == nullptr || set == nullptr || event->Samples == nullptr ||
        event->NB_Channels == 0 ||
        std::chrono::steady_clock::now() - spectrumState.demanded > kDemandWindow) {
        return 0;
    }
    // The engine's samples are interleaved frames. Each analyser takes one
    // channel, so they are parted first: fed as they come, a stereo block reads
    // as one channel at twice the rate, every tone shows at half its pitch and
    // left and right are mixed. Any other channel count shows its first channel
    // as the left spectrum.
    const int32_t n = std::min(event->NB_Samples, kMaxAnalysedSamples);
    const size_t stride = event->NB_Channels;
    std::array<int16_t, kMaxAnalysedSamples> left{};
    std::array<int16_t, kMaxAnalysedSamples> right{};
    for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
        left[i] = event->Samples[i * stride];
        if (stride == 2) {
            right[i] = event->Samples[i * stride + 1];
        }
    }
    if (spectrumState.left != nullptr) {
        set(spectrumState.left, left.data(), n);
    }
    fetchSpectrum(spectrumState.left, spectrumState.leftSpectrum);
    if (stride == 2 && spectrumState.both && spectrumState.right != nullptr) {
        set(spectrumState.right, right.data(), n);
        fetchSpectrum(spectrumState.right, spectrumState.rightSpectrum);
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
    // Optional: an engine without extensions is bound as it always was.
    if (auto query =
            reinterpret_cast<kv_get_extension_fn>(LibraryHandle->symbol(KV_GET_EXTENSION_EXPORT))) {
        const auto *gain =
            static_cast<const kv_player_gain_extension *>(query(KV_EXTENSION_PLAYER_GAIN));
        if (gain != nullptr && gain->version >= KV_PLAYER_GAIN_VERSION &&
            gain->set_input_gain != nullptr) {
            PlayerGain = gain;
        }
        const auto *quiet =
            static_cast<const kv_quiet_ends_extension *>(query(KV_EXTENSION_QUIET_ENDS));
        if (quiet != nullptr && quiet->version >= KV_QUIET_ENDS_VERSION &&
            quiet->set_quiet_ends != nullptr && quiet->audible_end != nullptr) {
            QuietEnds = quiet;
        }
    }
    std::lock_guard lock(spectrumState.mutex);
    spectrumState.setSamples = setSamples;
    spectrumState.getSpectrum = getSpectrum;
    spectrumState.deleteAnalyzer = FFTAnalyzerDelete;
    ++spectrumState.boundInstances;
    BoundSpectrum = true;
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
    if (std::exchange(BoundSpectrum, false)) {
        std::lock_guard lock(spectrumState.mutex);
        if (--spectrumState.boundInstances == 0) {
            // The analysers live in the library that goes now.
            for (kv_fft_analyzer **a : {&spectrumState.left, &spectrumState.right}) {
                if (*a != nullptr) {
                    (void)spectrumState.deleteAnalyzer(a);
                    *a = nullptr;
                }
            }
            spectrumState.setSamples = nullptr;
            spectrumState.getSpectrum = nullptr;
            spectrumState.deleteAnalyzer = nullptr;
        }
    }
    LibraryHandle.reset();
    PlayerGain = nullptr;
    QuietEnds = nullptr;
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
    if (InputGainSource && SupportsInputGain()) {
        SetInputGain(InputGainSource(FName));
    }
    if (QuietEndsSource && SupportsQuietEnds()) {
        SetQuietEnds(QuietEndsSource());
    }
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

// --- optional engine extensions ---------------------------------------------------

bool TKelvraSpectrum::SupportsInputGain() {
    return EnsurePlayer() && PlayerGain != nullptr;
}

bool TKelvraSpectrum::SetInputGain(double Decibels) {
    if (!SupportsInputGain()) {
        return false;
    }
    const double hundredths = std::isfinite(Decibels) ? std::round(Decibels * 100.0) : 0.0;
    const auto clamped = static_cast<int32_t>(
        std::clamp(hundredths, double{KV_INPUT_GAIN_MIN}, double{KV_INPUT_GAIN_MAX}));
    return PlayerGain->set_input_gain(Player, clamped) == 0;
}

bool TKelvraSpectrum::SupportsQuietEnds() {
    return EnsurePlayer() && QuietEnds != nullptr;
}

bool TKelvraSpectrum::SetQuietEnds(bool On) {
    return SupportsQuietEnds() && QuietEnds->set_quiet_ends(Player, On ? 1 : 0) == 0;
}

int TKelvraSpectrum::AudibleEnd() const {
    if (Player == nullptr || QuietEnds == nullptr) {
        return -1;
    }
    return std::max(QuietEnds->audible_end(Player), int32_t{-1});
}

// --- spectrum -------------------------------------------------------------------

bool TKelvraSpectrum::loadfft(bool leftandright) {
    // Needs a running player; like every command, create it when missing.
    if (!EnsurePlayer()) {
        return false;
    }
    char location[64];
    std::snprintf(location, sizeof location, "function@%" PRIXPTR,
                  reinterpret_cast<uintptr_t>(&spectrum::InitHandler));
    if (ControlMessageSendS(Player, KV_CMD_FEEDBACK_REGISTER, location) == 0) {
        (void)ControlMessageSendS(Player, KV_CMD_FEEDBACK_SELECT, kHandlerName);
        (void)ControlMessageSendI(Player, KV_CMD_FEEDBACK_SET_PERIOD, 40);
        (void)ControlMessageSendN(Player, KV_CMD_FEEDBACK_ENABLE);
    }
    // The analysers are made outside the lock and handed to the handler in one
    // step; ones they replace are deleted after the handler can no longer see them.
    bool result = true;
    kv_fft_analyzer *left = nullptr;
    if (FFTAnalyzerNew(&left) == 1) {
        result = false;
    }
    kv_fft_analyzer *right = nullptr;
    if (leftandright && FFTAnalyzerNew(&right) == 1) {
        if (left != nullptr) {
            (void)FFTAnalyzerDelete(&left);
        }
        left = nullptr;
        right = nullptr;
        result = false;
    }
    kv_fft_analyzer *oldLeft = nullptr;
    kv_fft_analyzer *oldRight = nullptr;
    {
        std::lock_guard lock(spectrumState.mutex);
        spectrumState.both = leftandright;
        spectrumState.demanded = std::chrono::steady_clock::now();
        oldLeft = std::exchange(spectrumState.left, left);
        if (leftandright) {
            oldRight = std::exchange(spectrumState.right, right);
        }
    }
    for (kv_fft_analyzer *old : {oldLeft, oldRight}) {
        if (old != nullptr) {
            (void)FFTAnalyzerDelete(&old);
        }
    }
    return result;
}

bool TKelvraSpectrum::unloadfft(bool leftandright) {
    if (FFTAnalyzerDelete == nullptr) {
        return false;
    }
    kv_fft_analyzer *left = nullptr;
    kv_fft_analyzer *right = nullptr;
    {
        std::lock_guard lock(spectrumState.mutex);
        left = std::exchange(spectrumState.left, nullptr);
        spectrumState.leftSpectrum = {};
        if (leftandright) {
            right = std::exchange(spectrumState.right, nullptr);
            spectrumState.rightSpectrum = {};
        }
    }
    // Out of the handler's reach now, though it stays installed in the engine.
    int32_t last = FFTAnalyzerDelete(&left);
    if (leftandright) {
        last = FFTAnalyzerDelete(&right);
    }
    return last == 1;
}

void TKelvraSpectrum::getspectrum() {
    TSpectrum left{};
    TSpectrum right{};
    {
        std::lock_guard lock(spectrumState.mutex);
        const auto now = std::chrono::steady_clock::now();
        if (now - spectrumState.demanded > kDemandWindow) {
            // Nothing was analysed meanwhile: what is kept is old sound.
            spectrumState.leftSpectrum = {};
            spectrumState.rightSpectrum = {};
        }
        spectrumState.demanded = now;
        left = spectrumState.leftSpectrum;
        right = spectrumState.rightSpectrum;
    }
    emit OnNotifySpectrum(left, right, kBands);
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
    emit OnNotifyMessage(this, Msg);
    const auto &d = Msg.Data;
    // Text copies are locals, released when this function is left, also when a
    // handler throws.
    switch (Msg.Code) {
    case KV_NOTIFY_READY:
        emit OnNotifyReady(this);
        break;
    case KV_NOTIFY_ACK:
        emit OnNotifyAck(this, d.Ack);
        break;
    case KV_NOTIFY_NACK:
        emit OnNotifyNack(this, d.Nack.Command, d.Nack.Code);
        break;
    case KV_NOTIFY_PONG:
        emit OnNotifyPong(this, d.Tag);
        break;
    case KV_NOTIFY_EXITED:
        emit OnNotifyExited(this);
        break;
    case KV_NOTIFY_PLAYER_STATE:
        emit OnNotifyPlayerState(this, d.State);
        break;
    case KV_NOTIFY_PLAYER_MODE:
        emit OnNotifyPlayerMode(this, static_cast<int>(d.Mode));
        break;
    case KV_NOTIFY_PLAYER_ENVIRONMENT_INTEGER:
        emit OnNotifyPlayerEnvironmentInteger(this, text(d.Environment_Info.Name),
                                              d.Environment_Info.Value.Integer_Value);
        break;
    case KV_NOTIFY_PLAYER_ENVIRONMENT_STRING:
        emit OnNotifyPlayerEnvironmentString(this, text(d.Environment_Info.Name),
                                             text(d.Environment_Info.Value.String_Value));
        break;
    case KV_NOTIFY_INPUT_STATE:
        emit OnNotifyInputState(this, d.State);
        break;
    case KV_NOTIFY_INPUT_NAME:
        emit OnNotifyInputName(this, text(d.Name));
        break;
    case KV_NOTIFY_INPUT_CAPS:
        emit OnNotifyInputCaps(this, d.Caps);
        break;
    case KV_NOTIFY_INPUT_POSITION:
        emit OnNotifyInputPosition(this, d.Position.Offset, d.Position.Range);
        break;
    case KV_NOTIFY_INPUT_POSITION_RANGE:
        emit OnNotifyInputPositionRange(this, static_cast<int>(d.Range));
        break;
    case KV_NOTIFY_INPUT_TIMECODE:
        emit OnNotifyInputTimecode(this, d.TimeCode.H, d.TimeCode.M, d.TimeCode.S, d.TimeCode.F);
        break;
    case KV_NOTIFY_INPUT_TIMECODE_GRANULARITY:
        emit OnNotifyInputTimecodeGranularity(this, d.Granularity);
        break;
    case KV_NOTIFY_INPUT_MODULE:
        emit OnNotifyInputModule(this, d.Module_ID);
        break;
    case KV_NOTIFY_INPUT_MODULE_INFO:
        emit OnNotifyInputModuleInfo(this, d.Module_Info.ID, d.Module_Info.NB_Devices,
                                     text(d.Module_Info.Name), text(d.Module_Info.Description));
        break;
    case KV_NOTIFY_INPUT_DEVICE_INFO:
        emit OnNotifyInputDeviceInfo(this, d.Device_Info.Module_ID, d.Device_Info.Index,
                                     d.Device_Info.Flags, text(d.Device_Info.Name),
                                     text(d.Device_Info.Description));
        break;
    case KV_NOTIFY_INPUT_FILTER_INFO:
        emit OnNotifyInputFilterInfo(this, static_cast<uint8_t>(d.Filter_Info.ID & 0xFFu),
                                     text(d.Filter_Info.Name));
        break;
    case KV_NOTIFY_OUTPUT_STATE:
        emit OnNotifyOutputState(this, d.State);
        break;
    case KV_NOTIFY_OUTPUT_NAME:
        emit OnNotifyOutputName(this, text(d.Name));
        break;
    case KV_NOTIFY_OUTPUT_CAPS:
        emit OnNotifyOutputCaps(this, d.Caps);
        break;
    case KV_NOTIFY_OUTPUT_VOLUME:
        emit OnNotifyOutputVolume(this, level(d.Volume.Master_Level), level(d.Volume.PCM_Level),
                                  level(d.Volume.Balance));
        break;
    case KV_NOTIFY_OUTPUT_BALANCE:
        emit OnNotifyOutputBalance(this, level(d.Volume.Balance));
        break;
    case KV_NOTIFY_OUTPUT_PCM_LEVEL:
        emit OnNotifyOutputPcmLevel(this, level(d.Volume.PCM_Level));
        break;
    case KV_NOTIFY_OUTPUT_MASTER_LEVEL:
        emit OnNotifyOutputMasterLevel(this, level(d.Volume.Master_Level));
        break;
    case KV_NOTIFY_OUTPUT_CHANNELS:
        emit OnNotifyOutputChannels(this, d.Channels);
        break;
    case KV_NOTIFY_OUTPUT_PORTS:
        emit OnNotifyOutputPorts(this, d.Ports);
        break;
    case KV_NOTIFY_OUTPUT_MODULE:
        emit OnNotifyOutputModule(this, d.Module_ID);
        break;
    case KV_NOTIFY_OUTPUT_MODULE_INFO:
        emit OnNotifyOutputModuleInfo(this, d.Module_Info.ID, d.Module_Info.NB_Devices,
                                      text(d.Module_Info.Name), text(d.Module_Info.Description));
        break;
    case KV_NOTIFY_OUTPUT_DEVICE_INFO:
        emit OnNotifyOutputDeviceInfo(this, d.Device_Info.Module_ID, d.Device_Info.Index,
                                      d.Device_Info.Flags, text(d.Device_Info.Name),
                                      text(d.Device_Info.Description));
        break;
    case KV_NOTIFY_OUTPUT_FILTER_INFO:
        emit OnNotifyOutputFilterInfo(this, static_cast<uint8_t>(d.Filter_Info.ID & 0xFFu),
                                      text(d.Filter_Info.Name));
        break;
    case KV_NOTIFY_STREAM_MIME_TYPE:
        emit OnNotifyStreamMimeType(this, text(d.MimeType));
        break;
    case KV_NOTIFY_STREAM_DURATION:
        emit OnNotifyStreamDuration(this, d.Duration);
        break;
    case KV_NOTIFY_STREAM_PARAMETERS:
        emit OnNotifyStreamParameters(this, d.Stream_Parameters.Frequency,
                                      d.Stream_Parameters.BitRate, d.Stream_Parameters.NB_Channels);
        break;
    case KV_NOTIFY_STREAM_PROPERTIES:
        emit OnNotifyStreamProperties(this, d.Properties.NBProperties, d.Properties.Properties);
        break;
    case KV_NOTIFY_CODEC_QUALITY:
        emit OnNotifyCodecQuality(this, d.Quality);
        break;
    case KV_NOTIFY_CODEC_EQUALIZER: {
        // A record the engine did not supply reads as flat.
        KV_EqualizerInfo flat{};
        emit OnNotifyCodecEqualizer(this, d.Equalizer != nullptr ? *d.Equalizer : flat);
    } break;
    case KV_NOTIFY_CODEC_MODULE:
        emit OnNotifyCodecModule(this, d.Module_ID);
        break;
    case KV_NOTIFY_CODEC_MODULE_INFO:
        emit OnNotifyCodecModuleInfo(this, d.Module_Info.ID, d.Module_Info.NB_Devices,
                                     text(d.Module_Info.Name), text(d.Module_Info.Description));
        break;
    case KV_NOTIFY_CODEC_DEVICE_INFO:
        emit OnNotifyCodecDeviceInfo(this, d.Device_Info.Module_ID, d.Device_Info.Index,
                                     d.Device_Info.Flags, text(d.Device_Info.Name),
                                     text(d.Device_Info.Description));
        break;
    case KV_NOTIFY_NOTIFICATION_MASK:
        emit OnNotifyNotificationMask(this, d.NotificationMask);
        break;
    case KV_NOTIFY_DEBUG_LEVEL:
        emit OnNotifyDebugLevel(this, d.Debug_Level);
        break;
    case KV_NOTIFY_PROGRESS:
        emit OnNotifyProgress(this, d.Progress.Source, d.Progress.Code, d.Progress.Value,
                              text(d.Progress.Msg));
        break;
    case KV_NOTIFY_DEBUG:
        emit OnNotifyDebug(this, d.Debug.Source, d.Debug.Level, text(d.Debug.Msg));
        break;
    case KV_NOTIFY_ERROR:
        emit OnNotifyError(this, d.Error.Source, d.Error.Code, text(d.Error.Msg));
        break;
    default:
        // 96 to 99 and codes outside 73 to 123 have no typed event.
        break;
    }
}

} // namespace velbrin::engine

#pragma once

#include "kelvra_interface.h"

#include <QObject>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace velbrin::platform {
class HiddenWindow;
class DynamicLibrary;
} // namespace velbrin::platform

namespace velbrin::engine {

// Every failure of the component is raised as this, with a text for the user.
class EKelvraException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TKelvraSpectrum;

// One spectrum: 64 bands used of 65.
using TSpectrum = std::array<uint8_t, 65>;

// The program's only link to the audio engine library: binds the library on
// first use, owns one engine player and the hidden window its notifications
// arrive on, offers the engine's commands as methods and raises its
// notifications as Qt signals that carry the sender.
//
// Threads: everything here runs on the user-interface thread that created the
// object, except the spectrum feedback handler, which the engine calls on its
// own thread. The spectrum state the handler feeds is shared by all instances
// and guarded by one lock (described where it is defined); loadfft and
// unloadfft may run while a song plays.
class TKelvraSpectrum : public QObject {
    Q_OBJECT
public:
    explicit TKelvraSpectrum(QObject *AOwner = nullptr);
    ~TKelvraSpectrum() override;
    TKelvraSpectrum(const TKelvraSpectrum &) = delete;
    TKelvraSpectrum &operator=(const TKelvraSpectrum &) = delete;

    // --- lifecycle -----------------------------------------------------------
    bool Init();
    uint32_t GetVersion(uint8_t VersionId);
    void SetPriority(uint32_t Value);
    uint32_t GetPriority();
    std::string ErrorString(int Code);

    // Published properties.
    uint32_t Priority() { return GetPriority(); }
    void setPriority(uint32_t Value) { SetPriority(Value); }
    const std::string &KelvraPath() const { return LibraryPath; }
    void setKelvraPath(const std::string &Path) { LibraryPath = Path; }

    // --- commands -------------------------------------------------------------
    void Synchronize();
    void Ping(uint32_t Tag);
    void Play();
    void Pause();
    void Stop();
    void InputSeek(uint32_t Offset, uint32_t Range);
    void InputOpen(const std::string &FName);
    void InputClose();
    void InputSendMessage(uint16_t MsgType, const void *Data, uint32_t Size);
    void InputAddFilter(const std::string &FName, int Where);
    void InputRemoveFilter(const std::string &FName, int ID);
    void InputFilterList();
    void InputModuleRegister(const std::string &FName);
    void InputModuleQuery(uint32_t ID);
    void InputModulesList();
    void OutputOpen(const std::string &FName);
    void OutputClose();
    void OutputSendMessage(uint16_t MsgType, const void *Data, uint32_t Size);
    void OutputMute();
    void OutputUnmute();
    void OutputReset();
    void OutputDrain();
    void OutputAddFilter(const std::string &FName, int Where);
    void OutputRemoveFilter(const std::string &FName, int ID);
    void OutputFilterList();
    void OutputModuleRegister(const std::string &FName);
    void OutputModuleQuery(uint32_t ID);
    void OutputModulesList();
    void CodecSendMessage(uint16_t MsgType, const void *Data, uint32_t Size);
    void CodecModuleRegister(const std::string &FName);
    void CodecModuleQuery(uint32_t ID);
    void CodecModulesList();
    void SetPlayerMode(uint32_t Mode);
    void GetPlayerMode();
    void SetPlayerEnvironmentInteger(const std::string &FName, int Value);
    void GetPlayerEnvironmentInteger(const std::string &FName);
    void SetPlayerEnvironmentString(const std::string &FName, const std::string &Value);
    void GetPlayerEnvironmentString(const std::string &FName);
    void UnsetPlayerEnvironment(const std::string &FName);
    void SetInputName(const std::string &FName);
    void GetInputName();
    void SetInputModule(uint32_t ID);
    void GetInputModule();
    void SetInputPositionRange(uint32_t Range);
    void GetInputPositionRange();
    void SetInputTimecodeGranularity(uint32_t Granularity);
    void GetInputTimecodeGranularity();
    void SetOutputName(const std::string &FName);
    void GetOutputName();
    void SetOutputModule(uint32_t ID);
    void GetOutputModule();
    void SetOutputVolume(int Balance, int PcmLevel, int MasterLevel);
    void GetOutputVolume();
    void SetOutputChannels(uint32_t Channels);
    void GetOutputChannels();
    void SetOutputPorts(uint32_t Ports);
    void GetOutputPorts();
    void SetCodecQuality(uint8_t Quality);
    void GetCodecQuality();
    void SetCodecEqualizer(const KV_EqualizerInfo *Equalizer);
    void GetCodecEqualizer();
    void SetNotificationMask(uint32_t Mask);
    void GetNotificationMask();
    void SetDebugLevel(int Level);
    void GetDebugLevel();

    // --- optional engine extensions -----------------------------------------------
    // Whether the engine offers a gain of the player's own output stage
    // (loads the library when that has not happened yet).
    bool SupportsInputGain();
    // The gain of the inputs opened from now on, in decibels; false, and
    // nothing sent, with an engine that has no such gain.
    bool SetInputGain(double Decibels);
    // Asked for the gain of each file just before InputOpen sends it, so every
    // song is opened with its own; without it the gain is left alone.
    void setInputGainSource(std::function<double(const std::string &FName)> Source) {
        InputGainSource = std::move(Source);
    }
    // Whether the engine can skip a song's leading silence and tell where its
    // trailing silence starts (loads the library when that has not happened
    // yet).
    bool SupportsQuietEnds();
    // Quiet ends for the inputs opened from now on; false, and nothing sent,
    // with an engine that cannot.
    bool SetQuietEnds(bool On);
    // The last audible moment of the open song in milliseconds from its
    // start; -1 while that is not known, with quiet ends off or without the
    // extension. Never loads the library or creates the player.
    int AudibleEnd() const;
    // Asked just before InputOpen sends a file, like the gain source; without
    // it quiet ends are left as they are.
    void setQuietEndsSource(std::function<bool()> Source) { QuietEndsSource = std::move(Source); }

    // --- spectrum ---------------------------------------------------------------
    bool loadfft(bool leftandright);
    bool unloadfft(bool leftandright);
    void getspectrum();

signals:
    // The engine's notifications, raised on the user-interface thread in the
    // order they arrive: first OnNotifyMessage with the record, which a listener
    // may change, then the typed signal for the record's code. Texts are 8-bit
    // strings in the system's encoding, copied from the notification; they live
    // until the signal returns. Any number of listeners may connect.
    void OnNotifyMessage(TKelvraSpectrum *Sender, KV_Message &Msg);
    void OnNotifyReady(TKelvraSpectrum *Sender);
    void OnNotifyAck(TKelvraSpectrum *Sender, uint8_t Command);
    void OnNotifyNack(TKelvraSpectrum *Sender, uint8_t Command, int16_t Code);
    void OnNotifyPong(TKelvraSpectrum *Sender, uint32_t Tag);
    void OnNotifyExited(TKelvraSpectrum *Sender);
    void OnNotifyPlayerState(TKelvraSpectrum *Sender, int State);
    void OnNotifyPlayerMode(TKelvraSpectrum *Sender, int Mode);
    void OnNotifyPlayerEnvironmentInteger(TKelvraSpectrum *Sender, const std::string &Name,
                                          int Value);
    void OnNotifyPlayerEnvironmentString(TKelvraSpectrum *Sender, const std::string &Name,
                                         const std::string &Value);
    void OnNotifyInputState(TKelvraSpectrum *Sender, int State);
    void OnNotifyInputName(TKelvraSpectrum *Sender, const std::string &Name);
    void OnNotifyInputCaps(TKelvraSpectrum *Sender, uint32_t Caps);
    void OnNotifyInputPosition(TKelvraSpectrum *Sender, uint32_t Offset, uint32_t Range);
    void OnNotifyInputPositionRange(TKelvraSpectrum *Sender, int Range);
    void OnNotifyInputTimecode(TKelvraSpectrum *Sender, uint8_t Hours, uint8_t Minutes,
                               uint8_t Seconds, uint8_t Fractions);
    void OnNotifyInputTimecodeGranularity(TKelvraSpectrum *Sender, uint32_t Granularity);
    void OnNotifyInputModule(TKelvraSpectrum *Sender, int16_t ID);
    void OnNotifyInputModuleInfo(TKelvraSpectrum *Sender, uint8_t ID, uint8_t NbDevices,
                                 const std::string &Name, const std::string &Description);
    void OnNotifyInputDeviceInfo(TKelvraSpectrum *Sender, uint8_t ModuleID, uint8_t Index,
                                 uint8_t Flags, const std::string &Name,
                                 const std::string &Description);
    void OnNotifyInputFilterInfo(TKelvraSpectrum *Sender, uint8_t ID, const std::string &Name);
    void OnNotifyOutputState(TKelvraSpectrum *Sender, int State);
    void OnNotifyOutputName(TKelvraSpectrum *Sender, const std::string &Name);
    void OnNotifyOutputCaps(TKelvraSpectrum *Sender, uint32_t Caps);
    void OnNotifyOutputVolume(TKelvraSpectrum *Sender, uint8_t MasterLevel, uint8_t PcmLevel,
                              uint8_t Balance);
    void OnNotifyOutputBalance(TKelvraSpectrum *Sender, uint8_t Balance);
    void OnNotifyOutputPcmLevel(TKelvraSpectrum *Sender, uint8_t PcmLevel);
    void OnNotifyOutputMasterLevel(TKelvraSpectrum *Sender, uint8_t MasterLevel);
    void OnNotifyOutputChannels(TKelvraSpectrum *Sender, uint8_t Channels);
    void OnNotifyOutputPorts(TKelvraSpectrum *Sender, uint32_t Ports);
    void OnNotifyOutputModule(TKelvraSpectrum *Sender, int16_t ID);
    void OnNotifyOutputModuleInfo(TKelvraSpectrum *Sender, uint8_t ID, uint8_t NbDevices,
                                  const std::string &Name, const std::string &Description);
    void OnNotifyOutputDeviceInfo(TKelvraSpectrum *Sender, uint8_t ModuleID, uint8_t Index,
                                  uint8_t Flags, const std::string &Name,
                                  const std::string &Description);
    void OnNotifyOutputFilterInfo(TKelvraSpectrum *Sender, uint8_t ID, const std::string &Name);
    void OnNotifyStreamMimeType(TKelvraSpectrum *Sender, const std::string &MimeType);
    void OnNotifyStreamDuration(TKelvraSpectrum *Sender, uint32_t Duration);
    void OnNotifyStreamParameters(TKelvraSpectrum *Sender, uint32_t Frequency, int16_t Bitrate,
                                  uint8_t NbChannels);
    void OnNotifyStreamProperties(TKelvraSpectrum *Sender, uint32_t NbProperties,
                                  const KV_Property *Properties);
    void OnNotifyCodecQuality(TKelvraSpectrum *Sender, uint8_t Quality);
    void OnNotifyCodecEqualizer(TKelvraSpectrum *Sender, KV_EqualizerInfo &Equalizer);
    void OnNotifyCodecModule(TKelvraSpectrum *Sender, int16_t ID);
    void OnNotifyCodecModuleInfo(TKelvraSpectrum *Sender, uint8_t ID, uint8_t NbDevices,
                                 const std::string &Name, const std::string &Description);
    void OnNotifyCodecDeviceInfo(TKelvraSpectrum *Sender, uint8_t ModuleID, uint8_t Index,
                                 uint8_t Flags, const std::string &Name,
                                 const std::string &Description);
    void OnNotifyNotificationMask(TKelvraSpectrum *Sender, uint32_t Mask);
    void OnNotifyDebugLevel(TKelvraSpectrum *Sender, uint8_t Level);
    void OnNotifyProgress(TKelvraSpectrum *Sender, uint8_t Source, uint8_t Code, int16_t Value,
                          const std::string &Msg);
    void OnNotifyDebug(TKelvraSpectrum *Sender, uint8_t Source, uint8_t Level,
                       const std::string &Msg);
    void OnNotifyError(TKelvraSpectrum *Sender, uint8_t Source, int16_t Code,
                       const std::string &Msg);
    // Raised by getspectrum; unlike the notifications it carries no sender.
    void OnNotifySpectrum(const TSpectrum &leftspec, const TSpectrum &rightspec, int bands);

public:
    // --- for the program's own use and tests ---------------------------------------
    bool hasPlayer() const { return Player != nullptr; }
    bool libraryLoaded() const { return LibraryHandle != nullptr; }
    platform::HiddenWindow &hiddenWindow() { return *Window; }
    // The notification dispatcher: the hidden window's message handler.
    intptr_t WndProc(uint32_t Msg, uintptr_t WParam, intptr_t LParam);

private:
    bool EnsurePlayer();
    void LoadEngineLibrary();
    void *ResolveSymbol(const char *Name);
    void UnloadEngineLibrary();
    void Dispatch(KV_Message &Msg);

    // Fields, in the order the component has always kept them.
    kv_player *Player = nullptr;
    uint32_t PlayerPriority = 3;
    kv_window *HiddenWindow = nullptr;
    std::unique_ptr<platform::DynamicLibrary> LibraryHandle;
    std::string LibraryPath = "kelvra.dll";

    kv_player_new_fn PlayerNew = nullptr;
    kv_player_delete_fn PlayerDelete = nullptr;
    kv_player_set_priority_fn PlayerSetPriority = nullptr;
    kv_player_get_priority_fn PlayerGetPriority = nullptr;
    kv_error_string_fn KelvraErrorString = nullptr;
    kv_get_version_fn KelvraGetVersion = nullptr;
    kv_send_N_fn ControlMessageSendN = nullptr;
    kv_send_P_fn ControlMessageSendP = nullptr;
    kv_send_S_fn ControlMessageSendS = nullptr;
    kv_send_SS_fn ControlMessageSendSS = nullptr;
    kv_send_SI_fn ControlMessageSendSI = nullptr;
    kv_send_IPI_fn ControlMessageSendIPI = nullptr;
    kv_send_I_fn ControlMessageSendI = nullptr;
    kv_send_II_fn ControlMessageSendII = nullptr;
    kv_send_III_fn ControlMessageSendIII = nullptr;
    kv_send_IIII_fn ControlMessageSendIIII = nullptr;
    kv_params_to_message_fn ControlWin32ParamsToMessage = nullptr;
    kv_fft_analyzer_new_fn FFTAnalyzerNew = nullptr;
    kv_fft_analyzer_delete_fn FFTAnalyzerDelete = nullptr;
    kv_fft_analyzer_interpolate_fn FFTAnalyzerInterpolateSamplesSigned = nullptr;
    kv_fft_analyzer_interpolate_fn FFTAnalyzerInterpolateSamplesUnsigned = nullptr;
    // Whether this instance counts among those that bound the shared spectrum
    // entry points.
    bool BoundSpectrum = false;
    // Extensions the engine offers; null when it lacks them.
    const kv_player_gain_extension *PlayerGain = nullptr;
    const kv_quiet_ends_extension *QuietEnds = nullptr;
    std::function<double(const std::string &)> InputGainSource;
    std::function<bool()> QuietEndsSource;

    platform::HiddenWindow *Window = nullptr; // child object, owned through Qt
};

// The spectrum feedback handler's functions, exposed for tests. The engine
// reaches them only through the table the init function fills.
namespace spectrum {
int32_t InitHandler(kv_feedback_table *table);
int32_t NameMatch(const char *name);
int32_t Information(kv_feedback_information *info, int32_t kind);
int32_t AudioEvent(void *ignored, const KV_AudioEvent *event);
} // namespace spectrum

} // namespace velbrin::engine

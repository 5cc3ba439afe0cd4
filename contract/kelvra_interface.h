/*
 * The one contract between the player, the audio engine library and the engine's
 * loadable modules (output devices and output filters such as the resampler).
 *
 * Everything that crosses one of those library boundaries is declared here and
 * nowhere else. The header is plain C so that each side can be built on its own;
 * records use fixed-width integers and natural alignment. Pointers have the
 * platform's native width, so the byte offsets of records that hold pointers
 * differ between 32-bit and 64-bit builds; both layouts are checked at the end.
 *
 * Calling conventions: every function here uses the platform's C convention. No
 * exception and no C++ type ever crosses these functions.
 */
#ifndef KELVRA_INTERFACE_H
#define KELVRA_INTERFACE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define KV_EXPORT __declspec(dllexport)
#else
#define KV_EXPORT __attribute__((visibility("default")))
#endif

/* ------------------------------------------------------------------------- */
/* Versions                                                                   */
/* ------------------------------------------------------------------------- */

/* kelvra_get_version(KV_VERSION_INDEX_API) packs the API version: major in bits
 * 16..23, minor in bits 8..15. The player works with API 3.8 only. */
#define KV_VERSION_INDEX_API 2
#define KV_API_MAJOR 3
#define KV_API_MINOR 8
/* Unsigned without a cast, so C++ code built with -Wold-style-cast can use it. */
#define KV_API_VERSION_WORD (((KV_API_MAJOR << 16) | (KV_API_MINOR << 8)) + 0u)

/* ------------------------------------------------------------------------- */
/* Notification window                                                        */
/* ------------------------------------------------------------------------- */

/* The window a player posts its notifications to. The engine calls post_message
 * from any of its threads; the receiver delivers the messages one at a time, in
 * posting order, on the thread that owns the window. */
typedef struct kv_window {
    void (*post_message)(struct kv_window *self, uint32_t message, uintptr_t wparam,
                         intptr_t lparam);
} kv_window;

/* Engine notifications use window message numbers from here up; the receiver
 * gives anything below the platform's default processing. */
#define KV_WM_NOTIFY_BASE 0x9000u

/* ------------------------------------------------------------------------- */
/* Command codes (control_message_send_*)                                     */
/* ------------------------------------------------------------------------- */

enum kv_command_code {
    KV_CMD_SYNCHRONIZE = 2,
    KV_CMD_PING = 3,
    KV_CMD_PLAY = 4,
    KV_CMD_PAUSE = 5,
    KV_CMD_STOP = 6,
    KV_CMD_INPUT_SEEK = 7,
    KV_CMD_INPUT_OPEN = 8,
    KV_CMD_INPUT_CLOSE = 9,
    KV_CMD_INPUT_SEND_MESSAGE = 10,
    KV_CMD_INPUT_ADD_FILTER = 11,
    KV_CMD_INPUT_REMOVE_FILTER = 12,
    KV_CMD_INPUT_FILTER_LIST = 13,
    KV_CMD_INPUT_MODULE_REGISTER = 14,
    KV_CMD_INPUT_MODULE_QUERY = 15,
    KV_CMD_INPUT_MODULES_LIST = 16,
    KV_CMD_OUTPUT_OPEN = 17,
    KV_CMD_OUTPUT_CLOSE = 18,
    KV_CMD_OUTPUT_SEND_MESSAGE = 19,
    KV_CMD_OUTPUT_MUTE = 20,
    KV_CMD_OUTPUT_UNMUTE = 21,
    KV_CMD_OUTPUT_RESET = 22,
    KV_CMD_OUTPUT_DRAIN = 23,
    KV_CMD_OUTPUT_ADD_FILTER = 24,
    KV_CMD_OUTPUT_REMOVE_FILTER = 25,
    KV_CMD_OUTPUT_FILTER_LIST = 26,
    KV_CMD_OUTPUT_MODULE_REGISTER = 27,
    KV_CMD_OUTPUT_MODULE_QUERY = 28,
    KV_CMD_OUTPUT_MODULES_LIST = 29,
    KV_CMD_CODEC_SEND_MESSAGE = 30,
    KV_CMD_CODEC_MODULE_REGISTER = 31,
    KV_CMD_CODEC_MODULE_QUERY = 32,
    KV_CMD_CODEC_MODULES_LIST = 33,
    KV_CMD_SET_PLAYER_MODE = 34,
    KV_CMD_GET_PLAYER_MODE = 35,
    KV_CMD_SET_PLAYER_ENVIRONMENT_INTEGER = 36,
    KV_CMD_GET_PLAYER_ENVIRONMENT_INTEGER = 37,
    KV_CMD_SET_PLAYER_ENVIRONMENT_STRING = 38,
    KV_CMD_GET_PLAYER_ENVIRONMENT_STRING = 39,
    KV_CMD_UNSET_PLAYER_ENVIRONMENT = 40,
    KV_CMD_SET_INPUT_NAME = 41,
    KV_CMD_GET_INPUT_NAME = 42,
    KV_CMD_SET_INPUT_MODULE = 43,
    KV_CMD_GET_INPUT_MODULE = 44,
    KV_CMD_SET_INPUT_POSITION_RANGE = 45,
    KV_CMD_GET_INPUT_POSITION_RANGE = 46,
    KV_CMD_SET_INPUT_TIMECODE_GRANULARITY = 47,
    KV_CMD_GET_INPUT_TIMECODE_GRANULARITY = 48,
    KV_CMD_SET_OUTPUT_NAME = 49,
    KV_CMD_GET_OUTPUT_NAME = 50,
    KV_CMD_SET_OUTPUT_MODULE = 51,
    KV_CMD_GET_OUTPUT_MODULE = 52,
    KV_CMD_SET_OUTPUT_VOLUME = 57,
    KV_CMD_GET_OUTPUT_VOLUME = 58,
    KV_CMD_SET_OUTPUT_CHANNELS = 59,
    KV_CMD_GET_OUTPUT_CHANNELS = 60,
    KV_CMD_SET_OUTPUT_PORTS = 61,
    KV_CMD_GET_OUTPUT_PORTS = 62,
    KV_CMD_SET_CODEC_QUALITY = 63,
    KV_CMD_GET_CODEC_QUALITY = 64,
    KV_CMD_SET_CODEC_EQUALIZER = 65,
    KV_CMD_GET_CODEC_EQUALIZER = 66,
    KV_CMD_SET_NOTIFICATION_MASK = 69,
    KV_CMD_GET_NOTIFICATION_MASK = 70,
    KV_CMD_SET_DEBUG_LEVEL = 71,
    KV_CMD_GET_DEBUG_LEVEL = 72,
    /* Feedback handlers (the spectrum feature). */
    KV_CMD_FEEDBACK_REGISTER = 125,   /* S: "function@" + hex address of the init function */
    KV_CMD_FEEDBACK_ENABLE = 129,     /* N: start calling the selected handler */
    KV_CMD_FEEDBACK_SET_PERIOD = 139, /* I: milliseconds between audio events */
    KV_CMD_FEEDBACK_SELECT = 141      /* S: name the handler answers to */
};

/* Player states (KV_NOTIFY_PLAYER_STATE). */
enum kv_player_state {
    KV_PLAYER_STATE_STOPPED = 0,
    KV_PLAYER_STATE_PLAYING = 1,
    KV_PLAYER_STATE_PAUSED = 2,
    KV_PLAYER_STATE_EOS = 3
};

/* Output channel modes (KV_CMD_SET_OUTPUT_CHANNELS). */
enum kv_channel_mode {
    KV_CHANNELS_STEREO = 0,
    KV_CHANNELS_MONO_LEFT = 1,
    KV_CHANNELS_MONO_RIGHT = 2,
    KV_CHANNELS_MONO_MIX = 3
};

/* Levels of KV_CMD_SET_OUTPUT_VOLUME: 0..99, 99 full, balance 50 centred. */
#define KV_LEVEL_MAX 99
#define KV_LEVEL_UNCHANGED (-1)
#define KV_BALANCE_CENTRE 50

/* KV_NOTIFY_OUTPUT_STATE carries 0 while the player's output works, otherwise
 * the engine error code of why it does not. KV_OUTPUT_STATE_LOST: the sound
 * device went away or cannot be reached now (its sound server ended or has
 * not started). The engine then plays nothing into it and holds each player
 * where it was (no time codes follow), tries the device again at least once
 * a second, and when it opens posts 0 and goes on from where it held; a
 * player keeps its state (playing, paused) throughout. */
#define KV_OUTPUT_STATE_READY 0
#define KV_OUTPUT_STATE_LOST 21

/* Default scale of KV_NOTIFY_INPUT_POSITION and KV_CMD_INPUT_SEEK. */
#define KV_DEFAULT_POSITION_RANGE 400u

/* ------------------------------------------------------------------------- */
/* Notification codes (KV_Message.Code)                                       */
/* ------------------------------------------------------------------------- */

enum kv_notify_code {
    KV_NOTIFY_READY = 73,
    KV_NOTIFY_ACK = 74,
    KV_NOTIFY_NACK = 75,
    KV_NOTIFY_PONG = 76,
    KV_NOTIFY_EXITED = 77,
    KV_NOTIFY_PLAYER_STATE = 78,
    KV_NOTIFY_PLAYER_MODE = 79,
    KV_NOTIFY_PLAYER_ENVIRONMENT_INTEGER = 80,
    KV_NOTIFY_PLAYER_ENVIRONMENT_STRING = 81,
    KV_NOTIFY_INPUT_STATE = 82,
    KV_NOTIFY_INPUT_NAME = 83,
    KV_NOTIFY_INPUT_CAPS = 84,
    KV_NOTIFY_INPUT_POSITION = 85,
    KV_NOTIFY_INPUT_POSITION_RANGE = 86,
    KV_NOTIFY_INPUT_TIMECODE = 87,
    KV_NOTIFY_INPUT_TIMECODE_GRANULARITY = 88,
    KV_NOTIFY_INPUT_MODULE = 89,
    KV_NOTIFY_INPUT_MODULE_INFO = 90,
    KV_NOTIFY_INPUT_DEVICE_INFO = 91,
    KV_NOTIFY_INPUT_FILTER_INFO = 92,
    KV_NOTIFY_OUTPUT_STATE = 93,
    KV_NOTIFY_OUTPUT_NAME = 94,
    KV_NOTIFY_OUTPUT_CAPS = 95,
    /* 96..99 carry no event. */
    KV_NOTIFY_OUTPUT_VOLUME = 100,
    KV_NOTIFY_OUTPUT_BALANCE = 101,
    KV_NOTIFY_OUTPUT_PCM_LEVEL = 102,
    KV_NOTIFY_OUTPUT_MASTER_LEVEL = 103,
    KV_NOTIFY_OUTPUT_CHANNELS = 104,
    KV_NOTIFY_OUTPUT_PORTS = 105,
    KV_NOTIFY_OUTPUT_MODULE = 106,
    KV_NOTIFY_OUTPUT_MODULE_INFO = 107,
    KV_NOTIFY_OUTPUT_DEVICE_INFO = 108,
    KV_NOTIFY_OUTPUT_FILTER_INFO = 109,
    KV_NOTIFY_STREAM_MIME_TYPE = 110,
    KV_NOTIFY_STREAM_DURATION = 111,
    KV_NOTIFY_STREAM_PARAMETERS = 112,
    KV_NOTIFY_STREAM_PROPERTIES = 113,
    KV_NOTIFY_CODEC_QUALITY = 114,
    KV_NOTIFY_CODEC_EQUALIZER = 115,
    KV_NOTIFY_CODEC_MODULE = 116,
    KV_NOTIFY_CODEC_MODULE_INFO = 117,
    KV_NOTIFY_CODEC_DEVICE_INFO = 118,
    KV_NOTIFY_NOTIFICATION_MASK = 119,
    KV_NOTIFY_DEBUG_LEVEL = 120,
    KV_NOTIFY_PROGRESS = 121,
    KV_NOTIFY_DEBUG = 122,
    KV_NOTIFY_ERROR = 123
};

/* ------------------------------------------------------------------------- */
/* Records                                                                    */
/* ------------------------------------------------------------------------- */

/* Equalizer: 32 band gains per channel, band 0 first. Gains are tenths of a
 * decibel (the player's sliders send -80..80, that is +-8 dB); 0 is flat. */
#define KV_EQUALIZER_BANDS 32
typedef struct KV_EqualizerInfo {
    int8_t Left[KV_EQUALIZER_BANDS];
    int8_t Right[KV_EQUALIZER_BANDS];
} KV_EqualizerInfo, *PKV_EqualizerInfo;

typedef struct KV_Property {
    const char *Name;
    int32_t ValueType; /* KV_PROPERTY_TYPE_* */
    union {
        int32_t IntegerValue;
        const char *StringValue;
    } Value;
} KV_Property;

/* Value types of KV_Property: 1 an integer, 0 a text. */
enum kv_property_type { KV_PROPERTY_TYPE_STRING = 0, KV_PROPERTY_TYPE_INTEGER = 1 };

typedef struct KV_AbsoluteTime {
    uint32_t Seconds;
    uint32_t MicroSeconds;
} KV_AbsoluteTime;

typedef struct KV_NackInfo {
    uint8_t Command;
    int16_t Code; /* engine error code, worded by kelvra_error_string */
} KV_NackInfo;

typedef struct KV_VolumeInfo {
    int8_t Master_Level;
    int8_t PCM_Level;
    int8_t Balance;
} KV_VolumeInfo;

typedef struct KV_PositionInfo {
    uint32_t Offset;
    uint32_t Range;
} KV_PositionInfo;

typedef struct KV_ModuleInfo {
    uint8_t ID;
    uint8_t NB_Devices;
    const char *Name;
    const char *Description;
} KV_ModuleInfo;

typedef struct KV_FilterInfo {
    const char *Name;
    uint16_t ID;
} KV_FilterInfo;

typedef struct KV_DeviceInfo {
    uint8_t Module_ID;
    uint8_t Index;
    uint8_t Flags;
    const char *Name;
    const char *Description;
} KV_DeviceInfo;

typedef struct KV_Stream_Parameters {
    uint32_t Frequency; /* Hz */
    int16_t BitRate;    /* kbps */
    uint8_t NB_Channels;
} KV_Stream_Parameters;

typedef struct KV_EnvironmentInfo {
    const char *Name;
    union {
        int32_t Integer_Value;
        const char *String_Value;
    } Value;
} KV_EnvironmentInfo;

typedef struct KV_TimeCodeInfo {
    uint8_t H;
    uint8_t M;
    uint8_t S;
    uint8_t F;
} KV_TimeCodeInfo;

typedef struct KV_Module_Message {
    uint16_t MessageType;
    uint32_t Size;
    const void *Data;
} KV_Module_Message;

typedef struct KV_TagEvent {
    KV_AbsoluteTime When;
    uint32_t Tag;
} KV_TagEvent;

/* Decoded audio handed to feedback handlers: interleaved signed 16-bit samples,
 * NB_Samples frames of NB_Channels channels. */
typedef struct KV_AudioEvent {
    KV_AbsoluteTime When;
    uint32_t SamplingFrequency;
    uint16_t NB_Channels;
    uint16_t NB_Samples;
    const int16_t *Samples;
} KV_AudioEvent;

typedef struct KV_PropertyList {
    uint32_t NBProperties;
    const KV_Property *Properties;
} KV_PropertyList;

typedef struct KV_PrivateData {
    uint8_t Source;
    int16_t DataType;
    const void *Data;
    uint32_t Size;
} KV_PrivateData;

typedef struct KV_ProgressInfo {
    uint8_t Source;
    uint8_t Code;
    int16_t Value;
    const char *Msg;
} KV_ProgressInfo;

typedef struct KV_DebugInfo {
    uint8_t Source;
    uint8_t Level;
    const char *Msg;
} KV_DebugInfo;

typedef struct KV_ErrorInfo {
    uint8_t Source;
    int16_t Code;
    const char *Msg;
} KV_ErrorInfo;

/* A notification. Which union member is valid depends on Code (see the table in
 * the component's dispatcher). Text and record pointers belong to the engine and
 * stay valid until the dispatcher that decoded the message returns. */
typedef struct KV_Message {
    int32_t Code;
    union {
        const char *Name;
        const char *MimeType;
        const char *Buffer;
        uint8_t State;
        uint8_t Channels;
        uint8_t Quality;
        uint8_t Ports;
        uint8_t Ack;
        uint8_t Debug_Level;
        uint8_t Rate;
        int16_t Module_ID;
        uint32_t Mode;
        uint32_t Duration;
        uint32_t Range;
        uint32_t Granularity;
        uint32_t Caps;
        uint32_t Tag;
        uint32_t NotificationMask;
        KV_NackInfo Nack;
        KV_VolumeInfo Volume;
        KV_PositionInfo Position;
        KV_EqualizerInfo *Equalizer;
        KV_ModuleInfo Module_Info;
        KV_FilterInfo Filter_Info;
        KV_DeviceInfo Device_Info;
        KV_Stream_Parameters Stream_Parameters;
        KV_EnvironmentInfo Environment_Info;
        KV_TimeCodeInfo TimeCode;
        KV_Module_Message Module_Message;
        KV_TagEvent TagEvent;
        KV_AudioEvent AudioEvent;
        KV_PropertyList Properties;
        KV_AbsoluteTime When;
        KV_PrivateData PrivateData;
        KV_ProgressInfo Progress;
        KV_DebugInfo Debug;
        KV_ErrorInfo Error;
    } Data;
} KV_Message;

/* ------------------------------------------------------------------------- */
/* Engine library exports (the 23 functions the player binds by name)         */
/* ------------------------------------------------------------------------- */

typedef struct kv_player kv_player; /* opaque */

typedef int32_t (*kv_player_new_fn)(kv_player **player, kv_window **window);
typedef int32_t (*kv_player_delete_fn)(kv_player *player);
typedef int32_t (*kv_player_set_priority_fn)(kv_player *player, uint32_t priority);
typedef int32_t (*kv_player_get_priority_fn)(kv_player *player);
typedef const char *(*kv_error_string_fn)(int32_t code);
typedef uint32_t (*kv_get_version_fn)(int32_t version_index);
typedef int32_t (*kv_send_N_fn)(kv_player *player, int32_t code);
typedef int32_t (*kv_send_P_fn)(kv_player *player, int32_t code, const void *pointer1);
typedef int32_t (*kv_send_S_fn)(kv_player *player, int32_t code, const char *str1);
typedef int32_t (*kv_send_SS_fn)(kv_player *player, int32_t code, const char *str1,
                                 const char *str2);
typedef int32_t (*kv_send_SI_fn)(kv_player *player, int32_t code, const char *str1, int32_t int1);
typedef int32_t (*kv_send_IPI_fn)(kv_player *player, int32_t code, int32_t int1, const void *ptr1,
                                  int32_t int2);
typedef int32_t (*kv_send_I_fn)(kv_player *player, int32_t code, int32_t int1);
typedef int32_t (*kv_send_II_fn)(kv_player *player, int32_t code, int32_t int1, int32_t int2);
typedef int32_t (*kv_send_III_fn)(kv_player *player, int32_t code, int32_t int1, int32_t int2,
                                  int32_t int3);
typedef int32_t (*kv_send_IIII_fn)(kv_player *player, int32_t code, int32_t int1, int32_t int2,
                                   int32_t int3, int32_t int4);
typedef int32_t (*kv_params_to_message_fn)(kv_player *player, KV_Message *msg, uint32_t message,
                                           uintptr_t w_param, intptr_t l_param);

/* Spectrum analysers. An analyser takes up to 128 frames of 16-bit samples and
 * reports up to 64 bands, each 0..255 on a logarithmic scale (see the engine's
 * documentation of its analyser). */
typedef struct kv_fft_analyzer kv_fft_analyzer;                           /* opaque */
typedef int32_t (*kv_fft_analyzer_new_fn)(kv_fft_analyzer **analyzer);    /* 0 on success */
typedef int32_t (*kv_fft_analyzer_delete_fn)(kv_fft_analyzer **analyzer); /* 1 on success */
typedef void (*kv_fft_analyzer_set_samples_fn)(kv_fft_analyzer *analyzer, const int16_t *samples,
                                               int32_t count);
typedef void (*kv_fft_analyzer_get_spectrum_fn)(kv_fft_analyzer *analyzer, uint8_t *spectrum,
                                                int32_t bands);
typedef void (*kv_fft_analyzer_interpolate_fn)(kv_fft_analyzer *analyzer, const void *samples,
                                               int32_t count, int32_t channels);

/* The export table in the order the player resolves it. */
#define KV_EXPORT_COUNT 23
#define KV_EXPORT_NAMES                                                                            \
    "player_new", "player_delete", "player_set_priority", "player_get_priority",                   \
        "kelvra_error_string", "kelvra_get_version", "control_message_send_N",                     \
        "control_message_send_P", "control_message_send_S", "control_message_send_SS",             \
        "control_message_send_SI", "control_message_send_IPI", "control_message_send_I",           \
        "control_message_send_II", "control_message_send_III", "control_message_send_IIII",        \
        "control_win32_params_to_message", "fft_analyzer_new", "fft_analyzer_delete",              \
        "fft_analyzer_set_samples", "fft_analyzer_get_spectrum",                                   \
        "fft_analyzer_interpolate_samples_signed", "fft_analyzer_interpolate_samples_unsigned"

/* Declarations for the engine side (and its test double). */
#ifdef KELVRA_BUILDING_ENGINE
KV_EXPORT int32_t player_new(kv_player **player, kv_window **window);
KV_EXPORT int32_t player_delete(kv_player *player);
KV_EXPORT int32_t player_set_priority(kv_player *player, uint32_t priority);
KV_EXPORT int32_t player_get_priority(kv_player *player);
KV_EXPORT const char *kelvra_error_string(int32_t code);
KV_EXPORT uint32_t kelvra_get_version(int32_t version_index);
KV_EXPORT int32_t control_message_send_N(kv_player *player, int32_t code);
KV_EXPORT int32_t control_message_send_P(kv_player *player, int32_t code, const void *pointer1);
KV_EXPORT int32_t control_message_send_S(kv_player *player, int32_t code, const char *str1);
KV_EXPORT int32_t control_message_send_SS(kv_player *player, int32_t code, const char *str1,
                                          const char *str2);
KV_EXPORT int32_t control_message_send_SI(kv_player *player, int32_t code, const char *str1,
                                          int32_t int1);
KV_EXPORT int32_t control_message_send_IPI(kv_player *player, int32_t code, int32_t int1,
                                           const void *ptr1, int32_t int2);
KV_EXPORT int32_t control_message_send_I(kv_player *player, int32_t code, int32_t int1);
KV_EXPORT int32_t control_message_send_II(kv_player *player, int32_t code, int32_t int1,
                                          int32_t int2);
KV_EXPORT int32_t control_message_send_III(kv_player *player, int32_t code, int32_t int1,
                                           int32_t int2, int32_t int3);
KV_EXPORT int32_t control_message_send_IIII(kv_player *player, int32_t code, int32_t int1,
                                            int32_t int2, int32_t int3, int32_t int4);
KV_EXPORT int32_t control_win32_params_to_message(kv_player *player, KV_Message *msg,
                                                  uint32_t message, uintptr_t w_param,
                                                  intptr_t l_param);
KV_EXPORT int32_t fft_analyzer_new(kv_fft_analyzer **analyzer);
KV_EXPORT int32_t fft_analyzer_delete(kv_fft_analyzer **analyzer);
KV_EXPORT void fft_analyzer_set_samples(kv_fft_analyzer *analyzer, const int16_t *samples,
                                        int32_t count);
KV_EXPORT void fft_analyzer_get_spectrum(kv_fft_analyzer *analyzer, uint8_t *spectrum,
                                         int32_t bands);
KV_EXPORT void fft_analyzer_interpolate_samples_signed(kv_fft_analyzer *analyzer,
                                                       const void *samples, int32_t count,
                                                       int32_t channels);
KV_EXPORT void fft_analyzer_interpolate_samples_unsigned(kv_fft_analyzer *analyzer,
                                                         const void *samples, int32_t count,
                                                         int32_t channels);
#endif

/* ------------------------------------------------------------------------- */
/* Optional extensions                                                        */
/* ------------------------------------------------------------------------- */

/* An engine may offer more than the 23 exports, as named extensions: each is a
 * table of functions that the player asks for through the one optional export
 * kelvra_get_extension, found by name like the others but never required. An
 * engine without that export, or one that answers NULL for a name, is used as
 * it always was; the player simply does without the extension.
 *
 * A table is owned by the engine, never changes and stays valid while the
 * library is loaded. It begins with its version; a later version only adds
 * functions at the end, so a caller checks the version before it calls a
 * function it needs. An extension function that acts on a player is queued
 * with that player's commands and runs in order with them. */
#define KV_GET_EXTENSION_EXPORT "kelvra_get_extension"
typedef const void *(*kv_get_extension_fn)(const char *name);

/* "player_gain": a gain in each player's own output stage, where the player's
 * audio joins a sound device's mix. It comes before the player's levels
 * (master, PCM, balance, mute and the start and stop fades), so those act on
 * the gained audio exactly as they act without it. WAV-file output never gets
 * it: a render stays a faithful decode. */
#define KV_EXTENSION_PLAYER_GAIN "player_gain"
#define KV_PLAYER_GAIN_VERSION 1u
/* Gains are hundredths of a decibel; 0 leaves the audio as decoded. */
#define KV_INPUT_GAIN_MIN (-6000)
#define KV_INPUT_GAIN_MAX 2400
typedef struct kv_player_gain_extension {
    uint32_t version; /* KV_PLAYER_GAIN_VERSION */
    /* The gain (clamped to KV_INPUT_GAIN_MIN..KV_INPUT_GAIN_MAX) of every input
     * the player opens from its next InputOpen on; an input already open keeps
     * the gain it was opened with, so a song never changes loudness half way.
     * 0 when queued, -1 for a player that is not live. */
    int32_t (*set_input_gain)(kv_player *player, int32_t hundredths_db);
} kv_player_gain_extension;

/* "speech_mix": the DJ's voice joins the mix of the sound device the songs
 * play to, so the songs' levels, the lowering of the music under the voice
 * (the duck) and the sum's limiter act on it sample by sample. Speech never
 * reaches a WAV file: WAV-file output has no mix to join.
 *
 * While speech is taken and not yet heard, every song of that mix is lowered
 * by the duck depth, on top of its own levels (which keep ramping
 * underneath): the music reaches the depth in about 50 ms, and the voice
 * starts only then; after the voice's last sample the music comes back up
 * over about 500 ms. A limiter on the mix's sum (songs, voice and their
 * gains together) leaves it untouched while it stays below -1 dBFS and holds
 * every sample within full scale otherwise, a few milliseconds ahead.
 *
 * These functions act at once, not queued with any player's commands, and
 * may be called from any thread. */
#define KV_EXTENSION_SPEECH_MIX "speech_mix"
#define KV_SPEECH_MIX_VERSION 1u
/* Duck depths are hundredths of a decibel. */
#define KV_DUCK_DEPTH_MAX 2400
#define KV_DUCK_DEPTH_DEFAULT 1200
typedef struct kv_speech_mix_extension {
    uint32_t version; /* KV_SPEECH_MIX_VERSION */
    /* Appends `frames` of mono 16-bit speech at `rate` Hz to what the voice
     * says. 0 when taken; 1 when no sound device's mix runs now (songs go to
     * WAV files, or none has been opened), so the caller plays it itself; -1
     * for no samples or a rate of 0. */
    int32_t (*speech_write)(const int16_t *samples, uint32_t frames, uint32_t rate);
    /* Drops the speech not heard yet; the music comes back up. */
    void (*speech_clear)(void);
    /* Milliseconds of speech taken and not yet heard (0 when none waits). */
    uint32_t (*speech_pending)(void);
    /* How far the music is lowered under the voice, clamped to
     * 0..KV_DUCK_DEPTH_MAX; 0 leaves the music alone. For every mix, now and
     * later; KV_DUCK_DEPTH_DEFAULT until set. */
    void (*set_duck_depth)(int32_t hundredths_db);
} kv_speech_mix_extension;

/* "quiet_ends": where a song is heard. With quiet ends on, a player skips
 * the silence a song opens with (it starts at the first moment above
 * -60 dBFS, up to 30 s in) and finds, while it plays, the last moment it is
 * heard: the start of the silence (below -60 dBFS) that lasts to the end of
 * the file, when that silence lasts at least 2 s. Off (the default), a song
 * plays every sample as decoded, as gapless playback needs. WAV-file output
 * is the same either way: a render stays a faithful decode. */
#define KV_EXTENSION_QUIET_ENDS "quiet_ends"
#define KV_QUIET_ENDS_VERSION 1u
typedef struct kv_quiet_ends_extension {
    uint32_t version; /* KV_QUIET_ENDS_VERSION */
    /* Queued: quiet ends on (non-zero) or off for the inputs the player opens
     * from its next InputOpen on. 0 when queued, -1 for a player not live. */
    int32_t (*set_quiet_ends)(kv_player *player, int32_t on);
    /* Not queued, from any thread: the last audible moment of the song open
     * on `player`, in milliseconds from the song's start; the song's whole
     * length when it does not end in silence; -1 while that is not known yet,
     * with quiet ends off, or for a player not live. */
    int32_t (*audible_end)(kv_player *player);
} kv_quiet_ends_extension;

#ifdef KELVRA_BUILDING_ENGINE
KV_EXPORT const void *kelvra_get_extension(const char *name);
#endif

/* ------------------------------------------------------------------------- */
/* Feedback handlers (installed with KV_CMD_FEEDBACK_REGISTER)               */
/* ------------------------------------------------------------------------- */

#define KV_FEEDBACK_INTERFACE_VERSION 0x00030800u

/* Filled by the information function: name at byte 8, description at byte 264
 * (256 bytes each). */
typedef struct kv_feedback_information {
    uint32_t Flags;
    uint32_t Reserved;
    char Name[256];
    char Description[256];
} kv_feedback_information;

enum kv_feedback_info_kind {
    KV_FEEDBACK_INFO_MODULE = 1,
    KV_FEEDBACK_INFO_CAPS = 2,
    KV_FEEDBACK_INFO_HANDLER = 4
};

typedef int32_t (*kv_feedback_void_fn)(void);
typedef int32_t (*kv_feedback_name_match_fn)(const char *name);
typedef int32_t (*kv_feedback_information_fn)(kv_feedback_information *info, int32_t kind);
typedef int32_t (*kv_feedback_audio_event_fn)(void *context, const KV_AudioEvent *event);

/* The handler's table, in word order. The engine calls audio_event on its
 * decoding thread for every block it plays while the handler is enabled. */
typedef struct kv_feedback_table {
    uint32_t interface_version;
    kv_feedback_name_match_fn name_match;
    kv_feedback_information_fn information;
    kv_feedback_void_fn reserved_3;
    kv_feedback_void_fn reserved_4;
    kv_feedback_void_fn reserved_5;
    kv_feedback_void_fn reserved_6;
    void *unset_7;
    kv_feedback_audio_event_fn audio_event;
} kv_feedback_table;

/* The function whose address follows "function@" fills the table; 0 = success. */
typedef int32_t (*kv_feedback_init_fn)(kv_feedback_table *table);

/* ------------------------------------------------------------------------- */
/* Output modules: devices and filters of a player's output chain            */
/* ------------------------------------------------------------------------- */

#define KV_OUTPUT_MODULE_INTERFACE_VERSION 0x00040400u

/* Return codes of module functions. */
#define KV_MODULE_OK 0
#define KV_MODULE_UNSUPPORTED (-1)
/* A device's write or format control: the device has gone or cannot be opened
 * now; nothing was played. The engine keeps what it has not played and calls
 * control with KV_CONTROL_FORMAT again until that returns KV_MODULE_OK. */
#define KV_MODULE_DEVICE_LOST (-2)
#define KV_MODULE_OUT_OF_MEMORY (-100)

/* Flags of the control function. Several may be set in one call; a stage acts
 * on those it knows and passes the call on. */
#define KV_CONTROL_FORMAT 0x0004u /* format set: the format record describes the stream */
#define KV_CONTROL_RESET 0x0200u  /* discard what is buffered (seek, stop) */
#define KV_CONTROL_DRAIN 0x1000u  /* deliver what is buffered (end of stream) */

/* The stream description a control call with KV_CONTROL_FORMAT carries. A stage
 * may change it on the way down, so the stages after it are set up for what it
 * will deliver (a resampler replaces the rate). */
typedef struct kv_output_format {
    uint32_t rate;            /* frames per second */
    uint32_t channels;        /* 1 or 2 */
    uint32_t bits_per_sample; /* 16 */
    uint32_t reserved;
} kv_output_format;

/* Module information: a 32-bit word at byte 0, the name at byte 4 and the
 * description at byte 259, both zero-terminated. */
typedef struct kv_module_information {
    uint32_t flags;
    char name[255];
    char description[256];
} kv_module_information;

#define KV_MODULE_INFO_FILL 0x1u /* bit 0 of the get-information flags */

/* Services the engine offers a module instance. Environment values are the
 * player's environment integers (KV_CMD_SET_PLAYER_ENVIRONMENT_INTEGER). */
typedef struct kv_host_interface kv_host_interface;
typedef void (*kv_environment_listener_fn)(void *instance, const char *name,
                                           const int32_t *value /* NULL: unset */);
struct kv_host_interface {
    uint32_t interface_version;
    /* 0 when the value exists and was stored in *value. */
    int32_t (*get_environment_integer)(kv_host_interface *host, const char *name, int32_t *value);
    /* 0 when registered; *handle is non-zero then. The listener runs on the
     * engine's command thread whenever the value is set or unset. */
    int32_t (*add_environment_listener)(kv_host_interface *host, const char *name, void *instance,
                                        kv_environment_listener_fn listener, int32_t *handle);
    void (*remove_environment_listener)(kv_host_interface *host, int32_t handle);
};

/* The record a stage's write and control functions receive: the stage's own
 * instance and the way to the stage after it. The engine owns the record. */
typedef struct kv_output_chain {
    void *instance; /* the instance new_instance created for this stage */
    void *next;     /* the following stage, passed back to the three functions below */
    int32_t (*next_write)(void *next, const void *samples, uint32_t size_bytes,
                          uint32_t sample_width, uint32_t channels, uint32_t rate);
    /* A buffer of size_bytes to fill and hand to next_write; valid until that
     * write returns. NULL when none can be had. */
    void *(*next_get_buffer)(void *next, uint32_t size_bytes);
    int32_t (*next_control)(void *next, kv_output_format *format, uint32_t flags);
} kv_output_chain;

typedef int32_t (*kv_module_get_information_fn)(kv_module_information *info, uint32_t flags);
typedef int32_t (*kv_module_new_instance_fn)(void **instance, const void *creation_argument,
                                             kv_host_interface *host);
typedef int32_t (*kv_module_delete_instance_fn)(void *instance);
/* Devices only: open the named output ("/dev/dsound/0", "wav:<path>", ...). */
typedef int32_t (*kv_module_open_fn)(void *instance, const char *name);
typedef int32_t (*kv_module_close_fn)(void *instance);
typedef int32_t (*kv_module_write_fn)(kv_output_chain *chain, const void *samples,
                                      uint32_t size_bytes, uint32_t sample_width, uint32_t channels,
                                      uint32_t rate);
/* Devices only: a buffer the previous stage may fill in place. */
typedef void *(*kv_module_get_buffer_fn)(kv_output_chain *chain, uint32_t size_bytes);
typedef int32_t (*kv_module_control_fn)(kv_output_chain *chain, kv_output_format *format,
                                        uint32_t flags);

/* Thirteen words. A filter leaves open, close and get_buffer NULL. */
typedef struct kv_output_module_descriptor {
    uint32_t interface_version;                   /* word 0 */
    kv_module_get_information_fn get_information; /* word 1 */
    kv_module_new_instance_fn new_instance;       /* word 2 */
    kv_module_delete_instance_fn delete_instance; /* word 3 */
    kv_module_open_fn open;                       /* word 4 */
    kv_module_close_fn close;                     /* word 5 */
    kv_module_write_fn write;                     /* word 6 */
    kv_module_get_buffer_fn get_buffer;           /* word 7 */
    kv_module_control_fn control;                 /* word 8 */
    void *reserved[4];                            /* words 9..12 */
} kv_output_module_descriptor;

/* The register function a module exports, found by name ("name@library"). */
typedef int32_t (*kv_output_module_register_fn)(kv_output_module_descriptor *descriptor);

/* ------------------------------------------------------------------------- */
/* Layout checks                                                              */
/* ------------------------------------------------------------------------- */

#ifdef __cplusplus
#define KV_STATIC_ASSERT static_assert
#else
#define KV_STATIC_ASSERT _Static_assert
#endif

KV_STATIC_ASSERT(sizeof(KV_EqualizerInfo) == 64, "equalizer record is 64 bytes");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.Nack.Code) - offsetof(KV_Message, Data) == 2,
                 "nack code at 6");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.Volume.Balance) - offsetof(KV_Message, Data) == 2,
                 "balance at 6");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.TimeCode.F) - offsetof(KV_Message, Data) == 3,
                 "fraction at 7");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.Stream_Parameters.NB_Channels) -
                         offsetof(KV_Message, Data) ==
                     6,
                 "channels at 10");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.AudioEvent.SamplingFrequency) -
                         offsetof(KV_Message, Data) ==
                     8,
                 "sampling frequency at 12");
KV_STATIC_ASSERT(offsetof(kv_module_information, description) == 259, "description at 259");
KV_STATIC_ASSERT(offsetof(kv_feedback_information, Description) == 264, "description at 264");
KV_STATIC_ASSERT(offsetof(kv_player_gain_extension, set_input_gain) == sizeof(void *),
                 "gain function in the second word");
KV_STATIC_ASSERT(offsetof(kv_speech_mix_extension, speech_write) == sizeof(void *),
                 "speech function in the second word");
KV_STATIC_ASSERT(offsetof(kv_quiet_ends_extension, set_quiet_ends) == sizeof(void *),
                 "quiet-ends function in the second word");

#if UINTPTR_MAX == 0xFFFFFFFFu
/* 32-bit targets: the interface's documented byte offsets. */
KV_STATIC_ASSERT(sizeof(KV_Message) == 24, "KV_Message is 24 bytes");
KV_STATIC_ASSERT(offsetof(KV_Message, Data) == 4, "union at 4");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.Module_Info.Name) == 8, "module name at 8");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.Module_Info.Description) == 12, "description at 12");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.Filter_Info.ID) == 8, "filter ID at 8");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.Position.Range) == 8, "range at 8");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.Module_Message.Data) == 12, "data at 12");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.AudioEvent.Samples) == 20, "samples at 20");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.PrivateData.Size) == 12, "size at 12");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.Error.Msg) == 8, "error text at 8");
KV_STATIC_ASSERT(sizeof(KV_Property) == 12, "KV_Property is 12 bytes");
KV_STATIC_ASSERT(sizeof(kv_output_module_descriptor) == 13 * 4, "thirteen words");
KV_STATIC_ASSERT(offsetof(kv_feedback_table, audio_event) == 8 * 4, "audio event at word 8");
#elif UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
/* 64-bit targets: the union is pointer-aligned, so it starts at 8. */
KV_STATIC_ASSERT(sizeof(KV_Message) == 32, "KV_Message is 32 bytes");
KV_STATIC_ASSERT(offsetof(KV_Message, Data) == 8, "union at 8");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.Module_Info.Name) == 16, "module name");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.Module_Info.Description) == 24, "description");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.Filter_Info.ID) == 16, "filter ID");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.Position.Range) == 12, "range");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.Module_Message.Data) == 16, "data");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.AudioEvent.Samples) == 24, "samples");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.PrivateData.Size) == 24, "size");
KV_STATIC_ASSERT(offsetof(KV_Message, Data.Error.Msg) == 16, "error text");
KV_STATIC_ASSERT(sizeof(KV_Property) == 24, "KV_Property is 24 bytes");
KV_STATIC_ASSERT(sizeof(kv_output_module_descriptor) == 13 * 8, "thirteen words");
KV_STATIC_ASSERT(offsetof(kv_feedback_table, audio_event) == 8 * 8, "audio event at word 8");
#endif

#ifdef __cplusplus
}
#endif

#endif /* KELVRA_INTERFACE_H */

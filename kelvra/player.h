#pragma once

#include "decoder.h"
#include "feedback.h"
#include "filter_chain.h"
#include "kelvra_interface.h"
#include "levels.h"
#include "module_loader.h"
#include "notification.h"
#include "quiet_ends.h"
#include "sink.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

struct kv_player {
    virtual ~kv_player() = default;
};

namespace kelvra {

// A command as queued: arguments copied out of the caller's memory.
struct Command {
    int32_t code = 0;
    int32_t ints[4] = {};
    std::string text1;
    std::string text2;
    std::vector<uint8_t> data; // pointer arguments, copied
    bool nullPointer = true;
    // Queued by an extension function rather than a control message; `code`
    // is then an ExtensionCommand.
    bool extension = false;
};

enum class ExtensionCommand : int32_t { SetInputGain = 1, SetQuietEnds = 2 };

// One engine player: its own thread decodes, runs the output chain and
// executes commands, in the order they were sent, between blocks of audio.
//
// Locking: `signal_->mutex` guards the command queue and the quit and wake
// flags; senders (any thread) and the mixer's wake calls take it briefly. Every
// other member belongs to the player's thread and is touched nowhere else,
// except `mailbox_` (locks itself), `priority_` and `signal_->wantWakes`
// (atomic).
//
// Waking: in the middle of a song the player follows its own clock (the next
// feedback period, at most 40 ms) and lets the mixer's wake calls pass, as
// the mixer would otherwise wake it every mixing slice; around commands and
// once the song is decoded to its end it answers every wake, so starts, seeks
// and ends of stream are as prompt as ever.
class Player final : public kv_player {
public:
    explicit Player(kv_window **window);
    ~Player() override;
    Player(const Player &) = delete;
    Player &operator=(const Player &) = delete;

    void send(Command command);
    Mailbox &mailbox() { return mailbox_; }
    void setPriority(uint32_t priority);
    int32_t priority() const { return priority_.load(); }
    // Any thread: the audible end of the open song in milliseconds, or -1.
    int32_t audibleEndMilliseconds() const { return audibleEndMs_.load(); }

private:
    enum class State { Stopped, Playing, Paused, EndOfStream };

    struct OutputEntry {
        std::string name;
        std::string description;
        std::vector<std::string> devices;
        std::string location; // module to load; empty for the built-in silent output
    };

    struct Listener {
        int32_t handle;
        std::string name;
        void *instance;
        kv_environment_listener_fn function;
    };

    struct Host {
        kv_host_interface iface; // first, so the record's address is the Host's
        Player *player;
    };

    void run();
    std::function<void()> wakeFunction() const;
    bool pump();
    void execute(const Command &command);
    void post(std::unique_ptr<Notification> notification);
    void postNack(int32_t command, Error error, const std::string &detail = {});
    void postState(State state);
    // The output's state: why it does not work, or that its device is lost.
    void postOutputState();
    void watchOutput();

    // Commands.
    void play();
    void pause();
    void stop();
    void seek(uint32_t offset, uint32_t range);
    void inputOpen(const std::string &name);
    void inputClose();
    void setVolume(int32_t balance, int32_t pcm, int32_t master);
    void postVolume();
    void postEqualizer();
    bool registerOutputModule(const std::string &location, bool report);
    void addFilter(const std::string &location, int32_t where);
    void removeFilter(const std::string &location, int32_t id);
    void listOutputModules();
    void setEnvironmentInteger(const std::string &name, std::optional<int32_t> value);
    void executeExtension(const Command &command);
    void skipOpeningSilence();
    void forgetAudibleEnd();

    // Playback machinery.
    Error buildOutput(std::string &detail);
    void dropOutput();
    void clearChain();
    bool beingHeard() const;
    bool fileOutputNamed() const;
    Error checkFileTarget(std::string &detail) const;
    Error buildFileOutputForPlay();
    void retargetOutput();
    void restartAt(uint64_t frame, bool fade);
    void decodeBlock();
    void updateClock();
    void postTimecode(uint64_t second);
    void postPosition(bool force);
    double playedSeconds() const;
    void finishStream();
    void feedHeardAudio();
    std::chrono::milliseconds nextWait();
    void applyThreadPriority();

    static int32_t hostGetInteger(kv_host_interface *host, const char *name, int32_t *value);
    static int32_t hostAddListener(kv_host_interface *host, const char *name, void *instance,
                                   kv_environment_listener_fn listener, int32_t *handle);
    static void hostRemoveListener(kv_host_interface *host, int32_t handle);

    Mailbox mailbox_;
    std::atomic<int32_t> priority_{3};
    // Written by the end scan of the open song (and the player's thread).
    std::atomic<int32_t> audibleEndMs_{-1};
    std::atomic<int> threadId_{0};

    // Shared with the mixer's wake function, which may outlive the player
    // by a moment.
    struct Signal {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<Command> queue;
        bool quit = false;
        bool woken = false;
        std::atomic<bool> wantWakes{true};
    };
    std::shared_ptr<Signal> signal_ = std::make_shared<Signal>();

    // Player thread only.
    Host host_{};
    Decoder decoder_;
    StreamInfo info_;
    std::string inputName_;
    bool inputOpen_ = false;
    State state_ = State::Stopped;
    bool decodeDone_ = false;
    uint64_t baseFrame_ = 0;
    std::optional<uint64_t> lastSecond_;
    std::optional<uint32_t> lastOffset_;
    std::chrono::steady_clock::time_point lastPositionTime_;
    uint32_t positionRange_ = KV_DEFAULT_POSITION_RANGE;
    uint32_t granularity_ = 1000;

    std::string outputName_ = "/dev/dsound/0"; // applied at the next InputOpen
    std::string activeOutputName_;
    bool chainDirty_ = true;
    std::unique_ptr<Sink> sink_;
    FilterChain chain_;
    Error outputError_ = Error::None;
    bool outputLost_ = false; // as last posted
    std::string outputErrorDetail_;
    int32_t activeOutputModule_ = -1;

    std::vector<OutputEntry> outputModules_;
    std::vector<FilterEntry> filters_;
    uint16_t nextFilterId_ = 1;

    LevelSettings levels_;
    std::optional<KV_EqualizerInfo> equalizer_;
    uint32_t quality_ = 0;
    uint32_t ports_ = 0;
    uint32_t mode_ = 0;
    uint32_t notificationMask_ = 0xFFFFFFFFu;
    uint32_t debugLevel_ = 0;
    int32_t pitch_ = 1000;
    // The gain for inputs opened from now on, and the one of the open input.
    int32_t inputGainHundredths_ = 0;
    float openInputGain_ = 1.0f;
    // Quiet ends for inputs opened from now on, and the open song's scan.
    bool quietEnds_ = false;
    std::unique_ptr<EndScan> endScan_;

    std::map<std::string, std::variant<int32_t, std::string>> environment_;
    std::vector<Listener> listeners_;
    int32_t nextListenerHandle_ = 1;

    int feedbackHandler_ = -1;
    bool feedbackEnabled_ = false;
    uint32_t feedbackPeriodMs_ = 40;
    // The handler is given what is heard, once a period of heard audio.
    HeardAudio heard_;
    uint64_t nextFeedbackFrame_ = 0;
    std::chrono::steady_clock::time_point lastCommand_;

    std::vector<int16_t> decodeBuffer_;

    std::thread thread_; // last: starts after everything above exists
};

} // namespace kelvra

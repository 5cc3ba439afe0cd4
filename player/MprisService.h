#pragma once

#include "cover_art.h"
#include "id3v1.h"
#include "mpris_state.h"

#include <QDBusConnection>
#include <QObject>

#include <functional>

namespace velbrin::player {

class PlaybackController;

// The player on the desktop's session bus, so media keys, desktop widgets and
// command-line remotes reach it on X11 and Wayland alike. Every command goes
// through the playback controller, as the buttons' do, and what the desktop
// reads is worked out from the controller's state by the plain rules of
// mpris_state.h.
//
// Threads: user-interface thread only; Qt delivers the bus's calls there.
class MprisService : public QObject {
    Q_OBJECT
public:
    static constexpr const char *kServiceName = "org.mpris.MediaPlayer2.velbrin";
    static constexpr const char *kObjectPath = "/org/mpris/MediaPlayer2";

    // What the main window does for the desktop.
    struct WindowHooks {
        std::function<void()> raise;
        std::function<void()> quit;
    };

    MprisService(PlaybackController &controller, WindowHooks hooks, QObject *parent = nullptr);
    ~MprisService() override;
    MprisService(const MprisService &) = delete;
    MprisService &operator=(const MprisService &) = delete;

    // Puts the player on the session bus when there is one. Without a bus, or
    // when another instance holds the name, nothing is registered and the
    // player runs as it always has.
    static MprisService *publish(PlaybackController &controller, WindowHooks hooks,
                                 QObject *parent);
    // The session bus, unless the desktop offers none (no address and no
    // per-user bus socket); never starts a bus of its own.
    static bool sessionBusOffered();

    // False, with nothing left on `bus`, when the bus is not connected or the
    // name is another's.
    bool registerOn(QDBusConnection bus);
    bool isRegistered() const { return registered_; }

    // --- what the adaptors read and do ------------------------------------------------
    mpris::PlayerSnapshot snapshot() const;
    int64_t positionUs() const;
    void raise();
    void quit();
    void play();
    // Next (+1) or Previous (-1), wrapping around the list with "All songs".
    void step(int direction);
    void seek(int64_t offsetUs);
    void setPosition(const QString &trackId, int64_t positionUs);
    void setVolume(double volume);
    void setLoopStatus(const QString &status);
    void openUri(const QString &uri);
    PlaybackController &controller() { return controller_; }

public slots:
    // Something the desktop sees may have changed without a signal of the
    // controller (the song list, the genre filter): it is checked again.
    void scheduleChanges();

private:
    // Bursts of changes go out as one PropertiesChanged.
    void emitChanges();
    mpris::Navigation navigation() const;
    mpris::Metadata currentMetadata() const;
    int64_t lengthUs() const;

    PlaybackController &controller_;
    WindowHooks hooks_;
    QDBusConnection bus_;
    bool registered_ = false;
    bool changesPending_ = false;
    // The controller keeps the last song's duration until the new song's
    // arrives; until then the length is unknown rather than wrong.
    bool durationKnown_ = false;
    uint64_t trackSerial_ = 0;
    mpris::PlayerSnapshot announced_;
    mutable library::TagReader tags_;
    mutable library::CoverArtExporter covers_{library::defaultCoverFolder()};
    QObject *player_ = nullptr; // the Player interface's adaptor, a child
};

} // namespace velbrin::player

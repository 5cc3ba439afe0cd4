#pragma once

#include "launch_request.h"

#include <QDBusConnection>
#include <QObject>

#include <functional>
#include <vector>

namespace velbrin::player {

// One running player per desktop session: the first player holds the
// launcher entry's name on the session bus, and every later start hands its
// songs, CD drives and actions to it there, by the desktop's own interface for
// applications (Activate, Open, ActivateAction), and ends. A request that
// arrives before the player has taken its own command line waits for it.
//
// Threads: user-interface thread only; Qt delivers the bus's calls there.
class InstanceService : public QObject {
    Q_OBJECT
public:
    static constexpr const char *kObjectPath = "/org/odalrin/Velbrin";

    // What the player does for a request; `open` adds songs as a drop on the
    // window does and plays the first of them.
    struct Hooks {
        std::function<void(const QStringList &entries)> open;
        std::function<void(const QString &drive)> showCd;
        std::function<void(const QString &action)> act;
        std::function<void()> raise;
    };

    explicit InstanceService(QObject *parent = nullptr);
    ~InstanceService() override;
    InstanceService(const InstanceService &) = delete;
    InstanceService &operator=(const InstanceService &) = delete;

    // Takes the name on `bus`; false when another player holds it (or the bus
    // is not connected), and nothing is left on the bus then.
    bool claim(QDBusConnection bus);
    bool isClaimed() const { return claimed_; }

    // Hands `request` to the player holding the name; false when none took it
    // in time, and the caller runs as a player of its own.
    static bool handOver(QDBusConnection bus, const LaunchRequest &request);

    // From now on requests are carried out; those waiting go first.
    void setHooks(Hooks hooks);

    // Carries out `request` (or keeps it until the hooks are set). Raising is
    // for starts and songs; an action alone changes only what plays.
    void deliver(const LaunchRequest &request, bool raise);

private:
    QDBusConnection bus_;
    bool claimed_ = false;
    Hooks hooks_;
    bool ready_ = false;
    std::vector<std::pair<LaunchRequest, bool>> waiting_;
};

} // namespace velbrin::player

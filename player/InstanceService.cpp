#include "InstanceService.h"

#include "mpris_state.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QTimer>
#include <QVariantMap>

namespace velbrin::player {

namespace {

const QString kInterface = QStringLiteral("org.freedesktop.Application");
// Long enough for a player busy adding a large folder to turn its event loop.
constexpr int kHandOverTimeoutMs = 10000;

class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    explicit ApplicationAdaptor(InstanceService &service)
        : QDBusAbstractAdaptor(&service), s_(service) {}

public slots:
    // Each call is answered at once and carried out after, so the start that
    // asked ends without waiting for songs to be added.
    void Activate(const QVariantMap &) { later({}, true); }
    void Open(const QStringList &uris, const QVariantMap &) { later(parseLaunch(uris), true); }
    void ActivateAction(const QString &name, const QVariantList &, const QVariantMap &) {
        if (launchActions().contains(name)) {
            LaunchRequest r;
            r.action = name;
            later(r, false);
        }
    }

private:
    void later(const LaunchRequest &request, bool raise) {
        QTimer::singleShot(0, &s_, [this, request, raise] { s_.deliver(request, raise); });
    }
    InstanceService &s_;
};

bool callOk(QDBusConnection &bus, const QString &method, const QVariantList &args) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(mpris::kDesktopEntry),
        QString::fromLatin1(InstanceService::kObjectPath), kInterface, method);
    call.setArguments(args);
    return bus.call(call, QDBus::Block, kHandOverTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

} // namespace

InstanceService::InstanceService(QObject *parent) : QObject(parent), bus_(QStringLiteral("none")) {
    new ApplicationAdaptor(*this);
}

InstanceService::~InstanceService() {
    if (claimed_) {
        bus_.unregisterService(QString::fromLatin1(mpris::kDesktopEntry));
        bus_.unregisterObject(QString::fromLatin1(kObjectPath));
    }
}

bool InstanceService::claim(QDBusConnection bus) {
    if (claimed_ || !bus.isConnected()) {
        return false;
    }
    // The object first, so a call that comes the moment the name is ours finds it.
    const QString path = QString::fromLatin1(kObjectPath);
    if (!bus.registerObject(path, this, QDBusConnection::ExportAdaptors)) {
        return false;
    }
    if (!bus.registerService(QString::fromLatin1(mpris::kDesktopEntry))) {
        bus.unregisterObject(path);
        return false;
    }
    bus_ = bus;
    claimed_ = true;
    return true;
}

bool InstanceService::handOver(QDBusConnection bus, const LaunchRequest &request) {
    if (!bus.isConnected()) {
        return false;
    }
    const QVariantMap platformData;
    const QStringList addresses = addressesOf(request);
    if (!addresses.isEmpty() && !callOk(bus, QStringLiteral("Open"), {addresses, platformData})) {
        return false;
    }
    if (!request.action.isEmpty()) {
        return callOk(bus, QStringLiteral("ActivateAction"),
                      {request.action, QVariantList{}, platformData});
    }
    return !addresses.isEmpty() || callOk(bus, QStringLiteral("Activate"), {platformData});
}

void InstanceService::setHooks(Hooks hooks) {
    hooks_ = std::move(hooks);
    ready_ = true;
    for (const auto &[request, raise] : std::exchange(waiting_, {})) {
        deliver(request, raise);
    }
}

void InstanceService::deliver(const LaunchRequest &request, bool raise) {
    if (!ready_) {
        waiting_.emplace_back(request, raise);
        return;
    }
    if (!request.entries.isEmpty() && hooks_.open) {
        hooks_.open(request.entries);
    }
    for (const QString &drive : request.cdDrives) {
        if (hooks_.showCd) {
            hooks_.showCd(drive);
        }
    }
    if (!request.action.isEmpty() && hooks_.act) {
        hooks_.act(request.action);
    }
    if (raise && hooks_.raise) {
        hooks_.raise();
    }
}

} // namespace velbrin::player

#include "InstanceService.moc"

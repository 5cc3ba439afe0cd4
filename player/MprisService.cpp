#include "MprisService.h"

#include "HandedSongs.h"
#include "KelvraSpectrum.h"
#include "PlaybackController.h"
#include "song_library.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>

#include <algorithm>

namespace velbrin::player {

namespace {

constexpr int64_t kUsPerSecond = 1'000'000;
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

// The song's metadata in the desktop's keys; a field the song lacks is left out.
QVariantMap metadataMap(const mpris::Metadata &m) {
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(m.trackId)));
    if (m.trackId == QLatin1String(mpris::kNoTrack)) {
        return map;
    }
    map.insert(QStringLiteral("xesam:title"), m.title);
    if (!m.artist.isEmpty()) {
        map.insert(QStringLiteral("xesam:artist"), m.artist);
    }
    if (!m.album.isEmpty()) {
        map.insert(QStringLiteral("xesam:album"), m.album);
    }
    if (m.lengthUs > 0) {
        map.insert(QStringLiteral("mpris:length"), qlonglong{m.lengthUs});
    }
    map.insert(QStringLiteral("xesam:url"), m.url);
    if (!m.artUrl.isEmpty()) {
        map.insert(QStringLiteral("mpris:artUrl"), m.artUrl);
    }
    return map;
}

// The desktop's names for the root interface.
class RootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)
public:
    explicit RootAdaptor(MprisService &service) : QDBusAbstractAdaptor(&service), s_(service) {}
    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const { return QStringLiteral("Velbrin MP3 Player"); }
    QString desktopEntry() const { return QString::fromLatin1(mpris::kDesktopEntry); }
    QStringList supportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList supportedMimeTypes() const {
        return {QStringLiteral("audio/mpeg"), QStringLiteral("audio/x-mp3")};
    }

public slots:
    void Raise() { s_.raise(); }
    void Quit() { s_.quit(); }

private:
    MprisService &s_;
};

class PlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QString LoopStatus READ loopStatus WRITE setLoopStatus)
    Q_PROPERTY(bool Shuffle READ shuffle WRITE setShuffle)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)
public:
    explicit PlayerAdaptor(MprisService &service) : QDBusAbstractAdaptor(&service), s_(service) {}

    QString playbackStatus() const { return s_.snapshot().playbackStatus; }
    QString loopStatus() const { return s_.snapshot().loopStatus; }
    void setLoopStatus(const QString &status) { s_.setLoopStatus(status); }
    bool shuffle() const { return s_.snapshot().shuffle; }
    void setShuffle(bool on) { s_.controller().setShuffle(on); }
    // The engine plays at one speed only; other rates are refused by ignoring them.
    double rate() const { return 1.0; }
    void setRate(double) {}
    QVariantMap metadata() const { return metadataMap(s_.snapshot().metadata); }
    double volume() const { return s_.snapshot().volume; }
    void setVolume(double volume) { s_.setVolume(volume); }
    qlonglong position() const { return s_.positionUs(); }
    bool canGoNext() const { return s_.snapshot().canGoNext; }
    bool canGoPrevious() const { return s_.snapshot().canGoPrevious; }
    bool canPlay() const { return s_.snapshot().canPlay; }
    bool canPause() const { return s_.snapshot().canPause; }
    bool canSeek() const { return s_.snapshot().canSeek; }
    bool canControl() const { return true; }

public slots:
    void Next() { s_.step(+1); }
    void Previous() { s_.step(-1); }
    void Pause() { s_.controller().pause(); }
    void PlayPause() {
        if (s_.controller().isPlaying()) {
            s_.controller().pause();
        } else {
            s_.play();
        }
    }
    void Stop() { s_.controller().stop(); }
    void Play() { s_.play(); }
    void Seek(qlonglong Offset) { s_.seek(Offset); }
    void SetPosition(const QDBusObjectPath &TrackId, qlonglong Position) {
        s_.setPosition(TrackId.path(), Position);
    }
    void OpenUri(const QString &Uri) { s_.openUri(Uri); }

signals:
    void Seeked(qlonglong Position);

private:
    MprisService &s_;
};

} // namespace

MprisService::MprisService(PlaybackController &controller, WindowHooks hooks, QObject *parent)
    : QObject(parent), controller_(controller), hooks_(std::move(hooks)),
      bus_(QStringLiteral("none")) {
    new RootAdaptor(*this);
    player_ = new PlayerAdaptor(*this);
    using C = PlaybackController;
    connect(&controller_, &C::stateChanged, this, &MprisService::scheduleChanges);
    // Every song shown is a new track, also the same file opened again.
    connect(&controller_, &C::nowPlayingChanged, this, [this] {
        ++trackSerial_;
        scheduleChanges();
    });
    connect(&controller_, &C::levelsChanged, this, &MprisService::scheduleChanges);
    connect(&controller_, &C::selectionChanged, this, &MprisService::scheduleChanges);
    connect(&controller_, &C::playersSwapped, this, &MprisService::scheduleChanges);
    connect(&controller_, &C::playModesChanged, this, &MprisService::scheduleChanges);
    // Every seek, from the bus or the window, tells the desktop where the song now is.
    connect(&controller_, &C::seekSent, this, [this](uint32_t offset, uint32_t range) {
        const double fraction = range == 0 ? 0.0 : static_cast<double>(offset) / range;
        emit static_cast<PlayerAdaptor *>(player_)->Seeked(
            static_cast<qlonglong>(fraction * static_cast<double>(lengthUs())));
    });
    connect(&controller_, &C::currentSongChanged, this, [this] {
        durationKnown_ = false;
        scheduleChanges();
    });
    connect(&controller_, &C::durationChanged, this, [this] {
        durationKnown_ = true;
        scheduleChanges();
    });
    announced_ = snapshot();
}

MprisService::~MprisService() {
    if (registered_) {
        bus_.unregisterService(QString::fromLatin1(kServiceName));
        bus_.unregisterObject(QString::fromLatin1(kObjectPath));
    }
}

bool MprisService::sessionBusOffered() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return true;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

MprisService *MprisService::publish(PlaybackController &controller, WindowHooks hooks,
                                    QObject *parent) {
    auto *service = new MprisService(controller, std::move(hooks), parent);
    if (sessionBusOffered()) {
        service->registerOn(QDBusConnection::sessionBus());
    }
    return service;
}

bool MprisService::registerOn(QDBusConnection bus) {
    if (registered_ || !bus.isConnected()) {
        return false;
    }
    const QString path = QString::fromLatin1(kObjectPath);
    if (!bus.registerObject(path, this, QDBusConnection::ExportAdaptors)) {
        return false;
    }
    // Without queueing: a second instance stays off the bus instead of
    // waiting to take over media keys the user does not expect it to get.
    if (!bus.registerService(QString::fromLatin1(kServiceName))) {
        bus.unregisterObject(path);
        return false;
    }
    bus_ = bus;
    registered_ = true;
    announced_ = snapshot();
    return true;
}

// --- state -------------------------------------------------------------------------------

int64_t MprisService::lengthUs() const {
    return durationKnown_ ? int64_t{controller_.duration()} * kUsPerSecond : 0;
}

mpris::Metadata MprisService::currentMetadata() const {
    mpris::SongTag tag;
    tag.path = controller_.currentSongFile();
    if (!tag.path.isEmpty()) {
        // The tag itself rather than the window's texts, which stand in
        // "(No file information)" where a field is missing.
        tag.title = tags_.getInfo(tag.path, library::TagField::Title);
        tag.artist = tags_.getInfo(tag.path, library::TagField::Artist);
        tag.album = tags_.getInfo(tag.path, library::TagField::Album);
    }
    mpris::Metadata m = mpris::MetadataFor(tag, trackSerial_);
    if (!tag.path.isEmpty()) {
        m.artUrl = mpris::ArtUrlFor(covers_.exportFor(tag.path));
    }
    m.lengthUs = lengthUs();
    return m;
}

mpris::PlayerSnapshot MprisService::snapshot() const {
    mpris::PlayerSnapshot s;
    const bool hasSong = !controller_.currentSongFile().isEmpty();
    s.playbackStatus = hasSong ? mpris::PlaybackStatusFor(static_cast<int>(controller_.state()))
                               : s.playbackStatus;
    s.metadata = currentMetadata();
    s.volume = mpris::VolumeForLevel(controller_.levels().pcm);
    const mpris::Navigation nav = navigation();
    s.canGoNext = nav.canGoNext;
    s.canGoPrevious = nav.canGoPrevious;
    const library::SongLibrary *songs = controller_.library();
    s.canPlay = hasSong || (songs != nullptr && songs->list.itemIndex() >= 0);
    s.canPause = hasSong;
    s.canSeek = hasSong && lengthUs() > 0;
    const PlayModes modes = controller_.playModes();
    s.loopStatus = mpris::LoopStatusFor({modes.repeatAll, modes.currentTrack});
    s.shuffle = modes.shuffle;
    return s;
}

mpris::Navigation MprisService::navigation() const {
    const library::SongLibrary *songs = controller_.library();
    const library::PlayOrder *order = controller_.playOrder();
    if (songs == nullptr || order == nullptr) {
        return {};
    }
    mpris::ListPosition list;
    list.count = songs->list.count();
    list.index = songs->list.itemIndex();
    const PlayModes modes = controller_.playModes();
    list.shuffle = modes.shuffle;
    list.repeatAll = modes.repeatAll;
    list.notPlayed = static_cast<int>(songs->list.notplayedlist().size());
    if (songs->categories.CategoryFilterActive()) {
        list.passes = [order](int i) { return order->passesFilter(i); };
    }
    return mpris::NavigationFor(list);
}

void MprisService::step(int direction) {
    const mpris::Navigation nav = navigation();
    library::SongLibrary *songs = controller_.library();
    if (songs != nullptr && (direction > 0 ? nav.nextWraps : nav.previousWraps)) {
        songs->list.select(direction > 0 ? 0 : songs->list.count() - 1);
        controller_.playSelection();
    } else if (direction > 0) {
        controller_.next();
    } else {
        controller_.previous();
    }
}

int64_t MprisService::positionUs() const {
    // Two reports of the same place: whole seconds, and a fraction of the song
    // that is finer for short songs. Both fall short of the truth, so the
    // larger is the nearer.
    const int64_t seconds = int64_t{controller_.timeCode()} * kUsPerSecond;
    const uint32_t range = controller_.positionRange();
    const int64_t length = lengthUs();
    const int64_t fraction = range == 0
                                 ? 0
                                 : static_cast<int64_t>(static_cast<double>(length) *
                                                        controller_.positionOffset() / range);
    return std::max(seconds, std::min(fraction, length));
}

void MprisService::scheduleChanges() {
    if (!changesPending_) {
        changesPending_ = true;
        QTimer::singleShot(0, this, &MprisService::emitChanges);
    }
}

void MprisService::emitChanges() {
    changesPending_ = false;
    const mpris::PlayerSnapshot now = snapshot();
    const QStringList names = mpris::ChangedProperties(announced_, now);
    announced_ = now;
    if (!registered_ || names.isEmpty()) {
        return;
    }
    QVariantMap changed;
    for (const QString &name : names) {
        changed.insert(name, player_->property(name.toLatin1().constData()));
    }
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    bus_.send(signal);
}

// --- commands ----------------------------------------------------------------------------

void MprisService::raise() {
    if (hooks_.raise) {
        hooks_.raise();
    }
}

void MprisService::quit() {
    // After the reply has gone: closing the window shuts the players down.
    QTimer::singleShot(0, this, [this] {
        if (hooks_.quit) {
            hooks_.quit();
        }
    });
}

void MprisService::play() {
    if (controller_.currentSongFile().isEmpty()) {
        controller_.playSelection(); // nothing open yet: the list's song, if any
    } else {
        controller_.play();
    }
}

void MprisService::seek(int64_t offsetUs) {
    const int64_t length = lengthUs();
    if (controller_.currentSongFile().isEmpty() || length <= 0) {
        return;
    }
    const mpris::SeekResult target = mpris::SeekTarget(positionUs(), offsetUs, length);
    if (target.next) {
        controller_.next();
        return;
    }
    // Milliseconds of the song's length, finer than the controller's seconds.
    controller_.seek(static_cast<uint32_t>(target.positionUs / 1000),
                     static_cast<uint32_t>(length / 1000));
}

void MprisService::setPosition(const QString &trackId, int64_t positionUs) {
    if (!mpris::SetPositionApplies(trackId, positionUs, currentMetadata())) {
        return;
    }
    controller_.seek(static_cast<uint32_t>(positionUs / 1000),
                     static_cast<uint32_t>(lengthUs() / 1000));
}

void MprisService::setVolume(double volume) {
    // The volume window's "Volume" slider: the PCM level of the current player.
    controller_.setOutputLevels(-1, mpris::LevelForVolume(volume), -1);
}

void MprisService::setLoopStatus(const QString &status) {
    // The check boxes exclude each other; the one turned on clears the other.
    if (const auto modes = mpris::LoopModesFor(status)) {
        controller_.setCurrentTrack(modes->currentTrack);
        controller_.setRepeatAll(modes->repeatAll);
    }
}

void MprisService::openUri(const QString &uri) {
    const QUrl url(uri);
    if (!url.isLocalFile()) {
        return;
    }
    const QString path = QDir::toNativeSeparators(url.toLocalFile());
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (!QFileInfo(path).isFile() ||
        !(suffix == QLatin1String("mp3") || suffix == QLatin1String("mp2") ||
          suffix == QLatin1String("mp1"))) {
        return;
    }
    // Added as the command line adds it, so the list shows it; then it plays.
    addAndPlayFirst(controller_, {path},
                    [this](const QStringList &names) { controller_.addCommandLine(names); });
}

} // namespace velbrin::player

#include "MprisService.moc"

#include "cd_audio.h"

#include "sound_device.h"

#include <SDL.h>
#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velbrin::platform {

namespace {

constexpr int kFramesPerSecond = 75;
constexpr int kSectorBytes = CDIO_CD_FRAMESIZE_RAW;
// Sectors extracted per step, and how much audio the sound server holds ahead
// of what is heard: enough to ride out a slow drive, little enough that pause
// and stop answer at once.
constexpr int kSectorsPerRead = 13;
constexpr uint32_t kQueueAhead = 30 * kSectorBytes;

// The device library reports failures through its log; the last message of
// this thread becomes the text of the error raised.
thread_local std::string lastLibraryMessage;

void keepLibraryMessage(cdio_log_level_t level, const char *message) {
    if (level >= CDIO_LOG_WARN && message != nullptr) {
        lastLibraryMessage = message;
    }
}

void installLogHandler() {
    static const bool installed = [] {
        cdio_log_set_handler(keepLibraryMessage);
        return true;
    }();
    (void)installed;
}

std::atomic<int> readDelayMs{0};
std::atomic<int> liveReaders{0};

uint32_t packMsf(int64_t frames) {
    frames = std::max<int64_t>(frames, 0);
    const int64_t seconds = frames / kFramesPerSecond;
    const auto minutes = static_cast<uint32_t>(std::min<int64_t>(seconds / 60, 255));
    return minutes | static_cast<uint32_t>(seconds % 60) << 8 |
           static_cast<uint32_t>(frames % kFramesPerSecond) << 16;
}

} // namespace

// The open disc: the device library's handle and, on real drives, the
// error-correcting reader over it. Only the reader thread reads through it.
struct CdAudioDevice::Disc {
    CdIo_t *cdio = nullptr;
    cdrom_drive_t *drive = nullptr;
    cdrom_paranoia_t *paranoia = nullptr;
    int32_t paranoiaAt = -1; // next sector the error-correcting reader delivers
    std::vector<bool> audio; // per track: audio, not data

    ~Disc() {
        if (paranoia != nullptr) {
            cdio_paranoia_free(paranoia);
        }
        if (drive != nullptr) {
            cdio_cddap_close_no_free_cdio(drive);
        }
        if (cdio != nullptr) {
            cdio_destroy(cdio);
        }
    }

    bool read(int32_t sector, int count, std::vector<char> &into) {
        if (const int delay = readDelayMs.load(); delay > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        }
        into.resize(static_cast<size_t>(count) * kSectorBytes);
        if (paranoia == nullptr) {
            return cdio_read_audio_sectors(cdio, into.data(), sector,
                                           static_cast<uint32_t>(count)) == DRIVER_OP_SUCCESS;
        }
        if (paranoiaAt != sector) {
            cdio_paranoia_seek(paranoia, sector, SEEK_SET);
        }
        for (int i = 0; i < count; ++i) {
            const int16_t *data = cdio_paranoia_read(paranoia, nullptr);
            if (data == nullptr) {
                paranoiaAt = -1;
                return false;
            }
            std::copy_n(reinterpret_cast<const char *>(data), kSectorBytes,
                        into.data() + static_cast<ptrdiff_t>(i) * kSectorBytes);
        }
        paranoiaAt = sector + count;
        return true;
    }
};

// What the device and the reader of one open disc share.
struct CdAudioDevice::Session {
    enum class State { Stopped, Playing, Paused, Ended };

    std::unique_ptr<Disc> disc;
    // The table of contents, fixed at open.
    std::vector<int32_t> trackStarts; // first sector of each track
    int firstTrack = 1;
    int32_t leadout = 0;
    std::string source; // the drive's device path, for eject

    std::mutex mutex;
    std::condition_variable wake;
    State state = State::Stopped;
    int32_t readSector = 0;  // next sector the reader extracts
    int32_t heardSector = 0; // position while nothing is queued
    SDL_AudioDeviceID output = 0;
    CdAudioDevice *owner = nullptr; // gone once the session has ended

    int trackOfSector(int32_t sector) const {
        const auto after = std::upper_bound(trackStarts.begin(), trackStarts.end(), sector);
        const auto index = std::max<ptrdiff_t>(after - trackStarts.begin() - 1, 0);
        return static_cast<int>(index);
    }

    // The sector being heard; `mutex` held.
    int32_t heardLocked() const {
        int32_t heard = heardSector;
        if ((state == State::Playing || state == State::Paused) && output != 0) {
            const auto queued = static_cast<int32_t>(SDL_GetQueuedAudioSize(output) / kSectorBytes);
            heard = std::max(readSector - queued, trackStarts.front());
        }
        return std::min(heard, leadout);
    }

    // `mutex` held, so the owner cannot go meanwhile.
    void announceLocked() const {
        if (owner != nullptr) {
            owner->announce();
        }
    }

    // Ends the reader after its current read; `mutex` not held.
    void end() {
        {
            std::lock_guard lock(mutex);
            state = State::Ended;
            owner = nullptr;
        }
        wake.notify_all();
    }

    static void read(const std::shared_ptr<Session> &self);
};

void CdAudioDevice::Session::read(const std::shared_ptr<Session> &self) {
    using namespace std::chrono_literals;
    Session &s = *self;
    std::vector<char> buffer;
    std::unique_lock lock(s.mutex);
    for (;;) {
        s.wake.wait(lock, [&s] { return s.state == State::Ended || s.state == State::Playing; });
        if (s.state == State::Ended) {
            return;
        }
        const uint32_t queued = SDL_GetQueuedAudioSize(s.output);
        // Data tracks on mixed discs hold no sound: play on past them.
        const int track = s.trackOfSector(std::min(s.readSector, s.leadout - 1));
        if (s.readSector < s.leadout && !s.disc->audio[static_cast<size_t>(track)]) {
            const size_t nextTrack = static_cast<size_t>(track) + 1;
            s.readSector = nextTrack < s.trackStarts.size() ? s.trackStarts[nextTrack] : s.leadout;
            continue;
        }
        if (s.readSector >= s.leadout) {
            if (queued > 0) {
                s.wake.wait_for(lock, 20ms);
                continue;
            }
            s.heardSector = s.leadout;
            s.state = State::Stopped;
            SDL_PauseAudioDevice(s.output, 1);
            s.announceLocked();
            continue;
        }
        if (queued > kQueueAhead) {
            s.wake.wait_for(lock, 20ms);
            continue;
        }
        const int32_t sector = s.readSector;
        const int count = std::min(kSectorsPerRead, s.leadout - sector);
        lock.unlock();
        const bool ok = s.disc->read(sector, count, buffer);
        lock.lock();
        if (s.state != State::Playing || s.readSector != sector) {
            continue; // stopped, moved or ended while reading: this audio is stale
        }
        if (!ok) {
            s.heardSector = sector;
            s.state = State::Stopped;
            SDL_PauseAudioDevice(s.output, 1);
            s.announceLocked();
            continue;
        }
        SDL_QueueAudio(s.output, buffer.data(), static_cast<uint32_t>(buffer.size()));
        s.readSector = sector + count;
    }
}

CdAudioDevice::CdAudioDevice(QObject *parent) : QObject(parent) {
    installLogHandler();
}

CdAudioDevice::~CdAudioDevice() {
    close();
    if (output_ != 0) {
        sound::closeOutput(output_);
        sound::release();
    }
}

void CdAudioDevice::setReadDelayForTesting(std::chrono::milliseconds delay) {
    readDelayMs = static_cast<int>(delay.count());
}

int CdAudioDevice::readersRunning() {
    return liveReaders.load();
}

QStringList CdAudioDevice::drives() {
    installLogHandler();
    QStringList result;
    char **list = cdio_get_devices(DRIVER_DEVICE);
    for (char **d = list; d != nullptr && *d != nullptr; ++d) {
        result << QString::fromLocal8Bit(*d);
    }
    if (list != nullptr) {
        cdio_free_device_list(list);
    }
    return result;
}

void CdAudioDevice::open(const QString &element) {
    close();
    ejected_ = false;
    const QByteArray name = element.toLocal8Bit();
    lastLibraryMessage.clear();
    auto session = std::make_shared<Session>();
    session->disc = std::make_unique<Disc>();
    Disc &disc = *session->disc;
    disc.cdio = name.isEmpty() ? nullptr : cdio_open(name.constData(), DRIVER_UNKNOWN);
    if (disc.cdio == nullptr) {
        throw CdError(lastLibraryMessage.empty()
                          ? "There is no CD drive or CD image named \"" + name.toStdString() + "\"."
                          : lastLibraryMessage);
    }
    const driver_id_t driver = cdio_get_driver_id(disc.cdio);
    const bool image = driver == DRIVER_BINCUE || driver == DRIVER_NRG || driver == DRIVER_CDRDAO;
    const track_t first = cdio_get_first_track_num(disc.cdio);
    const track_t count = cdio_get_num_tracks(disc.cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) {
        throw CdError("There is no audio CD in the drive.");
    }
    bool anyAudio = false;
    for (track_t t = first; t < first + count; ++t) {
        session->trackStarts.push_back(cdio_get_track_lsn(disc.cdio, t));
        const bool audio = cdio_get_track_format(disc.cdio, t) == TRACK_FORMAT_AUDIO;
        disc.audio.push_back(audio);
        anyAudio = anyAudio || audio;
    }
    const lsn_t leadout = cdio_get_track_lsn(disc.cdio, CDIO_CDROM_LEADOUT_TRACK);
    if (!anyAudio || leadout == CDIO_INVALID_LSN || leadout <= session->trackStarts.front()) {
        throw CdError("The disc in the drive is not an audio CD.");
    }
    if (!image) {
        // Scratched discs read back with gaps and clicks without error
        // correction; when the drive cannot be driven that way, plain reads
        // still play.
        disc.drive = cdio_cddap_identify_cdio(disc.cdio, CDDA_MESSAGE_FORGETIT, nullptr);
        if (disc.drive != nullptr && cdio_cddap_open(disc.drive) == 0) {
            disc.paranoia = cdio_paranoia_init(disc.drive);
            if (disc.paranoia != nullptr) {
                cdio_paranoia_modeset(disc.paranoia, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
            }
        }
    }
    if (const char *source = cdio_get_arg(disc.cdio, "source")) {
        session->source = source;
    }
    session->firstTrack = first;
    session->leadout = leadout;
    session->readSector = session->heardSector = session->trackStarts.front();
    session->output = output_;
    session->owner = this;
    image_ = image;
    session_ = session;
    ++liveReaders;
    std::thread([session = std::move(session)] {
        Session::read(session);
        --liveReaders;
    }).detach();
    announce();
}

bool CdAudioDevice::holdsOpenDisc(const QString &element) const {
    const QByteArray name = element.toLocal8Bit();
    if (!isOpen() || name.isEmpty()) {
        return false;
    }
    // A second handle of its own: the reader thread owns the open one.
    const std::unique_ptr<CdIo_t, void (*)(CdIo_t *)> probe(
        cdio_open(name.constData(), DRIVER_UNKNOWN), [](CdIo_t *p) {
            if (p != nullptr) {
                cdio_destroy(p);
            }
        });
    const Session &s = *session_;
    if (probe == nullptr || cdio_get_first_track_num(probe.get()) != s.firstTrack ||
        cdio_get_num_tracks(probe.get()) != s.trackStarts.size()) {
        return false;
    }
    for (size_t i = 0; i < s.trackStarts.size(); ++i) {
        const auto track = static_cast<track_t>(s.firstTrack + static_cast<int>(i));
        if (cdio_get_track_lsn(probe.get(), track) != s.trackStarts[i]) {
            return false;
        }
    }
    return cdio_get_track_lsn(probe.get(), CDIO_CDROM_LEADOUT_TRACK) == s.leadout;
}

void CdAudioDevice::close() {
    if (!session_) {
        return;
    }
    if (output_ != 0) {
        SDL_PauseAudioDevice(output_, 1);
        SDL_ClearQueuedAudio(output_);
    }
    session_->end();
    session_.reset();
    image_ = false;
}

void CdAudioDevice::requireOpen() const {
    if (!isOpen()) {
        throw CdError(ejected_ ? "The drive is open." : "No CD is open.");
    }
}

int32_t CdAudioDevice::discStart() const {
    return session_->trackStarts.front();
}

int32_t CdAudioDevice::discEnd() const {
    return session_->leadout;
}

int CdAudioDevice::trackCount() const {
    requireOpen();
    return static_cast<int>(session_->trackStarts.size());
}

uint32_t CdAudioDevice::discLength() const {
    requireOpen();
    return packMsf(discEnd() - discStart());
}

uint32_t CdAudioDevice::trackLength(int track) const {
    requireOpen();
    const std::vector<int32_t> &starts = session_->trackStarts;
    const int index = track - session_->firstTrack;
    if (index < 0 || index >= static_cast<int>(starts.size())) {
        throw CdError("The CD has no track " + std::to_string(track) + ".");
    }
    const size_t i = static_cast<size_t>(index);
    const int32_t end = i + 1 < starts.size() ? starts[i + 1] : discEnd();
    return packMsf(end - starts[i]);
}

int CdAudioDevice::trackOfSector(int32_t sector) const {
    return session_->trackOfSector(sector);
}

uint32_t CdAudioDevice::position() const {
    requireOpen();
    int32_t heard = 0;
    {
        std::lock_guard lock(session_->mutex);
        heard = session_->heardLocked();
    }
    const int index = trackOfSector(std::min(heard, discEnd() - 1));
    const int32_t inTrack = heard - session_->trackStarts[static_cast<size_t>(index)];
    return static_cast<uint32_t>(index + session_->firstTrack) | packMsf(inTrack) << 8;
}

CdAudioDevice::Mode CdAudioDevice::mode() const {
    if (!isOpen()) {
        return ejected_ ? Mode::Open : Mode::NotReady;
    }
    std::lock_guard lock(session_->mutex);
    switch (session_->state) {
    case Session::State::Playing:
        return Mode::Playing;
    case Session::State::Paused:
        return Mode::Paused;
    default:
        return Mode::Stopped;
    }
}

void CdAudioDevice::play() {
    requireOpen();
    if (output_ == 0) {
        if (!sound::acquire()) {
            throw CdError(std::string("The sound output cannot be opened: ") + SDL_GetError());
        }
        SDL_AudioSpec want{};
        want.freq = 44100;
        want.format = AUDIO_S16LSB;
        want.channels = 2;
        want.samples = 2048;
        output_ = sound::openOutput(want, nullptr);
        if (output_ == 0) {
            const std::string why = SDL_GetError();
            sound::release();
            throw CdError("The sound output cannot be opened: " + why);
        }
    }
    Session &s = *session_;
    {
        std::lock_guard lock(s.mutex);
        s.output = output_;
        if (s.state == Session::State::Stopped) {
            s.readSector = s.heardSector;
        }
        s.state = Session::State::Playing;
    }
    SDL_PauseAudioDevice(output_, 0);
    s.wake.notify_all();
    announce();
}

void CdAudioDevice::pause() {
    requireOpen();
    Session &s = *session_;
    {
        std::lock_guard lock(s.mutex);
        if (s.state != Session::State::Playing) {
            return announce();
        }
        s.state = Session::State::Paused;
    }
    SDL_PauseAudioDevice(output_, 1);
    announce();
}

void CdAudioDevice::stop() {
    requireOpen();
    Session &s = *session_;
    {
        std::lock_guard lock(s.mutex);
        s.heardSector = s.readSector = s.heardLocked();
        s.state = Session::State::Stopped;
        if (output_ != 0) {
            SDL_PauseAudioDevice(output_, 1);
            SDL_ClearQueuedAudio(output_);
        }
    }
    announce();
}

void CdAudioDevice::seekTo(int32_t sector) {
    Session &s = *session_;
    {
        std::lock_guard lock(s.mutex);
        if (output_ != 0) {
            SDL_ClearQueuedAudio(output_);
        }
        s.heardSector = s.readSector = std::clamp(sector, discStart(), discEnd());
    }
    s.wake.notify_all();
    announce();
}

void CdAudioDevice::next() {
    requireOpen();
    const std::vector<int32_t> &starts = session_->trackStarts;
    const int index = static_cast<int>(position() & 0xFFu) - session_->firstTrack;
    if (static_cast<size_t>(index) + 1 < starts.size()) {
        seekTo(starts[static_cast<size_t>(index) + 1]);
    } else {
        announce();
    }
}

void CdAudioDevice::previous() {
    requireOpen();
    const uint32_t now = position();
    const int index = static_cast<int>(now & 0xFFu) - session_->firstTrack;
    const bool nearStart = ((now >> 8) & 0xFFu) == 0 && ((now >> 16) & 0xFFu) < 2;
    seekTo(session_->trackStarts[static_cast<size_t>(nearStart && index > 0 ? index - 1 : index)]);
}

void CdAudioDevice::rewind() {
    requireOpen();
    seekTo(discStart());
}

void CdAudioDevice::eject() {
    requireOpen();
    if (image_) {
        stop();
        return;
    }
    const std::string drive = session_->source;
    close();
    lastLibraryMessage.clear();
    if (cdio_eject_media_drive(drive.c_str()) != DRIVER_OP_SUCCESS) {
        announce();
        throw CdError(lastLibraryMessage.empty() ? "The drive cannot be opened."
                                                 : lastLibraryMessage);
    }
    ejected_ = true;
    announce();
}

void CdAudioDevice::announce() {
    QMetaObject::invokeMethod(
        this, [this] { emit notify(); }, Qt::QueuedConnection);
}

} // namespace velbrin::platform

#include "cd_audio.h"

#include <SDL.h>
#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <string>

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

uint32_t packMsf(int64_t frames) {
    frames = std::max<int64_t>(frames, 0);
    const int64_t seconds = frames / kFramesPerSecond;
    const auto minutes = static_cast<uint32_t>(std::min<int64_t>(seconds / 60, 255));
    return minutes | static_cast<uint32_t>(seconds % 60) << 8 |
           static_cast<uint32_t>(frames % kFramesPerSecond) << 16;
}

} // namespace

// The open disc: the device library's handle and, on real drives, the
// error-correcting reader over it. Only the reader thread reads through it
// while a disc is open.
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

CdAudioDevice::CdAudioDevice(QObject *parent) : QObject(parent) {
    installLogHandler();
}

CdAudioDevice::~CdAudioDevice() {
    close();
    if (output_ != 0) {
        SDL_CloseAudioDevice(output_);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
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
    auto disc = std::make_unique<Disc>();
    disc->cdio = name.isEmpty() ? nullptr : cdio_open(name.constData(), DRIVER_UNKNOWN);
    if (disc->cdio == nullptr) {
        throw CdError(lastLibraryMessage.empty()
                          ? "There is no CD drive or CD image named \"" + name.toStdString() + "\"."
                          : lastLibraryMessage);
    }
    const driver_id_t driver = cdio_get_driver_id(disc->cdio);
    const bool image = driver == DRIVER_BINCUE || driver == DRIVER_NRG || driver == DRIVER_CDRDAO;
    const track_t first = cdio_get_first_track_num(disc->cdio);
    const track_t count = cdio_get_num_tracks(disc->cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) {
        throw CdError("There is no audio CD in the drive.");
    }
    std::vector<int32_t> starts;
    bool anyAudio = false;
    for (track_t t = first; t < first + count; ++t) {
        starts.push_back(cdio_get_track_lsn(disc->cdio, t));
        const bool audio = cdio_get_track_format(disc->cdio, t) == TRACK_FORMAT_AUDIO;
        disc->audio.push_back(audio);
        anyAudio = anyAudio || audio;
    }
    const lsn_t leadout = cdio_get_track_lsn(disc->cdio, CDIO_CDROM_LEADOUT_TRACK);
    if (!anyAudio || leadout == CDIO_INVALID_LSN || leadout <= starts.front()) {
        throw CdError("The disc in the drive is not an audio CD.");
    }
    if (!image) {
        // Scratched discs read back with gaps and clicks without error
        // correction; when the drive cannot be driven that way, plain reads
        // still play.
        disc->drive = cdio_cddap_identify_cdio(disc->cdio, CDDA_MESSAGE_FORGETIT, nullptr);
        if (disc->drive != nullptr && cdio_cddap_open(disc->drive) == 0) {
            disc->paranoia = cdio_paranoia_init(disc->drive);
            if (disc->paranoia != nullptr) {
                cdio_paranoia_modeset(disc->paranoia, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
            }
        }
    }
    disc_ = std::move(disc);
    image_ = image;
    trackStarts_ = std::move(starts);
    firstTrack_ = first;
    leadout_ = leadout;
    state_ = State::Stopped;
    readSector_ = heardSector_ = discStart();
    startReader();
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
    if (probe == nullptr || cdio_get_first_track_num(probe.get()) != firstTrack_ ||
        cdio_get_num_tracks(probe.get()) != trackStarts_.size()) {
        return false;
    }
    for (size_t i = 0; i < trackStarts_.size(); ++i) {
        const auto track = static_cast<track_t>(firstTrack_ + static_cast<int>(i));
        if (cdio_get_track_lsn(probe.get(), track) != trackStarts_[i]) {
            return false;
        }
    }
    return cdio_get_track_lsn(probe.get(), CDIO_CDROM_LEADOUT_TRACK) == leadout_;
}

void CdAudioDevice::close() {
    stopReader();
    if (output_ != 0) {
        SDL_PauseAudioDevice(output_, 1);
        SDL_ClearQueuedAudio(output_);
    }
    disc_.reset();
    trackStarts_.clear();
    image_ = false;
}

void CdAudioDevice::requireOpen() const {
    if (!isOpen()) {
        throw CdError(ejected_ ? "The drive is open." : "No CD is open.");
    }
}

int CdAudioDevice::trackCount() const {
    requireOpen();
    return static_cast<int>(trackStarts_.size());
}

uint32_t CdAudioDevice::discLength() const {
    requireOpen();
    return packMsf(discEnd() - discStart());
}

uint32_t CdAudioDevice::trackLength(int track) const {
    requireOpen();
    const int index = track - firstTrack_;
    if (index < 0 || index >= static_cast<int>(trackStarts_.size())) {
        throw CdError("The CD has no track " + std::to_string(track) + ".");
    }
    const size_t i = static_cast<size_t>(index);
    const int32_t end = i + 1 < trackStarts_.size() ? trackStarts_[i + 1] : leadout_;
    return packMsf(end - trackStarts_[i]);
}

int CdAudioDevice::trackOfSector(int32_t sector) const {
    const auto after = std::upper_bound(trackStarts_.begin(), trackStarts_.end(), sector);
    const auto index = std::max<ptrdiff_t>(after - trackStarts_.begin() - 1, 0);
    return static_cast<int>(index);
}

int32_t CdAudioDevice::heardLocked() const {
    int32_t heard = heardSector_;
    if (state_ == State::Playing || state_ == State::Paused) {
        const auto queued = static_cast<int32_t>(SDL_GetQueuedAudioSize(output_) / kSectorBytes);
        heard = std::max(readSector_ - queued, discStart());
    }
    return std::min(heard, leadout_);
}

uint32_t CdAudioDevice::position() const {
    requireOpen();
    int32_t heard = 0;
    {
        std::lock_guard lock(mutex_);
        heard = heardLocked();
    }
    const int index = trackOfSector(std::min(heard, leadout_ - 1));
    const int32_t inTrack = heard - trackStarts_[static_cast<size_t>(index)];
    return static_cast<uint32_t>(index + firstTrack_) | packMsf(inTrack) << 8;
}

CdAudioDevice::Mode CdAudioDevice::mode() const {
    if (!isOpen()) {
        return ejected_ ? Mode::Open : Mode::NotReady;
    }
    std::lock_guard lock(mutex_);
    switch (state_) {
    case State::Playing:
        return Mode::Playing;
    case State::Paused:
        return Mode::Paused;
    default:
        return Mode::Stopped;
    }
}

void CdAudioDevice::play() {
    requireOpen();
    if (output_ == 0) {
        // The sound library would otherwise take SIGINT and SIGTERM for its own event
        // queue, which nothing reads, and the program could no longer be ended.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            throw CdError(std::string("The sound output cannot be opened: ") + SDL_GetError());
        }
        SDL_AudioSpec want{};
        want.freq = 44100;
        want.format = AUDIO_S16LSB;
        want.channels = 2;
        want.samples = 2048;
        output_ = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
        if (output_ == 0) {
            const std::string why = SDL_GetError();
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            throw CdError("The sound output cannot be opened: " + why);
        }
    }
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Stopped) {
            readSector_ = heardSector_;
        }
        state_ = State::Playing;
    }
    SDL_PauseAudioDevice(output_, 0);
    wake_.notify_all();
    announce();
}

void CdAudioDevice::pause() {
    requireOpen();
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Playing) {
            return announce();
        }
        state_ = State::Paused;
    }
    SDL_PauseAudioDevice(output_, 1);
    announce();
}

void CdAudioDevice::stop() {
    requireOpen();
    {
        std::lock_guard lock(mutex_);
        heardSector_ = readSector_ = heardLocked();
        state_ = State::Stopped;
        if (output_ != 0) {
            SDL_PauseAudioDevice(output_, 1);
            SDL_ClearQueuedAudio(output_);
        }
    }
    announce();
}

void CdAudioDevice::seekTo(int32_t sector) {
    {
        std::lock_guard lock(mutex_);
        if (output_ != 0) {
            SDL_ClearQueuedAudio(output_);
        }
        heardSector_ = readSector_ = std::clamp(sector, discStart(), discEnd());
    }
    wake_.notify_all();
    announce();
}

void CdAudioDevice::next() {
    requireOpen();
    const int index = static_cast<int>(position() & 0xFFu) - firstTrack_;
    if (static_cast<size_t>(index) + 1 < trackStarts_.size()) {
        seekTo(trackStarts_[static_cast<size_t>(index) + 1]);
    } else {
        announce();
    }
}

void CdAudioDevice::previous() {
    requireOpen();
    const uint32_t now = position();
    const int index = static_cast<int>(now & 0xFFu) - firstTrack_;
    const bool nearStart = ((now >> 8) & 0xFFu) == 0 && ((now >> 16) & 0xFFu) < 2;
    seekTo(trackStarts_[static_cast<size_t>(nearStart && index > 0 ? index - 1 : index)]);
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
    const char *source = cdio_get_arg(disc_->cdio, "source");
    const std::string drive = source != nullptr ? source : "";
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

void CdAudioDevice::startReader() {
    reader_ = std::thread([this] { readerLoop(); });
}

void CdAudioDevice::stopReader() {
    if (!reader_.joinable()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        state_ = State::Quit;
    }
    wake_.notify_all();
    reader_.join();
    state_ = State::Stopped;
}

void CdAudioDevice::readerLoop() {
    using namespace std::chrono_literals;
    std::vector<char> buffer;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return state_ == State::Quit || state_ == State::Playing; });
        if (state_ == State::Quit) {
            return;
        }
        const uint32_t queued = SDL_GetQueuedAudioSize(output_);
        // Data tracks on mixed discs hold no sound: play on past them.
        const int track = trackOfSector(std::min(readSector_, leadout_ - 1));
        if (readSector_ < leadout_ && !disc_->audio[static_cast<size_t>(track)]) {
            const size_t nextTrack = static_cast<size_t>(track) + 1;
            readSector_ = nextTrack < trackStarts_.size() ? trackStarts_[nextTrack] : leadout_;
            continue;
        }
        if (readSector_ >= leadout_) {
            if (queued > 0) {
                wake_.wait_for(lock, 20ms);
                continue;
            }
            heardSector_ = leadout_;
            state_ = State::Stopped;
            SDL_PauseAudioDevice(output_, 1);
            announce();
            continue;
        }
        if (queued > kQueueAhead) {
            wake_.wait_for(lock, 20ms);
            continue;
        }
        const int32_t sector = readSector_;
        const int count = std::min(kSectorsPerRead, leadout_ - sector);
        lock.unlock();
        const bool ok = disc_->read(sector, count, buffer);
        lock.lock();
        if (state_ != State::Playing || readSector_ != sector) {
            continue; // stopped or moved while reading: this audio is stale
        }
        if (!ok) {
            heardSector_ = sector;
            state_ = State::Stopped;
            SDL_PauseAudioDevice(output_, 1);
            announce();
            continue;
        }
        SDL_QueueAudio(output_, buffer.data(), static_cast<uint32_t>(buffer.size()));
        readSector_ = sector + count;
    }
}

} // namespace velbrin::platform

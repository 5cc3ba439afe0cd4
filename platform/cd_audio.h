#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>

namespace velbrin::platform {

// Every failure of the CD device, with a text for the user.
class CdError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An audio CD, in a drive or as an image file (cue/bin, toc, nrg), played
// through the sound output. Few drives and no image can play audio on their
// own, so the audio is always extracted digitally (with error correction on
// real drives) and sent to the sound server by a thread of this object.
//
// Times are packed one field per byte, lowest byte first: positions as
// track/minutes/seconds/frames within the track, lengths as
// minutes/seconds/frames (75 frames a second).
//
// Threads and locks: every public function runs on the thread that created
// the object and returns at once. Each open disc is a Session that the device
// and the disc's reader thread share: the reader owns the extraction handles,
// the session's `mutex` guards the play state (`state`, `readSector`,
// `heardSector`, `output`, `owner`) that both threads touch, and `wake` tells
// the reader about a change. The table of contents is read at open and never
// changes, so it is read without the lock. Closing never waits for the
// reader, which may sit in a slow error-correcting read: it marks the session
// ended and lets go of it; the reader sees that after its read, touches
// nothing of the device any more and ends, and whichever of the two lets go
// last frees the disc. Completion is announced by `notify`, always queued to
// the creating thread.
class CdAudioDevice : public QObject {
    Q_OBJECT
public:
    enum class Mode { NotReady, Stopped, Playing, Recording, Seeking, Paused, Open };

    explicit CdAudioDevice(QObject *parent = nullptr);
    ~CdAudioDevice() override;
    CdAudioDevice(const CdAudioDevice &) = delete;
    CdAudioDevice &operator=(const CdAudioDevice &) = delete;

    // The machine's CD drives, by device path.
    static QStringList drives();

    // Opens a drive or an image by its name, closing whatever was open. The
    // position is the start of the first track; nothing plays.
    void open(const QString &element);
    void close();
    bool isOpen() const { return session_ != nullptr; }
    bool isImage() const { return image_; }
    // Whether the element holds the disc that is open, by its table of
    // contents: false after a disc change, or when nothing is open or the
    // element cannot be read. Leaves the open disc as it is.
    bool holdsOpenDisc(const QString &element) const;

    int trackCount() const;
    uint32_t discLength() const;
    uint32_t trackLength(int track) const;
    // At the end of the disc: the last track at its full length.
    uint32_t position() const;
    Mode mode() const;

    void play();
    void pause();
    void stop();
    // Start of the next track; on the last track nothing moves.
    void next();
    // Start of the current track, or of the previous one within the first
    // two seconds of a track.
    void previous();
    void rewind();
    // Opens the drive's tray. Images are never ejected: the device library
    // cannot close an image after that.
    void eject();

    // For tests: every read of the disc takes this much longer, as a scratched
    // disc does under error correction; and how many readers have not ended.
    static void setReadDelayForTesting(std::chrono::milliseconds delay);
    static int readersRunning();

signals:
    // A command has completed: at once for most, at the end of the disc for
    // play (or when another command ends it).
    void notify();

private:
    struct Disc;
    struct Session;

    void requireOpen() const;
    void seekTo(int32_t sector);
    void announce();
    int trackOfSector(int32_t sector) const;
    int32_t discStart() const;
    int32_t discEnd() const;

    std::shared_ptr<Session> session_;
    bool image_ = false;
    bool ejected_ = false;
    uint32_t output_ = 0; // the sound output, opened at the first play
};

} // namespace velbrin::platform

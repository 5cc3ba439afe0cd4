#pragma once

// The set-up that every test of the song changer shares, and the song changer
// over two players of the real engine as the heard tests and the song-change
// benchmark drive it.

#include "KelvraSpectrum.h"
#include "KelvraSpeechOutput.h"
#include "SongChanger.h"

#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velbrin::test {

// The application object that the engine components' hidden windows need;
// made on the first call, kept for the process.
void ensureCoreApplication();

// A settings file of its own in a temporary folder, in force while this
// object lives.
class PrivateSettings {
public:
    PrivateSettings();
    ~PrivateSettings();
    PrivateSettings(const PrivateSettings &) = delete;
    PrivateSettings &operator=(const PrivateSettings &) = delete;
    QString filePath(const QString &name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
};

// Makes `folder`/`name`.mp3: a sine of `frequency` Hz, 44.1 kHz stereo at 192
// kbit/s, tagged with `artist` (title "Song", album "Album") unless that is
// empty. Empty when the tools failed.
QString makeToneSong(const QString &folder, const QString &name, double seconds, int frequency,
                     const QString &artist = QString(), double volume = 0.5,
                     double silenceAfter = 0.0);

// Amplitude of one frequency in `count` samples from `from` of a 44.1 kHz
// recording (Goertzel).
double toneLevel(const std::vector<int16_t> &s, size_t from, size_t count, double frequency);

// The first sample of a tone of `frequency` (1 kHz or more, at level 75 or
// louder) that joins or follows a tone of a few hundred hertz, searched from
// `from`: the first 10 ms window where the tone is present (a drop-out's edge
// is not), then its first sample whose second difference passes what the low
// tone ever gives.
std::optional<size_t> toneOnset(const std::vector<int16_t> &s, size_t from, double frequency);
// How many quiet samples (below 200) come right before `at`.
size_t quietBefore(const std::vector<int16_t> &s, size_t at);

// Two players of the real engine driven by a song changer, with the hooks a
// play order gives: the songs in list order, WAV files named after the songs
// in `folder` when no output is named, the half-second timer, tags read from
// the files, speech through the selected voice.
class SongChangerRig {
public:
    using Player = engine::TKelvraSpectrum;

    explicit SongChangerRig(QString folder);
    ~SongChangerRig();
    SongChangerRig(const SongChangerRig &) = delete;
    SongChangerRig &operator=(const SongChangerRig &) = delete;

    // Binds both players, names `output` on both unless it is empty (then
    // each song goes into a WAV file), and makes the changer for `order`.
    void build(std::vector<QString> order, const QString &output);
    // Starts the first song on the current player as the user would and runs the event loop until
    // the last song ends, then lets the sink render the tail. False when the
    // songs did not end within `timeoutMs`.
    bool play(int timeoutMs);

    // The engine's mix for the DJ's voice, bound by build(); a test lends it
    // to the voice it speaks with.
    std::shared_ptr<engine::KelvraSpeechOutput> speechOutput;
    std::unique_ptr<Player> one = std::make_unique<Player>();
    std::unique_ptr<Player> two = std::make_unique<Player>();
    std::optional<player::SongChanger> changer;
    std::vector<QString> songs;
    size_t next = 0;
    bool finished = false;

private:
    QString folder_;
    QTimer timer_;
};

} // namespace velbrin::test

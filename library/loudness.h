#pragma once

#include <QString>

#include <atomic>
#include <optional>

// Loudness matching: every song played at the ReplayGain 2.0 reference
// loudness, never with its true peak lifted above -1 dBFS.
namespace velbrin::library {

inline constexpr double kReferenceLufs = -18.0;
inline constexpr double kPeakCeilingDbfs = -1.0;

// What is known of a song's loudness, from its tags or a measurement.
struct LoudnessInfo {
    std::optional<double> gainDb; // to the reference loudness
    std::optional<double> peak;   // linear, 1.0 is full scale
};

// The gain to play the song at: unity when its loudness is unknown, and no
// more than keeps its peak at the ceiling. A song made louder needs a known
// peak, as nothing else says how far it may go.
double playbackGainDb(const LoudnessInfo &info);

// The radio ReplayGain the encoder wrote into the Xing/Info frame's LAME
// extension, looked for in the first frame at `audioStart`.
std::optional<double> readLameReplayGain(const QString &path, qint64 audioStart);

struct LoudnessMeasurement {
    std::optional<double> integratedLufs; // none for silence
    double truePeak = 0.0;                // linear
};

// Decodes the whole song (libmpg123) and measures its integrated loudness
// (libebur128) and its true peak. Nothing when it cannot be decoded or
// `stop` was set on the way; a mono song counts as heard on both speakers.
std::optional<LoudnessMeasurement> measureLoudness(const QString &path,
                                                   const std::atomic<bool> &stop);

} // namespace velbrin::library

#pragma once

namespace velbrin {

class SettingsStore;

// How far the music is lowered under the DJ's voice, in decibels.
inline constexpr int kDuckDepthMaxDb = 24;
inline constexpr int kDuckDepthDefaultDb = 12;

// The mix settings of the DJ's voice and of song ends, from "DJ-Settings":
// "DuckDepth" (whole decibels, clamped to 0..kDuckDepthMaxDb; text that is no
// number gives the default) and "SkipSilence". Read afresh when used, so a
// change in the settings window applies at once.
struct StudioSound {
    int duckDepthDb = kDuckDepthDefaultDb; // 0 leaves the music alone
    bool skipSilence = true;               // Studio and Live overlap from a song's audible end
};
StudioSound readStudioSound(const SettingsStore &settings);

} // namespace velbrin

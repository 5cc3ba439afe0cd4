#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace velbrin {

// The 16 equalizer sliders, left to right, by the band number each carries: it
// names the slider's stored value ("Barnr" + number) and selects the engine
// bands it drives. Together they cover the engine's 32 bands exactly once,
// narrow at the low end where the ear is most sensitive.
inline constexpr std::array<int, 16> kEqualizerBandNumbers = {1, 2,  3,  4,  5,  6,  7,  8,
                                                              9, 10, 12, 14, 16, 19, 25, 31};
inline constexpr int kEqualizerEngineBands = 32;
inline constexpr int kEqualizerMinPosition = -80; // top of the slider: the most gain
inline constexpr int kEqualizerMaxPosition = 80;

// 1..9 drive band number - 1; 10..16 band number - 1 and band number; 19 band
// number - 2 to band number; 25 and 31 band number - 5 to band number. Any
// other number drives nothing.
std::vector<int> engineBandsFor(int bandNumber);

// The gain of every engine band for the sliders' positions (in the order of
// kEqualizerBandNumbers): the negated position, so a slider pushed up raises
// its bands. Bands no slider drives stay 0.
std::array<int8_t, kEqualizerEngineBands> equalizerGains(std::span<const int, 16> positions);

// A stored position outside the slider's range moves to the nearer end.
int clampEqualizerPosition(int position);

} // namespace velbrin

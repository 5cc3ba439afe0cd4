#include "equalizer_bands.h"

#include <algorithm>

namespace velbrin {

std::vector<int> engineBandsFor(int bandNumber) {
    int first = 0;
    if (bandNumber >= 1 && bandNumber <= 9) {
        first = bandNumber - 1;
    } else if (bandNumber >= 10 && bandNumber <= 16) {
        first = bandNumber - 1;
    } else if (bandNumber == 19) {
        first = bandNumber - 2;
    } else if (bandNumber == 25 || bandNumber == 31) {
        first = bandNumber - 5;
    } else {
        return {};
    }
    const int last = bandNumber <= 9 ? bandNumber - 1 : bandNumber;
    std::vector<int> bands;
    for (int band = first; band <= last; ++band) {
        bands.push_back(band);
    }
    return bands;
}

std::array<int8_t, kEqualizerEngineBands> equalizerGains(std::span<const int, 16> positions) {
    std::array<int8_t, kEqualizerEngineBands> gains{};
    for (size_t i = 0; i < kEqualizerBandNumbers.size(); ++i) {
        const int position = clampEqualizerPosition(positions[i]);
        for (int band : engineBandsFor(kEqualizerBandNumbers[i])) {
            gains[static_cast<size_t>(band)] = static_cast<int8_t>(-position);
        }
    }
    return gains;
}

int clampEqualizerPosition(int position) {
    return std::clamp(position, kEqualizerMinPosition, kEqualizerMaxPosition);
}

} // namespace velbrin

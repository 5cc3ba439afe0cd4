#include "studio_sound.h"

#include "settings_store.h"

#include <algorithm>

namespace velbrin {

StudioSound readStudioSound(const SettingsStore &settings) {
    const QString section = QStringLiteral("DJ-Settings");
    StudioSound sound;
    sound.duckDepthDb =
        std::clamp(settings.readInteger(section, QStringLiteral("DuckDepth"), kDuckDepthDefaultDb),
                   0, kDuckDepthMaxDb);
    sound.skipSilence = settings.readBoolean(section, QStringLiteral("SkipSilence"), true);
    return sound;
}

} // namespace velbrin

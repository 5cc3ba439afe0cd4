#pragma once

#include <QString>
#include <QStringList>

namespace velbrin::settings {

// What the settings window changes outside itself: the program's sound
// output, both song players' priority and output settings, the lowering of
// the music under the DJ, the main window's play mode and its visual-style
// list. The main window provides it; tests
// record it.
class SettingsHost {
public:
    virtual ~SettingsHost() = default;

    // The user's output choice, as "Engine"/"OutputModule" stores it: 1 the
    // sound card, 2 the wave driver, 3 WAV files. The sound output owns the
    // names that go with it.
    virtual void chooseOutput(int module) = 0;

    // On both song players.
    virtual void setPriority(int priority) = 0;
    virtual void setPlayerEnvironmentInteger(const QString &name, int value) = 0;

    // How far the music is lowered under the DJ's voice, in decibels (0 to
    // 24; 0 leaves it alone), from now on.
    virtual void setDuckDepth(int decibels) = 0;

    // Selects the play mode (0 "Norm", 1 "Studio", 2 "Live") and runs its change.
    virtual void selectPlayMode(int index) = 0;

    // The main window's visual-style names and the active one's index.
    virtual QStringList styleNames() const = 0;
    virtual int activeStyleIndex() const = 0;
    // A new style was applied: the main window adapts its slider's track.
    virtual void styleApplied() = 0;

    // The program's folder, where the WAV folder chooser starts without one.
    virtual QString appDir() const = 0;
};

} // namespace velbrin::settings

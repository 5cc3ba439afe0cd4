#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <string>

namespace velbrin {
class SettingsStore;
}

namespace velbrin::engine {
class TKelvraSpectrum;
}

namespace velbrin::player {

// The output choices, as "Engine"/"OutputModule" stores them.
enum class OutputChoice { SoundCard = 1, WaveDriver = 2, WavFile = 3 };

// The engine's device name for a choice: "/dev/dsound/0" for the sound card,
// "/dev/wave/0" for the wave driver; nothing for WAV files (named per song)
// or a value that is no choice. The program's one table of output names.
std::optional<QString> deviceOutputName(int outputModule);

// "wav:" + folder (with a trailing separator) + the song's file name without
// its last four characters + ".wav". Both separators count in the song path.
QString wavOutputName(const QString &folder, const QString &songPath);

// Where the song players' sound goes. It alone sets their output module and
// output names and decides whether songs go into WAV files: at start from the
// stored choice, then from the settings window's choice and the "Make
// Wave-file" command, which stays in force until the user chooses an output.
// The players' own resets (Stop) keep the choice in force.
//
// It asks for the WAV folder only where it is told it may (a song the user
// starts); an automatic song change never waits on a question.
//
// Threads: user-interface thread only.
class SoundOutput {
public:
    using Player = engine::TKelvraSpectrum;

    struct Options {
        // The native window the sound-card output module is told about.
        std::function<int()> windowHandle;
        // Asked for a WAV folder when none usable is stored; empty cancels.
        std::function<QString()> chooseWavFolder;
    };

    SoundOutput(Player &first, Player &second, SettingsStore &settings, Options options);

    // The output module and its window on `player`, and the device of the
    // choice in force (the stored one, read at the first call).
    void setUp(Player &player);
    // `ResetCurrentOutput`: `Init` the player, then as `setUp`.
    void reset(Player &player);

    // The user's choice in the settings window: the device on both song
    // players, or WAV files from the next song on.
    void choose(OutputChoice choice);
    // "Make Wave-file": songs go into WAV files until the user chooses an
    // output.
    void makeWaveFile();
    OutputChoice choice() const;
    bool wavFileOutput() const { return choice() == OutputChoice::WavFile; }

    // Points `player` at the output for the song at `path`. A song the user
    // starts names the device on both song players, or its WAV file, asking
    // for the folder when none is usable. A song change names only the WAV
    // file, on the player that opens the song (the other one may still write
    // the previous song's file), and never asks. False when songs go into WAV
    // files and there is no folder.
    enum class Start { ByHand, InAChange };
    bool prepareSong(Player &player, const QString &path, Start start);

    // An environment integer of the output module on both song players
    // ("OUTPUT.DIRECTSOUND.PITCH").
    void setPlayerEnvironmentInteger(const std::string &name, int value);

    // The players are going: nothing more is sent.
    void detach() { detached_ = true; }

private:
    void nameDevice(Player &player);
    std::optional<QString> wavFolder(Start start);

    Player &first_;
    Player &second_;
    SettingsStore &settings_;
    Options options_;
    // The choice in force, once read; a value that is no choice names nothing.
    mutable std::optional<int> choice_;
    bool detached_ = false;
};

} // namespace velbrin::player

#include "SoundOutput.h"

#include "KelvraSpectrum.h"
#include "PlayerLogic.h"
#include "settings_store.h"

#include <QDir>

namespace velbrin::player {

namespace {

const char *const kOutputModule = "dsound_output_module_register@kv_dsound_output.dll";
const char *const kWindowVariable = "OUTPUT.DIRECTSOUND.WINDOW";

std::string ansi(const QString &text) {
    return text.toLocal8Bit().toStdString();
}

} // namespace

std::optional<QString> deviceOutputName(int outputModule) {
    switch (static_cast<OutputChoice>(outputModule)) {
    case OutputChoice::SoundCard:
        return QStringLiteral("/dev/dsound/0");
    case OutputChoice::WaveDriver:
        return QStringLiteral("/dev/wave/0");
    case OutputChoice::WavFile:
        break;
    }
    return std::nullopt;
}

QString wavOutputName(const QString &folder, const QString &songPath) {
    QString dir = folder;
    if (!dir.endsWith(QLatin1Char('/')) && !dir.endsWith(QLatin1Char('\\'))) {
        dir += QLatin1Char('/');
    }
    QString base = fileNamePart(songPath);
    base.chop(std::min<qsizetype>(4, base.size()));
    return QStringLiteral("wav:") + dir + base + QStringLiteral(".wav");
}

SoundOutput::SoundOutput(Player &first, Player &second, SettingsStore &settings, Options options)
    : first_(first), second_(second), settings_(settings), options_(std::move(options)) {}

OutputChoice SoundOutput::choice() const {
    if (!choice_) {
        choice_ = settings_.readInteger(QStringLiteral("Engine"), QStringLiteral("OutputModule"),
                                        static_cast<int>(OutputChoice::SoundCard));
    }
    return static_cast<OutputChoice>(*choice_);
}

void SoundOutput::nameDevice(Player &player) {
    if (auto name = deviceOutputName(static_cast<int>(choice()))) {
        player.SetOutputName(ansi(*name));
    }
}

void SoundOutput::setUp(Player &player) {
    if (detached_) {
        return;
    }
    player.OutputModuleRegister(kOutputModule);
    player.SetPlayerEnvironmentInteger(kWindowVariable,
                                       options_.windowHandle ? options_.windowHandle() : 0);
    nameDevice(player);
}

void SoundOutput::reset(Player &player) {
    if (detached_) {
        return;
    }
    player.Init();
    setUp(player);
}

void SoundOutput::choose(OutputChoice chosen) {
    choice_ = static_cast<int>(chosen);
    if (!detached_) {
        nameDevice(first_);
        nameDevice(second_);
    }
}

void SoundOutput::makeWaveFile() {
    choice_ = static_cast<int>(OutputChoice::WavFile);
}

std::optional<QString> SoundOutput::wavFolder(Start start) {
    const QString section = QStringLiteral("Settings");
    const QString stored = settings_.read(section, QStringLiteral("WAVDir"));
    if (!stored.isEmpty() && QDir(stored).exists()) {
        return stored;
    }
    const QString chosen =
        start == Start::ByHand && options_.chooseWavFolder ? options_.chooseWavFolder() : QString();
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    settings_.write(section, QStringLiteral("WAVDir"), chosen);
    return chosen;
}

bool SoundOutput::prepareSong(Player &player, const QString &path, Start start) {
    if (!wavFileOutput()) {
        if (start == Start::ByHand && !detached_) {
            nameDevice(first_);
            nameDevice(second_);
        }
        return true;
    }
    const std::optional<QString> folder = wavFolder(start);
    // The question may have outlasted the players.
    if (!folder || detached_) {
        return false;
    }
    player.SetOutputName(ansi(wavOutputName(*folder, path)));
    return true;
}

void SoundOutput::setPlayerEnvironmentInteger(const std::string &name, int value) {
    if (detached_) {
        return;
    }
    first_.SetPlayerEnvironmentInteger(name, value);
    second_.SetPlayerEnvironmentInteger(name, value);
}

} // namespace velbrin::player

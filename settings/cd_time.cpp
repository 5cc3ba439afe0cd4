#include "cd_time.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace velbrin::cd {

namespace {

uint32_t field(int value, int index) {
    return static_cast<uint32_t>(std::clamp(value, 0, 255)) << (8 * index);
}

QString twoDigits(int value) {
    return value < 10 ? QStringLiteral("0") + QString::number(value) : QString::number(value);
}

QString twoFields(uint32_t packed, int first) {
    return twoDigits(PackedByte(packed, first)) + QStringLiteral(":") +
           twoDigits(PackedByte(packed, first + 1));
}

} // namespace

uint32_t PackTmsf(int track, int minutes, int seconds, int frames) {
    return field(track, 0) | field(minutes, 1) | field(seconds, 2) | field(frames, 3);
}

uint32_t PackMsf(int minutes, int seconds, int frames) {
    return field(minutes, 0) | field(seconds, 1) | field(frames, 2);
}

uint32_t MsfFromFrames(int64_t frames) {
    frames = std::max<int64_t>(frames, 0);
    const int64_t seconds = frames / kFramesPerSecond;
    const int64_t minutes = std::min<int64_t>(seconds / 60, 255);
    return PackMsf(static_cast<int>(minutes), static_cast<int>(seconds % 60),
                   static_cast<int>(frames % kFramesPerSecond));
}

int PackedByte(uint32_t value, int index) {
    return static_cast<int>((value >> (8 * index)) & 0xFFu);
}

QString TimeFormA(uint32_t packed) {
    return twoFields(packed, 0);
}

QString TimeFormB(uint32_t packed) {
    return twoFields(packed, 1);
}

int NextDisplayMode(int mode) {
    return mode >= 3 || mode < 1 ? 1 : mode + 1;
}

QString TimeText(int mode, uint32_t discLength, uint32_t position, uint32_t trackLength) {
    switch (mode) {
    case 2:
        return TimeFormB(position);
    case 3:
        return TimeFormA(trackLength);
    default:
        return TimeFormA(discLength);
    }
}

bool AtEndOfDisc(const QString &tracksText, const QString &currentText, uint32_t lastTrackLength,
                 uint32_t position) {
    return tracksText == currentText && TimeFormA(lastTrackLength) == TimeFormB(position);
}

QString ElementNameForStoredDrive(const QString &stored) {
    const QString path = stored.trimmed();
    const bool driveLetterPath =
        path.size() >= 2 && path.size() <= 3 && path[0].isLetter() && path[1] == QLatin1Char(':') &&
        (path.size() == 2 || path[2] == QLatin1Char('\\') || path[2] == QLatin1Char('/'));
    return driveLetterPath ? path.left(1) : path;
}

QString DeviceModeName(DeviceMode mode) {
    static const std::array<const char *, 7> names = {
        "Not ready", "Stopped", "Playing", "Recording", "Seeking", "Paused", "Open"};
    return QString::fromLatin1(names.at(static_cast<size_t>(mode)));
}

QString CdCaption(DeviceMode mode) {
    return QStringLiteral("Velbrin CD-player: ") + DeviceModeName(mode);
}

QString OpenFailureMessage(const QString &drivePath, const QString &error) {
    return QStringLiteral("The following error occurred while trying to play the CD in drive ") +
           drivePath + QStringLiteral(": \n\n") + error;
}

} // namespace velbrin::cd

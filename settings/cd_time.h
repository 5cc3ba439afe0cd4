#pragma once

#include <QString>

#include <cstdint>

namespace velbrin::cd {

// CD time values are packed one field per byte, lowest byte first. A position
// is track/minutes/seconds/frames (TMSF, minutes counted within the track), a
// length minutes/seconds/frames (MSF). 75 frames (sectors) make a second.
inline constexpr int kFramesPerSecond = 75;

uint32_t PackTmsf(int track, int minutes, int seconds, int frames);
uint32_t PackMsf(int minutes, int seconds, int frames);
// A count of frames as minutes/seconds/frames; minutes stop at 255.
uint32_t MsfFromFrames(int64_t frames);
// Byte `index` (0 to 3) of a packed value.
int PackedByte(uint32_t value, int index);

// Two bytes of a packed value as "mm:ss": each a decimal number with a leading
// "0" below 10. Form A takes bytes 0 and 1 (minutes:seconds of a length),
// form B bytes 1 and 2 (minutes:seconds of a position within its track).
QString TimeFormA(uint32_t packed);
QString TimeFormB(uint32_t packed);

// "Time" shows the disc length (1), the position in the current track (2) or
// the current track's length (3); each click moves to the next mode.
int NextDisplayMode(int mode);
QString TimeText(int mode, uint32_t discLength, uint32_t position, uint32_t trackLength);

// The last track is playing and its shown position has reached the track's
// length (same minutes and seconds): the disc is at its end. The texts are
// those the window shows for "Tracks" and "Current".
bool AtEndOfDisc(const QString &tracksText, const QString &currentText, uint32_t lastTrackLength,
                 uint32_t position);

// The element name a stored drive path is opened with when the window is
// shown: a drive-letter path ("D:\") opens by its letter alone, as the drive
// was always known; any other path (a device node, an image file) is its own
// name. Blanks around the stored text do not count; empty text opens nothing.
QString ElementNameForStoredDrive(const QString &stored);

// Caption texts of the device modes, in the device's order.
enum class DeviceMode { NotReady, Stopped, Playing, Recording, Seeking, Paused, Open };
QString DeviceModeName(DeviceMode mode);
QString CdCaption(DeviceMode mode);

QString OpenFailureMessage(const QString &drivePath, const QString &error);

} // namespace velbrin::cd

#pragma once

#include <string>

namespace velbrin::tools {

// Encodes a 16-bit PCM WAV file into an MP3 at a constant bit rate (kbit/s),
// with the encoder's information frame at its start, so that decoders know
// the exact length. Returns an empty text on success, else the reason; a
// failed conversion leaves no output file behind.
std::string wavToMp3(const std::string &wavPath, const std::string &mp3Path, int bitrate = 192);

// Decodes an MP3 file into a 16-bit PCM WAV file at the song's own rate and
// channel count. Same results as above.
std::string mp3ToWav(const std::string &mp3Path, const std::string &wavPath);

} // namespace velbrin::tools

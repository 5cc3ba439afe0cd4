#pragma once

// A cue/bin image of three audio tracks of known tones, written by the test
// itself: a disc without a drive.

#include <QDir>
#include <QFile>
#include <QString>

#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

namespace velbrin::test {

struct CdTrackTone {
    double hertz;
    int sectors; // 75 a second
};

// 2 s 30 frames of 440 Hz, 3 s 10 frames of 1000 Hz, 1 s 40 frames of 1500 Hz:
// 7 s 5 frames in all.
inline constexpr std::array<CdTrackTone, 3> kCdTones = {
    {{440.0, 2 * 75 + 30}, {1000.0, 3 * 75 + 10}, {1500.0, 75 + 40}}};

// Writes "audio.bin" and "audio.cue" into `folder`; returns the cue file.
inline QString writeCdImage(const QString &folder, std::span<const CdTrackTone> tones = kCdTones) {
    std::vector<int16_t> pcm;
    QString cue = QStringLiteral("FILE \"audio.bin\" BINARY\n");
    int sector = 0;
    for (size_t t = 0; t < tones.size(); ++t) {
        cue += QStringLiteral("  TRACK %1 AUDIO\n    INDEX 01 %2:%3:%4\n")
                   .arg(t + 1, 2, 10, QLatin1Char('0'))
                   .arg(sector / 75 / 60, 2, 10, QLatin1Char('0'))
                   .arg(sector / 75 % 60, 2, 10, QLatin1Char('0'))
                   .arg(sector % 75, 2, 10, QLatin1Char('0'));
        const int frames = tones[t].sectors * 588; // 2352 bytes: 588 stereo frames
        for (int i = 0; i < frames; ++i) {
            const double v = 0.5 * std::sin(2.0 * M_PI * tones[t].hertz * i / 44100.0);
            const auto s = static_cast<int16_t>(std::lround(v * 32767.0));
            pcm.push_back(s);
            pcm.push_back(s);
        }
        sector += tones[t].sectors;
    }
    QFile bin(QDir(folder).filePath(QStringLiteral("audio.bin")));
    bin.open(QIODevice::WriteOnly);
    bin.write(reinterpret_cast<const char *>(pcm.data()),
              static_cast<qint64>(pcm.size() * sizeof(int16_t)));
    QFile file(QDir(folder).filePath(QStringLiteral("audio.cue")));
    file.open(QIODevice::WriteOnly);
    file.write(cue.toLatin1());
    return file.fileName();
}

} // namespace velbrin::test

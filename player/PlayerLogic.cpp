#include "PlayerLogic.h"

#include "folder_walk.h"

#include <QFileInfo>

namespace velbrin::player {

std::optional<QString> deviceOutputName(int outputModule) {
    switch (outputModule) {
    case 1:
        return QStringLiteral("/dev/dsound/0");
    case 2:
        return QStringLiteral("/dev/wave/0");
    default:
        return std::nullopt;
    }
}

QString fileNamePart(const QString &path) {
    const qsizetype cut =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
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

std::optional<StateView> viewForState(int state, const QString &titleText) {
    switch (state) {
    case 0:
        return StateView{false, true, false, QStringLiteral("Stopped"), QStringLiteral("Stopped"),
                         false};
    case 1:
        return StateView{
            true, false, true, QStringLiteral("Playing"), titleText + QStringLiteral(" playing"),
            true};
    case 2:
        return StateView{
            true, true, false, QStringLiteral("Paused"), titleText + QStringLiteral(" paused"),
            false};
    default:
        return std::nullopt;
    }
}

AfterSong afterEndOfSong(const EndOfSongInput &in) {
    if (in.repeatCurrent) {
        return AfterSong::PlayAgain;
    }
    if (!in.selectedIsLast || in.shuffle) {
        return AfterSong::PlayNext;
    }
    if (in.repeatAll) {
        return AfterSong::PlayFirst;
    }
    return AfterSong::Nothing;
}

int sliderPositionFor(uint32_t offset, uint32_t range, int minimum, int maximum) {
    const int64_t span = int64_t{maximum} - minimum;
    if (range == 0 || span <= 0) {
        return minimum;
    }
    const int64_t clampedOffset = std::min<int64_t>(offset, range);
    return static_cast<int>(minimum + clampedOffset * span / range);
}

QString streamParametersText(uint32_t frequency, int16_t bitrate, uint8_t channels) {
    return QStringLiteral("%1 Hz, %2 Ch, %3 kbps").arg(frequency).arg(channels).arg(bitrate);
}

QString moduleIdText(int16_t id) {
    return id == -1 ? QStringLiteral("AUTOSELECT") : QString::number(id);
}

QString moduleNodeText(const QString &name, const QString &description) {
    return name + QStringLiteral(" [") + description + QStringLiteral("]");
}

QString timeText(uint32_t seconds) {
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString playingTitle(const QString &titleText) {
    // An ordinal comparison with a single blank: true for any text that does
    // not start below a blank.
    if (titleText.compare(QStringLiteral(" "), Qt::CaseSensitive) > 0) {
        return titleText + QStringLiteral(" playing");
    }
    return QStringLiteral("Velbrin is Playing");
}

NowPlaying nowPlayingFor(const QString &path, const TagTexts &tag) {
    NowPlaying v;
    v.artist = tag.artist;
    v.titleLines = tag.title;
    v.currentTitleText = v.titleLines + QStringLiteral("\r\n");
    if (v.titleLines.trimmed().isEmpty()) {
        v.titleLines = fileNamePart(path);
    }
    v.year = tag.year;
    v.comments = tag.comment;
    v.album = tag.album;
    v.category = tag.genre;
    if (v.artist.trimmed().isEmpty() && v.year.trimmed().isEmpty() && v.album.trimmed().isEmpty() &&
        v.category.trimmed().isEmpty()) {
        v.artist = QStringLiteral("(No file information)");
        v.category = QStringLiteral("(Press F5 to edit tag)");
    }
    // The window title shows the text without its line break.
    v.applicationTitle = playingTitle(v.titleLines);
    return v;
}

int playModeIndex(const QString &stored) {
    const auto &captions = playModeCaptions();
    for (int i = 0; i < captions.size(); ++i) {
        if (stored.compare(captions.at(i), Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return 0;
}

EntryKind classifyEntry(const QString &path) {
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) {
        return EntryKind::Folder;
    }
    const QString ext = library::upperExtension(path);
    if (library::isSongExtension(ext)) {
        return EntryKind::Song;
    }
    if (library::isPlaylistExtension(ext)) {
        return EntryKind::Playlist;
    }
    return EntryKind::OtherFile;
}

} // namespace velbrin::player

#include "PlayerLogic.h"

namespace velbrin::player {

QString fileNamePart(const QString &path) {
    const qsizetype cut =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

std::optional<StateView> viewForState(int state, const QString &titleText) {
    switch (state) {
    case KV_PLAYER_STATE_STOPPED:
        return StateView{false, true, false, QStringLiteral("Stopped"), QStringLiteral("Stopped"),
                         false};
    case KV_PLAYER_STATE_PLAYING:
        return StateView{
            true, false, true, QStringLiteral("Playing"), titleText + QStringLiteral(" playing"),
            true};
    case KV_PLAYER_STATE_PAUSED:
        return StateView{
            true, true, false, QStringLiteral("Paused"), titleText + QStringLiteral(" paused"),
            false};
    case KV_PLAYER_STATE_EOS:
        // The song ended and both players were stopped; what follows decides
        // the rest.
        return StateView{
            false, true, false, QStringLiteral("End of song"), QStringLiteral("Velbrin is Stopped"),
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

QStringList streamPropertyLines(uint32_t count, const KV_Property *properties) {
    QStringList lines;
    for (uint32_t i = 0; properties != nullptr && i < count; ++i) {
        const KV_Property &p = properties[i];
        const QString name = QString::fromLocal8Bit(p.Name != nullptr ? p.Name : "");
        if (p.ValueType == KV_PROPERTY_TYPE_INTEGER) {
            lines << name + QStringLiteral(": ") + QString::number(p.Value.IntegerValue);
        } else if (p.ValueType == KV_PROPERTY_TYPE_STRING) {
            const char *text = p.Value.StringValue != nullptr ? p.Value.StringValue : "";
            lines << name + QStringLiteral(": ") + QString::fromLocal8Bit(text);
        }
    }
    return lines;
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

} // namespace velbrin::player

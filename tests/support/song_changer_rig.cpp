#include "song_changer_rig.h"

#include "id3v1.h"
#include "settings_store.h"
#include "shared_helpers.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace velbrin::test {

using engine::TKelvraSpectrum;
using player::AnnouncedFields;
using player::SongChanger;

void ensureCoreApplication() {
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char arg0[] = "test";
        static char *argv[] = {arg0, nullptr};
        static QCoreApplication app(argc, argv);
    }
}

PrivateSettings::PrivateSettings() {
    qputenv("VELBRIN_SETTINGS", dir_.filePath("velbrin.ini").toLocal8Bit());
}

PrivateSettings::~PrivateSettings() {
    qunsetenv("VELBRIN_SETTINGS");
}

QString makeToneSong(const QString &folder, const QString &name, double seconds, int frequency,
                     const QString &artist, double volume, double silenceAfter) {
    const QString wav = QDir(folder).filePath(name + ".wav");
    const QString mp3 = QDir(folder).filePath(name + ".mp3");
    const QString tag =
        artist.isEmpty() ? QString() : " --ta '" + artist + "' --tt Song --tl Album";
    const QString command = QString("sox -n -r 44100 -c 2 -b 16 '%1' synth %2 sine %3 vol %4 "
                                    "pad 0 %7 2>/dev/null && lame --quiet -b 192%5 '%1' '%6'")
                                .arg(wav)
                                .arg(seconds)
                                .arg(frequency)
                                .arg(volume)
                                .arg(tag, mp3)
                                .arg(silenceAfter);
    return std::system(command.toLocal8Bit().constData()) == 0 ? mp3 : QString();
}

double toneLevel(const std::vector<int16_t> &s, size_t from, size_t count, double frequency) {
    const double w = 2 * M_PI * frequency / 44100.0;
    double a = 0, b = 0;
    for (size_t i = from; i < from + count && i < s.size(); ++i) {
        const double c = s[i] + 2 * std::cos(w) * a - b;
        b = a;
        a = c;
    }
    const double power = a * a + b * b - 2 * std::cos(w) * a * b;
    return 2 * std::sqrt(std::max(0.0, power)) / double(count);
}

std::optional<size_t> toneOnset(const std::vector<int16_t> &s, size_t from, double frequency) {
    // A 400 Hz tone at full scale keeps its second difference below 60; one
    // of 1200 Hz at level 75 reaches 270.
    constexpr size_t w = 441;
    auto sharp = [&s](size_t i) {
        return std::abs(int(s[i]) - 2 * int(s[i - 1]) + int(s[i - 2])) > 150;
    };
    for (size_t at = std::max(from, w); at + w <= s.size(); at += w / 2) {
        if (toneLevel(s, at, w, frequency) < 3000) {
            continue;
        }
        for (size_t i = at - w / 2; i < at + w; ++i) {
            if (sharp(i)) {
                return i;
            }
        }
        return at;
    }
    return std::nullopt;
}

size_t quietBefore(const std::vector<int16_t> &s, size_t at) {
    size_t n = 0;
    while (n < at && std::abs(s[at - 1 - n]) < 200) {
        ++n;
    }
    return n;
}

SongChangerRig::SongChangerRig(QString folder) : folder_(std::move(folder)) {
    timer_.setInterval(500);
    QObject::connect(&timer_, &QTimer::timeout, [this] { changer->Timer5Timer(); });
}

SongChangerRig::~SongChangerRig() {
    changer.reset();
}

void SongChangerRig::build(std::vector<QString> order, const QString &output) {
    songs = std::move(order);
    speechOutput = engine::KelvraSpeechOutput::bind(KELVRA_LIBRARY);
    for (TKelvraSpectrum *p : {one.get(), two.get()}) {
        p->setKelvraPath(KELVRA_LIBRARY);
        p->setQuietEndsSource([this] { return changer && changer->quietEnds(); });
        p->Init();
        p->OutputModuleRegister("dsound_output_module_register@kv_dsound_output.dll");
        if (!output.isEmpty()) {
            p->SetOutputName(output.toStdString());
        }
    }
    SongChanger::Hooks h;
    h.chooseNextSong = [this] { return next < songs.size() ? songs[next++] : QString(); };
    // Without a device name every song goes into a WAV file of its own.
    h.prepareOutput = [this, wav = output.isEmpty()](TKelvraSpectrum &p, const QString &path) {
        if (wav) {
            p.SetOutputName(
                ("wav:" + QDir(folder_).filePath(QFileInfo(path).completeBaseName() + ".wav"))
                    .toStdString());
        }
        return true;
    };
    h.showSong = [](const QString &) {};
    h.setTimer = [this](bool on) { on ? timer_.start() : timer_.stop(); };
    h.tagsOf = [](const QString &path) {
        library::TagReader tags;
        using library::TagField;
        return AnnouncedFields{
            tags.getInfo(path, TagField::Title), tags.getInfo(path, TagField::Artist),
            tags.getInfo(path, TagField::Album), tags.getInfo(path, TagField::Year)};
    };
    h.shownFields = [this, tags = h.tagsOf] { return tags(changer->currentSongFile()); };
    h.speak = [](const QString &text) { SpeakText(text); };
    h.drawDigit = [] { return 0; };
    h.songCount = [this] { return int(songs.size()); };
    h.ducksUnderSpeech = [this] { return speechOutput != nullptr; };
    h.defer = [this](std::function<void()> step) { QTimer::singleShot(0, &timer_, step); };
    changer.emplace(*one, *two, ProgramSettings(), h);
    for (TKelvraSpectrum *p : {one.get(), two.get()}) {
        QObject::connect(p, &TKelvraSpectrum::OnNotifyInputTimecode,
                         [this](TKelvraSpectrum *sender, uint8_t hh, uint8_t mm, uint8_t ss,
                                uint8_t) { changer->OnNotifyInputTimecode(sender, hh, mm, ss); });
        QObject::connect(p, &TKelvraSpectrum::OnNotifyStreamDuration,
                         [this](TKelvraSpectrum *sender, uint32_t d) {
                             changer->OnNotifyStreamDuration(sender, d);
                         });
        QObject::connect(p, &TKelvraSpectrum::OnNotifyPlayerState,
                         [this](TKelvraSpectrum *sender, int state) {
                             changer->OnNotifyPlayerState(sender, state);
                             if (state == KV_PLAYER_STATE_EOS && !changer->endOfStream(sender)) {
                                 finished = true; // nothing follows the last song
                             }
                         });
    }
}

bool SongChangerRig::play(int timeoutMs) {
    const QString first = songs[next++];
    changer->songOpened(first);
    // The current player, which a change before left at full level.
    Player *current = changer->KelvraSpectrum1();
    current->InputOpen(first.toStdString());
    current->Play();
    QElapsedTimer clock;
    clock.start();
    while (!finished && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    // Let the null sink render the tail before the recording stops.
    QElapsedTimer tail;
    tail.start();
    while (tail.elapsed() < 800) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return finished;
}

} // namespace velbrin::test

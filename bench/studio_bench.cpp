// The studio sound heard at the sink: the play modes' song changer over two
// players of the real engine, with the DJ's voice in the engine's mix,
// recorded from the private sound server's null sink.
//   studio_bench dj [csv]   a Studio cross-fade of two songs mastered at
//                           -0.1 dBFS with the DJ: clipped samples, the duck's
//                           depth and timing; `csv` gets the levels per 10 ms
//   studio_bench deadair    a song that ends in 5 s of silence, overlap 6 s:
//                           where the next song is heard against where its
//                           cross-fade should start
//   studio_bench norm       Norm without the DJ: the new song's first half
//                           second against its level a second later
// Needs PULSE_SERVER pointing at a server with a sink "null" (bench/studio_bench.sh).
#include "espeak_voice.h"
#include "settings_store.h"
#include "shared_helpers.h"
#include "sink_recorder.h"
#include "song_changer_rig.h"
#include "studio_listen.h"

#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

using namespace velbrin;

namespace {

constexpr int kOld = 330, kNew = 440; // Hz

struct Recording {
    std::vector<int16_t> left;
    double firstSound = 0; // s into the recording
};

// Plays `songs` in `mode` and records the sink.
std::optional<Recording> record(player::PlayMode mode, const std::vector<QString> &songs,
                                const QString &folder, bool dj) {
    test::SongChangerRig rig(folder);
    rig.build(songs, "/dev/dsound/0");
    rig.changer->setMode(mode);
    if (dj) {
        std::shared_ptr<platform::EspeakVoice> voice = platform::EspeakVoice::create();
        if (!voice->available())
            return std::nullopt;
        voice->setOutput(rig.speechOutput);
        SetSpeechVoice(voice);
    }
    test::SinkRecorder recorder(QDir(folder).filePath("sink.raw").toStdString());
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    const bool played = rig.play(60000);
    SetSpeechVoice(nullptr);
    if (!played)
        return std::nullopt;
    Recording r{recorder.stopAndReadLeft(), 0};
    const auto it =
        std::find_if(r.left.begin(), r.left.end(), [](int16_t v) { return std::abs(v) >= 1000; });
    r.firstSound = double(it - r.left.begin()) / test::kListenRate;
    return r;
}

int dj(const char *csv) {
    QTemporaryDir dir;
    WriteSetting("DJ-Settings", "OverlapStudio", "6");
    WriteSetting("DJ-Settings", "UseDJ", "1");
    WriteSetting("DJ-Settings", "DJ-text0", "That was %SONGTITLE% by %ARTIST%. And now, more.");
    const QString a = test::makeToneSong(dir.path(), "a", 14, kOld, "The Old Band", 0.988);
    const QString b = test::makeToneSong(dir.path(), "b", 10, kNew, "The New Band", 0.988);
    const auto r = record(player::PlayMode::Studio, {a, b}, dir.path(), true);
    if (!r) {
        std::printf("dj: not measured (no voice, or the songs did not play through)\n");
        return 1;
    }
    const auto heard = test::listen(r->left, kOld, kNew);
    const test::Duck d = test::findDuck(heard);
    std::printf("dj: clipped samples at the sink: %zu of %zu\n", test::clippedSamples(r->left),
                r->left.size());
    if (!d.found) {
        std::printf("dj: the voice was not heard\n");
        return 1;
    }
    std::printf("dj: voice heard %.2f s to %.2f s after the first song started\n",
                d.voiceFrom - r->firstSound, d.voiceTo - r->firstSound);
    std::printf("dj: music just before the voice %.2f dBFS, under it %.2f dBFS: ducked %.2f dB\n",
                d.before, d.under, d.before - d.under);
    std::printf("dj: duck down in %.0f ms (10-90 %%), first word %.0f ms after it began; back up "
                "in %.0f ms\n",
                d.attackMs, d.leadMs, d.releaseMs);
    if (csv != nullptr) {
        std::ofstream out(csv);
        out << "seconds,old,new,music,voice\n";
        for (const auto &h : heard)
            out << h.seconds - r->firstSound << ',' << h.old << ',' << h.fresh << ',' << h.music
                << ',' << h.voice << '\n';
    }
    return 0;
}

int deadAir() {
    QTemporaryDir dir;
    WriteSetting("DJ-Settings", "OverlapStudio", "6");
    WriteSetting("DJ-Settings", "MinVolumeStudio", "90");
    WriteSetting("DJ-Settings", "UseDJ", "0");
    const QString a = test::makeToneSong(dir.path(), "a", 10, kOld, "", 0.5, 5.0);
    const QString b = test::makeToneSong(dir.path(), "b", 4, 1200);
    const auto r = record(player::PlayMode::Studio, {a, b}, dir.path(), false);
    if (!r) {
        std::printf("deadair: not measured\n");
        return 1;
    }
    // The old song is heard for 10 s; its cross-fade is due 6 s before that.
    const double due = r->firstSound + 10.0 - 6.0;
    const auto onset =
        test::toneOnset(r->left, size_t((r->firstSound + 1) * test::kListenRate), 1200);
    if (!onset) {
        std::printf("deadair: the next song was not heard\n");
        return 1;
    }
    const double heardAt = double(*onset) / test::kListenRate;
    std::printf("deadair: next song heard %.3f s after the old one's audible end minus the "
                "overlap (%.2f s into the old song; without skipping it would be 9.00 s)\n",
                heardAt - due, heardAt - r->firstSound);
    return 0;
}

int norm() {
    QTemporaryDir dir;
    WriteSetting("DJ-Settings", "UseDJ", "0");
    const QString a = test::makeToneSong(dir.path(), "a", 7, kOld);
    const QString b = test::makeToneSong(dir.path(), "b", 4, 1200);
    const auto r = record(player::PlayMode::Norm, {a, b}, dir.path(), false);
    const auto onset =
        r ? test::toneOnset(r->left, size_t((r->firstSound + 1) * test::kListenRate), 1200)
          : std::nullopt;
    if (!onset) {
        std::printf("norm: not measured\n");
        return 1;
    }
    const size_t half = size_t(test::kListenRate / 2);
    const double first = test::decibels(test::toneAmplitude(r->left, *onset, half, 1200));
    const double later =
        test::decibels(test::toneAmplitude(r->left, *onset + 3 * half, half, 1200));
    std::printf("norm: new song's first half second %.2f dBFS, a second later %.2f dBFS "
                "(difference %.2f dB)\n",
                first, later, first - later);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: studio_bench dj [csv] | deadair | norm\n");
        return 2;
    }
    if (!test::soundServerReachable()) {
        std::fprintf(stderr, "studio_bench: no sound server (PULSE_SERVER)\n");
        return 1;
    }
    test::ensureCoreApplication();
    test::PrivateSettings settings;
    unsetenv("KELVRA_OUTPUT");
    if (std::strcmp(argv[1], "dj") == 0)
        return dj(argc > 2 ? argv[2] : nullptr);
    if (std::strcmp(argv[1], "deadair") == 0)
        return deadAir();
    if (std::strcmp(argv[1], "norm") == 0)
        return norm();
    std::fprintf(stderr, "studio_bench: unknown case %s\n", argv[1]);
    return 2;
}

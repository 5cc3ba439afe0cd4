// Real-world files: a generated corpus of every layer, rate, header, tag and
// kind of damage, each rendered through the engine into a WAV file and
// compared with the reference decoder's WAV of the same file. Files with no
// audio must be refused with an error text, never crash or hang a player.
#include "engine_harness.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

using namespace kelvra_test;
using namespace std::chrono_literals;

extern char **environ;

namespace {

struct Entry {
    std::string file;
    std::string kind;
    bool decodable = false;
};

// Runs a program without a shell, so no file name needs quoting.
int runProgram(std::vector<std::string> args) {
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<Entry> makeCorpus(const std::string &folder) {
    EXPECT_EQ(runProgram({KELVRA_CORPUS_SCRIPT, folder}), 0) << "corpus script failed";
    std::vector<Entry> entries;
    std::ifstream manifest(folder + "/manifest.tsv");
    std::string line;
    while (std::getline(manifest, line)) {
        std::istringstream fields(line);
        Entry e;
        std::string outcome;
        std::getline(fields, e.file, '\t');
        std::getline(fields, e.kind, '\t');
        std::getline(fields, outcome, '\t');
        e.decodable = outcome == "decode";
        entries.push_back(e);
    }
    return entries;
}

size_t largestDifference(const std::vector<int16_t> &a, const std::vector<int16_t> &b) {
    size_t worst = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        worst = std::max<size_t>(worst, static_cast<size_t>(std::abs(a[i] - b[i])));
    return worst;
}

} // namespace

TEST(KelvraCorpus, EveryFileDecodesAsTheReferenceDoesOrIsRefused) {
    const std::string folder = Media::get().path("corpus");
    const std::vector<Entry> entries = makeCorpus(folder);
    ASSERT_GT(entries.size(), 100u);
    std::map<std::string, std::pair<int, int>> perKind; // passed, files
    int decoded = 0;
    int refused = 0;
    for (const Entry &e : entries) {
        SCOPED_TRACE(e.file);
        const std::string mp3 = folder + "/" + e.file;
        const std::string wav = Media::get().path("corpus-out.wav");
        const std::string ref = Media::get().path("corpus-ref.wav");
        std::remove(ref.c_str());
        const int refStatus = runProgram({"mpg123", "-q", "-w", ref, mp3});
        const auto expected = readWav(ref);
        const bool referenceDecodes = refStatus == 0 && expected && !expected->samples.empty();
        ASSERT_EQ(referenceDecodes, e.decodable) << "the corpus script mislabels this file";
        ++perKind[e.kind].second;

        TestPlayer p;
        p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + wav);
        p.S(KV_CMD_INPUT_OPEN, mp3);
        const auto answer = p.waitFor(
            [](const Event &ev) {
                return ev.msg.Code == KV_NOTIFY_STREAM_DURATION ||
                       (ev.msg.Code == KV_NOTIFY_NACK &&
                        ev.msg.Data.Nack.Command == KV_CMD_INPUT_OPEN);
            },
            30s);
        ASSERT_TRUE(answer) << "no answer to InputOpen";
        if (!e.decodable) {
            EXPECT_EQ(answer->msg.Code, KV_NOTIFY_NACK) << "a file without audio was opened";
            const auto error = p.waitForCode(KV_NOTIFY_ERROR, 5s);
            ASSERT_TRUE(error) << "refused without an error text";
            EXPECT_NE(error->text1.find(e.file), std::string::npos) << error->text1;
            if (answer->msg.Code == KV_NOTIFY_NACK && error) {
                ++refused;
                ++perKind[e.kind].first;
            }
            continue;
        }
        ASSERT_EQ(answer->msg.Code, KV_NOTIFY_STREAM_DURATION) << "refused a decodable file";
        ASSERT_TRUE(p.playToEnd(60s)) << "no end of stream";
        p.destroy();
        const auto written = readWav(wav);
        ASSERT_TRUE(written) << "no WAV written";
        EXPECT_EQ(written->rate, expected->rate);
        EXPECT_EQ(written->channels, expected->channels);
        EXPECT_EQ(written->samples.size() / written->channels,
                  expected->samples.size() / expected->channels)
            << "frames differ from the reference";
        const size_t worst = largestDifference(written->samples, expected->samples);
        EXPECT_LE(worst, 2u) << "samples differ from the reference";
        if (written->rate == expected->rate && written->channels == expected->channels &&
            written->samples.size() == expected->samples.size() && worst <= 2) {
            ++decoded;
            ++perKind[e.kind].first;
        }
    }
    std::cout << "corpus: " << entries.size() << " files, " << decoded
              << " decoded as the reference, " << refused << " refused\n";
    for (const auto &[kind, counts] : perKind)
        std::cout << "  " << kind << ": " << counts.first << " of " << counts.second
                  << " as expected\n";
}

// A render killed outright (SIGKILL, no chance to close the file) leaves a
// valid WAV file that holds at least the audio written up to a second before
// the kill. The render runs in a child process: this test binary started
// again in the child role.
#include "engine_harness.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <thread>

using namespace kelvra_test;
using namespace std::chrono_literals;

extern char **environ;

namespace {

constexpr const char *kRoleVariable = "KELVRA_TEST_RENDER";

long fileSize(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

} // namespace

// The child: renders the song named in the environment until it is killed.
TEST(KelvraWavCrash, ChildRender) {
    const char *role = std::getenv(kRoleVariable);
    if (role == nullptr)
        GTEST_SKIP() << "runs only as the child of KilledRenderLeavesAValidFile";
    const std::string mp3 = role;
    TestPlayer p;
    p.S(KV_CMD_SET_OUTPUT_NAME, "wav:" + mp3 + ".wav");
    p.S(KV_CMD_INPUT_OPEN, mp3);
    p.playToEnd(10min);
}

TEST(KelvraWavCrash, KilledRenderLeavesAValidFile) {
    // Three hours of one short CBR song joined end to end: a render that
    // lasts seconds even at decoding speed.
    const std::string song = Media::get().tone("crash-part.mp3", 10.0, 22050, 1, 440, "-t -b 32");
    const std::string mp3 = Media::get().path("crash-long.mp3");
    ASSERT_TRUE(Media::run("for i in $(seq 1080); do cat '" + song + "'; done > '" + mp3 + "'"));
    const std::string wav = mp3 + ".wav";

    const std::string variable = std::string(kRoleVariable) + "=" + mp3;
    std::vector<char *> env;
    env.push_back(const_cast<char *>(variable.c_str()));
    for (char **e = environ; *e != nullptr; ++e)
        env.push_back(*e);
    env.push_back(nullptr);
    std::string self = "/proc/self/exe";
    std::string filter = "--gtest_filter=KelvraWavCrash.ChildRender";
    char *argv[] = {self.data(), filter.data(), nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, env.data()), 0);

    // Sizes of the file as the render goes, to know what was on disk a
    // second before the kill.
    std::vector<std::pair<std::chrono::steady_clock::time_point, long>> sizes;
    std::optional<std::chrono::steady_clock::time_point> appeared;
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto now = std::chrono::steady_clock::now();
        const long size = fileSize(wav);
        if (size > 44 && !appeared)
            appeared = now;
        sizes.emplace_back(now, size);
        // A quiet machine renders the whole song in about three seconds, so
        // the kill comes well before that.
        if (appeared && now - *appeared >= 1500ms)
            break;
        ASSERT_EQ(waitpid(child, &status, WNOHANG), 0) << "the render ended before the kill";
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(appeared) << "the render never wrote";
    const auto killedAt = std::chrono::steady_clock::now();
    ASSERT_EQ(kill(child, SIGKILL), 0);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    long onDiskSecondBefore = 0;
    for (const auto &[when, size] : sizes)
        if (when <= killedAt - 1s)
            onDiskSecondBefore = std::max(onDiskSecondBefore, size);
    ASSERT_GT(onDiskSecondBefore, 44);
    const auto written = readWav(wav);
    ASSERT_TRUE(written) << "no valid WAV header after the kill";
    EXPECT_EQ(written->rate, 22050u);
    EXPECT_EQ(written->channels, 1);
    EXPECT_EQ(written->declaredRiffBytes, written->declaredDataBytes + 36);
    EXPECT_LE(written->declaredDataBytes + 44, written->fileBytes) << "declares missing audio";
    EXPECT_GE(written->declaredDataBytes + 44, static_cast<size_t>(onDiskSecondBefore))
        << "the header lags more than a second behind the audio";
    EXPECT_GT(rms(written->samples.data(), written->samples.size()), 1000.0) << "not the song";
    std::remove(wav.c_str());
}

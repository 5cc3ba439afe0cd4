#pragma once

// A PulseAudio of the test's own, with a null sink named "null", on a socket
// in the test's folder: it can be killed and started again on the same socket
// as a user's sound server restarts, without touching the server other tests
// share.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace velbrin::test {

class PrivateSoundServer {
public:
    explicit PrivateSoundServer(std::string folder) : folder_(std::move(folder)) {
        for (const char *sub : {"/home", "/run"}) {
            std::filesystem::create_directories(folder_ + sub);
            chmod((folder_ + sub).c_str(), 0700);
        }
    }
    ~PrivateSoundServer() { kill(SIGTERM); }
    PrivateSoundServer(const PrivateSoundServer &) = delete;
    PrivateSoundServer &operator=(const PrivateSoundServer &) = delete;

    static bool installed() { return std::system("command -v pulseaudio >/dev/null 2>&1") == 0; }
    std::string address() const { return "unix:" + folder_ + "/native"; }

    // Starts the server and waits until it answers; false if it does not.
    bool start() {
        pid_ = fork();
        if (pid_ == 0) {
            // It dies with the test, and never holds the test's output open
            // for whoever waits for its end.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int null = open("/dev/null", O_RDWR);
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            setenv("HOME", (folder_ + "/home").c_str(), 1);
            setenv("XDG_RUNTIME_DIR", (folder_ + "/run").c_str(), 1);
            const std::string socket = "module-native-protocol-unix socket=" + folder_ + "/native";
            const std::string log = "file:" + folder_ + "/pa.log";
            execlp("pulseaudio", "pulseaudio", "--daemonize=no", "--exit-idle-time=-1",
                   "--disallow-exit", "-n",
                   "--load=module-null-sink sink_name=null rate=44100 channels=2",
                   ("--load=" + socket).c_str(), ("--log-target=" + log).c_str(),
                   static_cast<char *>(nullptr));
            _exit(127);
        }
        const std::string probe = "pactl -s " + address() + " info >/dev/null 2>&1";
        for (int i = 0; i < 100; ++i) {
            if (std::system(probe.c_str()) == 0) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // SIGKILL ends it as a crash does, with nothing said to its clients.
    void kill(int signal = SIGKILL) {
        if (pid_ > 0) {
            ::kill(pid_, signal);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    std::string folder_;
    pid_t pid_ = -1;
};

} // namespace velbrin::test

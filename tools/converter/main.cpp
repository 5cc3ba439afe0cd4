// Dresko: converts a WAV file into an MP3 or an MP3 into a WAV file, chosen
// by the input's extension.

#include "converter.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string lowerExtension(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

int usage() {
    std::fputs("usage: Dresko [-b KBPS] INPUT.wav OUTPUT.mp3\n"
               "       Dresko INPUT.mp3 OUTPUT.wav\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    int bitrate = 192;
    int first = 1;
    if (argc > 2 && std::string(argv[1]) == "-b") {
        bitrate = std::atoi(argv[2]);
        first = 3;
    }
    if (argc - first != 2 || bitrate <= 0)
        return usage();
    const std::string in = argv[first];
    const std::string out = argv[first + 1];
    std::string error;
    const std::string ext = lowerExtension(in);
    if (ext == ".wav") {
        error = velbrin::tools::wavToMp3(in, out, bitrate);
    } else if (ext == ".mp3" || ext == ".mp2" || ext == ".mp1") {
        error = velbrin::tools::mp3ToWav(in, out);
    } else {
        return usage();
    }
    if (!error.empty()) {
        std::fprintf(stderr, "Dresko: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

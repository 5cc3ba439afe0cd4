// A stand-in for the player until its main window exists: binds the engine
// through the engine component, reports its version, optionally plays the
// first file given for a few seconds, and exits.
#include "KelvraSpectrum.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>

#include <cstdio>

using velbrin::engine::EKelvraException;
using velbrin::engine::TKelvraSpectrum;

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    std::string enginePath = "kelvra.dll";
    if (args.size() >= 2 && args.front() == QLatin1String("--engine")) {
        enginePath = args.at(1).toStdString();
        args = args.mid(2);
    }

    TKelvraSpectrum player;
    player.setKelvraPath(enginePath);
    player.setPriority(4);
    try {
        player.Init();
        const uint32_t v = player.GetVersion(KV_VERSION_INDEX_API);
        std::printf("Engine %s: API %u.%u (version word 0x%08X)\n", enginePath.c_str(),
                    (v >> 16) & 255u, (v >> 8) & 255u, v);
        if (args.isEmpty()) {
            return 0;
        }
        player.OnNotifyStreamDuration = [](TKelvraSpectrum *, uint32_t d) {
            std::printf("Duration: %02u:%02u:%02u\n", d / 3600, d / 60 % 60, d % 60);
        };
        player.OnNotifyPlayerState = [](TKelvraSpectrum *, int state) {
            static const char *names[] = {"Stopped", "Playing", "Paused", "End of song"};
            std::printf("%s\n", state >= 0 && state < 4 ? names[state] : "?");
            if (state == KV_PLAYER_STATE_EOS) {
                QCoreApplication::quit();
            }
        };
        player.OnNotifyNack = [&player](TKelvraSpectrum *, uint8_t command, int16_t code) {
            std::printf("Refused command %u: %s\n", command, player.ErrorString(code).c_str());
            QCoreApplication::exit(1);
        };
        player.OutputModuleRegister("dsound_output_module_register@kv_dsound_output.dll");
        player.SetOutputName("/dev/dsound/0");
        player.InputOpen(args.front().toLocal8Bit().toStdString());
        player.Play();
        QTimer::singleShot(5000, &app, &QCoreApplication::quit);
        const int status = app.exec();
        player.Stop();
        return status;
    } catch (const EKelvraException &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

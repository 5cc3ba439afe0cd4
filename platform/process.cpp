#include "process.h"

#include <QProcess>

namespace velbrin::platform {

int runAndWait(const QString &program, const QStringList &arguments, WindowShowMode showMode) {
    Q_UNUSED(showMode);
    if (program.isEmpty())
        return 0;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        return 0;
    process.waitForFinished(-1);
    if (process.exitStatus() == QProcess::CrashExit) {
        // On Unix QProcess reports the terminating signal as the exit code.
        return 128 + process.exitCode();
    }
    return process.exitCode();
}

} // namespace velbrin::platform

// Program start: creates the windows in their fixed order and runs the message loop.
#include "Application.h"
#include "InstanceService.h"
#include "MprisService.h"
#include "PlayerForm.h"
#include "ProgramWindows.h"
#include "TCdform.h"
#include "espeak_voice.h"
#include "hidden_window.h"
#include "launch_request.h"
#include "mpris_state.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <cstdio>

using velbrin::player::InstanceService;
using velbrin::player::LaunchRequest;
using velbrin::player::TPlayerForm;

namespace {

// Support hooks for scripted runs (see the README): a screenshot of the main
// window after a delay, and an orderly close after a time.
void installRunHooks(TPlayerForm &form) {
    const QString screenshot = qEnvironmentVariable("VELBRIN_SCREENSHOT");
    if (!screenshot.isEmpty()) {
        bool ok = false;
        int delay = qEnvironmentVariableIntValue("VELBRIN_SCREENSHOT_DELAY", &ok);
        QTimer::singleShot(ok ? delay : 3000, &form, [&form, screenshot] {
            if (form.grab().save(screenshot)) {
                std::printf("Screenshot saved to %s\n", qPrintable(screenshot));
            } else {
                std::fprintf(stderr, "Could not save the screenshot to %s\n",
                             qPrintable(screenshot));
            }
        });
    }
    if (qEnvironmentVariableIsSet("VELBRIN_REPORT_SHOWN")) {
        // The first turn of the event loop after show() has painted the window.
        QTimer::singleShot(0, &form, [] {
            std::printf("shown-at-ms %lld\n",
                        static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
            std::fflush(stdout);
        });
    }
    bool ok = false;
    const int quitAfter = qEnvironmentVariableIntValue("VELBRIN_QUIT_AFTER", &ok);
    if (ok && quitAfter > 0) {
        QTimer::singleShot(quitAfter, &form, &QWidget::close);
    }
}

// Help, the version and a wrong option are answered before Qt starts, so
// they work without a display.
int answerWithoutWindow(int argc, char **argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const LaunchRequest r = velbrin::player::parseLaunch(arguments);
    if (!r.badOption.isEmpty()) {
        std::fprintf(stderr, "velbrin: unknown option %s\n%s", qPrintable(r.badOption),
                     qPrintable(velbrin::player::usageText()));
        return 2;
    }
    if (r.help || r.version) {
        std::fputs(
            qPrintable(r.help ? velbrin::player::usageText() : velbrin::player::versionText()),
            stdout);
        return 0;
    }
    return -1;
}

} // namespace

int main(int argc, char **argv) {
    if (const int status = answerWithoutWindow(argc, argv); status >= 0) {
        return status;
    }
    // On X11 the window's updates are small (a title strip, the spectrum's
    // bars) and many; sent over the connection they need no shared-memory
    // completion event, which would wake the program once more for each.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) {
        qputenv("QT_XCB_NO_MITSHM", "1");
    }
    velbrin::player::Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velbrin"));
    QApplication::setOrganizationName(QStringLiteral("Odalrin"));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(velbrin::player::mpris::kDesktopEntry));

    // A player already running on the session bus takes this start's request,
    // and this start ends; without a bus every start is a player of its own.
    const QStringList arguments = QApplication::arguments().mid(1);
    LaunchRequest launch = velbrin::player::parseLaunch(arguments);
    InstanceService instance;
    if (velbrin::player::MprisService::sessionBusOffered()) {
        const QDBusConnection bus = QDBusConnection::sessionBus();
        if (!instance.claim(bus) && !launch.newInstance &&
            InstanceService::handOver(
                bus, velbrin::player::parseLaunch(arguments, QDir::currentPath()))) {
            return 0;
        }
    }
    QApplication::setQuitOnLastWindowClosed(false);
    // An error escaping a notification handler is shown, never fatal, once
    // that handler has returned.
    velbrin::platform::HiddenWindow::setErrorReporter([&app](const char *what) {
        QMetaObject::invokeMethod(
            &app,
            [text = QString::fromLocal8Bit(what)] {
                QMessageBox::critical(nullptr, QStringLiteral("Error"), text);
            },
            Qt::QueuedConnection);
    });

    TPlayerForm::Options options;
    const QByteArray engine = qgetenv("VELBRIN_ENGINE");
    if (!engine.isEmpty()) {
        options.enginePath = engine.toStdString();
    }
    options.arguments = QStringList{QApplication::applicationFilePath()} + launch.entries;

    velbrin::player::ProgramWindows windows = velbrin::player::createProgramWindows(
        options,
        std::shared_ptr<velbrin::platform::SpeechVoice>(velbrin::platform::EspeakVoice::create()));
    TPlayerForm &form = *windows.form;
    form.adjustSize();
    form.setFixedSize(form.sizeHint());
    if (QScreen *screen = QApplication::primaryScreen()) {
        form.move(screen->availableGeometry().center() - form.rect().center());
    }
    installRunHooks(form);
    form.show();
    form.activateWindow();
    // Scripted runs (README): the CD player shown from the start.
    if (qEnvironmentVariableIsSet("VELBRIN_SHOW_CD")) {
        windows.cdForm->showCdPlayer();
    }
    // This start's own drives and action, and any request handed over
    // meanwhile, once the command line's songs are in the list.
    launch.entries.clear();
    QObject::connect(
        &form, &TPlayerForm::commandLineProcessed, &instance,
        [&instance, &windows, launch] {
            instance.setHooks(velbrin::player::launchHooks(windows));
            instance.deliver(launch, false);
        },
        Qt::SingleShotConnection);
    return QApplication::exec();
}

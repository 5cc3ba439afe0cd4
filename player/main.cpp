// Program start: creates the windows in their fixed order and runs the message loop.
#include "Application.h"
#include "PlayerForm.h"
#include "ProgramWindows.h"
#include "TCdform.h"
#include "espeak_voice.h"
#include "hidden_window.h"

#include <QApplication>
#include <QDateTime>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <cstdio>

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

} // namespace

int main(int argc, char **argv) {
    // On X11 the window's updates are small (a title strip, the spectrum's
    // bars) and many; sent over the connection they need no shared-memory
    // completion event, which would wake the program once more for each.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) {
        qputenv("QT_XCB_NO_MITSHM", "1");
    }
    velbrin::player::Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velbrin"));
    QApplication::setOrganizationName(QStringLiteral("Odalrin"));
    QApplication::setQuitOnLastWindowClosed(false);
    // An error escaping a notification handler is shown, never fatal.
    velbrin::platform::HiddenWindow::setErrorReporter([](const char *what) {
        QMessageBox::critical(nullptr, QStringLiteral("Error"), QString::fromLocal8Bit(what));
    });

    TPlayerForm::Options options;
    const QByteArray engine = qgetenv("VELBRIN_ENGINE");
    if (!engine.isEmpty()) {
        options.enginePath = engine.toStdString();
    }
    options.arguments = QApplication::arguments();

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
    return QApplication::exec();
}

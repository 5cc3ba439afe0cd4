#pragma once

#include <QApplication>

#include <functional>

namespace velbrin::player {

// The program's application object. An error that escapes a handler is shown
// to the user and the program goes on, as the toolkit's default error report
// does; an exception must never unwind through Qt's event loop.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int &argc, char **argv);

    using ErrorReport = std::function<void(const QString &text)>;
    // The default shows a modal error box.
    void setErrorReport(ErrorReport report) { report_ = std::move(report); }

    bool notify(QObject *receiver, QEvent *event) override;

private:
    ErrorReport report_;
};

} // namespace velbrin::player

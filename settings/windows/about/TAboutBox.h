#pragma once

#include <QDialog>
#include <QString>

namespace velbrin::player {

// The about box shows this machine's memory and operating system.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);
};

// Memory sizes in kilobytes with the locale's thousands separators, e.g. "2,097,152 KB".
QString kilobytesText(qulonglong kilobytes);
// "Linux 6.1 (Build 0: -18-amd64)" style line from a kernel release text.
QString operatingSystemLine(const QString &systemName, const QString &release);

} // namespace velbrin::player

#include "TAboutBox.h"

#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>

#include <sys/utsname.h>

namespace velbrin::player {

QString kilobytesText(qulonglong kilobytes) {
    QLocale locale;
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return locale.toString(kilobytes) + QStringLiteral(" KB");
}

QString operatingSystemLine(const QString &systemName, const QString &release) {
    static const QRegularExpression numbers(QStringLiteral("^(\\d+)\\.(\\d+)(?:\\.(\\d+))?(.*)$"));
    const auto m = numbers.match(release);
    if (!m.hasMatch()) {
        return systemName;
    }
    const QString extra = m.captured(4);
    const int build = m.captured(3).toInt();
    if (!extra.isEmpty()) {
        return QStringLiteral("%1 %2.%3 (Build %4: %5)")
            .arg(systemName, m.captured(1), m.captured(2))
            .arg(build)
            .arg(extra);
    }
    return QStringLiteral("%1 %2.%3 (Build %4)")
        .arg(systemName, m.captured(1), m.captured(2))
        .arg(build);
}

namespace {
// Total and available physical memory in kilobytes, from the kernel's report.
std::pair<qulonglong, qulonglong> memoryKilobytes() {
    QFile f(QStringLiteral("/proc/meminfo"));
    qulonglong total = 0;
    qulonglong available = 0;
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QList<QByteArray> parts = line.simplified().split(' ');
            if (parts.size() >= 2 && parts[0] == "MemTotal:") {
                total = parts[1].toULongLong();
            } else if (parts.size() >= 2 && parts[0] == "MemAvailable:") {
                available = parts[1].toULongLong();
            }
        }
    }
    return {total, available};
}
} // namespace

TAboutBox::TAboutBox(QWidget *parent) : QDialog(parent, Qt::Tool) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About MP3 player"));
    auto *layout = new QGridLayout(this);
    auto add = [&](const char *name, const QString &text, int row, int column) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setTextFormat(Qt::PlainText);
        layout->addWidget(l, row, column);
        return l;
    };
    add("ProductText", QStringLiteral("MP3 player for Linux"), 0, 0);
    add("ProductName", QStringLiteral("Velbrin"), 1, 0);
    add("Version", QStringLiteral("ver: 5.10.0"), 2, 0);
    const auto [total, available] = memoryKilobytes();
    add("PhysMemCaption", QStringLiteral("Physical Memory Available to Linux:"), 3, 0);
    add("PhysMem", kilobytesText(total), 3, 1);
    add("FreeResCaption", QStringLiteral("Physical Memory Available to MP3:"), 4, 0);
    add("FreeRes", kilobytesText(available), 4, 1);
    utsname u{};
    QString os = QStringLiteral("Linux");
    if (uname(&u) == 0) {
        os = operatingSystemLine(QString::fromLocal8Bit(u.sysname),
                                 QString::fromLocal8Bit(u.release));
    }
    add("OS", os, 5, 0);
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 6, 1);
}

} // namespace velbrin::player

// A second process for the store's tests: writes values through WriteSetting
// in a loop. Value i is written under name <prefix><i % keys> and reads
// "<prefix>-<i, six digits>" padded with dots to <length> characters.
//
//   velbrin_settings_writer <section> <prefix> <count> <keys> <length>
//
// A count of 0 writes until the process is killed. Exits with 1 as soon as a
// write reports failure.
#include "settings_store.h"

#include <QCoreApplication>
#include <QString>

#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6) {
        std::fprintf(stderr, "usage: %s section prefix count keys length\n", argv[0]);
        return 2;
    }
    const QString section = args[1];
    const QString prefix = args[2];
    const long long count = args[3].toLongLong();
    const int keys = args[4].toInt();
    const int length = args[5].toInt();
    if (keys <= 0 || length <= 0)
        return 2;
    for (long long i = 0; count == 0 || i < count; ++i) {
        const QString value = QStringLiteral("%1-%2").arg(prefix).arg(i, 6, 10, QChar(u'0'));
        const QString name = prefix + QString::number(i % keys);
        if (!velbrin::WriteSetting(section, name, value.leftJustified(length, QChar(u'.'))))
            return 1;
    }
    return 0;
}

#pragma once

// Songs tagged by the taggers real collections come from (lame, id3v2,
// mutagen, ffmpeg), made by the tests themselves in a folder of the process.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velbrin::library::test {

class TaggedMedia {
public:
    static TaggedMedia &get() {
        static TaggedMedia media;
        return media;
    }

    QString path(const QString &name) const { return dir_.filePath(name); }

    // Runs a program with its arguments (no shell, so any text passes as it
    // is); true on exit status 0.
    static bool run(const QString &program, const QStringList &arguments) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(program, arguments);
        return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    }
    // Python with mutagen; `script` sees the file as `f`.
    static bool mutagen(const QString &file, const QString &script) {
        return run(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral("-c"), QStringLiteral("f = %1\n").arg(quoted(file)) + script});
    }

    // A second of quiet tone, the source of every song.
    QString wav() const { return path(QStringLiteral("source.wav")); }

    // An untagged copy of the base song under `name`.
    QString untagged(const QString &name) const {
        const QString target = path(name);
        QFile::remove(target);
        EXPECT_TRUE(QFile::copy(path(QStringLiteral("base.mp3")), target));
        return target;
    }

    // The song encoded by lame with the given tag options.
    QString lame(const QString &name, const QStringList &options) const {
        const QString target = path(name);
        EXPECT_TRUE(
            run(QStringLiteral("lame"), QStringList{QStringLiteral("--quiet"), QStringLiteral("-b"),
                                                    QStringLiteral("128")} +
                                            options + QStringList{wav(), target}))
            << name.toStdString();
        return target;
    }

private:
    TaggedMedia() {
        EXPECT_TRUE(run(QStringLiteral("sox"),
                        {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                         QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-b"),
                         QStringLiteral("16"), wav(), QStringLiteral("synth"), QStringLiteral("1"),
                         QStringLiteral("sine"), QStringLiteral("440"), QStringLiteral("vol"),
                         QStringLiteral("0.3")}));
        lame(QStringLiteral("base.mp3"), {QStringLiteral("-t")});
    }
    static QString quoted(const QString &text) {
        QString q = text;
        q.replace(QLatin1String("\\"), QLatin1String("\\\\"))
            .replace(QLatin1String("'"), QLatin1String("\\'"));
        return QLatin1Char('\'') + q + QLatin1Char('\'');
    }
    QTemporaryDir dir_;
};

} // namespace velbrin::library::test

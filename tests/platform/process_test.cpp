#include "process.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velbrin::platform;

namespace {

class PlatformProcess : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QString at(const QString &relative) const { return dir_.filePath(relative); }

    // Writes an executable shell script.
    QString script(const QString &relative, const QByteArray &body) const {
        const QString path = at(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + body);
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    QByteArray contents(const QString &relative) const {
        QFile file(at(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir_;
};

TEST_F(PlatformProcess, ArgumentsArriveExactlyAndNothingElseRuns) {
    const QString out = at("args.txt");
    // Were the path split at its blank, this program would run instead.
    script("dir", "touch '" + QFile::encodeName(at("decoy-ran")) + "'\n");
    const QString program =
        script("dir with blanks/the program", "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" +
                                                  QFile::encodeName(out) + "'; done\n");
    const QStringList arguments = {
        "plain",           "with blanks",    "; touch pwned1",
        "$(touch pwned2)", "`touch pwned3`", "a | b && c > d < e * ? ~ # 'q' \"dq\" \\",
    };

    EXPECT_EQ(runAndWait(program, arguments), 0);
    EXPECT_EQ(contents("args.txt"), arguments.join(u'\n').toUtf8() + "\n");
    EXPECT_FALSE(QFileInfo::exists(at("decoy-ran")));
    const QStringList strays = QDir(dir_.path()).entryList({"pwned*", "d", "e"});
    EXPECT_TRUE(strays.isEmpty()) << strays.join(u' ').toStdString();
    EXPECT_FALSE(QFileInfo::exists(QDir::current().filePath("pwned1")));
}

TEST_F(PlatformProcess, ExitCodeIsReturned) {
    EXPECT_EQ(runAndWait(script("seven", "exit 7\n"), {}), 7);
    EXPECT_EQ(runAndWait(script("zero", "exit 0\n"), {}), 0);
}

TEST_F(PlatformProcess, ProgramEndedByASignalDoesNotReadAsSuccess) {
    EXPECT_EQ(runAndWait(script("killed", "kill -KILL $$\n"), {}), 128 + 9);
}

TEST_F(PlatformProcess, ProgramThatCannotStartGivesZero) {
    EXPECT_EQ(runAndWait(at("no such program"), {"x"}), 0);
    EXPECT_EQ(runAndWait(QString(), {}), 0);
    EXPECT_EQ(runAndWait(dir_.path(), {}), 0) << "a folder";
    QFile plain(at("not executable"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.write("#!/bin/sh\nexit 3\n");
    plain.close();
    EXPECT_EQ(runAndWait(at("not executable"), {}), 0);
}

TEST_F(PlatformProcess, ChildSharesFolderAndEnvironmentAndReadsNoInput) {
    qputenv("VELBRIN_PROCESS_PROBE", "inherited value");
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    // `cat` without arguments reads its input until the end: it would wait
    // forever on an input that stays open.
    const int code = runAndWait(
        script("probe", "pwd > where.txt\nprintf '%s' \"$VELBRIN_PROBE_X$VELBRIN_PROCESS_PROBE\" "
                        "> env.txt\ncat > input.txt\nexit 5\n"),
        {});
    QDir::setCurrent(saved);
    qunsetenv("VELBRIN_PROCESS_PROBE");

    EXPECT_EQ(code, 5);
    EXPECT_EQ(QFileInfo(QString::fromUtf8(contents("where.txt").trimmed())).canonicalFilePath(),
              QFileInfo(dir_.path()).canonicalFilePath());
    EXPECT_EQ(contents("env.txt"), "inherited value");
    EXPECT_EQ(contents("input.txt"), "");
}

} // namespace

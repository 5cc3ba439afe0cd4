#pragma once

#include "library_test_support.h"
#include "tag_encoding.h"

#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

namespace velbrin::library::test {

// A fresh settings file and the Latin-1 default for every test.
class TagWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("VELBRIN_SETTINGS", dir.filePath("velbrin.ini").toLocal8Bit());
        setTagEncoding(TagEncoding::Latin1);
    }
    void TearDown() override {
        qunsetenv("VELBRIN_SETTINGS");
        setTagEncoding(TagEncoding::Latin1);
    }
    QString path(const QString &name) const { return dir.filePath(name); }

    QTemporaryDir dir;
};

// Runs `action` and closes the message box it shows; returns the box's text
// (empty when none appeared).
inline QString messageOf(const std::function<void()> &action) {
    QString text;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            text = box->text();
            box->accept();
            poll.stop();
        }
    });
    poll.start();
    action();
    return text;
}

} // namespace velbrin::library::test

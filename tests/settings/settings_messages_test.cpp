// The message helpers on Qt's offscreen platform: a timer closes each box the
// way a user would and records what it showed.
#include "message_helpers.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using namespace velbrin;

namespace {

struct ShownBox {
    bool seen = false;
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    Qt::TextFormat format = Qt::AutoText;
};

// Arms a timer that finds the modal box, records it and presses OK.
void closeNextBox(ShownBox &shown) {
    QTimer::singleShot(0, [&shown] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        shown.seen = true;
        shown.caption = box->windowTitle();
        shown.text = box->text();
        shown.icon = box->icon();
        shown.buttons = box->standardButtons();
        shown.format = box->textFormat();
        box->button(QMessageBox::Ok)->click();
    });
}

TEST(SettingsMessages, InformationBoxHasItsCaptionWarningIconAndOk) {
    ShownBox shown;
    closeNextBox(shown);
    ShowInformation(QStringLiteral("Playlist saved to <b>C:\\list.lst</b>"));
    ASSERT_TRUE(shown.seen);
    EXPECT_EQ(shown.caption, QStringLiteral("Information"));
    EXPECT_EQ(shown.text, QStringLiteral("Playlist saved to <b>C:\\list.lst</b>"));
    EXPECT_EQ(shown.icon, QMessageBox::Warning);
    EXPECT_EQ(shown.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(shown.format, Qt::PlainText) << "texts from files must not be read as markup";
}

TEST(SettingsMessages, EngineErrorBoxShowsTheComposedMessageWithAnErrorIcon) {
    ShownBox shown;
    closeNextBox(shown);
    ShowEngineError(QStringLiteral("Cannot Play Stream"), 12,
                    [](int code) { return QStringLiteral("Device busy %1").arg(code); });
    ASSERT_TRUE(shown.seen);
    EXPECT_EQ(shown.text, QStringLiteral("Cannot Play Stream (Device busy 12)"));
    EXPECT_EQ(shown.icon, QMessageBox::Critical);
    EXPECT_EQ(shown.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

} // namespace

int main(int argc, char **argv) {
    // Test discovery runs this without the test's environment.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The Qt platform's message boxes: which window they stand over.
#include "platform/qt_platform.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

namespace tw {
namespace {

// Shows a message and reports the window its box belonged to.
QWidget* ownerOfMessage(QtPlatform& platform)
{
    QWidget* owner = nullptr;
    QTimer::singleShot(0, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            owner = box->parentWidget() ? box->parentWidget()->window() : nullptr;
            static_cast<QMessageBox*>(box)->accept();
        }
    });
    platform.showMessage("text", "Finish");
    return owner;
}

TEST(QtPlatformMessages, StandOverTheActiveWindowElseTheDialogParent)
{
    QWidget main, other;
    main.setObjectName("main");
    other.setObjectName("other");
    QtPlatform platform;
    platform.setDialogParent(&main);
    main.show();
    other.show();

    QApplication::setActiveWindow(&other);
    if (QApplication::activeWindow() != &other)
        GTEST_SKIP() << "this platform plugin does not activate windows";
    EXPECT_EQ(ownerOfMessage(platform), &other);

    other.hide();
    QApplication::setActiveWindow(nullptr);
    if (QApplication::activeWindow() == nullptr) {
        EXPECT_EQ(ownerOfMessage(platform), &main);
    }
}

TEST(QtPlatformMessages, DialogsAndMessagesStandAboveStayOnTopWindows)
{
    QWidget main;
    QtPlatform platform;
    platform.setDialogParent(&main);
    main.show();
    struct Row {
        const char* what;
        std::function<void()> ask;
    };
    const Row rows[] = {
        {"message", [&] { platform.showMessage("text", "Error"); }},
        {"confirmation", [&] { platform.confirm("text", "Caution"); }},
        {"open dialog", [&] { platform.openFileDialog(nullptr, FileDialogRequest{}); }},
        {"save dialog", [&] { platform.saveFileDialog(nullptr, FileDialogRequest{}); }},
        {"colour dialog", [&] { platform.colorDialog(nullptr, Qt::black); }},
    };
    for (const Row& row : rows) {
        bool shown = false, onTop = false;
        QTimer::singleShot(0, [&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                shown = true;
                onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
                box->close();
            }
        });
        row.ask();
        ASSERT_TRUE(shown) << row.what;
        EXPECT_TRUE(onTop) << row.what;
    }
}

} // namespace
} // namespace tw

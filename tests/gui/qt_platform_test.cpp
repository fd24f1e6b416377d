// The Qt platform's message boxes and file dialogs, driven for real on the
// offscreen platform: which window a message stands over, and the folder a
// file dialog opens in (the one last used for the same purpose, in this run
// or an earlier one).
#include "platform/qt_platform.h"
#include "platform/qt_settings.h"
#include "test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <filesystem>
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
        {"unsaved-changes question", [&] { platform.askSaveChanges("Save changes to p.tw6?"); }},
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


// Answers the next file dialog: notes the folder it opened in, then picks
// file (or cancels when it is empty).
class DialogAnswer : public QObject {
public:
    explicit DialogAnswer(QString file) : file_(std::move(file))
    {
        QTimer::singleShot(0, this, [this] { answer(); });
    }
    QString openedIn;
    bool answered = false;

private:
    void answer()
    {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            // The dialog is not up yet; look again shortly.
            QTimer::singleShot(10, this, [this] { answer(); });
            return;
        }
        openedIn = dialog->directory().absolutePath();
        answered = true;
        if (file_.isEmpty()) {
            QTest::keyClick(dialog, Qt::Key_Escape);
            return;
        }
        // Put into the name field and confirmed with Enter. (Typing it key by
        // key would open the field's completion list, which takes the Enter.)
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(file_);
        QTest::keyClick(name, Qt::Key_Return);
        // A dialog that did not take the answer would wait for ever.
        QTimer::singleShot(3000, this, [d = QPointer<QFileDialog>(dialog)] {
            if (d && d->isVisible()) {
                ADD_FAILURE() << "the dialog did not accept the answer";
                d->reject();
            }
        });
    }
    QString file_;
};

class QtPlatformTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProgramSettings().clear();
        dir_ = test::scratchDir("dialogs");
        for (const char* name : {"start", "first", "second"})
            std::filesystem::create_directories(dir_ / name);
    }
    void TearDown() override { ProgramSettings().clear(); }

    QString folder(const char* name) const { return QString::fromStdString((dir_ / name).string()); }

    std::filesystem::path dir_;
    QtPlatform platform_;
};

TEST(DialogFolderKey, ThePurposeNamesTheKeyElseTheTitle)
{
    struct Row {
        const char* why;
        const char* title;
        const char* purpose;
        const char* key;
    };
    const Row rows[] = {
        {"purpose wins", "Open Mosaic Project", "project", "dialogFolders/project"},
        {"title when no purpose", "Save Picture", "", "dialogFolders/Save Picture"},
        {"separators cannot open groups", "a/b\\c", "", "dialogFolders/a_b_c"},
        {"nothing at all", "", "", "dialogFolders/unnamed"},
    };
    for (const Row& row : rows) {
        FileDialogRequest request;
        request.title = QString::fromLatin1(row.title);
        request.purpose = QString::fromLatin1(row.purpose);
        EXPECT_EQ(dialogFolderKey(request), QString::fromLatin1(row.key)) << row.why;
    }
}

TEST_F(QtPlatformTest, DialogsStartInTheFolderLastUsedForTheirPurpose)
{
    FileDialogRequest request;
    request.title = QStringLiteral("Open Mosaic Project");
    request.purpose = QStringLiteral("project");
    request.filters = {QStringLiteral("*.tw6")};
    request.directory = folder("start");

    // Nothing remembered: the request's own folder.
    DialogAnswer first(folder("first") + QStringLiteral("/one.tw6"));
    auto chosen = platform_.openFileDialog(nullptr, request);
    ASSERT_TRUE(first.answered);
    EXPECT_EQ(first.openedIn, folder("start"));
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->path, folder("first") + QStringLiteral("/one.tw6"));

    // Saving a project shares the purpose, so it starts where the last open
    // ended, and moves the remembered folder on.
    DialogAnswer second(folder("second") + QStringLiteral("/two.tw6"));
    chosen = platform_.saveFileDialog(nullptr, request);
    ASSERT_TRUE(second.answered);
    EXPECT_EQ(second.openedIn, folder("first"));
    EXPECT_EQ(ProgramSettings().value(dialogFolderKey(request)).toString(), folder("second"));

    // Another purpose has a folder of its own.
    FileDialogRequest other = request;
    other.purpose = QStringLiteral("usageList");
    DialogAnswer third(folder("first") + QStringLiteral("/list.txt"));
    platform_.saveFileDialog(nullptr, other);
    EXPECT_EQ(third.openedIn, folder("start"));
}

TEST_F(QtPlatformTest, ARememberedFolderThatIsGoneGivesWayToTheRequestsOwn)
{
    FileDialogRequest request;
    request.purpose = QStringLiteral("picture");
    request.directory = folder("start");
    ProgramSettings().setValue(dialogFolderKey(request), folder("vanished"));
    DialogAnswer answer(QString{});
    EXPECT_FALSE(platform_.openFileDialog(nullptr, request));
    EXPECT_EQ(answer.openedIn, folder("start"));
}

TEST_F(QtPlatformTest, ACancelledDialogRemembersNothing)
{
    FileDialogRequest request;
    request.purpose = QStringLiteral("picture");
    request.directory = folder("start");
    ProgramSettings().setValue(dialogFolderKey(request), folder("first"));
    DialogAnswer answer(QString{});
    EXPECT_FALSE(platform_.saveFileDialog(nullptr, request));
    EXPECT_EQ(answer.openedIn, folder("first"));
    EXPECT_EQ(ProgramSettings().value(dialogFolderKey(request)).toString(), folder("first"));
}

TEST(QtPlatformMessages, UnsavedChangesQuestionAnswersWithTheButtonPressed)
{
    QWidget main;
    QtPlatform platform;
    platform.setDialogParent(&main);
    main.show();
    struct Row {
        const char* what;
        std::function<void(QMessageBox&)> answer;
        SaveChoice expected;
    };
    const Row rows[] = {
        {"Save", [](QMessageBox& box) { box.button(QMessageBox::Save)->click(); }, SaveChoice::Save},
        {"Discard", [](QMessageBox& box) { box.button(QMessageBox::Discard)->click(); }, SaveChoice::Discard},
        {"Cancel", [](QMessageBox& box) { box.button(QMessageBox::Cancel)->click(); }, SaveChoice::Cancel},
        {"Escape", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, SaveChoice::Cancel},
    };
    for (const Row& row : rows) {
        QString text, title;
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                text = box->text();
                title = box->windowTitle();
                row.answer(*box);
            }
        });
        EXPECT_EQ(platform.askSaveChanges("Save changes to p.tw6?"), row.expected) << row.what;
        EXPECT_EQ(text, "Save changes to p.tw6?") << row.what;
        EXPECT_EQ(title, "Caution") << row.what;
    }
}

} // namespace
} // namespace tw

// The usage window: names, detail and simple lists, saving and clearing.
#include "gui/gui_fixture.h"

#include "workspace/usage_window.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

namespace tw::test {
namespace {

TEST(MemoLines, FollowTheMemoRules)
{
    EXPECT_EQ(memoLines(QString()), QStringList());
    EXPECT_EQ(memoLines(QStringLiteral("a")), QStringList{"a"});
    EXPECT_EQ(memoLines(QStringLiteral("a\nb")), (QStringList{"a", "b"}));
    EXPECT_EQ(memoLines(QStringLiteral("a\n")), QStringList{"a"});
    EXPECT_EQ(memoLines(QStringLiteral("a\n\n")), (QStringList{"a", ""}));
    EXPECT_EQ(memoLines(QStringLiteral("\n")), QStringList{""});
}

class UsageTest : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        library().replaceAll({"/pics/alpha.bmp", "/pics/sub/beta.jpg", "gamma.bmp"});
        MosaicProject& p = project();
        p.settings.cellsX = 3;
        p.settings.cellsY = 2;
        for (int x = 0; x < 3; ++x)
            for (int y = 0; y < 2; ++y)
                p.MosaicGrid.at(x, y).picture = 2;
        // alpha at 0-based (0, 1) and (2, 0); gamma elsewhere; beta unused.
        p.MosaicGrid.at(0, 1).picture = 0;
        p.MosaicGrid.at(2, 0).picture = 0;
    }

    QListWidget* mainlist() { return usage().findChild<QListWidget*>(QStringLiteral("mainlist")); }
    QPlainTextEdit* memo() { return usage().findChild<QPlainTextEdit*>(QStringLiteral("Memo1")); }
    QPushButton* pushButton(const char* name) { return usage().findChild<QPushButton*>(QLatin1String(name)); }
    QStringList listed()
    {
        QStringList names;
        for (int i = 0; i < mainlist()->count(); ++i)
            names << mainlist()->item(i)->text();
        return names;
    }
};

TEST_F(UsageTest, ControlsHaveTheirCaptions)
{
    struct Row {
        const char* name;
        const char* caption;
    };
    for (const Row& row : {Row{"Button1", "Create Detail List"}, Row{"Button2", "Create Simple List"},
                           Row{"Button3", "Save to text"}, Row{"Button4", "Clear"}}) {
        ASSERT_NE(pushButton(row.name), nullptr) << row.name;
        EXPECT_EQ(pushButton(row.name)->text().toStdString(), row.caption);
    }
    auto* cb = usage().findChild<QCheckBox*>(QStringLiteral("cbshortname"));
    ASSERT_NE(cb, nullptr);
    EXPECT_EQ(cb->text(), "Show full name and path");
    EXPECT_TRUE(cb->isChecked());
    ASSERT_NE(usage().findChild<QSplitter*>(QStringLiteral("Splitter1")), nullptr);
    usage().show();
    QApplication::processEvents();
    EXPECT_EQ(mainlist()->width(), 185);
}

TEST_F(UsageTest, CheckedBoxShowsBareNamesAndUncheckedFullPaths)
{
    invoke(main(), "SBstatClick");
    ASSERT_TRUE(usage().isVisible());
    EXPECT_EQ(listed(), (QStringList{"alpha.bmp", "beta.jpg", "gamma.bmp"}));
    auto* cb = usage().findChild<QCheckBox*>(QStringLiteral("cbshortname"));
    QTest::mouseClick(cb, Qt::LeftButton);
    EXPECT_EQ(listed(), (QStringList{"/pics/alpha.bmp", "/pics/sub/beta.jpg", "gamma.bmp"}));
    QTest::mouseClick(cb, Qt::LeftButton);
    EXPECT_EQ(listed(), (QStringList{"alpha.bmp", "beta.jpg", "gamma.bmp"}));
}

TEST_F(UsageTest, ListIsRefilledOnlyWhenShown)
{
    action("CellStats1")->trigger();
    library().replaceAll({"/x/new.bmp"});
    EXPECT_EQ(listed().size(), 3);
    usage().hide();
    action("CellStats1")->trigger();
    EXPECT_EQ(listed(), QStringList{"new.bmp"});
}

TEST_F(UsageTest, DetailAndSimpleListsReportUsedPicturesOnly)
{
    invoke(main(), "SBstatClick");
    QTest::mouseClick(pushButton("Button1"), Qt::LeftButton);
    EXPECT_EQ(memo()->toPlainText().toStdString(),
              "alpha.bmp POSITIONS:  x:1 y:2  ||   x:3 y:1  ||    Total used time:2\n"
              "gamma.bmp POSITIONS:  x:1 y:1  ||   x:2 y:1  ||   x:2 y:2  ||   x:3 y:2  ||    Total used time:4");
    QTest::mouseClick(pushButton("Button2"), Qt::LeftButton);
    EXPECT_EQ(memo()->toPlainText().toStdString(), "alpha.bmpTotal used time:2\ngamma.bmpTotal used time:4");
}

TEST_F(UsageTest, ListsUseTheNamesAsListed)
{
    invoke(main(), "SBstatClick");
    QTest::mouseClick(usage().findChild<QCheckBox*>(QStringLiteral("cbshortname")), Qt::LeftButton);
    QTest::mouseClick(pushButton("Button2"), Qt::LeftButton);
    EXPECT_EQ(memo()->toPlainText().toStdString(), "/pics/alpha.bmpTotal used time:2\ngamma.bmpTotal used time:4");
}

TEST_F(UsageTest, NothingCreatedGivesEmptyLists)
{
    project().settings.cellsX = 0;
    project().settings.cellsY = 0;
    invoke(main(), "SBstatClick");
    memo()->setPlainText(QStringLiteral("old text"));
    QTest::mouseClick(pushButton("Button1"), Qt::LeftButton);
    EXPECT_TRUE(memo()->toPlainText().isEmpty());
    memo()->setPlainText(QStringLiteral("old text"));
    QTest::mouseClick(pushButton("Button2"), Qt::LeftButton);
    EXPECT_TRUE(memo()->toPlainText().isEmpty());
}

TEST_F(UsageTest, SaveWritesTheMemoWithCarriageReturnLineFeed)
{
    invoke(main(), "SBstatClick");
    QTest::mouseClick(pushButton("Button2"), Qt::LeftButton);
    // The user's own edits are saved too.
    memo()->appendPlainText(QStringLiteral("my note"));
    platform_.answerFile(qpath("usage"));
    QTest::mouseClick(pushButton("Button3"), Qt::LeftButton);
    ASSERT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
    ASSERT_EQ(platform_.dialogs.size(), 1u);
    const FileDialogRequest& request = platform_.dialogs[0].request;
    EXPECT_TRUE(platform_.dialogs[0].save);
    EXPECT_EQ(request.filters, QStringList{"*.txt (*.txt)"});
    EXPECT_EQ(request.defaultSuffix, "txt");
    EXPECT_TRUE(request.confirmOverwrite);
    const Bytes bytes = readWholeFile(path("usage.txt"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "alpha.bmpTotal used time:2\r\ngamma.bmpTotal used time:4\r\nmy note\r\n");
}

TEST_F(UsageTest, SavingAnEmptyMemoWritesAnEmptyFileAndCancelWritesNothing)
{
    invoke(main(), "SBstatClick");
    platform_.answerCancel();
    QTest::mouseClick(pushButton("Button3"), Qt::LeftButton);
    EXPECT_FALSE(fileExists(path("empty.txt")));
    platform_.answerFile(qpath("empty.txt"));
    QTest::mouseClick(pushButton("Button3"), Qt::LeftButton);
    EXPECT_TRUE(readWholeFile(path("empty.txt")).empty());
}

TEST_F(UsageTest, FailedSaveIsReported)
{
    invoke(main(), "SBstatClick");
    QTest::mouseClick(pushButton("Button1"), Qt::LeftButton);
    platform_.answerFile(qpath("missing/list.txt"));
    QTest::mouseClick(pushButton("Button3"), Qt::LeftButton);
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_EQ(platform_.messages[0].caption, "Error");
    EXPECT_EQ(platform_.messages[0].text.rfind("Cannot create file", 0), 0u) << platform_.messages[0].text;
}

TEST_F(UsageTest, ListsAndTheSavedFileCarryTheNamesBytesAsStored)
{
    // Names that are not valid UTF-8 (a Latin-1 "é") show with a
    // replacement character but reach the file exactly as stored.
    const std::string latin1 = "/pics/caf\xe9.bmp";
    const std::string mixed = "/pics/\xff\xfe-\xc3\xa9t\xe9.jpg";
    library().replaceAll({latin1, mixed, "gamma.bmp"});
    project().MosaicGrid.at(1, 1).picture = 1;
    struct Row {
        bool fullNames;
        const char* button;
        std::string expected;
    };
    const Row rows[] = {
        {false, "Button2",
         "caf\xe9.bmpTotal used time:2\r\n\xff\xfe-\xc3\xa9t\xe9.jpgTotal used time:1\r\ngamma.bmpTotal used time:3\r\n"},
        {true, "Button2",
         latin1 + "Total used time:2\r\n" + mixed + "Total used time:1\r\ngamma.bmpTotal used time:3\r\n"},
        {true, "Button1",
         latin1 + " POSITIONS:  x:1 y:2  ||   x:3 y:1  ||    Total used time:2\r\n" + mixed +
             " POSITIONS:  x:2 y:2  ||    Total used time:1\r\n"
             "gamma.bmp POSITIONS:  x:1 y:1  ||   x:2 y:1  ||   x:3 y:2  ||    Total used time:3\r\n"},
    };
    invoke(main(), "SBstatClick");
    auto* cb = usage().findChild<QCheckBox*>(QStringLiteral("cbshortname"));
    int saved = 0;
    for (const Row& row : rows) {
        if (cb->isChecked() == row.fullNames)
            QTest::mouseClick(cb, Qt::LeftButton);
        QTest::mouseClick(pushButton(row.button), Qt::LeftButton);
        const std::string name = "usage" + std::to_string(saved++) + ".txt";
        platform_.answerFile(qpath(name));
        QTest::mouseClick(pushButton("Button3"), Qt::LeftButton);
        ASSERT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
        const Bytes bytes = readWholeFile(path(name));
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), row.expected) << row.button;
    }
    // A line the user changed is saved as typed; the others keep their bytes.
    QTest::mouseClick(pushButton("Button2"), Qt::LeftButton);
    QTextCursor cursor(memo()->document()->findBlockByNumber(2));
    cursor.movePosition(QTextCursor::EndOfBlock);
    memo()->setTextCursor(cursor);
    QTest::keyClicks(memo(), QStringLiteral(" ok"));
    platform_.answerFile(qpath("edited.txt"));
    QTest::mouseClick(pushButton("Button3"), Qt::LeftButton);
    const Bytes edited = readWholeFile(path("edited.txt"));
    EXPECT_EQ(std::string(edited.begin(), edited.end()),
              latin1 + "Total used time:2\r\n" + mixed + "Total used time:1\r\ngamma.bmpTotal used time:3 ok\r\n");
}

TEST_F(UsageTest, ListCommandsWaitWhileACreationRuns)
{
    library().loadDefaultList();
    prepareCreation(8, 8, 8);
    invoke(main(), "SBstatClick");
    std::vector<std::pair<std::string, bool>> during;
    QTimer::singleShot(0, &usage(), [&] {
        for (const char* name : {"Button1", "Button2", "Button3", "Button4"})
            during.emplace_back(name, pushButton(name)->isEnabled());
        during.emplace_back("cbshortname", usage().findChild<QCheckBox*>(QStringLiteral("cbshortname"))->isEnabled());
    });
    ASSERT_TRUE(main().startCreation());
    ASSERT_EQ(during.size(), 5u);
    // The lists read the grid and the library; saving and clearing the memo do not.
    const bool expected[] = {false, false, true, true, false};
    for (std::size_t i = 0; i < during.size(); ++i)
        EXPECT_EQ(during[i].second, expected[i]) << during[i].first;
    for (const char* name : {"Button1", "Button2", "Button3", "Button4"})
        EXPECT_TRUE(pushButton(name)->isEnabled()) << name;
}

TEST_F(UsageTest, ClearEmptiesOnlyTheMemo)
{
    invoke(main(), "SBstatClick");
    QTest::mouseClick(pushButton("Button1"), Qt::LeftButton);
    ASSERT_FALSE(memo()->toPlainText().isEmpty());
    QTest::mouseClick(pushButton("Button4"), Qt::LeftButton);
    EXPECT_TRUE(memo()->toPlainText().isEmpty());
    EXPECT_EQ(listed().size(), 3);
}

} // namespace
} // namespace tw::test

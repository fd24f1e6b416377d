// The Load Image Files window: its controls, listing folders from the tree,
// ticks, the preview and the two commands that append to the library.
#include "gui/library_fixture.h"

#include "imaging/transforms.h"
#include "library/picture_files.h"

#include <QDir>
#include <QSplitter>
#include <QTimer>

namespace tw::test {
namespace {

namespace fs = std::filesystem;

using LoadImageFiles = LibraryWindowsTest;

std::vector<std::string> listing(const fs::path& folder, bool recursive)
{
    std::vector<std::string> list;
    listPictureFiles(folder.string(), list, recursive);
    return list;
}

QStringList rowTexts(QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

QStringList qtexts(const std::vector<std::string>& paths)
{
    QStringList texts;
    for (const std::string& p : paths)
        texts << QString::fromStdString(p);
    return texts;
}

TEST_F(LoadImageFiles, ControlsCarryTheirCaptionsNamesAndStartStates)
{
    EXPECT_FALSE(loader().isVisible());
    EXPECT_EQ(loader().objectName(), "TForm5");
    EXPECT_EQ(loader().windowTitle(), "Load Image Files");
    EXPECT_EQ(loader().size(), QSize(696, 480));
    struct Row {
        const char* name;
        const char* caption;
    };
    const Row buttons[] = {{"Button2", "Select All"},   {"Button3", "Unselect All"},
                           {"Button6", "Clear List"},   {"Button7", "Reverse Select"},
                           {"btloadallsel", "Load all Selected File"}, {"btloadall", "Load All Files"}};
    for (const Row& row : buttons) {
        auto* b = child<QPushButton>(loader(), row.name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text().toStdString(), row.caption);
        EXPECT_EQ(b->accessibleName().toStdString(), row.caption);
        EXPECT_NE(b->focusPolicy() & Qt::TabFocus, 0) << row.name;
    }
    auto* box = child<QCheckBox>(loader(), "cblistall");
    EXPECT_EQ(box->text(), "List all picture files include subdirectorys");
    EXPECT_EQ(box->accessibleName(), box->text());
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(loaderCount(), "0");
    EXPECT_EQ(loaderList()->count(), 0);
    EXPECT_EQ(child<QWidget>(loader(), "Image1")->size(), QSize(193, 153));
    EXPECT_NE(loaderList()->focusPolicy() & Qt::TabFocus, 0);

    openLoader();
    EXPECT_FALSE(loader().isModal());
    EXPECT_EQ(child<QSplitter>(loader(), "Splitter1")->sizes().value(0), 177);
    auto* tree = child<QTreeWidget>(loader(), "tree1");
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "Home");
    EXPECT_EQ(tree->topLevelItem(0)->toolTip(0), QDir::homePath());
    EXPECT_EQ(tree->topLevelItem(1)->text(0), "File System");
    EXPECT_EQ(tree->topLevelItem(1)->toolTip(0), "/");
    // Showing the window and focusing the tree or the list chooses nothing.
    QTest::keyClick(tree, Qt::Key_Tab);
    EXPECT_EQ(loaderList()->count(), 0);
    EXPECT_TRUE(platform_.messages.empty());
}

TEST_F(LoadImageFiles, FolderListsJpgAndBmpAndTheBoxAddsSubfoldersWhereMet)
{
    const fs::path root = pictureFolder("example", {"a.JPG", "b.jpeg", "c.bmp", "s/d.jpg"});
    const fs::path other = pictureFolder("other", {"e.jpg", "deeper/f.jpg"});
    openLoader();
    chooseFolder(root);
    EXPECT_EQ(rowTexts(loaderList()), qtexts(listing(root, false)));
    EXPECT_EQ(loaderList()->count(), 2);
    EXPECT_EQ(loaderCount(), "2");

    auto* box = child<QCheckBox>(loader(), "cblistall");
    clickBox(box);
    EXPECT_EQ(rowTexts(loaderList()), qtexts(listing(root, true)));
    EXPECT_TRUE(rowTexts(loaderList()).contains(QString::fromStdString((root / "s" / "d.jpg").string())));
    EXPECT_EQ(loaderCount(), "3");

    // Another folder unticks the box and lists its own files once each.
    chooseFolder(other);
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(rowTexts(loaderList()), qtexts({(other / "e.jpg").string()}));
    EXPECT_EQ(loaderCount(), "1");

    // Unticking lists the folder alone again; a key press on the box works too.
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_EQ(loaderCount(), "2");
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_EQ(loaderCount(), "1");
}

TEST_F(LoadImageFiles, TreeRightClickAndKeysChooseFoldersToo)
{
    const fs::path root = pictureFolder("keys", {"x/1.jpg", "y/2.jpg", "y/3.bmp"});
    openLoader();
    chooseFolder(root / "x");
    EXPECT_EQ(loaderCount(), "1");
    auto* tree = child<QTreeWidget>(loader(), "tree1");
    QTest::keyClick(tree, Qt::Key_Down);
    EXPECT_EQ(rowTexts(loaderList()), qtexts(listing(root / "y", false)));
    EXPECT_EQ(loaderCount(), "2");
    clickTreeItem(tree, tree->currentItem()->parent()->child(0), Qt::RightButton);
    EXPECT_EQ(tree->selectedItems().value(0)->text(0), "x");
    EXPECT_EQ(loaderCount(), "1");
}

TEST_F(LoadImageFiles, TickCommandsSetClearAndReverseWithoutChangingTheCount)
{
    const fs::path root = pictureFolder("ticks", {"1.jpg", "2.jpg", "3.jpg", "4.jpg"});
    openLoader();
    chooseFolder(root);
    QListWidget* list = loaderList();
    ASSERT_EQ(list->count(), 4);
    clickTick(list, 0);
    clickTick(list, 2);
    struct Step {
        const char* button;
        std::vector<int> ticked;
    };
    const Step steps[] = {{"Button7", {1, 3}}, {"Button2", {0, 1, 2, 3}}, {"Button3", {}}, {"Button7", {0, 1, 2, 3}}};
    for (const Step& step : steps) {
        clickButton(loader(), step.button);
        EXPECT_EQ(tickedRows(list), step.ticked) << step.button;
        EXPECT_EQ(loaderCount(), "4") << step.button;
    }
}

TEST_F(LoadImageFiles, PreviewIsFittedAndCentredAndAFailureKeepsIt)
{
    const fs::path root = pictureFolder("preview", {"bad.jpg!"});
    Picture wide = gradientPicture(400, 100);
    saveBmp(wide, (root / "wide.bmp").string());
    openLoader();
    chooseFolder(root);
    const QStringList rows = rowTexts(loaderList());
    const int wideRow = static_cast<int>(rows.indexOf(QString::fromStdString((root / "wide.bmp").string())));
    const int badRow = 1 - wideRow;
    ASSERT_GE(wideRow, 0);

    // A click on the tick box highlights the entry and previews it as well.
    clickTick(loaderList(), wideRow);
    EXPECT_EQ(highlighted(loaderList()), wideRow);
    Picture expected;
    fitIntoBox(wide, expected, 193, 153);
    ASSERT_EQ(expected.height(), 48);
    EXPECT_TRUE(samePicture(shown(loader(), "Image1"), expected));
    // Drawn in the middle of the 193 x 153 control.
    const QImage screen = child<QWidget>(loader(), "Image1")->grab().toImage();
    const int top = (153 - expected.height()) / 2;
    const Bgr inside = expected.pixel(0, 0);
    EXPECT_EQ(screen.pixelColor(0, top), QColor(inside.r, inside.g, inside.b));
    EXPECT_NE(screen.pixelColor(0, top - 1), QColor(inside.r, inside.g, inside.b));

    // The keyboard moves the highlight; a file that fails keeps the preview.
    loaderList()->setFocus();
    QTest::keyClick(loaderList(), badRow > wideRow ? Qt::Key_Down : Qt::Key_Up);
    EXPECT_EQ(highlighted(loaderList()), badRow);
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_EQ(platform_.messages[0].caption, "Error");
    EXPECT_EQ(platform_.messages[0].text.rfind("JPEG error #", 0), 0u) << platform_.messages[0].text;
    EXPECT_NE(platform_.messages[0].text.find("bad.jpg"), std::string::npos);
    EXPECT_TRUE(samePicture(shown(loader(), "Image1"), expected));
}

TEST_F(LoadImageFiles, LoadButtonsAppendAndCloseInEveryCase)
{
    const fs::path root = pictureFolder("load", {"1.jpg", "2.bmp", "3.jpg", "4.bmp"});
    struct Row {
        const char* name;
        bool clearFirst;
        std::vector<int> tick;
        bool all;  // every listed file is expected
    };
    openManager();
    const Row rows[] = {
        {"selected files with nothing ticked", false, {}, false},
        {"selected files with two ticked", false, {0, 2}, false},
        {"all files after Clear List", true, {}, false},
        {"all files", false, {1}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clickButton(manager(), "Button7");  // Delete All
        openLoader();
        chooseFolder(root);
        const std::vector<std::string> files = listing(root, false);
        for (int r : row.tick)
            clickTick(loaderList(), r);
        if (row.clearFirst) {
            clickButton(loader(), "Button6");
            EXPECT_EQ(loaderCount(), "0");
        }
        std::vector<std::string> expected;
        if (row.all)
            expected = files;
        else
            for (int r : row.tick)
                expected.push_back(files[static_cast<std::size_t>(r)]);
        clickButton(loader(), row.all || row.clearFirst ? "btloadall" : "btloadallsel");
        EXPECT_FALSE(loader().isVisible());
        EXPECT_EQ(library().entries(), expected);
        EXPECT_EQ(managerCount(), QString::number(expected.size()));
        EXPECT_EQ(rowTexts(managerList()), qtexts(expected));
        // The list and its ticks stay for the next showing.
        openLoader();
        EXPECT_EQ(loaderList()->count(), row.clearFirst ? 0 : 4);
        EXPECT_EQ(tickedRows(loaderList()), row.clearFirst ? std::vector<int>{} : row.tick);
        loader().close();
    }
    EXPECT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
}

TEST_F(LoadImageFiles, LimitsStopTheAppendingWithOneCautionEach)
{
    std::vector<std::string> tenFiles;
    for (int i = 0; i < 10; ++i)
        tenFiles.push_back(std::to_string(i) + ".jpg");
    const fs::path root = pictureFolder("limits", tenFiles);
    const std::vector<std::string> files = listing(root, false);
    struct Row {
        std::size_t start;
        const char* button;
        std::vector<int> tick;
        std::size_t end;
        std::string message;
    };
    const Row rows[] = {
        {999, "btloadall", {}, 1000, "You already loaded max count pictures "},
        {65534, "btloadallsel", {3, 5, 7}, 65535, "You can only load 65535 pictures in this version"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.button);
        openManager();
        std::vector<std::string> start;
        for (std::size_t i = 0; i < row.start; ++i)
            start.push_back("/pictures/" + std::to_string(i) + ".jpg");
        loadList(start);
        ASSERT_EQ(managerCount(), QString::number(row.start));
        openLoader();
        chooseFolder(root);
        for (int r : row.tick)
            clickTick(loaderList(), r);
        platform_.messages.clear();
        clickButton(loader(), row.button);
        ASSERT_EQ(platform_.messages.size(), 1u);
        EXPECT_EQ(platform_.messages[0].text, row.message);
        EXPECT_EQ(platform_.messages[0].caption, "Caution");
        EXPECT_FALSE(platform_.messages[0].withCancel);
        EXPECT_FALSE(loader().isVisible());
        ASSERT_EQ(library().count(), row.end);
        EXPECT_EQ(library().entry(row.end - 1), files[row.tick.empty() ? 0 : static_cast<std::size_t>(row.tick[0])]);
        EXPECT_EQ(managerCount(), QString::number(row.end));
        EXPECT_EQ(managerList()->count(), static_cast<int>(row.end));
    }
}

TEST_F(LoadImageFiles, LoadButtonsAreDisabledWhileACreationRuns)
{
    const fs::path root = pictureFolder("busy", {"1.jpg"});
    openLoader();
    chooseFolder(root);
    prepareCreation(8, 8, 8);
    bool sampled = false, selEnabled = true, allEnabled = true;
    QTimer::singleShot(0, &loader(), [&] {
        sampled = true;
        selEnabled = child<QPushButton>(loader(), "btloadallsel")->isEnabled();
        allEnabled = child<QPushButton>(loader(), "btloadall")->isEnabled();
        QTest::mouseClick(child<QPushButton>(loader(), "btloadall"), Qt::LeftButton);
    });
    const std::size_t before = library().count();
    ASSERT_TRUE(main().startCreation());
    ASSERT_TRUE(sampled);
    EXPECT_FALSE(selEnabled);
    EXPECT_FALSE(allEnabled);
    EXPECT_EQ(library().count(), before);
    EXPECT_TRUE(loader().isVisible());
    EXPECT_TRUE(child<QPushButton>(loader(), "btloadallsel")->isEnabled());
    EXPECT_TRUE(child<QPushButton>(loader(), "btloadall")->isEnabled());
}

} // namespace
} // namespace tw::test

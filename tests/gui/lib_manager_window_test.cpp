// The Cell Image Lib Manager: its controls, previews, every command on the
// list, the check for bad pictures, the busy state, project openings, and a
// library built here used by a creation.
#include "gui/library_fixture.h"

#include "imaging/inspect.h"
#include "imaging/load_picture.h"
#include "imaging/signature.h"
#include "imaging/transforms.h"

#include "ui/spin_edit.h"

#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <cstdlib>

namespace tw::test {
namespace {

namespace fs = std::filesystem;

using LibManager = LibraryWindowsTest;

std::string fileText(const std::string& path)
{
    const Bytes b = readWholeFile(path);
    return std::string(b.begin(), b.end());
}

TEST_F(LibManager, ControlsCarryTheirCaptionsNamesAndTheStartList)
{
    EXPECT_FALSE(manager().isVisible());
    EXPECT_EQ(manager().objectName(), "TForm4");
    EXPECT_EQ(manager().windowTitle(), "Cell Image Lib Manager");
    EXPECT_EQ(manager().size(), QSize(534, 455));
    struct Row {
        const char* name;
        const char* caption;
    };
    const Row buttons[] = {{"Button1", "Add Picture"},     {"btdel", "Delete Picture"},
                           {"Button7", "Delete All"},      {"ldilist", "Load Image List"},
                           {"btsilist", "Save Image List"}, {"Button4", "Set as Default"},
                           {"Button2", "Check Bad Pic"},   {"Button3", "Restore Default"}};
    for (const Row& row : buttons) {
        auto* b = child<QPushButton>(manager(), row.name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text().toStdString(), row.caption);
        EXPECT_EQ(b->accessibleName().toStdString(), row.caption);
        EXPECT_NE(b->focusPolicy() & Qt::TabFocus, 0) << row.name;
        EXPECT_TRUE(b->isEnabled()) << row.name;
    }
    auto* info = child<QCheckBox>(manager(), "cbcellpicinfo");
    EXPECT_EQ(info->text(), "Show Cell Info");
    EXPECT_FALSE(info->isChecked());
    const std::pair<const char*, QSize> pictures[] = {
        {"cellpicov", {201, 161}}, {"cellpiclevel", {129, 65}}, {"cellpic41", {65, 65}}};
    for (const auto& [name, size] : pictures)
        EXPECT_EQ(child<QWidget>(manager(), name)->size(), size) << name;
    EXPECT_GE(child<QWidget>(manager(), "rightPanel")->width(), 217);
    EXPECT_GE(child<QWidget>(manager(), "rightPanel")->height(), 401);

    // The default list read at start is shown with its count.
    ASSERT_EQ(library().count(), libraryColours().size());
    EXPECT_EQ(managerCount(), QString::number(library().count()));
    ASSERT_EQ(managerList()->count(), static_cast<int>(library().count()));
    for (int i = 0; i < managerList()->count(); ++i)
        EXPECT_EQ(managerList()->item(i)->text().toStdString(), library().entry(static_cast<std::size_t>(i)));

    openManager();
    EXPECT_FALSE(manager().isModal());
    // Taking the focus highlights and previews nothing.
    managerList()->setFocus();
    EXPECT_EQ(highlighted(managerList()), -1);
    EXPECT_TRUE(shown(manager(), "cellpicov").empty());
    // Add Picture shows the Load Image Files window beside it.
    clickButton(manager(), "Button1");
    EXPECT_TRUE(loader().isVisible());
    EXPECT_TRUE(manager().isVisible());
}

TEST_F(LibManager, SelectionPreviewsAndCellInfoCountsFromTheNextSelection)
{
    const Picture wide = gradientPicture(1000, 500);
    saveBmp(wide, path("wide.bmp"));
    const Picture small = gradientPicture(40, 90);
    saveBmp(small, path("small.bmp"));
    openManager();
    loadList({path("wide.bmp"), path("small.bmp")});

    auto overviewOf = [](const Picture& p) { Picture o; fitIntoBox(p, o, 201, 161); return o; };
    auto levelOf = [](const Picture& p) { Picture l; drawLevelPicture(p, l, LevelChannel::All, Size{129, 65}); return l; };
    auto coloursOf = [](const Picture& p) { Picture c(64, 64); drawColorSignature(c, computeSignature(p)); return c; };
    auto* info = child<QCheckBox>(manager(), "cbcellpicinfo");

    clickRow(managerList(), 0);
    EXPECT_TRUE(samePicture(shown(manager(), "cellpicov"), overviewOf(wide)));
    EXPECT_EQ(shown(manager(), "cellpicov").width(), 201);
    EXPECT_EQ(shown(manager(), "cellpicov").height(), 100);
    EXPECT_TRUE(shown(manager(), "cellpiclevel").empty());
    EXPECT_TRUE(shown(manager(), "cellpic41").empty());

    clickBox(info);
    EXPECT_TRUE(shown(manager(), "cellpiclevel").empty()) << "ticking the box alone redrew";

    managerList()->setFocus();
    QTest::keyClick(managerList(), Qt::Key_Down);
    EXPECT_TRUE(samePicture(shown(manager(), "cellpicov"), overviewOf(small)));
    EXPECT_TRUE(samePicture(shown(manager(), "cellpiclevel"), levelOf(small)));
    EXPECT_TRUE(samePicture(shown(manager(), "cellpic41"), coloursOf(small)));

    clickRow(managerList(), 0);
    EXPECT_EQ(shown(manager(), "cellpiclevel").width(), 129);
    EXPECT_EQ(shown(manager(), "cellpiclevel").height(), 65);
    EXPECT_EQ(shown(manager(), "cellpic41").width(), 64);
    EXPECT_TRUE(samePicture(shown(manager(), "cellpiclevel"), levelOf(wide)));
    EXPECT_TRUE(samePicture(shown(manager(), "cellpic41"), coloursOf(wide)));

    // Unticked again: only the overview follows the selection.
    clickBox(info);
    clickRow(managerList(), 1);
    EXPECT_TRUE(samePicture(shown(manager(), "cellpicov"), overviewOf(small)));
    EXPECT_TRUE(samePicture(shown(manager(), "cellpiclevel"), levelOf(wide)));
    EXPECT_TRUE(samePicture(shown(manager(), "cellpic41"), coloursOf(wide)));
    EXPECT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
}

TEST_F(LibManager, PictureThatFailsKeepsEveryPreview)
{
    pictureFolder("bad", {"x.jpg!"});
    saveBmp(gradientPicture(30, 20), path("good.bmp"));
    openManager();
    loadList({path("good.bmp"), path("bad/x.jpg"), path("missing.bmp")});
    clickBox(child<QCheckBox>(manager(), "cbcellpicinfo"));
    clickRow(managerList(), 0);
    const Picture overview = shown(manager(), "cellpicov");
    const Picture level = shown(manager(), "cellpiclevel");
    for (int row : {1, 2}) {
        platform_.messages.clear();
        clickRow(managerList(), row);
        ASSERT_EQ(platform_.messages.size(), 1u) << "row " << row;
        EXPECT_EQ(platform_.messages[0].caption, "Error");
        EXPECT_TRUE(samePicture(shown(manager(), "cellpicov"), overview)) << "row " << row;
        EXPECT_TRUE(samePicture(shown(manager(), "cellpiclevel"), level)) << "row " << row;
    }
}

TEST_F(LibManager, DeleteRemovesOnlyTheHighlightedEntryAndKeepsThePreviews)
{
    std::vector<std::string> ten;
    for (int i = 0; i < 10; ++i)
        ten.push_back(path("p" + std::to_string(i) + ".bmp"));
    for (const std::string& p : ten)
        saveBmp(gradientPicture(20, 20), p);
    openManager();
    loadList(ten);

    // Ticks without a highlight: nothing goes.
    clickTick(managerList(), 1);
    clickTick(managerList(), 4);
    managerList()->clearSelection();
    clickButton(manager(), "btdel");
    EXPECT_EQ(library().entries(), ten);
    EXPECT_EQ(managerCount(), "10");

    clickRow(managerList(), 3);
    const Picture preview = shown(manager(), "cellpicov");
    ASSERT_FALSE(preview.empty());
    clickButton(manager(), "btdel");
    std::vector<std::string> expected = ten;
    expected.erase(expected.begin() + 3);
    EXPECT_EQ(library().entries(), expected);
    EXPECT_EQ(library().entry(3), ten[4]);
    EXPECT_EQ(managerList()->item(3)->text().toStdString(), ten[4]);
    EXPECT_EQ(managerCount(), "9");
    EXPECT_EQ(highlighted(managerList()), -1);
    EXPECT_TRUE(samePicture(shown(manager(), "cellpicov"), preview));
    EXPECT_EQ(tickedRows(managerList()), (std::vector<int>{1, 3}));  // the ticks stay with their entries

    // Nothing highlighted now: a second press removes nothing.
    clickButton(manager(), "btdel");
    EXPECT_EQ(library().count(), 9u);

    clickButton(manager(), "Button7");
    EXPECT_EQ(library().count(), 0u);
    EXPECT_EQ(managerList()->count(), 0);
    EXPECT_EQ(managerCount(), "0");
    EXPECT_TRUE(samePicture(shown(manager(), "cellpicov"), preview));
}

TEST_F(LibManager, ImageListFilesLoadAndSaveThroughTheirDialogs)
{
    openManager();
    const std::vector<std::string> start = library().entries();
    writeFileAtomic(path("two.il2"), encodeListText({"/a/1.jpg", "/b/2.bmp"}));

    struct Row {
        const char* name;
        const char* button;
        std::optional<std::string> answer;  // nullopt: Cancel
        std::vector<std::string> listAfter;
        bool error;
    };
    const Row rows[] = {
        {"load cancelled", "ldilist", std::nullopt, start, false},
        {"load of a missing file", "ldilist", path("missing.IL2"), start, true},
        {"save without extension", "btsilist", path("saved"), start, false},
        {"save cancelled", "btsilist", std::nullopt, start, false},
        {"save into a missing folder", "btsilist", path("nope/x.IL2"), start, true},
        {"load typed without extension", "ldilist", path("two"), {"/a/1.jpg", "/b/2.bmp"}, false},
        {"save over an existing file", "btsilist", path("saved.il2"), {"/a/1.jpg", "/b/2.bmp"}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        platform_.messages.clear();
        if (row.answer)
            platform_.answerFile(QString::fromStdString(*row.answer));
        else
            platform_.answerCancel();
        clickButton(manager(), row.button);
        const auto& request = platform_.dialogs.back().request;
        EXPECT_EQ(platform_.dialogs.back().save, std::string(row.button) == "btsilist");
        EXPECT_EQ(request.filters, QStringList{"Image List File (*.IL2)"});
        EXPECT_EQ(request.defaultSuffix, "il2");
        EXPECT_FALSE(request.confirmOverwrite);
        EXPECT_EQ(library().entries(), row.listAfter);
        EXPECT_EQ(managerCount(), QString::number(row.listAfter.size()));
        EXPECT_EQ(managerList()->count(), static_cast<int>(row.listAfter.size()));
        ASSERT_EQ(platform_.messages.size(), row.error ? 1u : 0u);
        if (row.error) {
            const char* start = row.button == std::string("ldilist") ? "Cannot open file" : "Cannot create file";
            EXPECT_EQ(platform_.messages[0].text.rfind(start, 0), 0u) << platform_.messages[0].text;
        }
    }
    EXPECT_EQ(fileText(path("saved.il2")), "/a/1.jpg\r\n/b/2.bmp\r\n");
    EXPECT_FALSE(fileExists(path("saved")));
}

TEST_F(LibManager, SetAsDefaultAsksAndRestoreDefaultRebuildsFromTheImagesFolder)
{
    const std::string defaultList = (programDir_ / "DefaultImgList.IL2").string();
    const std::string before = fileText(defaultList);
    openManager();
    loadList({"/x/one.jpg"});

    platform_.confirmAnswers.push_back(Confirmation::Cancel);
    clickButton(manager(), "Button4");
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_EQ(platform_.messages[0].text, "This action will overwrite existed default image list");
    EXPECT_EQ(platform_.messages[0].caption, "Caution");
    EXPECT_TRUE(platform_.messages[0].withCancel);
    EXPECT_EQ(fileText(defaultList), before);
    platform_.confirmAnswers.push_back(Confirmation::Ok);
    clickButton(manager(), "Button4");
    EXPECT_EQ(fileText(defaultList), "/x/one.jpg\r\n");

    // Restore Default asks nothing and takes the images folder again.
    platform_.messages.clear();
    clickButton(manager(), "Button3");
    EXPECT_TRUE(platform_.messages.empty());
    EXPECT_EQ(fileText(defaultList), before);
    ASSERT_EQ(library().count(), libraryColours().size());
    EXPECT_EQ(fileNamePart(library().entry(0)), "tile00.bmp");
    EXPECT_EQ(managerCount(), QString::number(libraryColours().size()));
    EXPECT_EQ(managerList()->item(0)->text().toStdString(), library().entry(0));

    fs::remove_all(programDir_ / "images");
    clickButton(manager(), "Button3");
    EXPECT_EQ(library().count(), 0u);
    EXPECT_EQ(managerList()->count(), 0);
    EXPECT_EQ(managerCount(), "0");
    EXPECT_EQ(fs::file_size(defaultList), 0u);
}

// --- Check Bad Pic -----------------------------------------------------------

TEST_F(LibManager, CheckShowsEachExistingPictureInTurnAndStopsAtTheFirstBadOne)
{
    pictureFolder("check", {"1.jpg", "2.bmp", "x.jpg!", "4.jpg", "5.jpg"});  // x.jpg holds text
    const std::string bad = path("check/x.jpg");
    struct Row {
        const char* name;
        std::vector<std::string> list;
        std::vector<int> shown;  // rows highlighted in turn
        int stopsAt;             // -1: "check finished"
    };
    const Row rows[] = {
        {"empty list", {}, {}, -1},
        {"third entry is a text file", {path("check/1.jpg"), path("check/2.bmp"), bad, path("check/4.jpg")}, {0, 1, 2}, 2},
        {"missing files are skipped", {path("gone.jpg"), path("check/4.jpg"), "", path("check"), path("check/5.jpg")}, {1, 4}, -1},
        {"every file missing", {path("a.jpg"), path("b.bmp")}, {}, -1},
    };
    openManager();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        loadList(row.list);
        platform_.messages.clear();
        std::vector<int> seen;
        QTimer sampler;
        sampler.setInterval(0);
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            const int r = highlighted(managerList());
            if (r >= 0 && (seen.empty() || seen.back() != r))
                seen.push_back(r);
        });
        sampler.start();
        clickButton(manager(), "Button2");
        sampler.stop();
        if (row.stopsAt >= 0)
            seen.push_back(highlighted(managerList()));  // the bad one is never followed by a pump
        EXPECT_EQ(seen, row.shown);
        ASSERT_EQ(platform_.messages.size(), 1u);
        if (row.stopsAt < 0) {
            EXPECT_EQ(platform_.messages[0].text, "check finished");
            EXPECT_EQ(platform_.messages[0].caption, "Finish");
            continue;
        }
        EXPECT_EQ(platform_.messages[0].caption, "Error");
        EXPECT_EQ(platform_.messages[0].text.rfind("JPEG error #", 0), 0u) << platform_.messages[0].text;
        EXPECT_EQ(highlighted(managerList()), row.stopsAt);
        // Delete Picture removes exactly the bad entry; the next check finishes.
        clickButton(manager(), "btdel");
        std::vector<std::string> expected = row.list;
        expected.erase(expected.begin() + row.stopsAt);
        EXPECT_EQ(library().entries(), expected);
        EXPECT_EQ(managerCount(), QString::number(expected.size()));
        platform_.messages.clear();
        clickButton(manager(), "Button2");
        ASSERT_EQ(platform_.messages.size(), 1u);
        EXPECT_EQ(platform_.messages[0].text, "check finished");
    }
}

TEST_F(LibManager, ListShortenedDuringTheCheckStopsItAtTheFirstLostIndex)
{
    pictureFolder("short", {"1.jpg", "2.jpg", "3.jpg"});
    openManager();
    loadList({path("short/1.jpg"), path("short/2.jpg"), path("short/3.jpg")});
    bool checkDisabled = false;
    // Runs in the check's first message pump, after entry 0 was shown.
    QTimer::singleShot(0, &manager(), [&] {
        checkDisabled = !child<QPushButton>(manager(), "Button2")->isEnabled();
        clickButton(manager(), "Button7");
    });
    clickButton(manager(), "Button2");
    EXPECT_TRUE(checkDisabled) << "a second check could start inside the first";
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_EQ(platform_.messages[0].text, "List index out of bounds (1).");
    EXPECT_EQ(platform_.messages[0].caption, "Error");
    EXPECT_TRUE(child<QPushButton>(manager(), "Button2")->isEnabled());
}

// --- The library and the rest of the program ---------------------------------

TEST_F(LibManager, ChangingCommandsAreDisabledWhileACreationRuns)
{
    openManager();
    prepareCreation(8, 8, 8);
    const char* changing[] = {"Button1", "btdel", "Button7", "ldilist", "Button3", "Button2"};
    const char* reading[] = {"btsilist", "Button4"};
    bool sampled = false;
    std::vector<std::string> wrong;
    QTimer::singleShot(0, &manager(), [&] {
        sampled = true;
        for (const char* name : changing)
            if (child<QPushButton>(manager(), name)->isEnabled())
                wrong.push_back(std::string(name) + " enabled");
        for (const char* name : reading)
            if (!child<QPushButton>(manager(), name)->isEnabled())
                wrong.push_back(std::string(name) + " disabled");
    });
    ASSERT_TRUE(main().startCreation());
    ASSERT_TRUE(sampled);
    EXPECT_TRUE(wrong.empty()) << wrong.front();
    for (const char* name : changing)
        EXPECT_TRUE(child<QPushButton>(manager(), name)->isEnabled()) << name;
}

TEST_F(LibManager, ProjectOpeningReplacesTheListAndItsCount)
{
    prepareCreation(8, 8, 8);
    ASSERT_TRUE(main().startCreation());
    const std::vector<std::string> used = library().entries();
    platform_.answerFile(qpath("saved.tw6"));
    action("SaveProject1")->trigger();
    openManager();
    clickButton(manager(), "Button7");
    ASSERT_EQ(managerCount(), "0");

    platform_.answerFile(qpath("saved.tw6"));
    action("LoadProject1")->trigger();
    ASSERT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
    EXPECT_EQ(library().entries(), used);
    EXPECT_EQ(managerCount(), QString::number(used.size()));
    ASSERT_EQ(managerList()->count(), static_cast<int>(used.size()));
    EXPECT_EQ(managerList()->item(0)->text().toStdString(), used[0]);
}

std::string shellQuote(const std::string& word)
{
    std::string q = "'";
    for (char c : word)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

TEST_F(LibManager, LibraryBuiltHereMakesTheSameMosaicAsTheCommandLine)
{
    const fs::path photos = pictureFolder("photos", {"a.jpg", "b.bmp", "c.jpg", "d.BMP", "e.JPG", "sub/f.jpg",
                                                      "sub/g.bmp", "sub/deeper/h.jpg", "i.jpeg"});
    saveBmp(gradientPicture(90, 70), path("main.bmp"));

    // Built in the windows: emptied, then every picture of the folder and
    // its subfolders, then saved as a list for the command line.
    openManager();
    clickButton(manager(), "Button7");
    openLoader();
    chooseFolder(photos);
    clickBox(child<QCheckBox>(loader(), "cblistall"));
    clickButton(loader(), "btloadall");
    ASSERT_EQ(library().count(), 8u);
    platform_.answerFile(qpath("built"));
    clickButton(manager(), "btsilist");
    ASSERT_TRUE(fileExists(path("built.il2")));

    // The wizard's creation with its default options: the main picture and
    // the size typed into its pages, then Create Photo Mosaic.
    NewProjectWindow& wizard = windows_->newProject();
    QTest::mouseClick(button("sbnewprj"), Qt::LeftButton);
    ASSERT_TRUE(wizard.isVisible());
    platform_.answerFile(qpath("main.bmp"));
    QTest::mouseClick(child<QAbstractButton>(wizard, "btloadtwmain"), Qt::LeftButton);
    auto* pages = child<QTabWidget>(wizard, "PageControl1");
    const auto turnTo = [pages](int page) {
        QTabBar* bar = pages->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page).center());
    };
    turnTo(1);
    for (const auto& [field, value] : {std::pair{"edhcc", "10"}, {"edvcc", "8"}, {"edcw", "8"}, {"edch", "9"}}) {
        auto* spin = child<SpinEdit>(wizard, field);
        spin->setFocus();
        QTest::keyClick(spin, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(spin, QString::fromLatin1(value));
        QTest::keyClick(spin, Qt::Key_Tab);
    }
    turnTo(3);
    QTest::mouseClick(child<QAbstractButton>(wizard, "SpeedButton1"), Qt::LeftButton);
    ASSERT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
    ASSERT_EQ(project().settings.cellsX, 10);
    ASSERT_EQ(project().settings.cellHeight, 9);
    ASSERT_EQ(project().projectState, ProjectState::Mosaic);

    const std::string command = shellQuote(TILEWRIGHT_CLI_PROGRAM) + " create --main " + shellQuote(path("main.bmp")) +
                                " --library " + shellQuote(path("built.il2")) +
                                " --cells 10x8 --cell-size 8x9 --out " + shellQuote(path("cli.bmp")) + " >" +
                                shellQuote(path("cli.log")) + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << fileText(path("cli.log"));
    Picture fromCli;
    loadPicture(fromCli, path("cli.bmp"));
    EXPECT_TRUE(samePicture(project().MosaicImage, fromCli));
}

} // namespace
} // namespace tw::test

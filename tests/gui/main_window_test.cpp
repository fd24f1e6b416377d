// Program start, the main window's controls and its window commands,
// Open Picture, the busy state during a creation and the unsaved-changes
// question.
#include "gui/gui_fixture.h"

#include "cache/analysis_store.h"
#include "engine/pipeline.h"
#include "imaging/jpeg.h"
#include "imaging/load_picture.h"
#include "installed_tree.h"
#include "platform/program_files.h"
#include "ui/window_size.h"
#include "workspace/product.h"
#include "workspace/project_file.h"

#include <QButtonGroup>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include <cstring>

#include <sys/stat.h>

namespace tw::test {
namespace {

using MainWindowStart = GuiTest;

TEST_F(MainWindowStart, ControlsHaveTheirStartTextsAndStates)
{
    struct Row {
        const char* name;
        const char* caption;
        bool enabled;
        bool visible;
    };
    const Row rows[] = {
        {"sbnewprj", "New", true, true},       {"sbopprj", "Load", true, true},
        {"sbsvprj", "Save", true, true},        {"sbsvpic", "Save Picture", true, true},
        {"sbprint", "Print", true, true},       {"sbhand1", "Hand", true, true},
        {"sbhand2", "Change Cell", true, true}, {"sbhand3", "Free Cell Pen", false, true},
        {"SpeedButton9", "Resize", false, true}, {"SBstat", "Stats", true, true},
        {"sboverview", "Overview", true, true}, {"sbhelp", "Help", true, true},
        {"sbzoomin", "zin", false, false},      {"sbzoomout", "zot", false, false},
    };
    for (const Row& row : rows) {
        QToolButton* b = button(row.name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text().toStdString(), row.caption) << row.name;
        EXPECT_EQ(b->isEnabled(), row.enabled) << row.name;
        EXPECT_EQ(b->isVisible(), row.visible) << row.name;
        EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonTextUnderIcon) << row.name;
        EXPECT_TRUE(b->autoRaise()) << row.name;
        EXPECT_FALSE(b->icon().isNull()) << row.name;
    }
    EXPECT_TRUE(button("sbhand1")->isChecked());
    EXPECT_FALSE(button("sbhand2")->isChecked());
    EXPECT_FALSE(button("sbhand3")->isChecked());

    EXPECT_EQ(labelText("LBJOB").toStdString(), "Current Job : None");
    EXPECT_EQ(labelText("Label1").toStdString(), "Scale :100%");
    auto* gauge = child<QProgressBar>(main(), "TWprogress");
    EXPECT_EQ(gauge->minimum(), 0);
    EXPECT_EQ(gauge->maximum(), 100);
    EXPECT_EQ(gauge->value(), 0);
    EXPECT_EQ(gauge->width(), 345);
    EXPECT_EQ(child<QWidget>(main(), "Panel1")->height(), 67);
    EXPECT_EQ(child<QWidget>(main(), "Panel2")->height(), 26);
    EXPECT_EQ(child<QWidget>(main(), "img1")->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(main().frameGeometry().size(), QSize(637, 480));
    EXPECT_TRUE(main().windowTitle().contains(kApplicationTitle));
    EXPECT_TRUE(main().windowTitle().contains(kProductVersion));
}

TEST_F(MainWindowStart, NewPrintAndImageLibFollowTheirCommands)
{
    // A command the program hands in enables its button and menu item; a
    // running creation disables them again.
    struct Row {
        const char* button;  // nullptr: the menu only
        const char* action;
        void (MainWindow::*set)(std::function<void()>);
    };
    const Row rows[] = {
        {"sbnewprj", "NewProject1", &MainWindow::setNewProjectCommand},
        {"sbprint", "Print1", &MainWindow::setPrintCommand},
        {nullptr, "ImageLib1", &MainWindow::setImageLibCommand},
    };
    std::vector<std::string> ran;
    for (const Row& row : rows) {
        (main().*row.set)([&ran, &row] { ran.push_back(row.action); });
        EXPECT_TRUE(action(row.action)->isEnabled()) << row.action;
        if (row.button) {
            ASSERT_TRUE(button(row.button)->isEnabled()) << row.button;
            QTest::mouseClick(button(row.button), Qt::LeftButton);
        } else {
            action(row.action)->trigger();
        }
        ASSERT_FALSE(ran.empty()) << row.action;
        EXPECT_EQ(ran.back(), row.action);
    }
    prepareCreation(8, 8, 8);
    std::vector<bool> during;
    QTimer::singleShot(0, &main(), [&] {
        for (const Row& row : rows) {
            during.push_back(action(row.action)->isEnabled());
            if (row.button)
                during.push_back(button(row.button)->isEnabled());
        }
    });
    ASSERT_TRUE(main().startCreation());
    EXPECT_EQ(during, std::vector<bool>(5, false));
    for (const Row& row : rows)
        EXPECT_TRUE(action(row.action)->isEnabled()) << row.action;
}

TEST_F(MainWindowStart, WindowsHaveTheirLaidOutOuterSizes)
{
    // The laid-out sizes are the whole windows' (title bar and borders
    // included); the inside is what remains.
    struct Row {
        QWidget* window;
        QSize outer;
    };
    const Row rows[] = {{&main(), QSize(637, 480)}, {&overview(), QSize(254, 254)}, {&usage(), QSize(633, 460)}};
    for (const Row& row : rows) {
        row.window->show();
        QApplication::processEvents();
        EXPECT_EQ(row.window->frameGeometry().size(), row.outer) << row.window->objectName().toStdString();
    }
    EXPECT_EQ(clientSizeFor(QSize(637, 480), QMargins(4, 30, 4, 4)), QSize(629, 446));
    EXPECT_EQ(clientSizeFor(QSize(10, 10), QMargins(8, 8, 8, 8)), QSize(1, 1));
}

TEST_F(MainWindowStart, EngineIsInitialisedAndDefaultListLoadedOnFirstShow)
{
    EXPECT_EQ(project().viewScale, 1);
    EXPECT_EQ(project().toolMode, ToolMode::Hand);
    EXPECT_EQ(project().projectState, ProjectState::Empty);
    EXPECT_EQ(project().physMemTotal, platform_.memory.totalPhysical);
    EXPECT_EQ(project().physMemAvail, platform_.memory.availablePhysical);
    ASSERT_EQ(library().count(), libraryColours().size());
    EXPECT_EQ(fileNamePart(library().entry(0)), "tile00.bmp");
    EXPECT_TRUE(fileExists((programDir_ / "DefaultImgList.IL2").string()));
    EXPECT_TRUE(platform_.messages.empty());
}

TEST_F(MainWindowStart, OnlyTheMainWindowIsShownAndTheOthersAreModeless)
{
    EXPECT_TRUE(main().isVisible());
    EXPECT_FALSE(overview().isVisible());
    EXPECT_FALSE(usage().isVisible());
    EXPECT_FALSE(windows_->about().isVisible());
    EXPECT_EQ(overview().objectName(), "TForm6");
    EXPECT_EQ(overview().windowTitle(), "OverView");
    EXPECT_TRUE(overview().windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(usage().objectName(), "TForm8");
    EXPECT_EQ(usage().windowTitle(), "Usage Stats and Position Extractor");
    EXPECT_FALSE(windows_->about().isModal());
    EXPECT_EQ(platform_.dialogParent, &main());
}

TEST_F(MainWindowStart, MenusCarryTheirCaptionsNamesAndShortcuts)
{
    QMenuBar* bar = main().menuBar();
    EXPECT_EQ(bar->objectName(), "MainMenu1");
    const QList<QAction*> titles = bar->actions();
    ASSERT_EQ(titles.size(), 4);
    EXPECT_EQ(titles[0]->text(), "  Project    ");
    EXPECT_EQ(titles[0]->menu()->objectName(), "Project1");
    EXPECT_EQ(titles[1]->text(), "Tools    ");
    EXPECT_EQ(titles[1]->menu()->objectName(), "ools1");
    EXPECT_EQ(titles[2]->text(), "Image Lib    ");
    EXPECT_EQ(titles[2]->objectName(), "ImageLib1");
    EXPECT_TRUE(titles[2]->isEnabled());  // the program hands the library manager in
    EXPECT_EQ(titles[3]->text(), "Help    ");
    EXPECT_EQ(titles[3]->menu()->objectName(), "About1");

    QStringList project;
    for (QAction* a : titles[0]->menu()->actions())
        project << (a->isSeparator() ? QStringLiteral("-") : a->objectName() + QLatin1Char('=') + a->text());
    EXPECT_EQ(project.join(QLatin1Char('|')).toStdString(),
              "NewProject1=New Project|OpenPicture1=Open Picture|LoadProject1=Open Mosaic Project|-|"
              "SavePicture1=Save Picture|SaveProject1=Save Mosaic Project|-|Print1=Print|-|Exit1=Exit");
    QStringList help;
    for (QAction* a : titles[3]->menu()->actions())
        help << (a->isSeparator() ? QStringLiteral("-") : a->objectName() + QLatin1Char('=') + a->text());
    EXPECT_EQ(help.join(QLatin1Char('|')).toStdString(),
              "TilewrightHelp1=Tilewright Help|-|TilewrightHomePage1=Tilewright Home Page|"
              "TilewrightSupportForum1=Tilewright  Forum|CheckUpdate1=Check Update|-|About2=About");
    EXPECT_EQ(action("OverView1")->text(), "OverView");
    EXPECT_EQ(action("CellStats1")->text(), "Cell Stats");

    EXPECT_EQ(action("LoadProject1")->shortcut(), QKeySequence(QKeySequence::Open));
    EXPECT_EQ(action("SaveProject1")->shortcut(), QKeySequence(QKeySequence::Save));
    EXPECT_EQ(action("Exit1")->shortcut(), QKeySequence(QKeySequence::Quit));
    EXPECT_TRUE(action("NewProject1")->isEnabled());
    EXPECT_EQ(action("NewProject1")->shortcut(), QKeySequence(QKeySequence::New));
    EXPECT_TRUE(action("Print1")->isEnabled());
    EXPECT_TRUE(action("OpenPicture1")->isEnabled());
}

TEST_F(MainWindowStart, ToolButtonsFormOneExclusiveGroupThatSetsToolAndCursor)
{
    auto* img1 = child<QWidget>(main(), "img1");
    QTest::mouseClick(button("sbhand2"), Qt::LeftButton);
    EXPECT_TRUE(button("sbhand2")->isChecked());
    EXPECT_FALSE(button("sbhand1")->isChecked());
    EXPECT_EQ(project().toolMode, ToolMode::ChangeCell);
    EXPECT_EQ(img1->cursor().shape(), Qt::CrossCursor);

    // Clicking the pressed tool again keeps it pressed.
    QTest::mouseClick(button("sbhand2"), Qt::LeftButton);
    EXPECT_TRUE(button("sbhand2")->isChecked());
    EXPECT_EQ(project().toolMode, ToolMode::ChangeCell);

    QTest::mouseClick(button("sbhand1"), Qt::LeftButton);
    EXPECT_TRUE(button("sbhand1")->isChecked());
    EXPECT_FALSE(button("sbhand2")->isChecked());
    EXPECT_EQ(project().toolMode, ToolMode::Hand);
    EXPECT_EQ(img1->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(MainWindowStart, CommandsOnAnEmptyProjectDoNotFail)
{
    platform_.answerFile(qpath("empty.bmp"));
    invoke(main(), "sbsvpicClick");
    invoke(main(), "SBstatClick");
    EXPECT_TRUE(usage().isVisible());
    invoke(main(), "sboverviewClick");
    EXPECT_TRUE(overview().isVisible());
    EXPECT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
    EXPECT_TRUE(fileExists(path("empty.bmp")));
    EXPECT_EQ(labelText("Label1").toStdString(), "Scale :100%");
    // Change Cell and Hand on the empty view change nothing.
    QTest::mouseClick(button("sbhand2"), Qt::LeftButton);
    press(5, 5);
    release(20, 20);
    EXPECT_EQ(project().viewOffsetX, 0);
    EXPECT_EQ(project().random.seed(), 0u);
}

TEST_F(MainWindowStart, HelpAndWebItemsOpenTheirAddresses)
{
    invoke(main(), "sbhelpClick");
    invoke(main(), "TilewrightHomePage1Click");
    invoke(main(), "TilewrightSupportForum1Click");
    invoke(main(), "CheckUpdate1Click");
    ASSERT_EQ(platform_.opened.size(), 4u);
    EXPECT_EQ(platform_.opened[0], QUrl::fromLocalFile(QString::fromStdString((programDir_ / "help.pdf").string())));
    EXPECT_EQ(platform_.opened[1], QUrl(kHomePageAddress));
    EXPECT_EQ(platform_.opened[2], QUrl(kForumAddress));
    EXPECT_EQ(platform_.opened[3], QUrl(kUpdateAddress));
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(platform_.opened[i].scheme(), "https");
    // A missing help document is not reported.
    EXPECT_TRUE(platform_.messages.empty());
}

TEST_F(MainWindowStart, AboutShowsProductAndOkCloses)
{
    action("About2")->trigger();
    AboutWindow& about = windows_->about();
    ASSERT_TRUE(about.isVisible());
    QStringList texts;
    for (QLabel* label : about.findChildren<QLabel*>())
        texts << label->text();
    const QString all = texts.join(QLatin1Char('\n'));
    EXPECT_TRUE(all.contains(kApplicationTitle));
    EXPECT_TRUE(all.contains(kProductVersion));
    EXPECT_TRUE(all.contains(kReleaseDate));
    auto* ok = about.findChild<QAbstractButton*>(QStringLiteral("OKButton"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    // Shown again, it is the same window.
    action("About2")->trigger();
    EXPECT_TRUE(about.isVisible());
}

TEST_F(MainWindowStart, ClosingTheMainWindowClosesTheOverview)
{
    invoke(main(), "sboverviewClick");
    ASSERT_TRUE(overview().isVisible());
    EXPECT_FALSE(overview().testAttribute(Qt::WA_QuitOnClose));
    EXPECT_FALSE(usage().testAttribute(Qt::WA_QuitOnClose));
    EXPECT_TRUE(main().testAttribute(Qt::WA_QuitOnClose));
    action("Exit1")->trigger();
    EXPECT_FALSE(main().isVisible());
    EXPECT_FALSE(overview().isVisible());
}

TEST_F(MainWindowStart, ClosingTheOverviewOnlyHidesIt)
{
    invoke(main(), "sboverviewClick");
    overview().close();
    EXPECT_FALSE(overview().isVisible());
    invoke(main(), "sboverviewClick");
    EXPECT_TRUE(overview().isVisible());
}

TEST_F(MainWindowStart, ZoomLevelStaysAPowerOfTwoWithinOneToThirtyTwo)
{
    project().MosaicImage = solidPicture(40, 30, Bgr{1, 2, 3});
    for (int i = 0; i < 7; ++i)
        invoke(main(), "sbzoomoutClick");
    EXPECT_EQ(project().viewScale, 32);
    EXPECT_EQ(labelText("Label1").toStdString(), "Scale :0% MainbmpPos x0 y0");
    invoke(main(), "sbzoominClick");
    EXPECT_EQ(project().viewScale, 16);
    for (int i = 0; i < 6; ++i)
        invoke(main(), "sbzoominClick");
    EXPECT_EQ(project().viewScale, 1);
    EXPECT_EQ(labelText("Label1").toStdString(), "Scale :100% MainbmpPos x0 y0");
}

// --- Open Picture -----------------------------------------------------------

using OpenPicture = GuiTest;

TEST_F(OpenPicture, LoadedPictureReplacesTheViewAtTheTopLeft)
{
    const Picture picture = gradientPicture(900, 700);
    saveJpeg(picture, path("photo.jpg"));
    Picture expected;
    loadPicture(expected, path("photo.jpg"));
    project().MosaicImage = solidPicture(1000, 1000, Bgr{9, 9, 9});
    project().projectState = ProjectState::Mosaic;
    project().viewOffsetX = 120;
    project().viewOffsetY = 45;

    platform_.answerFile(qpath("photo.jpg"), 0);
    action("OpenPicture1")->trigger();

    ASSERT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
    ASSERT_EQ(platform_.dialogs.size(), 1u);
    EXPECT_FALSE(platform_.dialogs[0].save);
    EXPECT_TRUE(platform_.dialogs[0].request.filters.join(' ').contains("*.bmp"));
    EXPECT_TRUE(platform_.dialogs[0].request.filters.join(' ').contains("*.jpg"));
    EXPECT_TRUE(platform_.dialogs[0].request.filters.join(' ').contains("(*)"));
    EXPECT_TRUE(samePicture(project().MosaicImage, expected));
    EXPECT_EQ(project().viewOffsetX, 0);
    EXPECT_EQ(project().viewOffsetY, 0);
    EXPECT_EQ(project().projectState, ProjectState::Picture);
    EXPECT_EQ(labelText("Label1").toStdString(), "Scale :100% MainbmpPos x0 y0");

    // img1 shows the top-left part, pixel for pixel.
    auto* img1 = child<PictureBox>(main(), "img1");
    const QSize box = viewBox();
    ASSERT_EQ(img1->picture().width(), std::min(box.width(), 900));
    ASSERT_EQ(img1->picture().height(), std::min(box.height(), 700));
    Picture expectedView(img1->picture().width(), img1->picture().height());
    copyRect(expected, 0, 0, expectedView, 0, 0, expectedView.width(), expectedView.height());
    EXPECT_TRUE(samePicture(img1->picture(), expectedView));
    EXPECT_EQ(project().viewRect, (Rect{0, 0, expectedView.width(), expectedView.height()}));
}

TEST_F(OpenPicture, FailedLoadShowsTheMessageAndChangesNothing)
{
    const Picture before = solidPicture(50, 40, Bgr{1, 2, 3});
    project().MosaicImage = before;
    project().projectState = ProjectState::Mosaic;
    project().viewOffsetX = 7;
    project().viewOffsetY = 3;
    std::filesystem::create_directories(dir_);
    saveBmp(before, path("picture.txt"));
    saveBmp(before, path("bell\a.txt"));
    ASSERT_EQ(::mkfifo(path("pipe.bmp").c_str(), 0600), 0);

    // A message that does not name its file is followed by the file's path;
    // control characters in either are shown escaped. A named pipe is
    // refused without waiting for a writer.
    struct Row {
        std::string file;
        std::string message;
        std::string ending;
    };
    const Row rows[] = {
        {"picture.txt", "Unknown picture file extension (.txt).\n\n", path("picture.txt")},
        {"missing.bmp", "Cannot open file \"" + path("missing.bmp") + "\"", "."},
        {"bell\a.txt", "Unknown picture file extension (.txt).\n\n", path("bell\\x07.txt")},
        {"pipe.bmp", "Cannot open file \"" + path("pipe.bmp") + "\". Not a regular file (a named pipe).", ""},
    };
    std::atomic<bool> stop{false};
    std::thread feeder([&] { test::feedPipeUntil(path("pipe.bmp"), stop); });
    for (const Row& row : rows) {
        platform_.messages.clear();
        platform_.answerFile(qpath(row.file));
        invoke(main(), "OpenPicture1Click");
        // No ASSERT here: the pipe's feeder must be joined.
        EXPECT_EQ(platform_.messages.size(), 1u) << row.file;
        if (platform_.messages.size() != 1u)
            continue;
        EXPECT_EQ(platform_.messages[0].caption, "Error");
        const std::string& text = platform_.messages[0].text;
        EXPECT_EQ(text.rfind(row.message, 0), 0u) << text;
        EXPECT_TRUE(text.size() >= row.ending.size() &&
                    text.compare(text.size() - row.ending.size(), row.ending.size(), row.ending) == 0)
            << text;
        EXPECT_TRUE(samePicture(project().MosaicImage, before));
        EXPECT_EQ(project().projectState, ProjectState::Mosaic);
        EXPECT_EQ(project().viewOffsetX, 7);
        EXPECT_EQ(project().viewOffsetY, 3);
    }
    stop = true;
    feeder.join();
}

TEST_F(OpenPicture, CancelledDialogDoesNothing)
{
    project().viewOffsetX = 4;
    platform_.answerCancel();
    invoke(main(), "OpenPicture1Click");
    EXPECT_TRUE(platform_.messages.empty());
    EXPECT_EQ(project().viewOffsetX, 4);
    EXPECT_EQ(project().projectState, ProjectState::Empty);
}

// --- Creation and the busy state ---------------------------------------------

using Creation = GuiTest;

// Every command that reads or changes the mosaic, the grid, the table, the
// library or the settings, with whether it is enabled now.
std::vector<std::pair<std::string, bool>> commandStates(MainWindow& main, UsageWindow& usage)
{
    std::vector<std::pair<std::string, bool>> states;
    for (const char* name : {"sbnewprj", "sbopprj", "sbsvprj", "sbsvpic", "sbprint", "sbhand2", "SBstat"})
        states.emplace_back(name, main.findChild<QToolButton*>(name)->isEnabled());
    for (const char* name : {"NewProject1", "OpenPicture1", "LoadProject1", "SavePicture1", "SaveProject1", "Print1",
                             "CellStats1", "ImageLib1"})
        states.emplace_back(name, main.findChild<QAction*>(name)->isEnabled());
    for (const char* name : {"Button1", "Button2", "cbshortname"})
        states.emplace_back(std::string("TForm8.") + name, usage.findChild<QWidget*>(name)->isEnabled());
    return states;
}

void handInCommands(MainWindow& main)
{
    main.setNewProjectCommand([] {});
    main.setPrintCommand([] {});
    main.setImageLibCommand([] {});
}

void expectAll(const std::vector<std::pair<std::string, bool>>& states, bool enabled, const char* when)
{
    ASSERT_FALSE(states.empty()) << when;
    for (const auto& [name, state] : states)
        EXPECT_EQ(state, enabled) << name << " " << when;
}

TEST_F(Creation, CommandsAreDisabledWhileItRunsAndEnabledAfter)
{
    handInCommands(main());
    prepareCreation(8, 8, 8);
    std::vector<std::pair<std::string, bool>> during;
    bool busy = false;
    std::vector<std::string> labelsSeen;
    // Fires inside the first message pump of the running creation.
    QTimer::singleShot(0, &main(), [&] {
        during = commandStates(main(), usage());
        busy = context_->isBusy();
        labelsSeen.push_back(labelText("LBJOB").toStdString());
        // A second creation started from a nested handler is refused.
        EXPECT_FALSE(main().startCreation());
    });
    expectAll(commandStates(main(), usage()), true, "before");
    ASSERT_TRUE(main().startCreation());
    EXPECT_TRUE(busy);
    expectAll(during, false, "during the creation");
    ASSERT_EQ(labelsSeen.size(), 1u);
    EXPECT_NE(labelsSeen[0], "Current Job : None");
    EXPECT_FALSE(context_->isBusy());
    expectAll(commandStates(main(), usage()), true, "after");
    EXPECT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
}

TEST_F(Creation, FinishedMosaicIsShownFromTheTopLeftWithTheOverview)
{
    prepareCreation(8, 8, 8);
    project().viewOffsetX = 30;
    project().viewOffsetY = 20;
    ASSERT_FALSE(overview().isVisible());
    ASSERT_TRUE(main().startCreation());
    EXPECT_EQ(labelText("LBJOB").toStdString(), "Current Job : Mosaic Created");
    EXPECT_EQ(child<QProgressBar>(main(), "TWprogress")->value(), 0);
    EXPECT_EQ(project().projectState, ProjectState::Mosaic);
    EXPECT_EQ(project().viewOffsetX, 0);
    EXPECT_EQ(project().viewOffsetY, 0);
    EXPECT_EQ(labelText("Label1").toStdString(), "Scale :100% MainbmpPos x0 y0");
    EXPECT_TRUE(overview().isVisible());
    auto* img1 = child<PictureBox>(main(), "img1");
    EXPECT_TRUE(samePicture(img1->picture(), project().MosaicImage));  // 64 x 64 fits the view
    auto* image1 = overview().findChild<PictureBox*>("Image1");
    ASSERT_NE(image1, nullptr);
    EXPECT_FALSE(image1->picture().empty());
}

// The desktop program's creations use the analysis cache in the user's
// cache folder, the one tilewright-cli uses: a repeat creation finds every
// photograph there and shows the same mosaic.
TEST_F(Creation, RepeatCreationFindsEveryPhotographInTheUsersCacheAndShowsTheSameMosaic)
{
    const std::string home = path("cache-home");
    ScopedEnv cacheHome("XDG_CACHE_HOME", home.c_str());
    prepareCreation(8, 8, 8);
    ASSERT_TRUE(main().startCreation());
    const Picture first = project().MosaicImage;
    AnalysisStore* store = context_->analysisStore();
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->databasePath(), home + "/tilewright/" + AnalysisStore::kDatabaseName);
    EXPECT_EQ(store->counts().found, 0u);
    // The generator goes on from one creation to the next: the uncached
    // creation to compare with starts where the cached one does.
    const auto randomBefore = project().random;
    ASSERT_TRUE(main().startCreation());
    EXPECT_EQ(store->counts().found, library().count());
    const Picture cached = project().MosaicImage;
    project().random = randomBefore;
    NullObserver quiet;
    runCreation(project(), library(), quiet);
    EXPECT_TRUE(samePicture(cached, project().MosaicImage));
    EXPECT_TRUE(platform_.messages.empty());
    // Another program (tilewright-cli) sees the same entries.
    auto other = AnalysisStore::open(userCacheFolder(), nullptr);
    ASSERT_TRUE(other);
    EXPECT_GT(other->summary().entries, 0u);
}

TEST_F(Creation, FailureIsReportedAndCommandsComeBack)
{
    handInCommands(main());
    // A library picture that vanished before the creation.
    std::vector<std::string> entries = library().entries();
    entries.push_back(path("gone.bmp"));
    library().replaceAll(entries);
    prepareCreation(8, 8, 8);
    EXPECT_FALSE(main().startCreation());
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_EQ(platform_.messages[0].caption, "Error");
    EXPECT_NE(platform_.messages[0].text.find("gone.bmp"), std::string::npos) << platform_.messages[0].text;
    EXPECT_EQ(platform_.messages[0].text.back(), '.');
    EXPECT_FALSE(overview().isVisible());
    EXPECT_FALSE(context_->isBusy());
    expectAll(commandStates(main(), usage()), true, "after the failure");
}

TEST_F(Creation, FailureLeavesTheShownMosaicViewLabelAndGaugeAsTheyWere)
{
    // A mosaic larger than the view, scrolled a little.
    WizardOptions options;
    options.repeatRadius = 1;
    prepareCreation(100, 60, 8, options);
    project().mainImagePath = "/shown/main.jpg";
    ASSERT_TRUE(main().startCreation());
    press(0, 0);
    release(-10, -6);
    auto* gauge = child<QProgressBar>(main(), "TWprogress");
    gauge->setValue(37);
    const std::string label = labelText("LBJOB").toStdString();
    const Picture mosaic = project().MosaicImage, grid = project().GridImage;
    const MosaicGridStore cells = project().MosaicGrid;
    const CellPicTableStore table = project().CellPicTable;
    const tmosaicproject settings = project().settings;
    const std::uint32_t seed = project().random.seed();
    const Picture view = child<PictureBox>(main(), "img1")->picture();
    const QString title = main().windowTitle();

    // Another mosaic, with one photograph gone: the grid stage has run
    // when the library stage meets the missing file.
    std::vector<std::string> entries = library().entries();
    entries[3] = path("copy3.bmp");
    library().replaceAll(entries);
    prepareCreation(12, 10, 16);
    project().mainImagePath = "/wizard/other.jpg";
    EXPECT_FALSE(main().startCreation());
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_NE(platform_.messages[0].text.find("copy3.bmp"), std::string::npos) << platform_.messages[0].text;

    EXPECT_TRUE(samePicture(project().MosaicImage, mosaic));
    EXPECT_TRUE(samePicture(project().GridImage, grid));
    EXPECT_EQ(project().random.seed(), seed);
    EXPECT_EQ(project().viewOffsetX, 10);
    EXPECT_EQ(project().viewOffsetY, 6);
    EXPECT_TRUE(samePicture(child<PictureBox>(main(), "img1")->picture(), view));
    EXPECT_EQ(labelText("LBJOB").toStdString(), label);
    EXPECT_EQ(gauge->value(), 37);
    EXPECT_EQ(main().windowTitle(), title);
    EXPECT_TRUE(project().MosaicGrid == cells);
    EXPECT_TRUE(project().CellPicTable == table);
    EXPECT_EQ(project().projectState, ProjectState::Mosaic);
    // The record is the shown mosaic's again, not the one the failed
    // creation was given: a Change Cell click still means the right cell.
    EXPECT_EQ(std::memcmp(&project().settings, &settings, sizeof settings), 0);
    EXPECT_EQ(project().mainImagePath, "/shown/main.jpg");
    QTest::mouseClick(button("sbhand2"), Qt::LeftButton);
    // View position (2, 2) at offsets (10, 6) is mosaic pixel (12, 8): cell (1, 1) of 8-pixel cells.
    QTest::mouseClick(child<PictureBox>(main(), "img1"), Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_FALSE(sameCell(project().MosaicGrid.at(1, 1), cells.at(1, 1))) << "cell (1, 1) under the click kept its picture";
}

TEST_F(Creation, MainWindowClosedWhileItRunsDoesNotBringTheOverviewBack)
{
    prepareCreation(8, 8, 8);
    QTimer::singleShot(0, &main(), [&] { main().close(); });
    main().startCreation();
    EXPECT_FALSE(main().isVisible());
    EXPECT_FALSE(overview().isVisible());
}

TEST_F(Creation, GaugeNeverLeavesItsRange)
{
    // The library stage reports -1 after its first photographs (i x 100 / N
    // - 1 with N above 100). A progress bar ignores values outside its range,
    // so the window must bring them in: a gauge showing 50 at that moment
    // has to show 0, not keep 50.
    std::vector<std::string> entries = library().entries();
    const std::string first = entries.front();
    for (int i = 0; i < 110; ++i) {
        const std::string copy = path("many" + std::to_string(i) + ".bmp");
        std::filesystem::copy_file(first, copy);
        entries.push_back(copy);
    }
    library().replaceAll(entries);
    prepareCreation(8, 8, 8);
    auto* gauge = child<QProgressBar>(main(), "TWprogress");
    std::vector<int> afterPoke;
    int pumpsInLibraryStage = 0;
    std::function<void()> watch = [&] {
        if (labelText("LBJOB").toStdString() == "Current Job : Cell Pic Lib") {
            ++pumpsInLibraryStage;
            if (pumpsInLibraryStage == 2)
                afterPoke.push_back(gauge->value());  // after the second report of -1
            if (pumpsInLibraryStage == 1)
                gauge->setValue(50);
        }
        EXPECT_GE(gauge->value(), 0);
        EXPECT_LE(gauge->value(), 100);
        if (context_->isBusy())
            QTimer::singleShot(0, &main(), watch);
    };
    QTimer::singleShot(0, &main(), watch);
    ASSERT_TRUE(main().startCreation());
    ASSERT_GE(pumpsInLibraryStage, 2);
    ASSERT_EQ(afterPoke.size(), 1u);
    EXPECT_EQ(afterPoke[0], 0) << "a report of -1 left the gauge where it was";
    EXPECT_EQ(gauge->value(), 0);
}

// --- Unsaved changes ------------------------------------------------------------

class UnsavedChanges : public GuiTest {
protected:
    // A created mosaic saved as p.tw6, then one cell edited.
    void editedProject()
    {
        WizardOptions options;
        options.repeatRadius = 1;
        prepareCreation(8, 8, 8, options);
        ASSERT_TRUE(main().startCreation());
        EXPECT_FALSE(main().isModified());
        platform_.answerFile(qpath("p.tw6"));
        action("SaveProject1")->trigger();
        ASSERT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
        QTest::mouseClick(button("sbhand2"), Qt::LeftButton);
        unedited = project().MosaicGrid.at(1, 1);
        QTest::mouseClick(child<PictureBox>(main(), "img1"), Qt::LeftButton, {}, QPoint(12, 12));
        ASSERT_TRUE(main().isModified());
        edited = project().MosaicGrid.at(1, 1);
        ASSERT_FALSE(sameCell(edited, unedited));
        platform_.dialogs.clear();
    }

    MosaicCell unedited, edited;
};

TEST_F(UnsavedChanges, TitleShowsTheProjectNameAndTheMark)
{
    EXPECT_FALSE(main().windowTitle().contains(QLatin1Char('*')));
    prepareCreation(8, 8, 8);
    ASSERT_TRUE(main().startCreation());
    EXPECT_TRUE(main().windowTitle().startsWith(QStringLiteral("Untitled - "))) << main().windowTitle().toStdString();
    editedProject();
    EXPECT_TRUE(main().windowTitle().startsWith(QStringLiteral("p.tw6* - "))) << main().windowTitle().toStdString();
    EXPECT_TRUE(main().windowTitle().contains(kApplicationTitle));
    // Saving clears the mark.
    platform_.answerFile(qpath("p.tw6"));
    action("SaveProject1")->trigger();
    EXPECT_FALSE(main().isModified());
    EXPECT_TRUE(main().windowTitle().startsWith(QStringLiteral("p.tw6 - "))) << main().windowTitle().toStdString();
}

TEST_F(UnsavedChanges, ExitLoadAndNewAskAndFollowTheAnswer)
{
    struct Row {
        const char* command;
        SaveChoice answer;
        bool saveDialogCancelled;
        bool goesOn;  // the command did what it does (closed, opened the dialog, ran the wizard hook)
        bool saved;
    };
    const Row rows[] = {
        {"Exit1", SaveChoice::Cancel, false, false, false},
        {"Exit1", SaveChoice::Discard, false, true, false},
        {"Exit1", SaveChoice::Save, false, true, true},
        {"Exit1", SaveChoice::Save, true, false, false},
        {"LoadProject1", SaveChoice::Cancel, false, false, false},
        {"LoadProject1", SaveChoice::Discard, false, true, false},
        {"LoadProject1", SaveChoice::Save, false, true, true},
        {"NewProject1", SaveChoice::Cancel, false, false, false},
        {"NewProject1", SaveChoice::Discard, false, true, false},
        {"NewProject1", SaveChoice::Save, false, true, true},
        {"NewProject1", SaveChoice::Save, true, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.command) + " answer " + std::to_string(int(row.answer)));
        TearDown();
        platform_.messages.clear();
        platform_.dialogs.clear();
        SetUp();
        bool wizardShown = false;
        main().setNewProjectCommand([&] { wizardShown = true; });
        editedProject();
        platform_.messages.clear();
        platform_.saveAnswers.push_back(row.answer);
        if (row.answer == SaveChoice::Save) {
            if (row.saveDialogCancelled)
                platform_.answerCancel();
            else
                platform_.answerFile(qpath("p.tw6"));
        }
        const bool loading = std::string(row.command) == "LoadProject1";
        if (loading && row.goesOn)
            platform_.answerCancel();  // the open dialog that follows
        action(row.command)->trigger();

        ASSERT_GE(platform_.messages.size(), 1u);
        EXPECT_EQ(platform_.messages[0].text, "Save changes to p.tw6?");
        EXPECT_EQ(platform_.messages[0].caption, "Caution");
        const std::string command = row.command;
        if (command == "Exit1") {
            EXPECT_EQ(!main().isVisible(), row.goesOn);
        }
        if (command == "NewProject1") {
            EXPECT_EQ(wizardShown, row.goesOn);
        }
        if (loading) {
            const bool openDialog = !platform_.dialogs.empty() && !platform_.dialogs.back().save;
            EXPECT_EQ(openDialog, row.goesOn);
        }
        EXPECT_EQ(main().isModified(), !row.saved);
        // The file holds the edit only when the answer saved it.
        auto reopened = std::make_unique<MosaicProject>();
        CellPicLib lib;
        openProjectFile(*reopened, lib, path("p.tw6"));
        EXPECT_TRUE(sameCell(reopened->MosaicGrid.at(1, 1), row.saved ? edited : unedited));
    }
}

TEST_F(UnsavedChanges, NothingIsAskedWithoutEdits)
{
    prepareCreation(8, 8, 8);
    ASSERT_TRUE(main().startCreation());
    bool wizardShown = false;
    main().setNewProjectCommand([&] { wizardShown = true; });
    action("NewProject1")->trigger();
    EXPECT_TRUE(wizardShown);
    platform_.answerCancel();
    action("LoadProject1")->trigger();
    action("Exit1")->trigger();
    EXPECT_FALSE(main().isVisible());
    EXPECT_TRUE(platform_.messages.empty());
}

} // namespace
} // namespace tw::test

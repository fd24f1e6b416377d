// Program start, the main window's controls and its window commands,
// Open Picture, and the busy state during a creation.
#include "gui/gui_fixture.h"

#include "engine/pipeline.h"
#include "imaging/jpeg.h"
#include "imaging/load_picture.h"
#include "workspace/product.h"

#include <QButtonGroup>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

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
    EXPECT_EQ(main().size(), QSize(637, 480));
    EXPECT_TRUE(main().windowTitle().contains(kApplicationTitle));
    EXPECT_TRUE(main().windowTitle().contains(kProductVersion));
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
    EXPECT_EQ(usage().size(), QSize(633, 460));
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

    // A message that does not name its file is followed by the file's path.
    struct Row {
        std::string file;
        std::string message;
        std::string ending;
    };
    const Row rows[] = {
        {"picture.txt", "Unknown picture file extension (.txt).\n\n", path("picture.txt")},
        {"missing.bmp", "Cannot open file \"" + path("missing.bmp") + "\"", "."},
    };
    for (const Row& row : rows) {
        platform_.messages.clear();
        platform_.answerFile(qpath(row.file));
        invoke(main(), "OpenPicture1Click");
        ASSERT_EQ(platform_.messages.size(), 1u) << row.file;
        EXPECT_EQ(platform_.messages[0].caption, "Error");
        const std::string& text = platform_.messages[0].text;
        EXPECT_EQ(text.rfind(row.message, 0), 0u) << text;
        ASSERT_GE(text.size(), row.ending.size());
        EXPECT_EQ(text.substr(text.size() - row.ending.size()), row.ending) << text;
        EXPECT_TRUE(samePicture(project().MosaicImage, before));
        EXPECT_EQ(project().projectState, ProjectState::Mosaic);
        EXPECT_EQ(project().viewOffsetX, 7);
        EXPECT_EQ(project().viewOffsetY, 3);
    }
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

struct CommandStates {
    bool busy = false;
    bool sbopprj = false, LoadProject1 = false, OpenPicture1 = false, sbsvprj = false, SaveProject1 = false;
    bool sampled = false;
};

CommandStates sampleCommands(AppContext& context, MainWindow& main)
{
    CommandStates s;
    s.sampled = true;
    s.busy = context.isBusy();
    s.sbopprj = main.findChild<QToolButton*>("sbopprj")->isEnabled();
    s.sbsvprj = main.findChild<QToolButton*>("sbsvprj")->isEnabled();
    s.LoadProject1 = main.findChild<QAction*>("LoadProject1")->isEnabled();
    s.OpenPicture1 = main.findChild<QAction*>("OpenPicture1")->isEnabled();
    s.SaveProject1 = main.findChild<QAction*>("SaveProject1")->isEnabled();
    return s;
}

TEST_F(Creation, CommandsAreDisabledWhileItRunsAndEnabledAfter)
{
    prepareCreation(8, 8, 8);
    CommandStates during;
    std::vector<std::string> labelsSeen;
    // Fires inside the first message pump of the running creation.
    QTimer::singleShot(0, &main(), [&] {
        during = sampleCommands(*context_, main());
        labelsSeen.push_back(labelText("LBJOB").toStdString());
        // A second creation started from a nested handler is refused.
        EXPECT_FALSE(main().startCreation());
    });
    ASSERT_TRUE(main().startCreation());
    ASSERT_TRUE(during.sampled) << "the creation never let window messages run";
    EXPECT_TRUE(during.busy);
    EXPECT_FALSE(during.sbopprj);
    EXPECT_FALSE(during.LoadProject1);
    EXPECT_FALSE(during.OpenPicture1);
    EXPECT_FALSE(during.sbsvprj);
    EXPECT_FALSE(during.SaveProject1);
    ASSERT_EQ(labelsSeen.size(), 1u);
    EXPECT_NE(labelsSeen[0], "Current Job : None");

    const CommandStates after = sampleCommands(*context_, main());
    EXPECT_FALSE(after.busy);
    EXPECT_TRUE(after.sbopprj && after.LoadProject1 && after.OpenPicture1 && after.sbsvprj && after.SaveProject1);
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

TEST_F(Creation, FailureIsReportedAndCommandsComeBack)
{
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
    const CommandStates after = sampleCommands(*context_, main());
    EXPECT_FALSE(after.busy);
    EXPECT_TRUE(after.sbopprj && after.LoadProject1 && after.OpenPicture1 && after.sbsvprj && after.SaveProject1);
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
    prepareCreation(8, 8, 8);
    auto* gauge = child<QProgressBar>(main(), "TWprogress");
    std::vector<int> values;
    QObject::connect(gauge, &QProgressBar::valueChanged, gauge, [&](int v) { values.push_back(v); });
    ASSERT_TRUE(main().startCreation());
    ASSERT_FALSE(values.empty());
    for (int v : values) {
        EXPECT_GE(v, 0);
        EXPECT_LE(v, 100);
    }
    // The library stage starts below zero; the gauge shows it as 0.
    EXPECT_EQ(gauge->value(), 0);
}

} // namespace
} // namespace tw::test

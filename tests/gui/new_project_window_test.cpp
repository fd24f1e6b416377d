// The New Project wizard driven through its controls: loading the main
// picture, the size page's texts and typing rule, the options, the brief and
// starting a creation.
#include "gui/gui_fixture.h"

#include "engine/pipeline.h"
#include "imaging/inspect.h"
#include "imaging/load_picture.h"
#include "imaging/transforms.h"
#include "setup/mosaic_size.h"
#include "ui/spin_edit.h"

#include <QCheckBox>
#include <QLocale>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>

namespace tw::test {
namespace {

class NewProject : public GuiTest {
protected:
    NewProjectWindow& wizard() { return windows_->newProject(); }
    const MosaicProject& draft() { return wizard().wizardProject(); }

    template <class T>
    T* w(const char* name)
    {
        return child<T>(wizard(), name);
    }
    std::string text(const char* label) { return w<QLabel>(label)->text().toStdString(); }
    std::string spinText(const char* spin) { return w<SpinEdit>(spin)->text().toStdString(); }

    void open()
    {
        QTest::mouseClick(button("sbnewprj"), Qt::LeftButton);
        ASSERT_TRUE(wizard().isVisible());
        ASSERT_TRUE(QTest::qWaitForWindowActive(&wizard()));
    }
    void turnTo(int page)
    {
        QTabBar* bar = w<QTabWidget>("PageControl1")->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page).center());
        ASSERT_EQ(w<QTabWidget>("PageControl1")->currentIndex(), page);
    }
    void click(const char* name) { QTest::mouseClick(w<QAbstractButton>(name), Qt::LeftButton); }
    void setTicked(const char* name, bool ticked)
    {
        if (w<QAbstractButton>(name)->isChecked() != ticked)
            click(name);
    }
    // Replaces a spin edit's text by typing; the field keeps the focus.
    void type(const char* name, const QString& typed)
    {
        auto* spin = w<SpinEdit>(name);
        spin->setFocus();
        QTest::keyClick(spin, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(spin, Qt::Key_Backspace);
        QTest::keyClicks(spin, typed);
    }
    void typeAndLeave(const char* name, int value)
    {
        type(name, QString::number(value));
        QTest::keyClick(w<SpinEdit>(name), Qt::Key_Tab);
    }
    void slideTo(const char* name, int value)
    {
        auto* bar = w<QSlider>(name);
        QTest::keyClick(bar, Qt::Key_Home);
        for (int i = bar->minimum(); i < value; ++i)
            QTest::keyClick(bar, Qt::Key_Right);
        ASSERT_EQ(bar->value(), value);
    }
    void loadMain(const std::string& file)
    {
        platform_.answerFile(qpath(file));
        click("btloadtwmain");
    }
    std::vector<std::string> memoLines()
    {
        std::vector<std::string> lines;
        for (const QString& line : w<QPlainTextEdit>("Memo1")->toPlainText().split(QLatin1Char('\n')))
            lines.push_back(line.toStdString());
        return lines;
    }
    void useLibraryOf(std::size_t files)
    {
        library().replaceAll(std::vector<std::string>(files, library().entry(0)));
    }
    PictureBox* preview() { return w<PictureBox>("f2img1"); }
};

// --- The window ---------------------------------------------------------------

TEST_F(NewProject, WindowIsAHiddenStayOnTopFixedSizeDialogWithFourPages)
{
    EXPECT_FALSE(wizard().isVisible());
    EXPECT_EQ(wizard().objectName(), "TForm2");
    EXPECT_EQ(wizard().windowTitle(), "New Project");
    EXPECT_TRUE(wizard().windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(wizard().isModal());
    EXPECT_FALSE(wizard().testAttribute(Qt::WA_QuitOnClose));
    EXPECT_EQ(wizard().minimumSize(), wizard().maximumSize());
    EXPECT_GE(wizard().width(), 461);
    EXPECT_GE(wizard().height(), 304);

    auto* pages = w<QTabWidget>("PageControl1");
    const char* names[] = {"TabSheet1", "TabSheet2", "TabSheet4", "TabSheet5"};
    const char* captions[] = {"Main Image", "Mosaic Size", "Project Options", "Final Check && Output"};
    ASSERT_EQ(pages->count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(pages->widget(i)->objectName().toStdString(), names[i]);
        EXPECT_EQ(pages->tabText(i).toStdString(), captions[i]);
    }
}

TEST_F(NewProject, ControlsStartWithTheirCaptionsValuesAndRanges)
{
    struct Button {
        const char* name;
        const char* caption;
        bool checked;
    };
    const Button buttons[] = {
        {"btslrgb", "RGB", true},
        {"btslr", "R", false},
        {"btslg", "G", false},
        {"btslb", "B", false},
        {"cbmonomain", "Monochrome (Gray Scale)", false},
        {"breloadtwmain", "reset", false},
        {"btloadtwmain", "Load Main Image", false},
        {"cbcropmain", "Allow Crop Main Image", false},
        {"Button2", "Pattern Preview", false},
        {"rbrm1", "Self Mosaic", false},
        {"rbrm2", "Standard Render", true},
        {"rss1", " Loom stitch", true},
        {"rss2", "Peyote Stitch", false},
        {"rss3", "Brick Stitch", false},
        {"cbuseall", "Ensure Use All Photos", true},
        {"cbrptlimit", "Limit Repeat Times", false},
        {"cbmonocell", "Monochrome Cell", false},
        {"cbcropcell", "Crop Cell Image", true},
        {"cbhf", "Allow Horizontal Flip", true},
        {"cbvf", "Allow Vertical Flip", true},
        {"Button4", "Save Brief Info", false},
        {"SpeedButton1", "Create Photo Mosaic", false},
    };
    for (const Button& b : buttons) {
        auto* control = w<QAbstractButton>(b.name);
        ASSERT_NE(control, nullptr) << b.name;
        EXPECT_EQ(control->text().toStdString(), b.caption) << b.name;
        EXPECT_EQ(control->isChecked(), b.checked) << b.name;
        EXPECT_EQ(control->accessibleName().toStdString(), QString::fromLatin1(b.caption).trimmed().toStdString())
            << b.name;
    }

    struct Spin {
        const char* name;
        int minimum, maximum, value;
        const char* accessible;
    };
    const Spin spins[] = {
        {"eddpi", 30, 1200, 72, "Image Resolution  ( DPI / PPI )"},
        {"edhcc", 8, 64, 48, "Horizontal Cell Numbers"},
        {"edvcc", 8, 64, 48, "Vertical Cell Numbers"},
        {"edcw", 8, 48, 32, "Cell Width :"},
        {"edch", 8, 48, 32, "Cell Height :"},
        {"seradius", 1, 100, 4, "Min Repeat radius"},
        {"serepeattime", 1, 999, 10, "Max repeat time"},
        {"ebs", 0, 20, 0, "Border Size in Pixels :"},
    };
    for (const Spin& s : spins) {
        auto* spin = w<SpinEdit>(s.name);
        ASSERT_NE(spin, nullptr) << s.name;
        EXPECT_EQ(spin->minimum(), s.minimum) << s.name;
        EXPECT_EQ(spin->maximum(), s.maximum) << s.name;
        EXPECT_EQ(spin->value(), s.value) << s.name;
        EXPECT_EQ(spin->accessibleName().toStdString(), s.accessible) << s.name;
    }

    struct Bar {
        const char* name;
        int minimum, maximum, value;
    };
    for (const Bar& b : {Bar{"tbrandom", 1, 8, 4}, Bar{"tbenhance", 0, 20, 10}}) {
        auto* bar = w<QSlider>(b.name);
        EXPECT_EQ(bar->minimum(), b.minimum) << b.name;
        EXPECT_EQ(bar->maximum(), b.maximum) << b.name;
        EXPECT_EQ(bar->value(), b.value) << b.name;
    }

    for (const char* label : {"lbmainname", "lbmainsize", "lbaspect1"})
        EXPECT_EQ(text(label), "unknown") << label;
    EXPECT_EQ(w<QWidget>("Panel1")->size(), QSize(273, 257));
    EXPECT_EQ(preview()->size(), QSize(271, 255));
    for (const char* drawing : {"Image2", "Image4", "Image3"})
        EXPECT_EQ(w<QWidget>(drawing)->size(), QSize(57, 57)) << drawing;
    EXPECT_EQ(w<QWidget>("imgcolor")->size(), QSize(24, 24));
}

TEST_F(NewProject, NewShowsTheFirstPageAndTheSettingsStayBetweenShowings)
{
    EXPECT_TRUE(button("sbnewprj")->isEnabled());
    EXPECT_TRUE(action("NewProject1")->isEnabled());
    open();
    turnTo(1);
    typeAndLeave("edhcc", 20);
    turnTo(3);
    wizard().close();
    EXPECT_FALSE(wizard().isVisible());

    // Ctrl+N on the main window shows it again, on its first page.
    main().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main()));
    QTest::keySequence(&main(), QKeySequence::New);
    ASSERT_TRUE(wizard().isVisible());
    EXPECT_EQ(w<QTabWidget>("PageControl1")->currentIndex(), 0);
    EXPECT_EQ(spinText("edhcc"), "20");
    EXPECT_EQ(draft().settings.cellsX, 20);
}

// --- Main Image ----------------------------------------------------------------

TEST_F(NewProject, LoadedPictureShowsItsPreviewNameSizeAspectAndLevel)
{
    struct Row {
        int width, height;
        bool doubleClick;
        const char* size;
        const char* aspect;
        QSize fitted;
    };
    const Row rows[] = {
        {300, 200, false, "300 x 200", "66 / 100", QSize(270, 180)},
        {200, 300, true, "200 x 300", "150 / 100", QSize(169, 254)},  // 255 / 300 falls just short
    };
    open();
    for (const Row& row : rows) {
        const std::string name = "main-" + std::to_string(row.width) + "x" + std::to_string(row.height) + ".bmp";
        const Picture picture = gradientPicture(row.width, row.height);
        saveBmp(picture, path(name));
        platform_.answerFile(qpath(name));
        if (row.doubleClick)
            QTest::mouseDClick(preview(), Qt::LeftButton);
        else
            click("btloadtwmain");
        ASSERT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;

        EXPECT_EQ(draft().mainImagePath, path(name));
        EXPECT_TRUE(samePicture(draft().MainImage, picture)) << name;
        EXPECT_EQ(text("lbmainname"), name);
        EXPECT_EQ(text("lbmainsize"), row.size);
        EXPECT_EQ(text("lbaspect1"), row.aspect);
        const Picture& shown = preview()->picture();
        EXPECT_EQ(QSize(shown.width(), shown.height()), row.fitted) << name;
        Picture fitted;
        fitIntoBox(picture, fitted, 271, 255);
        EXPECT_TRUE(samePicture(shown, fitted)) << name;
        Picture level(128, 48);
        drawLevelPicture(shown, level, LevelChannel::All);
        EXPECT_TRUE(samePicture(w<PictureBox>("Image1")->picture(), level)) << name;
        // The run's project is not touched before a creation.
        EXPECT_TRUE(project().MainImage.empty());
    }
}

TEST_F(NewProject, ChannelButtonsDrawTheLevelOfThePreview)
{
    saveBmp(gradientPicture(120, 90), path("main.bmp"));
    open();
    loadMain("main.bmp");
    struct Row {
        const char* button;
        LevelChannel channel;
    };
    const Row rows[] = {{"btslr", LevelChannel::Red},
                        {"btslg", LevelChannel::Green},
                        {"btslb", LevelChannel::Blue},
                        {"btslrgb", LevelChannel::All}};
    for (const Row& row : rows) {
        click(row.button);
        Picture level(128, 48);
        drawLevelPicture(preview()->picture(), level, row.channel);
        EXPECT_TRUE(samePicture(w<PictureBox>("Image1")->picture(), level)) << row.button;
    }
}

TEST_F(NewProject, MonochromeGreysTheWorkingPictureAndResetBringsBackTheColours)
{
    const Picture colour = gradientPicture(64, 48);
    const Picture other = gradientPicture(48, 64);
    saveBmp(colour, path("colour.bmp"));
    saveBmp(other, path("other.bmp"));
    Picture grey;
    toGreyScale(colour, grey);
    auto fittedOf = [](const Picture& p) {
        Picture f;
        fitIntoBox(p, f, 271, 255);
        return f;
    };

    open();
    loadMain("colour.bmp");
    click("cbmonomain");
    EXPECT_TRUE(samePicture(draft().MainImage, grey));
    EXPECT_TRUE(samePicture(preview()->picture(), fittedOf(grey)));

    // Loading keeps the box ticked and the new picture in colour.
    loadMain("other.bmp");
    EXPECT_TRUE(w<QCheckBox>("cbmonomain")->isChecked());
    EXPECT_TRUE(samePicture(draft().MainImage, other));

    // Off and on again greys it.
    click("cbmonomain");
    click("cbmonomain");
    Picture otherGrey;
    toGreyScale(other, otherGrey);
    EXPECT_TRUE(samePicture(draft().MainImage, otherGrey));

    click("breloadtwmain");
    EXPECT_FALSE(w<QCheckBox>("cbmonomain")->isChecked());
    EXPECT_TRUE(samePicture(draft().MainImage, other));
    EXPECT_TRUE(samePicture(preview()->picture(), fittedOf(other)));
    EXPECT_TRUE(platform_.messages.empty());
}

TEST_F(NewProject, MonochromeAndResetWithoutAFileTouchNoPicture)
{
    struct Row {
        const char* fault;
        bool loadFirst;
    };
    open();
    // In this order: the second row loads a picture.
    for (const Row row : {Row{"nothing loaded yet", false}, Row{"the file has gone", true}}) {
        if (row.loadFirst) {
            saveBmp(gradientPicture(40, 30), path("gone.bmp"));
            loadMain("gone.bmp");
            std::filesystem::remove(path("gone.bmp"));
        }
        const Picture main = draft().MainImage;
        const Picture shown = preview()->picture();
        click("cbmonomain");
        EXPECT_TRUE(w<QCheckBox>("cbmonomain")->isChecked()) << row.fault;
        click("breloadtwmain");
        EXPECT_FALSE(w<QCheckBox>("cbmonomain")->isChecked()) << row.fault;
        EXPECT_TRUE(samePicture(draft().MainImage, main)) << row.fault;
        EXPECT_TRUE(samePicture(preview()->picture(), shown)) << row.fault;
        EXPECT_TRUE(platform_.messages.empty()) << row.fault;
    }
}

TEST_F(NewProject, AFailedOrCancelledLoadKeepsThePreviousPicture)
{
    const Picture good = gradientPicture(90, 60);
    saveBmp(good, path("good.bmp"));
    saveBmp(good, path("wrong.txt"));
    std::filesystem::create_directories(dir_);
    {
        std::ofstream broken(path("broken.bmp"), std::ios::binary);
        broken << "BM not really a bitmap";
    }
    open();
    loadMain("good.bmp");
    const Picture shown = preview()->picture();
    const Picture level = w<PictureBox>("Image1")->picture();

    struct Row {
        const char* fault;
        const char* file;  // nullptr: the dialog is cancelled
        bool message;
        const char* pathAfter;
    };
    const Row rows[] = {
        {"unknown extension", "wrong.txt", true, "wrong.txt"},
        {"damaged bitmap", "broken.bmp", true, "broken.bmp"},
        {"missing file", "missing.jpg", true, "missing.jpg"},
        {"cancelled dialog", nullptr, false, "missing.jpg"},
    };
    for (const Row& row : rows) {
        platform_.messages.clear();
        if (row.file)
            platform_.answerFile(qpath(row.file));
        else
            platform_.answerCancel();
        click("btloadtwmain");
        ASSERT_EQ(platform_.messages.size(), row.message ? 1u : 0u) << row.fault;
        if (row.message) {
            EXPECT_EQ(platform_.messages[0].caption, "Error") << row.fault;
        }
        EXPECT_EQ(draft().mainImagePath, path(row.pathAfter)) << row.fault;
        EXPECT_TRUE(samePicture(draft().MainImage, good)) << row.fault;
        EXPECT_TRUE(samePicture(preview()->picture(), shown)) << row.fault;
        EXPECT_TRUE(samePicture(w<PictureBox>("Image1")->picture(), level)) << row.fault;
        EXPECT_EQ(text("lbmainname"), "good.bmp") << row.fault;
        EXPECT_EQ(text("lbmainsize"), "90 x 60") << row.fault;
    }
}

TEST_F(NewProject, PictureDialogStartsInTheProgramsPictureFolderThenAtTheLastFile)
{
    saveBmp(gradientPicture(20, 20), path("first.bmp"));
    open();
    loadMain("first.bmp");
    platform_.answerCancel();
    click("btloadtwmain");
    ASSERT_EQ(platform_.dialogs.size(), 2u);
    const FileDialogRequest& first = platform_.dialogs[0].request;
    EXPECT_FALSE(platform_.dialogs[0].save);
    EXPECT_EQ(first.directory.toStdString(), (programDir_ / "images").string());
    EXPECT_TRUE(first.fileName.isEmpty());
    EXPECT_TRUE(first.filters.join(' ').contains("*.bmp"));
    EXPECT_TRUE(first.filters.join(' ').contains("*.jpg"));
    EXPECT_EQ(platform_.dialogs[1].request.fileName.toStdString(), path("first.bmp"));
}

// --- Mosaic Size ----------------------------------------------------------------

TEST_F(NewProject, SizePageShowsTheWorkedValuesOfItsFields)
{
    struct Row {
        const char* example;
        int dpi, cellsX, cellsY, cellWidth, cellHeight;
        const char* widthPixels;
        const char* widthInch;
        const char* widthCm;
        const char* heightInch;
        const char* mosaicAspect;
        const char* need;
    };
    const Row rows[] = {
        {"the initial fields", 72, 48, 48, 32, 32, "1536 Pixels", "21.33 Inch", "54.18 CM", "21.33 Inch",
         "Aspect Ratio of final mosaic : 100 / 100", "You need 6.75 MB memory to create this project."},
        {"300 dpi, 64 cells of 48", 300, 64, 64, 48, 48, "3072 Pixels", "10.24 Inch", "26 CM", "10.24 Inch",
         "Aspect Ratio of final mosaic : 100 / 100", "You need 27.00 MB memory to create this project."},
        {"the smallest mosaic at 1200 dpi", 1200, 8, 8, 8, 8, "64 Pixels", "0.05 Inch", "0.13 CM", "0.05 Inch",
         "Aspect Ratio of final mosaic : 100 / 100", "You need 0.01 MB memory to create this project."},
        {"48 across, 32 down", 72, 48, 32, 32, 32, "1536 Pixels", "21.33 Inch", "54.18 CM", "14.22 Inch",
         "Aspect Ratio of final mosaic : 66 / 100", "You need 4.50 MB memory to create this project."},
    };
    saveBmp(gradientPicture(640, 480), path("main.bmp"));
    open();
    loadMain("main.bmp");
    turnTo(1);
    for (const Row& row : rows) {
        typeAndLeave("eddpi", row.dpi);
        typeAndLeave("edhcc", row.cellsX);
        typeAndLeave("edvcc", row.cellsY);
        typeAndLeave("edcw", row.cellWidth);
        typeAndLeave("edch", row.cellHeight);
        EXPECT_EQ(text("LBMWP"), row.widthPixels) << row.example;
        EXPECT_EQ(text("lbmwi"), row.widthInch) << row.example;
        EXPECT_EQ(text("lbmwm"), row.widthCm) << row.example;
        EXPECT_EQ(text("lbmhi"), row.heightInch) << row.example;
        EXPECT_EQ(text("lbaspect"), row.mosaicAspect) << row.example;
        EXPECT_EQ(text("lbaspect2"), "Aspect Ratio of main image : 75 / 100") << row.example;
        EXPECT_EQ(text("LBMBneed"), row.need) << row.example;
        EXPECT_EQ(text("LBMBphy"), "Your Computer has 512.00MB Memory Installed.  ") << row.example;
        EXPECT_EQ(draft().settings.dpi, row.dpi) << row.example;
        EXPECT_EQ(draft().settings.mosaicWidth, row.cellsX * row.cellWidth) << row.example;
        EXPECT_EQ(draft().settings.mosaicHeight, row.cellsY * row.cellHeight) << row.example;
    }
    EXPECT_EQ(draft().physMemTotal, platform_.memory.totalPhysical);
    EXPECT_TRUE(platform_.messages.empty());
}

TEST_F(NewProject, SizeFieldsFollowTheTypedValueAndComeIntoRangeOnLeaving)
{
    struct Row {
        const char* fault;
        const char* field;
        const char* typed;
        const char* label;
        const char* whileTyping;
        const char* fieldAfter;
        const char* labelAfter;
    };
    // Each row starts from the fields the rows before it left.
    const Row rows[] = {
        {"too many cells are used while typing", "edhcc", "999", "LBMWP", "31968 Pixels", "64", "2048 Pixels"},
        {"too few cells are used while typing", "edvcc", "2", "LBMHP", "64 Pixels", "8", "256 Pixels"},
        {"an empty cell field counts as its minimum", "edcw", "", "LBMWP", "512 Pixels", "8", "512 Pixels"},
        {"a cell size beyond the range", "edch", "100", "LBMHP", "800 Pixels", "48", "384 Pixels"},
        {"a resolution of 0 is never divided by", "eddpi", "0", "lbmwi", "0 Inch", "30", "17.06 Inch"},
        {"a resolution that is not a number counts as 30", "eddpi", "-", "lbmwi", "17.06 Inch", "30", "17.06 Inch"},
    };
    open();
    turnTo(1);
    for (const Row& row : rows) {
        type(row.field, QString::fromLatin1(row.typed));
        EXPECT_EQ(text(row.label), row.whileTyping) << row.fault;
        QTest::keyClick(w<SpinEdit>(row.field), Qt::Key_Tab);
        EXPECT_EQ(spinText(row.field), row.fieldAfter) << row.fault;
        EXPECT_EQ(text(row.label), row.labelAfter) << row.fault;
    }
    EXPECT_TRUE(platform_.messages.empty());
}

TEST_F(NewProject, TurningThePageTakesATypedValueIntoRange)
{
    open();
    turnTo(1);
    type("edhcc", QStringLiteral("999"));
    turnTo(2);
    EXPECT_EQ(spinText("edhcc"), "64");
    EXPECT_EQ(draft().settings.cellsX, 64);
}

TEST_F(NewProject, SizeTextsUseTheLocaleDecimalSeparator)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    open();
    turnTo(1);
    const std::string inch = text("lbmwi");
    const std::string cm = text("lbmwm");
    const std::string need = text("LBMBneed");
    const std::string installed = text("LBMBphy");
    QLocale::setDefault(previous);
    EXPECT_EQ(inch, "21,33 Inch");
    EXPECT_EQ(cm, "54,18 CM");
    EXPECT_EQ(need, "You need 6,75 MB memory to create this project.");
    EXPECT_EQ(installed, "Your Computer has 512,00MB Memory Installed.  ");
}

TEST_F(NewProject, CropChoiceReachesTheProject)
{
    open();
    turnTo(1);
    click("cbcropmain");
    EXPECT_EQ(draft().settings.cropMain, 1);
    click("cbcropmain");
    EXPECT_EQ(draft().settings.cropMain, 0);
}

// --- Project Options and the brief ----------------------------------------------

TEST_F(NewProject, LimitingRepeatsRaisesTheFieldWhenTheLibraryIsTooSmall)
{
    struct Row {
        const char* example;
        std::size_t files;
        int cells;
        const char* field;
        int stored;
    };
    const Row rows[] = {
        {"20 files, 48 x 48 cells", 20, 48, "139", 139},
        {"one file, 64 x 64 cells: the field stops at 999", 1, 64, "999", 4916},
        {"300 files are enough", 300, 48, "10", 10},
    };
    const std::string tile = library().entry(0);
    open();
    for (const Row& row : rows) {
        library().replaceAll(std::vector<std::string>(row.files, tile));
        turnTo(1);
        typeAndLeave("edhcc", row.cells);
        typeAndLeave("edvcc", row.cells);
        turnTo(2);
        setTicked("cbrptlimit", false);
        typeAndLeave("serepeattime", 10);
        click("cbrptlimit");
        EXPECT_EQ(spinText("serepeattime"), row.field) << row.example;
        EXPECT_EQ(draft().settings.maxRepeat, row.stored) << row.example;
        turnTo(3);
        const auto lines = memoLines();
        EXPECT_NE(std::find(lines.begin(), lines.end(),
                            "Max Repeat time for each file = " + std::to_string(row.stored)),
                  lines.end())
            << row.example;
    }
}

TEST_F(NewProject, EveryOptionControlReachesTheRecordAndTheBrief)
{
    struct Row {
        const char* control;
        std::function<void()> change;
        std::function<bool(const tmosaicproject&)> stored;
        const char* briefLine;  // nullptr: the brief does not show it
    };
    const Row rows[] = {
        {"rbrm1", [&] { click("rbrm1"); }, [](const auto& r) { return r.renderMode == RenderMode::SelfMosaic; },
         nullptr},
        {"rbrm2", [&] { click("rbrm2"); }, [](const auto& r) { return r.renderMode == RenderMode::Standard; },
         nullptr},
        {"rss2", [&] { click("rss2"); }, [](const auto& r) { return r.stitchMode == StitchMode::Peyote; }, nullptr},
        {"rss3", [&] { click("rss3"); }, [](const auto& r) { return r.stitchMode == StitchMode::Brick; }, nullptr},
        {"rss1", [&] { click("rss1"); }, [](const auto& r) { return r.stitchMode == StitchMode::Loom; }, nullptr},
        {"cbuseall", [&] { click("cbuseall"); }, [](const auto& r) { return r.useAllPhotos == 0; }, nullptr},
        {"cbmonocell", [&] { click("cbmonocell"); }, [](const auto& r) { return r.monoCell == 1; }, nullptr},
        {"cbcropcell", [&] { click("cbcropcell"); }, [](const auto& r) { return r.cropCell == 0; }, nullptr},
        {"cbhf", [&] { click("cbhf"); }, [](const auto& r) { return r.allowHFlip == 0; }, nullptr},
        {"cbvf", [&] { click("cbvf"); }, [](const auto& r) { return r.allowVFlip == 0; }, nullptr},
        {"seradius", [&] { typeAndLeave("seradius", 7); }, [](const auto& r) { return r.repeatRadius == 7; },
         "Minimum Repeat Radius = 7"},
        {"tbrandom", [&] { slideTo("tbrandom", 8); }, [](const auto& r) { return r.randomLevel == 8; },
         "Randomize Level = 8"},
        {"tbenhance at its right end", [&] { QTest::keyClick(w<QSlider>("tbenhance"), Qt::Key_End); },
         [](const auto& r) { return r.colorEnhance == 100; }, "Color Enhance = 100%"},
        {"tbenhance off", [&] { slideTo("tbenhance", 0); }, [](const auto& r) { return r.colorEnhance == 0; },
         "Color Enhance = 0%"},
        {"ebs", [&] { typeAndLeave("ebs", 5); }, [](const auto& r) { return r.borderSize == 5; },
         "Border Size = 5"},
        {"serepeattime", [&] { typeAndLeave("serepeattime", 25); }, [](const auto& r) { return r.maxRepeat == 25; },
         nullptr},
    };
    open();
    turnTo(2);
    for (const Row& row : rows) {
        row.change();
        const tmosaicproject& r = draft().settings;
        EXPECT_TRUE(row.stored(r)) << row.control;
        EXPECT_EQ(r.repeatLimitOff, 0) << row.control;
        if (row.briefLine) {
            const auto lines = memoLines();
            EXPECT_NE(std::find(lines.begin(), lines.end(), row.briefLine), lines.end()) << row.control;
        }
    }
}

TEST_F(NewProject, BorderColourComesFromTheColourDialog)
{
    struct Row {
        const char* fault;
        std::optional<QColor> answer;
        std::uint32_t stored;
    };
    const Row rows[] = {
        {"red is the low byte", QColor(255, 0, 0), 255u},
        {"blue is the third byte", QColor(0, 0, 255), 16711680u},
        {"cancel keeps the colour", std::nullopt, 16711680u},
        {"white", QColor(255, 255, 255), 16777215u},
    };
    open();
    turnTo(2);
    for (const Row& row : rows) {
        platform_.colorAnswers.push_back(row.answer);
        click("imgcolor");
        EXPECT_EQ(draft().settings.borderColor, row.stored) << row.fault;
        EXPECT_EQ(memoLines().back(), "Border Color = " + std::to_string(row.stored)) << row.fault;
    }
}

TEST_F(NewProject, BriefListsTheProjectWithDefaultSettings)
{
    saveBmp(gradientPicture(32, 32), path("main.bmp"));
    useLibraryOf(20);
    open();
    loadMain("main.bmp");
    turnTo(3);
    const std::vector<std::string> expected = {
        "Project Brief",
        "--------File Info--------",
        "Source Image = main.bmp",
        "Full Path = " + path("main.bmp"),
        "Image Library 20 Files",
        "--------Size Info --------",
        "Cell Count : 48 x 48 = 2304 Cells",
        "Cell Size : 32 x 32 Pixels",
        "Final Size : 1536 x 1536 Pixels",
        "--------Option Info--------",
        "Minimum Repeat Radius = 4",
        "Randomize Level = 4",
        "Color Enhance = 50%",
        "Border Size = 0",
        "Border Color = 0",
    };
    EXPECT_EQ(memoLines(), expected);
}

TEST_F(NewProject, SaveBriefWritesTheMemoAsItStandsWithCrLf)
{
    open();
    turnTo(3);
    auto* memo = w<QPlainTextEdit>("Memo1");
    memo->moveCursor(QTextCursor::End);
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, QStringLiteral("typed by me"));
    const std::vector<std::string> lines = memoLines();
    ASSERT_EQ(lines.back(), "typed by me");
    std::string expected;
    for (const std::string& line : lines)
        expected += line + "\r\n";

    struct Row {
        const char* fault;
        const char* answer;  // nullptr: cancel
        const char* written; // nullptr: nothing written
        bool message;
    };
    const Row rows[] = {
        {"default extension added", "brief", "brief.txt", false},
        {"existing file replaced", "brief.txt", "brief.txt", false},
        {"cancel writes nothing", nullptr, nullptr, false},
        {"unwritable folder is reported", "no-such-folder/brief.txt", nullptr, true},
    };
    for (const Row& row : rows) {
        platform_.messages.clear();
        if (row.answer)
            platform_.answerFile(qpath(row.answer));
        else
            platform_.answerCancel();
        if (row.written)
            std::filesystem::remove(path(row.written));
        click("Button4");
        const FileDialogRequest& request = platform_.dialogs.back().request;
        EXPECT_TRUE(platform_.dialogs.back().save) << row.fault;
        EXPECT_EQ(request.filters, QStringList{"*.txt (*.txt)"}) << row.fault;
        EXPECT_EQ(request.defaultSuffix, "txt") << row.fault;
        EXPECT_TRUE(request.confirmOverwrite) << row.fault;
        ASSERT_EQ(platform_.messages.size(), row.message ? 1u : 0u) << row.fault;
        if (row.message) {
            EXPECT_EQ(platform_.messages[0].caption, "Error");
            EXPECT_EQ(platform_.messages[0].text.rfind("Cannot create file", 0), 0u) << platform_.messages[0].text;
        }
        if (row.written) {
            const Bytes bytes = readWholeFile(path(row.written));
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected) << row.fault;
        }
        EXPECT_EQ(memoLines(), lines) << row.fault;
    }
    EXPECT_FALSE(fileExists(path("brief.txt.txt")));
}

// --- Creation --------------------------------------------------------------------

TEST_F(NewProject, StandardRenderWithAnEmptyLibraryIsRefused)
{
    saveBmp(gradientPicture(64, 64), path("main.bmp"));
    open();
    loadMain("main.bmp");
    library().deleteAll();
    const tmosaicproject before = project().settings;
    turnTo(3);
    click("SpeedButton1");
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_EQ(platform_.messages[0].text, "You do not have enough images in your Image Lib, please load more");
    EXPECT_EQ(platform_.messages[0].caption, "Error");
    EXPECT_FALSE(platform_.messages[0].withCancel);
    EXPECT_TRUE(wizard().isVisible());
    EXPECT_EQ(project().projectState, ProjectState::Empty);
    EXPECT_EQ(std::memcmp(&project().settings, &before, sizeof before), 0);
    EXPECT_TRUE(project().MainImage.empty());
    EXPECT_FALSE(overview().isVisible());
}

TEST_F(NewProject, SelfMosaicNeedsNoLibrary)
{
    saveBmp(gradientPicture(64, 64), path("main.bmp"));
    open();
    loadMain("main.bmp");
    library().deleteAll();
    turnTo(1);
    for (const char* field : {"edhcc", "edvcc", "edcw", "edch"})
        typeAndLeave(field, 8);
    turnTo(2);
    click("rbrm1");
    turnTo(3);
    click("SpeedButton1");
    EXPECT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
    EXPECT_FALSE(wizard().isVisible());
    EXPECT_EQ(project().projectState, ProjectState::Mosaic);
    EXPECT_EQ(project().MosaicImage.width(), 64);
    EXPECT_EQ(project().MosaicImage.height(), 64);
    EXPECT_TRUE(overview().isVisible());
    EXPECT_EQ(labelText("LBJOB").toStdString(), "Current Job : Mosaic Created");
}

// Everything a creation depends on, set through the wizard's controls.
struct CreationSettings {
    const char* name;
    SizeFields size;
    WizardOptions options;
};

CreationSettings makeSettings(const char* name, int cellsX, int cellsY, int cellSize, const std::function<void(CreationSettings&)>& adjust)
{
    CreationSettings s{name, {}, {}};
    s.size.cellsX = cellsX;
    s.size.cellsY = cellsY;
    s.size.cellWidth = cellSize;
    s.size.cellHeight = cellSize;
    adjust(s);
    return s;
}

TEST_F(NewProject, CreationFromTheWizardEqualsTheEngineRunDirectly)
{
    const CreationSettings settingsRows[] = {
        makeSettings("default options", 8, 8, 8, [](CreationSettings&) {}),
        makeSettings("peyote with a repeat limit", 10, 8, 8,
                  [](CreationSettings& s) {
                      s.options.stitchMode = StitchMode::Peyote;
                      s.options.limitRepeat = true;
                      s.options.maxRepeat = 2;
                      s.options.repeatRadius = 1;
                      s.options.enhancePosition = 0;
                  }),
        makeSettings("brick, grey cells, border, crop, no flips", 9, 12, 10,
                  [](CreationSettings& s) {
                      s.size.cropMain = true;
                      s.size.dpi = 300;
                      s.options.stitchMode = StitchMode::Brick;
                      s.options.monoCell = true;
                      s.options.cropCell = false;
                      s.options.allowHFlip = false;
                      s.options.allowVFlip = false;
                      s.options.useAllPhotos = false;
                      s.options.borderSize = 2;
                      s.options.borderColor = 0x00FF00;
                      s.options.randomLevel = 8;
                  }),
        makeSettings("self mosaic", 8, 8, 12, [](CreationSettings& s) { s.options.renderMode = RenderMode::SelfMosaic; }),
    };
    const Picture main = gradientPicture(150, 100);
    saveBmp(main, path("main.bmp"));

    // The reference runs the same creations in the same order, so the one
    // random sequence advances alike.
    auto reference = std::make_unique<MosaicProject>();
    CellPicLib referenceLibrary;
    referenceLibrary.replaceAll(library().entries());
    reference->mainImagePath = path("main.bmp");
    loadMainImage(*reference);

    open();
    loadMain("main.bmp");
    for (const CreationSettings& s : settingsRows) {
        if (!wizard().isVisible())
            open();
        turnTo(1);
        typeAndLeave("eddpi", s.size.dpi);
        typeAndLeave("edhcc", s.size.cellsX);
        typeAndLeave("edvcc", s.size.cellsY);
        typeAndLeave("edcw", s.size.cellWidth);
        typeAndLeave("edch", s.size.cellHeight);
        setTicked("cbcropmain", s.size.cropMain);
        turnTo(2);
        const WizardOptions& o = s.options;
        click(o.renderMode == RenderMode::SelfMosaic ? "rbrm1" : "rbrm2");
        click(o.stitchMode == StitchMode::Loom ? "rss1" : o.stitchMode == StitchMode::Peyote ? "rss2" : "rss3");
        typeAndLeave("seradius", o.repeatRadius);
        setTicked("cbrptlimit", false);
        typeAndLeave("serepeattime", o.maxRepeat);
        setTicked("cbrptlimit", o.limitRepeat);
        setTicked("cbuseall", o.useAllPhotos);
        setTicked("cbmonocell", o.monoCell);
        setTicked("cbcropcell", o.cropCell);
        setTicked("cbhf", o.allowHFlip);
        setTicked("cbvf", o.allowVFlip);
        slideTo("tbrandom", o.randomLevel);
        slideTo("tbenhance", o.enhancePosition);
        typeAndLeave("ebs", o.borderSize);
        platform_.colorAnswers.push_back(QColor::fromRgb(o.borderColor & 0xFF, (o.borderColor >> 8) & 0xFF,
                                                         (o.borderColor >> 16) & 0xFF));
        click("imgcolor");
        turnTo(3);
        click("SpeedButton1");
        ASSERT_TRUE(platform_.messages.empty()) << s.name << ": " << platform_.messages.front().text;
        ASSERT_EQ(project().projectState, ProjectState::Mosaic) << s.name;

        copyWizardOptions(*reference, s.size, s.options, referenceLibrary.count(), platform_.memory);
        NullObserver quiet;
        runCreation(*reference, referenceLibrary, quiet);

        std::uint8_t ours[kRecordSize], theirs[kRecordSize];
        encodeRecord(project().settings, ours);
        encodeRecord(reference->settings, theirs);
        EXPECT_EQ(std::memcmp(ours, theirs, kRecordSize), 0) << s.name;
        EXPECT_EQ(project().mainImagePath, reference->mainImagePath) << s.name;
        EXPECT_TRUE(samePicture(project().MosaicImage, reference->MosaicImage)) << s.name;
        ASSERT_EQ(project().MosaicImage.byteSize(), reference->MosaicImage.byteSize()) << s.name;
        EXPECT_EQ(std::memcmp(project().MosaicImage.data(), reference->MosaicImage.data(),
                              project().MosaicImage.byteSize()),
                  0)
            << s.name;
        EXPECT_EQ(project().random.seed(), reference->random.seed()) << s.name;
    }
}

TEST_F(NewProject, SettingsChangedAfterACreationWaitForTheNextOne)
{
    saveBmp(gradientPicture(64, 64), path("main.bmp"));
    open();
    loadMain("main.bmp");
    turnTo(1);
    for (const char* field : {"edhcc", "edvcc", "edcw", "edch"})
        typeAndLeave(field, 8);
    turnTo(3);
    click("SpeedButton1");
    ASSERT_EQ(project().projectState, ProjectState::Mosaic);
    const tmosaicproject created = project().settings;
    const Picture mosaic = project().MosaicImage;

    open();
    turnTo(1);
    typeAndLeave("edhcc", 40);
    saveBmp(gradientPicture(30, 90), path("other.bmp"));
    turnTo(0);
    loadMain("other.bmp");
    wizard().close();

    // The mosaic on screen keeps the settings and picture it was made from.
    EXPECT_EQ(std::memcmp(&project().settings, &created, sizeof created), 0);
    EXPECT_EQ(project().mainImagePath, path("main.bmp"));
    EXPECT_EQ(project().MainImage.width(), 64);
    EXPECT_TRUE(samePicture(project().MosaicImage, mosaic));
    EXPECT_EQ(draft().settings.cellsX, 40);
}

TEST_F(NewProject, ACreationThatFailsGivesTheShownProjectItsOwnPictureAndSettingsBack)
{
    saveBmp(gradientPicture(64, 64), path("main.bmp"));
    open();
    loadMain("main.bmp");
    turnTo(1);
    for (const char* field : {"edhcc", "edvcc", "edcw", "edch"})
        typeAndLeave(field, 8);
    turnTo(3);
    click("SpeedButton1");
    ASSERT_EQ(project().projectState, ProjectState::Mosaic);
    const tmosaicproject created = project().settings;
    const Picture mainPicture = project().MainImage;
    const Picture mosaic = project().MosaicImage;

    // Another picture and size, and a library photograph gone: the creation
    // fails in its library stage, after the wizard handed its draft in.
    open();
    turnTo(1);
    typeAndLeave("edhcc", 12);
    saveBmp(gradientPicture(30, 90), path("other.bmp"));
    turnTo(0);
    loadMain("other.bmp");
    std::filesystem::remove(library().entry(3));
    turnTo(3);
    click("SpeedButton1");
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_NE(platform_.messages[0].text.find(library().entry(3)), std::string::npos) << platform_.messages[0].text;

    EXPECT_EQ(std::memcmp(&project().settings, &created, sizeof created), 0);
    EXPECT_EQ(project().mainImagePath, path("main.bmp"));
    EXPECT_TRUE(samePicture(project().MainImage, mainPicture));
    EXPECT_TRUE(samePicture(project().MosaicImage, mosaic));
    EXPECT_EQ(project().projectState, ProjectState::Mosaic);
}

TEST_F(NewProject, NothingCanReachTheWizardWhileACreationRuns)
{
    saveBmp(gradientPicture(64, 64), path("main.bmp"));
    open();
    loadMain("main.bmp");
    turnTo(1);
    for (const char* field : {"edhcc", "edvcc", "edcw", "edch"})
        typeAndLeave(field, 8);
    turnTo(3);
    struct During {
        bool sampled = false, newButton = true, newAction = true, wizardShown = true, pagesEnabled = true;
    } during;
    QTimer::singleShot(0, &main(), [&] {
        during.sampled = true;
        during.newButton = button("sbnewprj")->isEnabled();
        during.newAction = action("NewProject1")->isEnabled();
        during.wizardShown = wizard().isVisible();
        during.pagesEnabled = w<QTabWidget>("PageControl1")->isEnabled();
        // A click on New in the middle does nothing.
        QTest::mouseClick(button("sbnewprj"), Qt::LeftButton);
        during.wizardShown = during.wizardShown || wizard().isVisible();
    });
    click("SpeedButton1");
    ASSERT_TRUE(during.sampled) << "the creation never let window messages run";
    EXPECT_FALSE(during.newButton);
    EXPECT_FALSE(during.newAction);
    EXPECT_FALSE(during.wizardShown);
    EXPECT_FALSE(during.pagesEnabled);
    EXPECT_TRUE(button("sbnewprj")->isEnabled());
    EXPECT_TRUE(w<QTabWidget>("PageControl1")->isEnabled());
    EXPECT_EQ(project().projectState, ProjectState::Mosaic);
}

} // namespace
} // namespace tw::test

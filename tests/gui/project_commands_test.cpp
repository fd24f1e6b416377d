// Saving and opening project files and exporting the picture from the main
// window.
#include "gui/gui_fixture.h"

#include "imaging/bmp.h"
#include "imaging/load_picture.h"
#include "workspace/project_file.h"

#include <QTimer>

#include <algorithm>
#include <cstring>
#include <fstream>

#include <sys/stat.h>

namespace tw::test {
namespace {

std::uintmax_t sizeOf(const std::string& path) { return std::filesystem::file_size(path); }

const QStringList kProjectFilters = {"Tilewright projects (*.tw6)", "All files (*)"};

class ProjectCommands : public GuiTest {
protected:
    void create()
    {
        WizardOptions options;
        options.repeatRadius = 1;
        prepareCreation(8, 8, 8, options);
        ASSERT_TRUE(main().startCreation());
    }
};

TEST_F(ProjectCommands, SaveWritesTheNameAsTypedAndOpenRestoresTheMosaic)
{
    create();
    const Picture mosaic = project().MosaicImage;
    const auto cells = gridCells();

    platform_.answerFile(qpath("saved"));  // no ".tw6" typed
    action("SaveProject1")->trigger();
    ASSERT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
    ASSERT_EQ(platform_.dialogs.size(), 1u);
    EXPECT_TRUE(platform_.dialogs[0].save);
    EXPECT_EQ(platform_.dialogs[0].request.filters, kProjectFilters);
    EXPECT_TRUE(platform_.dialogs[0].request.defaultSuffix.isEmpty());
    EXPECT_FALSE(platform_.dialogs[0].request.confirmOverwrite);
    ASSERT_TRUE(fileExists(path("saved")));
    EXPECT_FALSE(fileExists(path("saved.tw6")));
    const auto& s = project().settings;
    EXPECT_GT(s.mainImageStreamSize, 0);
    EXPECT_GT(s.libraryListStreamSize, 0);
    EXPECT_EQ(sizeOf(path("saved")), kProjectFixedBytes + s.mainImageStreamSize + s.libraryListStreamSize);

    // Spoil the shown state, then open the file again.
    saveBmp(gradientPicture(30, 30), path("plain.bmp"));
    platform_.answerFile(qpath("plain.bmp"));
    action("OpenPicture1")->trigger();
    ASSERT_EQ(project().projectState, ProjectState::Picture);
    overview().hide();
    project().MosaicGrid.at(1, 1).picture = 5;

    platform_.answerFile(qpath("saved"));
    action("LoadProject1")->trigger();
    ASSERT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
    EXPECT_FALSE(platform_.dialogs.back().save);
    EXPECT_EQ(platform_.dialogs.back().request.filters, kProjectFilters);
    EXPECT_EQ(project().projectState, ProjectState::Mosaic);
    EXPECT_TRUE(samePicture(project().MosaicImage, mosaic));
    const auto restored = gridCells();
    for (std::size_t i = 0; i < cells.size(); ++i)
        EXPECT_TRUE(sameCell(restored[i], cells[i])) << "cell index " << i;
    EXPECT_EQ(labelText("LBJOB").toStdString(), "Current Job : Mosaic Created");
    EXPECT_EQ(labelText("Label1").toStdString(), "Scale :100% MainbmpPos x0 y0");
    EXPECT_TRUE(overview().isVisible());
    EXPECT_TRUE(samePicture(child<PictureBox>(main(), "img1")->picture(), mosaic));
}

TEST_F(ProjectCommands, CancelledSaveWritesNothingButKeepsTheBlockLengths)
{
    create();
    project().settings.mainImageStreamSize = 0;
    project().settings.libraryListStreamSize = 0;
    platform_.answerCancel();
    invoke(main(), "sbsvprjClick");
    EXPECT_TRUE(platform_.messages.empty());
    EXPECT_GT(project().settings.mainImageStreamSize, 0);
    EXPECT_GT(project().settings.libraryListStreamSize, 0);
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
        EXPECT_TRUE(entry.is_directory()) << entry.path() << " was written";
}

TEST_F(ProjectCommands, SaveIntoAMissingFolderReportsAndKeepsTheOldFile)
{
    create();
    platform_.answerFile(qpath("no-such-folder/p.tw6"));
    invoke(main(), "sbsvprjClick");
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_EQ(platform_.messages[0].caption, "Error");
    EXPECT_EQ(platform_.messages[0].text.rfind("Cannot create file", 0), 0u) << platform_.messages[0].text;
    EXPECT_EQ(platform_.messages[0].text.back(), '.');
}

TEST_F(ProjectCommands, OnlyARegularFileIsOpenedAndAnythingElseRefusedAtOnce)
{
    create();
    const Picture mosaic = project().MosaicImage;
    ASSERT_EQ(::mkfifo(path("pipe.tw6").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", path("zero.tw6"));
    struct Row {
        const char* name;
        const char* reason;
    };
    const Row rows[] = {
        {"pipe.tw6", "Not a regular file (a named pipe)."},
        {"zero.tw6", "Not a regular file (a character device)."},
    };
    std::atomic<bool> stop{false};
    std::thread feeder([&] { test::feedPipeUntil(path("pipe.tw6"), stop); });
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        platform_.messages.clear();
        platform_.answerFile(qpath(row.name));
        invoke(main(), "sbopprjClick");
        EXPECT_EQ(platform_.messages.size(), 1u);
        if (platform_.messages.size() == 1u) {
            EXPECT_EQ(platform_.messages[0].text, "Cannot open file \"" + path(row.name) + "\". " + row.reason);
        }
        EXPECT_TRUE(samePicture(project().MosaicImage, mosaic));
    }
    stop = true;
    feeder.join();
}

TEST_F(ProjectCommands, OpeningAMissingFileOrCancellingDoesNothing)
{
    create();
    const Picture mosaic = project().MosaicImage;
    platform_.answerFile(qpath("nothing-here.tw6"));
    invoke(main(), "sbopprjClick");
    platform_.answerCancel();
    invoke(main(), "sbopprjClick");
    EXPECT_TRUE(platform_.messages.empty());
    EXPECT_TRUE(samePicture(project().MosaicImage, mosaic));
}

TEST_F(ProjectCommands, BrokenFilesAreRefusedAndLeaveTheProjectAsItWas)
{
    create();
    platform_.answerFile(qpath("good.tw6"));
    invoke(main(), "sbsvprjClick");
    const Bytes good = readWholeFile(path("good.tw6"));
    const Picture mosaic = project().MosaicImage;
    const auto cells = gridCells();
    const auto entries = library().entries();
    const auto settings = project().settings;

    struct Row {
        const char* name;
        std::size_t keep;          // bytes kept from the good file
        std::string expected;      // start of the message
    };
    const Row rows[] = {
        {"cut-in-picture.tw6", 140, "Stream read error."},
        {"cut-in-grid.tw6", good.size() - 1000, "Stream read error."},
        {"only-length.tw6", 4, "Stream read error."},
    };
    for (const Row& row : rows) {
        writeFileAtomic(path(row.name), good.data(), row.keep);
        platform_.messages.clear();
        platform_.answerFile(qpath(row.name));
        invoke(main(), "sbopprjClick");
        ASSERT_EQ(platform_.messages.size(), 1u) << row.name;
        EXPECT_EQ(platform_.messages[0].caption, "Error");
        // The reader's text does not name the file: its path follows.
        EXPECT_EQ(platform_.messages[0].text, row.expected + "\n\n" + path(row.name)) << row.name;
        EXPECT_TRUE(samePicture(project().MosaicImage, mosaic)) << row.name;
        EXPECT_EQ(library().entries(), entries) << row.name;
        EXPECT_EQ(std::memcmp(&project().settings, &settings, sizeof settings), 0) << row.name;
        const auto now = gridCells();
        for (std::size_t i = 0; i < cells.size(); ++i)
            ASSERT_TRUE(sameCell(now[i], cells[i])) << row.name << " cell index " << i;
    }

    // A picture block that is not a BMP.
    Bytes spoiled = good;
    spoiled[132] = 'X';
    writeFileAtomic(path("bad-picture.tw6"), spoiled);
    platform_.messages.clear();
    platform_.answerFile(qpath("bad-picture.tw6"));
    invoke(main(), "sbopprjClick");
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_EQ(platform_.messages[0].text, "Bitmap image is not valid.\n\n" + path("bad-picture.tw6"));
    EXPECT_TRUE(samePicture(project().MosaicImage, mosaic));
    // Commands are usable again after a failed opening.
    EXPECT_TRUE(action("LoadProject1")->isEnabled());
    EXPECT_TRUE(button("sbopprj")->isEnabled());
}

TEST_F(ProjectCommands, ExtensionlessProjectIsFoundThroughAllFilesAndSaveSuggestsItsName)
{
    create();
    const Picture mosaic = project().MosaicImage;
    platform_.answerFile(qpath("p2"));
    action("SaveProject1")->trigger();
    ASSERT_TRUE(fileExists(path("p2")));
    EXPECT_TRUE(main().windowTitle().startsWith(QStringLiteral("p2 - ")));

    // Another creation, then the saved one again through "All files".
    prepareCreation(9, 7, 8);
    ASSERT_TRUE(main().startCreation());
    platform_.answerFile(qpath("p2"), 1);
    action("LoadProject1")->trigger();
    ASSERT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
    const FileDialogRequest& open = platform_.dialogs.back().request;
    ASSERT_EQ(open.filters.size(), 2);
    EXPECT_EQ(open.filters[1], "All files (*)");
    EXPECT_TRUE(samePicture(project().MosaicImage, mosaic));

    // Save offers the opened project's own name.
    platform_.answerCancel();
    action("SaveProject1")->trigger();
    EXPECT_EQ(platform_.dialogs.back().request.fileName, qpath("p2"));
}

TEST_F(ProjectCommands, CommandsAreDisabledDuringALoadAndComeBackAfterAFailure)
{
    main().setNewProjectCommand([] {});
    main().setPrintCommand([] {});
    main().setImageLibCommand([] {});
    create();
    platform_.answerFile(qpath("p.tw6"));
    invoke(main(), "sbsvprjClick");
    invoke(main(), "SBstatClick");

    struct Row {
        const char* what;
        bool spoil;
    };
    for (const Row& row : {Row{"a good file", false}, Row{"a file cut short", true}}) {
        if (row.spoil)
            std::filesystem::resize_file(path("p.tw6"), 13000000);
        std::vector<std::pair<std::string, bool>> during;
        bool busy = false;
        // Fires inside the first pump: while the file is being read.
        QTimer::singleShot(0, &main(), [&] {
            busy = context_->isBusy();
            for (const char* name : {"sbnewprj", "sbopprj", "sbsvprj", "sbsvpic", "sbprint", "sbhand2", "SBstat"})
                during.emplace_back(name, button(name)->isEnabled());
            for (const char* name : {"NewProject1", "OpenPicture1", "LoadProject1", "SavePicture1", "SaveProject1",
                                     "Print1", "CellStats1", "ImageLib1"})
                during.emplace_back(name, action(name)->isEnabled());
            for (const char* name : {"Button1", "Button2", "cbshortname"})
                during.emplace_back(name, usage().findChild<QWidget*>(name)->isEnabled());
        });
        platform_.messages.clear();
        platform_.answerFile(qpath("p.tw6"));
        action("LoadProject1")->trigger();
        EXPECT_EQ(platform_.messages.empty(), !row.spoil) << row.what;
        if (!row.spoil) {
            EXPECT_TRUE(busy) << row.what;
            ASSERT_EQ(during.size(), 18u) << row.what;
            for (const auto& [name, enabled] : during)
                EXPECT_FALSE(enabled) << name << " during the load of " << row.what;
        }
        EXPECT_FALSE(context_->isBusy());
        for (const char* name : {"sbopprj", "sbsvprj", "sbsvpic", "sbhand2", "SBstat", "sbnewprj", "sbprint"})
            EXPECT_TRUE(button(name)->isEnabled()) << name << " after " << row.what;
        for (const char* name : {"Button1", "Button2", "cbshortname"})
            EXPECT_TRUE(usage().findChild<QWidget*>(name)->isEnabled()) << name << " after " << row.what;
    }
}

TEST_F(ProjectCommands, FailedLoadWithAPhotographRemovedLeavesEverythingAsItWas)
{
    // Project A uses its own copies of the photographs.
    std::vector<std::string> copies;
    std::filesystem::create_directories(dir_ / "libA");
    for (const std::string& entry : library().entries()) {
        copies.push_back((dir_ / "libA" / fileNamePart(entry)).string());
        std::filesystem::copy_file(entry, copies.back());
    }
    const std::vector<std::string> defaults = library().entries();
    library().replaceAll(copies);
    create();
    platform_.answerFile(qpath("a.tw6"));
    invoke(main(), "sbsvprjClick");

    // Project B is shown, scrolled, with a cell edited.
    library().replaceAll(defaults);
    prepareCreation(100, 60, 8);
    ASSERT_TRUE(main().startCreation());
    press(0, 0);
    release(-25, -15);
    QTest::mouseClick(button("sbhand2"), Qt::LeftButton);
    QTest::mouseClick(child<PictureBox>(main(), "img1"), Qt::LeftButton, {}, QPoint(20, 20));
    ASSERT_TRUE(main().isModified());
    platform_.messages.clear();

    const Picture mosaic = project().MosaicImage, grid = project().GridImage, main0 = project().MainImage;
    const MosaicGridStore cells = project().MosaicGrid;
    const CellPicTableStore table = project().CellPicTable;
    const tmosaicproject settings = project().settings;
    const std::string mainPath = project().mainImagePath;
    const Picture view = child<PictureBox>(main(), "img1")->picture();
    const QString job = labelText("LBJOB"), scale = labelText("Label1"), title = main().windowTitle();
    const int gauge = child<QProgressBar>(main(), "TWprogress")->value();

    std::filesystem::remove(copies[3]);
    platform_.saveAnswers.push_back(SaveChoice::Discard);
    platform_.answerFile(qpath("a.tw6"));
    action("LoadProject1")->trigger();

    ASSERT_EQ(platform_.messages.size(), 2u);  // the question, then the error
    EXPECT_EQ(platform_.messages[1].caption, "Error");
    EXPECT_NE(platform_.messages[1].text.find(copies[3]), std::string::npos) << platform_.messages[1].text;
    EXPECT_TRUE(samePicture(project().MosaicImage, mosaic));
    EXPECT_TRUE(samePicture(project().GridImage, grid));
    EXPECT_TRUE(samePicture(project().MainImage, main0));
    EXPECT_TRUE(project().MosaicGrid == cells);
    EXPECT_TRUE(project().CellPicTable == table);
    EXPECT_EQ(std::memcmp(&project().settings, &settings, sizeof settings), 0);
    EXPECT_EQ(project().mainImagePath, mainPath);
    EXPECT_EQ(library().entries(), defaults);
    EXPECT_EQ(project().projectState, ProjectState::Mosaic);
    EXPECT_EQ(project().viewOffsetX, 25);
    EXPECT_EQ(project().viewOffsetY, 15);
    EXPECT_TRUE(samePicture(child<PictureBox>(main(), "img1")->picture(), view));
    EXPECT_EQ(labelText("LBJOB"), job);
    EXPECT_EQ(labelText("Label1"), scale);
    EXPECT_EQ(child<QProgressBar>(main(), "TWprogress")->value(), gauge);
    EXPECT_EQ(main().windowTitle(), title);
    EXPECT_TRUE(main().isModified());
}

TEST_F(ProjectCommands, GaugeMovesWhileTheFileIsRead)
{
    create();
    platform_.answerFile(qpath("p.tw6"));
    invoke(main(), "sbsvprjClick");
    auto* gauge = child<QProgressBar>(main(), "TWprogress");
    std::vector<std::pair<std::string, int>> seen;
    QObject::connect(gauge, &QProgressBar::valueChanged, gauge,
                     [&](int v) { seen.emplace_back(labelText("LBJOB").toStdString(), v); });
    platform_.answerFile(qpath("p.tw6"));
    action("LoadProject1")->trigger();
    ASSERT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
    std::vector<int> reading;
    for (const auto& [label, value] : seen)
        if (label == kJobOpening)
            reading.push_back(value);
    ASSERT_GE(reading.size(), 10u);
    EXPECT_TRUE(std::is_sorted(reading.begin(), reading.end()));
    EXPECT_EQ(reading.back(), 100);
    // Then the grid and the rendering stages move it as in a creation.
    EXPECT_EQ(seen.back().first, "Current Job : OutPut Final Mosaic Picture");
    EXPECT_EQ(labelText("LBJOB").toStdString(), "Current Job : Mosaic Created");
}

TEST_F(ProjectCommands, LibraryLongerThanTheTableOpens)
{
    create();
    const Picture mosaic = project().MosaicImage;
    std::vector<std::string> entries = library().entries();
    for (std::size_t i = entries.size(); i < 10300; ++i)
        entries.push_back(path("extra" + std::to_string(i) + ".bmp"));
    library().replaceAll(entries);
    platform_.answerFile(qpath("long.tw6"));
    invoke(main(), "sbsvprjClick");
    library().replaceAll({});
    project().MosaicImage.clear();
    platform_.answerFile(qpath("long.tw6"));
    invoke(main(), "sbopprjClick");
    ASSERT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
    EXPECT_EQ(library().count(), 10300u);
    EXPECT_TRUE(samePicture(project().MosaicImage, mosaic));
    EXPECT_EQ(project().projectState, ProjectState::Mosaic);
}

TEST_F(ProjectCommands, OpeningWhileTheOverviewIsShownKeepsItWhereItIs)
{
    create();
    platform_.answerFile(qpath("p.tw6"));
    invoke(main(), "sbsvprjClick");
    ASSERT_TRUE(overview().isVisible());
    overview().move(40, 50);
    const QPoint where = overview().pos();
    platform_.answerFile(qpath("p.tw6"));
    invoke(main(), "sbopprjClick");
    ASSERT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
    EXPECT_TRUE(overview().isVisible());
    EXPECT_EQ(overview().pos(), where);
}

// --- Save Picture -------------------------------------------------------------

using SavePicture = GuiTest;

TEST_F(SavePicture, ExtensionFollowsTheChosenFilter)
{
    const Picture picture = gradientPicture(37, 21);
    project().MosaicImage = picture;
    struct Row {
        const char* typed;
        int filter;
        const char* written;
    };
    const Row rows[] = {
        {"mosaic", 1, "mosaic.jpg"},
        {"mosaic.BMP", 0, "mosaic.BMP"},
        {"plain", 0, "plain.bmp"},
        {"photo.jpeg", 1, "photo.jpeg.jpg"},
        {"photo.bmp", 1, "photo.bmp.jpg"},
        {"upper.JPG", 1, "upper.JPG"},
    };
    for (const Row& row : rows) {
        platform_.answerFile(qpath(row.typed), row.filter);
        action("SavePicture1")->trigger();
        ASSERT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
        ASSERT_TRUE(fileExists(path(row.written))) << row.written;
        Picture back;
        if (row.filter == 0) {
            loadPicture(back, path(row.written));
            EXPECT_TRUE(samePicture(back, picture)) << row.written;
        } else {
            const Bytes bytes = readWholeFile(path(row.written));
            ASSERT_GE(bytes.size(), 2u);
            EXPECT_EQ(bytes[0], 0xFF);
            EXPECT_EQ(bytes[1], 0xD8);
        }
    }
    EXPECT_FALSE(fileExists(path("mosaic.BMP.bmp")));
    EXPECT_FALSE(fileExists(path("upper.JPG.jpg")));
    EXPECT_TRUE(samePicture(project().MosaicImage, picture)) << "exporting changed the picture";
}

TEST_F(SavePicture, DialogOffersBmpFirstAndKeepsTheLastNameAndFilter)
{
    project().MosaicImage = gradientPicture(8, 8);
    platform_.answerFile(qpath("first"), 1);
    invoke(main(), "sbsvpicClick");
    platform_.answerCancel();
    invoke(main(), "sbsvpicClick");
    ASSERT_EQ(platform_.dialogs.size(), 2u);
    const FileDialogRequest& first = platform_.dialogs[0].request;
    EXPECT_EQ(first.filters, (QStringList{"Bitmaps (*.bmp)", "JPEG Image File (*.jpg)"}));
    EXPECT_EQ(first.filterIndex, 0);
    EXPECT_TRUE(first.fileName.isEmpty());
    EXPECT_FALSE(first.confirmOverwrite);
    EXPECT_TRUE(first.defaultSuffix.isEmpty());
    const FileDialogRequest& second = platform_.dialogs[1].request;
    EXPECT_EQ(second.filterIndex, 1);
    EXPECT_EQ(second.fileName, qpath("first"));
    EXPECT_TRUE(fileExists(path("first.jpg")));
}

TEST_F(SavePicture, RightAfterStartBothFiltersWriteTheEmptyPicture)
{
    struct Row {
        const char* typed;
        int filter;
        const char* written;
        Bytes expected;
    };
    const Row rows[] = {
        {"empty", 0, "empty.bmp", encodeBmp(Picture{})},
        {"empty", 1, "empty.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xD9}},
    };
    for (const Row& row : rows) {
        platform_.answerFile(qpath(row.typed), row.filter);
        QTest::mouseClick(button("sbsvpic"), Qt::LeftButton);
        ASSERT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
        EXPECT_EQ(readWholeFile(path(row.written)), row.expected) << row.written;
    }
    EXPECT_TRUE(project().MosaicImage.empty());
}

TEST_F(SavePicture, ReplacesAnExistingFileWithoutAsking)
{
    project().MosaicImage = gradientPicture(12, 9);
    std::ofstream(path("old.bmp")) << "old";
    platform_.answerFile(qpath("old.bmp"), 0);
    invoke(main(), "sbsvpicClick");
    EXPECT_TRUE(platform_.messages.empty());
    Picture back;
    loadPicture(back, path("old.bmp"));
    EXPECT_TRUE(samePicture(back, project().MosaicImage));
}

TEST_F(SavePicture, CancelWritesNothingAndFailureIsReported)
{
    project().MosaicImage = gradientPicture(12, 9);
    platform_.answerCancel();
    invoke(main(), "sbsvpicClick");
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
        EXPECT_TRUE(entry.is_directory()) << entry.path() << " was written";

    platform_.answerFile(qpath("missing/x.bmp"), 0);
    invoke(main(), "sbsvpicClick");
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_EQ(platform_.messages[0].caption, "Error");
    EXPECT_EQ(platform_.messages[0].text.rfind("Cannot create file", 0), 0u) << platform_.messages[0].text;
}

} // namespace
} // namespace tw::test

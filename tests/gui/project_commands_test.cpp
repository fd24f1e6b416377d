// Saving and opening project files and exporting the picture from the main
// window.
#include "gui/gui_fixture.h"

#include "imaging/load_picture.h"
#include "workspace/project_file.h"

#include <cstring>
#include <fstream>

namespace tw::test {
namespace {

std::uintmax_t sizeOf(const std::string& path) { return std::filesystem::file_size(path); }

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
    EXPECT_EQ(platform_.dialogs[0].request.filters, QStringList{"*.tw6 (*.tw6)"});
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
    EXPECT_EQ(platform_.dialogs.back().request.filters, QStringList{"*.tw6 (*.tw6)"});
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
        EXPECT_EQ(platform_.messages[0].text, row.expected) << row.name;
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
    EXPECT_EQ(platform_.messages[0].text, "Bitmap image is not valid.");
    EXPECT_TRUE(samePicture(project().MosaicImage, mosaic));
    // Commands are usable again after a failed opening.
    EXPECT_TRUE(action("LoadProject1")->isEnabled());
    EXPECT_TRUE(button("sbopprj")->isEnabled());
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

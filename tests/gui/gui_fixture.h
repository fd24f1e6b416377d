#pragma once
// The program's windows as gui_main builds them, on a scripted platform,
// with a program folder holding a small generated picture library.
#include "engine/project.h"
#include "imaging/bmp.h"
#include "library/cell_pic_lib.h"
#include "platform/files.h"
#include "platform/qt_settings.h"
#include "setup/wizard_options.h"
#include "test_support.h"
#include "gui/scripted_platform.h"
#include "ui/app_context.h"
#include "ui/picture_box.h"
#include "ui/program_windows.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tw::test {

// Twelve clearly different colours for the library pictures.
inline std::vector<Bgr> libraryColours()
{
    return {{0, 0, 0},       {255, 255, 255}, {0, 0, 255},   {0, 255, 0},   {255, 0, 0},   {0, 255, 255},
            {255, 0, 255},   {255, 255, 0},   {128, 128, 128}, {0, 128, 255}, {255, 128, 0}, {64, 32, 160}};
}

// A picture whose colour changes across and down, so neighbouring cells differ.
inline Picture gradientPicture(int w, int h)
{
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.setPixel(x, y,
                       Bgr{static_cast<std::uint8_t>((x * 255) / std::max(w - 1, 1)),
                           static_cast<std::uint8_t>((y * 255) / std::max(h - 1, 1)),
                           static_cast<std::uint8_t>(((x + y) * 127) / std::max(w + h - 2, 1))});
    return p;
}

inline std::string testName()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string("gui-") + info->test_suite_name() + "-" + info->name();
}

class GuiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = scratchDir(testName());
        programDir_ = dir_ / "program";
        std::filesystem::create_directories(programDir_ / "images");
        const auto colours = libraryColours();
        for (std::size_t i = 0; i < colours.size(); ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "tile%02zu.bmp", i);
            saveBmp(solidPicture(16, 16, colours[i]), (programDir_ / "images" / name).string());
        }
        setProgramFolderForTesting(programDir_.string());
        // Nothing remembered from an earlier test of the same process.
        ProgramSettings().clear();
        context_ = std::make_unique<AppContext>(platform_);
        windows_ = std::make_unique<ProgramWindows>(*context_);
        main().show();
        QApplication::processEvents();
    }

    void TearDown() override
    {
        windows_.reset();
        context_.reset();
        EXPECT_TRUE(platform_.fileAnswers.empty()) << "file dialog answers left unused";
        EXPECT_TRUE(platform_.colorAnswers.empty()) << "colour answers left unused";
        EXPECT_TRUE(platform_.printerSetupAnswers.empty()) << "printer setup answers left unused";
        EXPECT_TRUE(platform_.printAnswers.empty()) << "print dialog answers left unused";
        EXPECT_TRUE(platform_.saveAnswers.empty()) << "unsaved-changes answers left unused";
    }

    MainWindow& main() { return windows_->main(); }
    OverviewWindow& overview() { return windows_->overview(); }
    UsageWindow& usage() { return windows_->usage(); }
    MosaicProject& project() { return context_->project(); }
    CellPicLib& library() { return context_->library(); }

    template <class T>
    T* child(QWidget& window, const char* name)
    {
        T* found = window.findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << "no " << name << " in " << window.objectName().toStdString();
        return found;
    }
    QToolButton* button(const char* name) { return child<QToolButton>(main(), name); }
    QAction* action(const char* name) { return child<QAction>(main(), name); }
    QString labelText(const char* name) { return child<QLabel>(main(), name)->text(); }

    // Calls a handler by name, as its control would.
    void invoke(QObject& target, const char* slot)
    {
        ASSERT_TRUE(QMetaObject::invokeMethod(&target, slot, Qt::DirectConnection)) << slot;
    }
    void release(int x, int y)
    {
        ASSERT_TRUE(QMetaObject::invokeMethod(&main(), "img1MouseUp", Qt::DirectConnection, Q_ARG(int, x),
                                              Q_ARG(int, y)));
    }
    void press(int x, int y)
    {
        ASSERT_TRUE(QMetaObject::invokeMethod(&main(), "img1MouseDown", Qt::DirectConnection, Q_ARG(int, x),
                                              Q_ARG(int, y)));
    }

    // Fills the settings the way the wizard does, with its default options
    // except the ones given.
    void prepareCreation(int cellsX, int cellsY, int cellSize, WizardOptions options = {})
    {
        project().MainImage = gradientPicture(cellsX * cellSize, cellsY * cellSize);
        SizeFields size;
        size.cellsX = cellsX;
        size.cellsY = cellsY;
        size.cellWidth = cellSize;
        size.cellHeight = cellSize;
        copyWizardOptions(project(), size, options, library().count(), platform_.memory);
    }

    // The visible grid cells, for comparing before and after an edit.
    std::vector<MosaicCell> gridCells()
    {
        std::vector<MosaicCell> cells;
        for (int x = 0; x < project().settings.cellsX; ++x)
            for (int y = 0; y < project().settings.cellsY; ++y)
                cells.push_back(project().MosaicGrid.at(x, y));
        return cells;
    }

    QSize viewBox() { return child<QWidget>(main(), "workpanel")->contentsRect().size(); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    QString qpath(const std::string& name) const { return QString::fromStdString(path(name)); }

    ScriptedPlatform platform_;
    std::filesystem::path dir_;
    std::filesystem::path programDir_;
    std::unique_ptr<AppContext> context_;
    std::unique_ptr<ProgramWindows> windows_;
};

inline bool sameCell(const MosaicCell& a, const MosaicCell& b)
{
    return a.picture == b.picture && a.redOffset == b.redOffset && a.greenOffset == b.greenOffset &&
           a.blueOffset == b.blueOffset && a.placed == b.placed && a.hFlip == b.hFlip && a.vFlip == b.vFlip;
}

} // namespace tw::test

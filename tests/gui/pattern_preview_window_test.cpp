// The pattern preview opened from the wizard's size page.
#include "gui/gui_fixture.h"

#include "imaging/inspect.h"
#include "imaging/resample.h"
#include "imaging/transforms.h"
#include "ui/spin_edit.h"

#include <QCheckBox>
#include <QTabBar>
#include <QTabWidget>

namespace tw::test {
namespace {

// Colours well away from black, so an edge line is told from a cell.
Picture brightPicture(int w, int h)
{
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.setPixel(x, y,
                       Bgr{static_cast<std::uint8_t>(60 + x * 190 / w), static_cast<std::uint8_t>(60 + y * 190 / h),
                           static_cast<std::uint8_t>(120)});
    return p;
}

class PatternPreview : public GuiTest {
protected:
    NewProjectWindow& wizard() { return windows_->newProject(); }
    PatternPreviewWindow& window() { return windows_->patternPreview(); }
    PictureBox* image() { return child<PictureBox>(window(), "Image1"); }
    QAbstractButton* tool(const char* name) { return child<QAbstractButton>(window(), name); }

    void openSizePage()
    {
        QTest::mouseClick(button("sbnewprj"), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&wizard()));
        QTabBar* bar = child<QTabWidget>(wizard(), "PageControl1")->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    }
    void loadMain(const Picture& picture)
    {
        saveBmp(picture, path("main.bmp"));
        platform_.answerFile(qpath("main.bmp"));
        QTabBar* bar = child<QTabWidget>(wizard(), "PageControl1")->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
        QTest::mouseClick(child<QAbstractButton>(wizard(), "btloadtwmain"), Qt::LeftButton);
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    }
    void type(const char* name, int value, bool leave = true)
    {
        auto* spin = child<SpinEdit>(wizard(), name);
        spin->setFocus();
        QTest::keyClick(spin, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(spin, Qt::Key_Backspace);
        QTest::keyClicks(spin, QString::number(value));
        if (leave)
            QTest::keyClick(spin, Qt::Key_Tab);
    }
    void setGrid(int across, int down)
    {
        type("edhcc", across);
        type("edvcc", down);
    }
    void pressPatternPreview() { QTest::mouseClick(child<QAbstractButton>(wizard(), "Button2"), Qt::LeftButton); }

    Picture expected(const Picture& source, int across, int down, int block, bool edges)
    {
        Picture p;
        magnifyPattern(source, p, across, down, block, edges);
        return p;
    }
};

TEST_F(PatternPreview, WindowIsAHiddenStayOnTopToolWithItsControls)
{
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(window().objectName(), "TForm3");
    EXPECT_EQ(window().windowTitle(), "Pattern PreView");
    EXPECT_TRUE(window().windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(window().testAttribute(Qt::WA_QuitOnClose));
    EXPECT_EQ(tool("sb4xpt")->text(), "4x");
    EXPECT_EQ(tool("sb8xpt")->text(), "8x");
    EXPECT_FALSE(tool("sb4xpt")->isChecked());
    EXPECT_TRUE(tool("sb8xpt")->isChecked());
    EXPECT_EQ(tool("sbptline")->text(), "edge line");
    EXPECT_TRUE(tool("sbptline")->isChecked());
    EXPECT_EQ(image()->size(), QSize(256, 256));
    EXPECT_EQ(child<QWidget>(window(), "Panel1")->height(), 41);

    openSizePage();
    pressPatternPreview();
    ASSERT_TRUE(window().isVisible());
    QApplication::processEvents();
    // Its laid-out size is the size with the frame.
    EXPECT_EQ(window().frameGeometry().size(), QSize(272, 341));
    // The two block sizes exclude each other.
    QTest::mouseClick(tool("sb4xpt"), Qt::LeftButton);
    EXPECT_TRUE(tool("sb4xpt")->isChecked());
    EXPECT_FALSE(tool("sb8xpt")->isChecked());
    QTest::mouseClick(tool("sb4xpt"), Qt::LeftButton);
    EXPECT_TRUE(tool("sb4xpt")->isChecked());
}

TEST_F(PatternPreview, PatternIsTheMainPictureReducedToTheGridAndMagnified)
{
    const Picture main = brightPicture(300, 200);
    struct Row {
        const char* example;
        int across, down;
        const char* blockButton;
        bool edges;
        QSize size;
    };
    const Row rows[] = {
        {"48 x 48 at 8x", 48, 48, "sb8xpt", true, QSize(384, 384)},
        {"48 x 48 at 4x", 48, 48, "sb4xpt", true, QSize(192, 192)},
        {"10 x 8 at 4x", 10, 8, "sb4xpt", true, QSize(40, 32)},
        {"10 x 8 at 4x without edge lines", 10, 8, "sb4xpt", false, QSize(40, 32)},
        {"64 x 8 at 8x", 64, 8, "sb8xpt", false, QSize(512, 64)},
    };
    openSizePage();
    loadMain(main);
    for (const Row& row : rows) {
        setGrid(row.across, row.down);
        if (!tool(row.blockButton)->isChecked())
            QTest::mouseClick(tool(row.blockButton), Qt::LeftButton);
        if (tool("sbptline")->isChecked() != row.edges)
            QTest::mouseClick(tool("sbptline"), Qt::LeftButton);
        pressPatternPreview();
        const Picture& shown = image()->picture();
        EXPECT_EQ(QSize(shown.width(), shown.height()), row.size) << row.example;
        EXPECT_EQ(image()->size(), row.size) << row.example;
        const int block = row.blockButton == std::string("sb4xpt") ? 4 : 8;
        EXPECT_TRUE(samePicture(shown, expected(main, row.across, row.down, block, row.edges))) << row.example;
    }
    EXPECT_TRUE(platform_.messages.empty());
}

TEST_F(PatternPreview, EdgeLinesBlackenTheTopRowAndLeftColumnOfEveryBlock)
{
    const Picture main = brightPicture(100, 80);
    openSizePage();
    loadMain(main);
    setGrid(10, 8);
    pressPatternPreview();
    QTest::mouseClick(tool("sb4xpt"), Qt::LeftButton);
    const Picture& shown = image()->picture();
    ASSERT_EQ(shown.width(), 40);
    ASSERT_EQ(shown.height(), 32);
    Picture reduced;
    stretchTo(main, reduced, 10, 8);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool line = x % 4 == 0 || y % 4 == 0;
            const Bgr want = line ? Bgr{0, 0, 0} : reduced.pixel(x / 4, y / 4);
            const Bgr got = shown.pixel(x, y);
            ASSERT_EQ(got, want) << "pixel (" << x << ", " << y << ") is bgr(" << int(got.b) << "," << int(got.g)
                                 << "," << int(got.r) << "), expected bgr(" << int(want.b) << "," << int(want.g)
                                 << "," << int(want.r) << ")";
        }
}

TEST_F(PatternPreview, AllowCropShowsOnlyTheCentredPartOfTheMosaicsShape)
{
    const Picture main = brightPicture(200, 100);
    openSizePage();
    loadMain(main);
    setGrid(8, 8);
    QTest::mouseClick(child<QCheckBox>(wizard(), "cbcropmain"), Qt::LeftButton);
    pressPatternPreview();
    Picture square;
    cropToAspect(main, square, 1, 1);
    ASSERT_EQ(square.width(), 100);
    EXPECT_TRUE(samePicture(image()->picture(), expected(square, 8, 8, 8, true)));
    // Unticked, the whole picture is squeezed into the grid.
    QTest::mouseClick(child<QCheckBox>(wizard(), "cbcropmain"), Qt::LeftButton);
    pressPatternPreview();
    EXPECT_TRUE(samePicture(image()->picture(), expected(main, 8, 8, 8, true)));
}

TEST_F(PatternPreview, WithoutAMainPictureThePatternIsEmpty)
{
    openSizePage();
    pressPatternPreview();
    EXPECT_TRUE(window().isVisible());
    EXPECT_TRUE(image()->picture().empty());
    EXPECT_EQ(image()->size(), QSize(0, 0));
    QTest::mouseClick(tool("sb4xpt"), Qt::LeftButton);
    QTest::mouseClick(tool("sbptline"), Qt::LeftButton);
    EXPECT_TRUE(image()->picture().empty());
    EXPECT_TRUE(platform_.messages.empty());
}

TEST_F(PatternPreview, ItsOwnButtonsRedrawWithTheSizeFieldsAsLastComputed)
{
    const Picture main = brightPicture(120, 120);
    openSizePage();
    loadMain(main);
    setGrid(12, 12);
    pressPatternPreview();
    const Picture first = image()->picture();

    // A new grid does not redraw an open preview by itself ...
    setGrid(20, 10);
    EXPECT_TRUE(samePicture(image()->picture(), first));
    // ... its own buttons do, with the grid as last computed.
    QTest::mouseClick(tool("sbptline"), Qt::LeftButton);
    EXPECT_TRUE(samePicture(image()->picture(), expected(main, 20, 10, 8, false)));

    // A count still being typed beyond its range is drawn as the field
    // will show it.
    type("edhcc", 999, false);
    QTest::mouseClick(tool("sbptline"), Qt::LeftButton);
    EXPECT_TRUE(samePicture(image()->picture(), expected(main, 64, 10, 8, true)));
}

} // namespace
} // namespace tw::test

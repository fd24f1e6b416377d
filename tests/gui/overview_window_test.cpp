// The OverView window: the fitted mosaic and the indicator frame.
#include "gui/gui_fixture.h"

#include "imaging/transforms.h"
#include "workspace/overview_window.h"
#include "ui/picture_box.h"

#include <QCheckBox>
#include <QPushButton>

namespace tw::test {
namespace {

TEST(IndicatorRect, ScalesAndTruncatesEachSide)
{
    struct Row {
        Rect view;
        double scale;
        Rect expected;
    };
    const Row rows[] = {
        {Rect{0, 0, 629, 333}, 0.125, Rect{0, 0, 78, 41}},
        {Rect{100, 57, 729, 390}, 0.125, Rect{12, 7, 91, 48}},
        {Rect{0, 0, 2000, 1600}, 0.125, Rect{0, 0, 250, 200}},
        {Rect{3, 3, 9, 9}, 2.5, Rect{7, 7, 22, 22}},
        {Rect{0, 0, 0, 0}, 0.0, Rect{0, 0, 0, 0}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(indicatorRect(row.view, row.scale), row.expected) << row.view.right << " x " << row.scale;
}

class OverviewTest : public GuiTest {
protected:
    PictureBox* image1() { return overview().findChild<PictureBox*>(QStringLiteral("Image1")); }

    // Shows the window with Image1 exactly w x h.
    void showWithImageBox(int w, int h)
    {
        overview().show();
        QApplication::processEvents();
        const QSize now = image1()->size();
        overview().resize(overview().width() + (w - now.width()), overview().height() + (h - now.height()));
        QApplication::processEvents();
        ASSERT_EQ(image1()->size(), QSize(w, h));
    }

    // Checks the one-pixel frame around r (columns left..right-1, rows
    // top..bottom-1) and that the pixels just inside and outside are not it.
    void expectFrame(const Picture& p, Rect r, Bgr frame, Bgr background)
    {
        for (int x = r.left; x < r.right; ++x) {
            EXPECT_EQ(p.pixel(x, r.top), frame) << "top " << x;
            EXPECT_EQ(p.pixel(x, r.bottom - 1), frame) << "bottom " << x;
        }
        for (int y = r.top; y < r.bottom; ++y) {
            EXPECT_EQ(p.pixel(r.left, y), frame) << "left " << y;
            EXPECT_EQ(p.pixel(r.right - 1, y), frame) << "right " << y;
        }
        if (r.right < p.width()) {
            EXPECT_EQ(p.pixel(r.right, r.top), background);
        }
        if (r.bottom < p.height()) {
            EXPECT_EQ(p.pixel(r.left, r.bottom), background);
        }
        EXPECT_EQ(p.pixel(r.left + 1, r.top + 1), background);
    }
};

const Bgr kWhite{255, 255, 255};
const Bgr kBlack{0, 0, 0};

TEST_F(OverviewTest, StartsWithItsControlsAndAnEmptyPicture)
{
    auto* cb = overview().findChild<QCheckBox*>(QStringLiteral("cbindicator"));
    auto* b = overview().findChild<QPushButton*>(QStringLiteral("Button1"));
    ASSERT_NE(cb, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(cb->text(), "Indicator");
    EXPECT_TRUE(cb->isChecked());
    EXPECT_EQ(b->text(), "change indicator color");
    EXPECT_EQ(overview().findChild<QWidget*>(QStringLiteral("Panel1"))->height(), 41);
    EXPECT_EQ(overview().indicatorColor(), QColor(Qt::black));
    invoke(main(), "sboverviewClick");
    QApplication::processEvents();
    EXPECT_TRUE(image1()->picture().empty());
    // The laid-out size is the whole window's; the picture box is what
    // remains below the panel.
    EXPECT_EQ(overview().frameGeometry().size(), QSize(254, 254));
    EXPECT_EQ(image1()->size(), overview().size() - QSize(0, 41));
}

TEST_F(OverviewTest, WorkedExampleTwoThousandBySixteenHundred)
{
    project().MosaicImage = solidPicture(2000, 1600, kWhite);
    project().viewRect = Rect{0, 0, 629, 333};
    showWithImageBox(250, 200);
    overview().redrawOverview();
    const Picture& p = image1()->picture();
    ASSERT_EQ(p.width(), 250);
    ASSERT_EQ(p.height(), 200);
    expectFrame(p, Rect{0, 0, 78, 41}, kBlack, kWhite);
    EXPECT_EQ(p.pixel(78, 0), kWhite);
    EXPECT_EQ(p.pixel(0, 41), kWhite);
    EXPECT_EQ(p.pixel(200, 150), kWhite);
}

TEST_F(OverviewTest, WholeMosaicInViewFramesTheWholePicture)
{
    project().MosaicImage = solidPicture(800, 600, kWhite);
    project().viewRect = Rect{0, 0, 800, 600};
    showWithImageBox(400, 400);
    overview().redrawOverview();
    const Picture& p = image1()->picture();
    ASSERT_EQ(p.width(), 400);
    ASSERT_EQ(p.height(), 300);
    expectFrame(p, Rect{0, 0, 400, 300}, kBlack, kWhite);
}

TEST(IndicatorRect, WholeViewFramesTheWholeReducedPictureForEverySize)
{
    // Every mosaic the wizard can make (8..64 cells of 8..48 pixels, so
    // sides of 64..3072), in boxes of the window's usual sizes: the frame of
    // a view that shows everything ends at the picture's last column and row.
    int checked = 0;
    for (const QSize box : {QSize(271, 255), QSize(250, 209), QSize(246, 179), QSize(400, 300)})
        for (int w = 64; w <= 3072; w += 8)
            for (int h = 64; h <= 3072; h += 56) {
                const Size fitted = fitSize(w, h, box.width(), box.height());
                const Rect r = indicatorRect(Rect{0, 0, w, h}, fitScale(w, h, box.width(), box.height()));
                ASSERT_EQ(r, (Rect{0, 0, fitted.width, fitted.height}))
                    << w << " x " << h << " in " << box.width() << " x " << box.height() << ": frame ends at "
                    << r.right << "," << r.bottom << ", picture is " << fitted.width << " x " << fitted.height;
                ++checked;
            }
    EXPECT_GT(checked, 10000);
}

TEST_F(OverviewTest, FrameOfTheWholeViewShowsAllFourSidesInTheWindow)
{
    // 300 x 200 in a 271 x 255 box: a 270 x 180 picture, framed on all sides.
    project().MosaicImage = solidPicture(300, 200, kWhite);
    project().viewRect = Rect{0, 0, 300, 200};
    showWithImageBox(271, 255);
    overview().redrawOverview();
    const Picture& p = image1()->picture();
    ASSERT_EQ(p.width(), 270);
    ASSERT_EQ(p.height(), 180);
    expectFrame(p, Rect{0, 0, 270, 180}, kBlack, kWhite);
}

TEST_F(OverviewTest, SmallMosaicIsEnlarged)
{
    project().MosaicImage = solidPicture(50, 25, kWhite);
    project().viewRect = Rect{0, 0, 10, 5};
    showWithImageBox(300, 300);
    overview().redrawOverview();
    const Picture& p = image1()->picture();
    EXPECT_EQ(p.width(), 300);
    EXPECT_EQ(p.height(), 150);
    expectFrame(p, Rect{0, 0, 60, 30}, kBlack, kWhite);
}

TEST_F(OverviewTest, UncheckingTheIndicatorRedrawsWithoutTheFrame)
{
    project().MosaicImage = solidPicture(2000, 1600, kWhite);
    project().viewRect = Rect{0, 0, 629, 333};
    showWithImageBox(250, 200);
    auto* cb = overview().findChild<QCheckBox*>(QStringLiteral("cbindicator"));
    QTest::mouseClick(cb, Qt::LeftButton);
    ASSERT_FALSE(cb->isChecked());
    const Picture& p = image1()->picture();
    for (int x = 0; x < 78; ++x)
        ASSERT_EQ(p.pixel(x, 0), kWhite) << x;
    QTest::mouseClick(cb, Qt::LeftButton);
    EXPECT_EQ(image1()->picture().pixel(10, 0), kBlack);
}

TEST_F(OverviewTest, ChosenColourDrawsTheFrameAndCancelKeepsIt)
{
    project().MosaicImage = solidPicture(2000, 1600, kWhite);
    project().viewRect = Rect{0, 0, 629, 333};
    showWithImageBox(250, 200);
    auto* b = overview().findChild<QPushButton*>(QStringLiteral("Button1"));
    platform_.colorAnswers.push_back(QColor(255, 0, 0));
    QTest::mouseClick(b, Qt::LeftButton);
    expectFrame(image1()->picture(), Rect{0, 0, 78, 41}, Bgr{0, 0, 255}, kWhite);
    platform_.colorAnswers.push_back(std::nullopt);
    QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_EQ(overview().indicatorColor(), QColor(255, 0, 0));
    EXPECT_EQ(image1()->picture().pixel(5, 0), (Bgr{0, 0, 255}));
}

TEST_F(OverviewTest, ResizingRefitsPictureAndFrame)
{
    project().MosaicImage = solidPicture(2000, 1600, kWhite);
    project().viewRect = Rect{0, 0, 629, 333};
    showWithImageBox(250, 200);
    overview().redrawOverview();
    showWithImageBox(500, 400);
    const Picture& p = image1()->picture();
    ASSERT_EQ(p.width(), 500);
    ASSERT_EQ(p.height(), 400);
    expectFrame(p, Rect{0, 0, 157, 83}, kBlack, kWhite);
}

TEST_F(OverviewTest, FollowsTheMainViewWhileVisible)
{
    project().MosaicImage = solidPicture(3000, 3000, kWhite);
    invoke(main(), "sboverviewClick");
    const QSize box = viewBox();
    const QSize image = image1()->size();
    press(0, 0);
    release(-1000, -500);
    ASSERT_EQ(project().viewRect, (Rect{1000, 500, 1000 + box.width(), 500 + box.height()}));
    const double s = fitScale(3000, 3000, image.width(), image.height());
    const Rect r = indicatorRect(project().viewRect, s);
    EXPECT_EQ(image1()->picture().pixel(r.left, r.top), kBlack);
    EXPECT_EQ(image1()->picture().pixel(r.left - 1, r.top), kWhite);

    // Hidden, it is left alone.
    overview().hide();
    const Picture before = image1()->picture();
    press(0, 0);
    release(500, 0);
    EXPECT_TRUE(samePicture(image1()->picture(), before));
}

} // namespace
} // namespace tw::test

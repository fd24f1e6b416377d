// The program's icon: the drawn sizes and the SVG show the same tiles.
#include "ui/app_icon.h"

#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(AppIcon, TilesLieInsideTheCanvasWithoutOverlapping)
{
    const auto tiles = iconTiles();
    const QRectF canvas(0, 0, kIconCanvas, kIconCanvas);
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        EXPECT_TRUE(canvas.contains(tiles[i].rect)) << "tile " << i;
        for (std::size_t j = i + 1; j < tiles.size(); ++j)
            EXPECT_FALSE(tiles[i].rect.intersects(tiles[j].rect)) << "tiles " << i << " and " << j;
    }
}

TEST(AppIcon, EveryDrawnSizeShowsEachTileColourAtItsCentre)
{
    for (int size : kInstalledIconSizes) {
        const QImage image = renderApplicationIcon(size);
        ASSERT_EQ(image.size(), QSize(size, size));
        // The rounded corner leaves the very corner (almost, at the smallest
        // sizes, where the edge is smoothed) transparent.
        EXPECT_LT(qAlpha(image.pixel(0, 0)), 40) << size << ": the rounded corner is not transparent";
        if (size < 32)
            continue;  // tiles of a few pixels blend at their edges; the centre check needs room
        const double scale = double(size) / kIconCanvas;
        for (const IconTile& t : iconTiles()) {
            const QPoint centre((t.rect.center() * scale).toPoint());
            const QColor got = image.pixelColor(centre);
            EXPECT_EQ(got, t.color) << "size " << size << " at " << centre.x() << "," << centre.y() << ": "
                                    << got.name().toStdString() << " vs " << t.color.name().toStdString();
        }
    }
}

TEST(AppIcon, SvgDrawsTheSameTiles)
{
    QXmlStreamReader xml(applicationIconSvg());
    std::vector<QXmlStreamAttributes> rects;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement) {
            if (rects.empty() && xml.name() == QLatin1String("svg")) {
                EXPECT_EQ(xml.attributes().value(QLatin1String("viewBox")), QLatin1String("0 0 256 256"));
            }
            if (xml.name() == QLatin1String("rect"))
                rects.push_back(xml.attributes());
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    const auto tiles = iconTiles();
    ASSERT_EQ(rects.size(), tiles.size() + 1);  // the background, then the tiles
    EXPECT_EQ(rects[0].value(QLatin1String("fill")).toString(), iconBackgroundColor().name());
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const QXmlStreamAttributes& a = rects[i + 1];
        const QRectF r(a.value(QLatin1String("x")).toDouble(), a.value(QLatin1String("y")).toDouble(),
                       a.value(QLatin1String("width")).toDouble(), a.value(QLatin1String("height")).toDouble());
        EXPECT_EQ(r, tiles[i].rect) << "tile " << i;
        EXPECT_EQ(a.value(QLatin1String("fill")).toString(), tiles[i].color.name()) << "tile " << i;
    }
}

TEST(AppIcon, WindowIconHoldsEveryInstalledSize)
{
    const QList<QSize> sizes = applicationIcon().availableSizes();
    for (int size : kInstalledIconSizes)
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
}

} // namespace
} // namespace tw

#include "ui/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tw {

namespace {

constexpr double kCornerRadius = 44;
constexpr double kMargin = 24;
constexpr double kGap = 8;
constexpr double kTileRadius = 6;

// Dusk sky, the sun low over the sea, its reflection, deep water.
constexpr const char* kTileColors[kIconTilesPerSide][kIconTilesPerSide] = {
    {"#7b4b94", "#a0528f", "#c25b7e", "#a0528f"},
    {"#e9765b", "#f59e4c", "#ffd25e", "#f59e4c"},
    {"#2f6f9f", "#3f86b5", "#f2c35a", "#3f86b5"},
    {"#1f4e79", "#2a5f8f", "#2f6f9f", "#1f4e79"},
};

} // namespace

QColor iconBackgroundColor() { return QColor(0x26, 0x2b, 0x33); }

std::array<IconTile, kIconTilesPerSide * kIconTilesPerSide> iconTiles()
{
    const double tile = (kIconCanvas - 2 * kMargin - (kIconTilesPerSide - 1) * kGap) / kIconTilesPerSide;
    std::array<IconTile, kIconTilesPerSide * kIconTilesPerSide> tiles;
    for (int row = 0; row < kIconTilesPerSide; ++row)
        for (int col = 0; col < kIconTilesPerSide; ++col)
            tiles[row * kIconTilesPerSide + col] = {
                QRectF(kMargin + col * (tile + kGap), kMargin + row * (tile + kGap), tile, tile),
                QColor::fromString(kTileColors[row][col])};
    return tiles;
}

QImage renderApplicationIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(double(size) / kIconCanvas, double(size) / kIconCanvas);
    painter.setPen(Qt::NoPen);
    painter.setBrush(iconBackgroundColor());
    painter.drawRoundedRect(QRectF(0, 0, kIconCanvas, kIconCanvas), kCornerRadius, kCornerRadius);
    for (const IconTile& t : iconTiles()) {
        painter.setBrush(t.color);
        painter.drawRoundedRect(t.rect, kTileRadius, kTileRadius);
    }
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

QString applicationIconSvg()
{
    auto number = [](double v) { return QString::number(v, 'g', 6); };
    QString svg = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" "
                                 "viewBox=\"0 0 %1 %1\">\n")
                      .arg(kIconCanvas);
    svg += QStringLiteral("  <rect x=\"0\" y=\"0\" width=\"%1\" height=\"%1\" rx=\"%2\" fill=\"%3\"/>\n")
               .arg(kIconCanvas)
               .arg(number(kCornerRadius), iconBackgroundColor().name());
    for (const IconTile& t : iconTiles())
        svg += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" fill=\"%6\"/>\n")
                   .arg(number(t.rect.x()), number(t.rect.y()), number(t.rect.width()), number(t.rect.height()),
                        number(kTileRadius), t.color.name());
    svg += QStringLiteral("</svg>\n");
    return svg;
}

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : kInstalledIconSizes)
        icon.addPixmap(QPixmap::fromImage(renderApplicationIcon(size)));
    return icon;
}

} // namespace tw

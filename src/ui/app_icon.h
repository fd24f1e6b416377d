#pragma once
// The program's icon: a small mosaic of a sunset over the sea, sixteen
// tiles on a dark rounded square. The same tiles are drawn into the
// window icon, written as the installed PNG sizes and as the SVG, so every
// form of the icon shows the same picture.
#include <QColor>
#include <QIcon>
#include <QImage>
#include <QRectF>
#include <QString>

#include <array>

namespace tw {

// The icon's design on a 256 x 256 canvas.
struct IconTile {
    QRectF rect;
    QColor color;
};
constexpr int kIconCanvas = 256;
constexpr int kIconTilesPerSide = 4;
QColor iconBackgroundColor();
std::array<IconTile, kIconTilesPerSide * kIconTilesPerSide> iconTiles();

// The icon drawn at size x size pixels, transparent outside the square.
QImage renderApplicationIcon(int size);

// The icon as an SVG document.
QString applicationIconSvg();

// The icon in the usual sizes, for the windows' title bars.
QIcon applicationIcon();

// The sizes installed as PNG files into the hicolor theme.
inline constexpr std::array<int, 8> kInstalledIconSizes = {16, 22, 24, 32, 48, 64, 128, 256};

} // namespace tw

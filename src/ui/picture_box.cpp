#include "ui/picture_box.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace tw {

QImage toQImage(const Picture& picture)
{
    if (picture.empty())
        return {};
    QImage image(picture.width(), picture.height(), QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        const std::uint8_t* src = picture.row(y);
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < picture.width(); ++x, src += 3)
            dst[x] = qRgb(src[2], src[1], src[0]);
    }
    return image;
}

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
}

void PictureBox::pictureChanged()
{
    image_ = toQImage(picture_);
    update();
}

void PictureBox::setCentred(bool centred)
{
    centred_ = centred;
    update();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    if (image_.isNull())
        return;
    QPainter painter(this);
    if (centred_)
        painter.drawImage((width() - image_.width()) / 2, (height() - image_.height()) / 2, image_);
    else
        painter.drawImage(0, 0, image_);
}

namespace {
int pixelOf(qreal v) { return static_cast<int>(std::floor(v)); }
} // namespace

void PictureBox::mousePressEvent(QMouseEvent* event)
{
    const QPointF p = event->position();
    Q_EMIT mousePressed(pixelOf(p.x()), pixelOf(p.y()));
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    const QPointF p = event->position();
    Q_EMIT mouseReleased(pixelOf(p.x()), pixelOf(p.y()));
}

} // namespace tw

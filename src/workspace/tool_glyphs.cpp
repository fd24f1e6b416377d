#include "workspace/tool_glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tw {

namespace {

constexpr int kSize = 24;

void drawPage(QPainter& p)
{
    QPainterPath page;
    page.moveTo(5, 2);
    page.lineTo(15, 2);
    page.lineTo(20, 7);
    page.lineTo(20, 22);
    page.lineTo(5, 22);
    page.closeSubpath();
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.drawLine(15, 2, 15, 7);
    p.drawLine(15, 7, 20, 7);
}

void drawFloppy(QPainter& p, const QRect& r)
{
    p.setPen(QPen(QColor(20, 40, 90), 1));
    p.setBrush(QColor(50, 90, 170));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    p.setBrush(QColor(230, 230, 230));
    const int w = r.width(), h = r.height();
    p.drawRect(r.x() + w / 5, r.y(), w * 3 / 5, h * 2 / 5);
    p.setBrush(Qt::white);
    p.drawRect(r.x() + w / 6, r.y() + h * 3 / 5, w * 2 / 3 - 1, h * 2 / 5 - 2);
}

void drawMagnifier(QPainter& p, bool plus)
{
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(QColor(220, 235, 250));
    p.drawEllipse(QPoint(10, 10), 7, 7);
    p.setPen(QPen(QColor(60, 60, 60), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(15, 15, 21, 21);
    p.setPen(QPen(QColor(20, 20, 20), 2));
    p.drawLine(6, 10, 14, 10);
    if (plus)
        p.drawLine(10, 6, 10, 14);
}

void drawArrowHead(QPainter& p, QPointF tip, QPointF dir)
{
    const QPointF side(-dir.y(), dir.x());
    QPolygonF head;
    head << tip << tip - dir * 4 + side * 3 << tip - dir * 4 - side * 3;
    p.drawPolygon(head);
}

void paintGlyph(QPainter& p, Glyph glyph)
{
    switch (glyph) {
    case Glyph::NewProject:
        drawPage(p);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(240, 190, 20));
        p.drawEllipse(QPoint(8, 17), 4, 4);
        break;
    case Glyph::LoadProject: {
        p.setPen(QPen(QColor(140, 100, 20), 1));
        p.setBrush(QColor(240, 200, 80));
        p.drawRect(2, 7, 19, 14);
        p.drawRect(2, 4, 8, 3);
        p.setBrush(QColor(250, 225, 130));
        QPolygon front;
        front << QPoint(5, 11) << QPoint(23, 11) << QPoint(20, 21) << QPoint(2, 21);
        p.drawPolygon(front);
        break;
    }
    case Glyph::SaveProject:
        drawFloppy(p, QRect(3, 3, 18, 18));
        break;
    case Glyph::SavePicture:
        p.setPen(QPen(QColor(70, 70, 70), 1));
        p.setBrush(QColor(140, 200, 250));
        p.drawRect(1, 2, 17, 14);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 160, 60));
        p.drawEllipse(QRect(-2, 10, 16, 12));
        p.setBrush(QColor(250, 210, 40));
        p.drawEllipse(QPoint(13, 6), 2, 2);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(70, 70, 70), 1));
        p.drawRect(1, 2, 17, 14);
        drawFloppy(p, QRect(12, 12, 11, 11));
        break;
    case Glyph::Print:
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(Qt::white);
        p.drawRect(6, 2, 12, 8);
        p.setBrush(QColor(170, 170, 170));
        p.drawRect(2, 9, 20, 9);
        p.setBrush(Qt::white);
        p.drawRect(6, 15, 12, 7);
        p.setPen(QColor(30, 160, 30));
        p.drawPoint(19, 11);
        break;
    case Glyph::Hand:
        p.setPen(QPen(QColor(40, 40, 40), 2));
        p.setBrush(QColor(40, 40, 40));
        p.drawLine(12, 3, 12, 21);
        p.drawLine(3, 12, 21, 12);
        p.setPen(Qt::NoPen);
        drawArrowHead(p, {12, 1}, {0, -1});
        drawArrowHead(p, {12, 23}, {0, 1});
        drawArrowHead(p, {1, 12}, {-1, 0});
        drawArrowHead(p, {23, 12}, {1, 0});
        break;
    case Glyph::ChangeCell:
        p.setPen(QPen(QColor(80, 80, 80), 1));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x) {
                p.setBrush(x == 1 && y == 1 ? QColor(230, 60, 40) : QColor(120 + 40 * x, 150 + 30 * y, 200));
                p.drawRect(2 + 7 * x, 2 + 7 * y, 6, 6);
            }
        break;
    case Glyph::FreeCellPen: {
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(QColor(240, 190, 60));
        QPolygonF pencil;
        pencil << QPointF(17, 2) << QPointF(22, 7) << QPointF(8, 21) << QPointF(3, 16);
        p.drawPolygon(pencil);
        p.setBrush(QColor(60, 60, 60));
        QPolygonF tip;
        tip << QPointF(3, 16) << QPointF(8, 21) << QPointF(1, 23);
        p.drawPolygon(tip);
        break;
    }
    case Glyph::Resize:
        p.setPen(QPen(QColor(60, 60, 60), 1, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(2, 2, 19, 19);
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(QColor(200, 220, 240));
        p.drawRect(2, 10, 11, 11);
        p.setBrush(QColor(40, 40, 40));
        p.drawLine(10, 13, 19, 4);
        drawArrowHead(p, {21, 2}, {0.707, -0.707});
        break;
    case Glyph::Stats:
        p.setPen(QPen(QColor(40, 40, 40), 1));
        p.drawLine(2, 21, 22, 21);
        p.drawLine(2, 2, 2, 21);
        p.setBrush(QColor(60, 120, 210));
        p.drawRect(5, 12, 4, 9);
        p.setBrush(QColor(230, 90, 50));
        p.drawRect(11, 5, 4, 16);
        p.setBrush(QColor(70, 170, 70));
        p.drawRect(17, 9, 4, 12);
        break;
    case Glyph::Overview:
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(QColor(150, 190, 230));
        p.drawRect(1, 3, 21, 17);
        p.setPen(QPen(QColor(220, 30, 30), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(5, 7, 9, 7);
        break;
    case Glyph::Help: {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 100, 200));
        p.drawEllipse(QPoint(12, 12), 10, 10);
        p.setPen(Qt::white);
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(15);
        p.setFont(font);
        p.drawText(QRect(0, 0, kSize, kSize), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case Glyph::ZoomIn:
        drawMagnifier(p, true);
        break;
    case Glyph::ZoomOut:
        drawMagnifier(p, false);
        break;
    }
}

} // namespace

QIcon toolGlyph(Glyph glyph)
{
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pixmap(kSize * scale, kSize * scale);
        pixmap.fill(Qt::transparent);
        {
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.scale(scale, scale);
            paintGlyph(painter, glyph);
        }
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace tw

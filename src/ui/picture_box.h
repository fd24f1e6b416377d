#pragma once
// A picture control: shows a working picture 1:1 from its top-left corner
// (or centred, on request), never stretched; the area beyond the picture
// shows the parent's background. Reports mouse presses and releases in its
// own pixels.
#include "imaging/picture.h"

#include <QImage>
#include <QWidget>

namespace tw {

// A copy of a working picture (blue, green, red bytes) as a Qt image.
QImage toQImage(const Picture& picture);

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    const Picture& picture() const { return picture_; }
    Picture& picture() { return picture_; }
    // Call after changing picture() so the screen copy follows.
    void pictureChanged();
    // Draws the picture in the middle of the control instead of at its
    // top-left corner.
    void setCentred(bool centred);

    QSize sizeHint() const override { return {0, 0}; }
    QSize minimumSizeHint() const override { return {0, 0}; }

Q_SIGNALS:
    void mousePressed(int x, int y);
    void mouseReleased(int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Picture picture_;
    QImage image_;
    bool centred_ = false;
};

} // namespace tw

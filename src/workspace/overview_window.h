#pragma once
// TForm6 "OverView": the whole mosaic reduced to fit, with a frame around
// the part the main view shows. Always on top; closing only hides it.
#include "imaging/picture.h"

#include <QColor>
#include <QWidget>

#include <cstdint>

class QCheckBox;
class QFrame;
class QPushButton;

namespace tw {

class AppContext;
class PictureBox;

// The indicator frame in the reduced picture: viewRect scaled by s, each
// side truncated.
Rect indicatorRect(const Rect& viewRect, double scale);

class OverviewWindow : public QWidget {
    Q_OBJECT
public:
    explicit OverviewWindow(AppContext& context, QWidget* parent = nullptr);

    // Fits MosaicImage into Image1 and draws the indicator when checked.
    void redrawOverview();
    // The same after the main view only scrolled: the reduced picture of the
    // last redraw is reused when the mosaic and the box are still those it
    // was made from (the result is the same, pixel for pixel), so a live drag
    // does not stretch the whole mosaic for every step.
    void redrawIndicator();

    QColor indicatorColor() const { return indicatorColor_; }
    // A colour remembered from an earlier run; redrawn on the next redraw.
    void setIndicatorColor(const QColor& color) { indicatorColor_ = color; }

Q_SIGNALS:
    // The user chose another indicator colour.
    void indicatorColorChanged(const QColor& color);

protected:
    void resizeEvent(QResizeEvent* event) override;

private Q_SLOTS:
    void Button1Click();
    void cbindicatorClick();

private:
    void drawIndicator();

    AppContext& context_;
    QFrame* Panel1_ = nullptr;
    QCheckBox* cbindicator_ = nullptr;
    QPushButton* Button1_ = nullptr;
    PictureBox* Image1_ = nullptr;
    // The reduced picture of the last redraw without its frame, and what it
    // was made from.
    Picture plain_;
    const std::uint8_t* plainSource_ = nullptr;
    int plainSourceWidth_ = 0, plainSourceHeight_ = 0;
    QSize plainBox_;
    // The colour dialog's colour (cldlg): black at start, kept for the run.
    QColor indicatorColor_ = Qt::black;
};

} // namespace tw

#include "workspace/overview_window.h"

#include "imaging/transforms.h"
#include "platform/platform.h"
#include "ui/app_context.h"
#include "ui/picture_box.h"
#include "ui/window_size.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <cstdint>
#include <limits>

namespace tw {

namespace {

// The product is formed in the same extended precision as the reduced
// picture's size (fitSize), so a frame around the whole view ends exactly at
// the picture's last column and row: in plain doubles 300 x (271 / 300)
// rounds up to 271 while the picture is 270 wide.
int truncScaled(int value, double scale)
{
    const long double v = std::trunc(static_cast<long double>(value) * static_cast<long double>(scale));
    // The frame is clipped to the picture anyway; keep absurd values in int.
    if (v >= static_cast<long double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= static_cast<long double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

} // namespace

Rect indicatorRect(const Rect& viewRect, double scale)
{
    return Rect{truncScaled(viewRect.left, scale), truncScaled(viewRect.top, scale),
                truncScaled(viewRect.right, scale), truncScaled(viewRect.bottom, scale)};
}

OverviewWindow::OverviewWindow(AppContext& context, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), context_(context)
{
    setObjectName(QStringLiteral("TForm6"));
    setWindowTitle(QStringLiteral("OverView"));
    setAttribute(Qt::WA_QuitOnClose, false);

    Panel1_ = new QFrame(this);
    Panel1_->setObjectName(QStringLiteral("Panel1"));
    Panel1_->setFixedHeight(41);
    cbindicator_ = new QCheckBox(QStringLiteral("Indicator"), Panel1_);
    cbindicator_->setObjectName(QStringLiteral("cbindicator"));
    cbindicator_->setChecked(true);
    Button1_ = new QPushButton(QStringLiteral("change indicator color"), Panel1_);
    Button1_->setObjectName(QStringLiteral("Button1"));
    auto* panelLayout = new QHBoxLayout(Panel1_);
    panelLayout->setContentsMargins(6, 0, 6, 0);
    panelLayout->addWidget(cbindicator_);
    panelLayout->addWidget(Button1_);
    panelLayout->addStretch(1);

    Image1_ = new PictureBox(this);
    Image1_->setObjectName(QStringLiteral("Image1"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1_);
    layout->addWidget(Image1_, 1);

    connect(cbindicator_, &QCheckBox::clicked, this, &OverviewWindow::cbindicatorClick);
    connect(Button1_, &QPushButton::clicked, this, &OverviewWindow::Button1Click);

    // The laid-out size is the whole window's, title bar included.
    applyOuterSize(*this, QSize(254, 254));
}

void OverviewWindow::redrawOverview()
{
    const Picture& mosaic = context_.project().MosaicImage;
    const QSize box = Image1_->size();
    // An empty mosaic leaves the picture as it was.
    if (!mosaic.empty()) {
        fitIntoBox(mosaic, plain_, box.width(), box.height());
        plainSource_ = mosaic.data();
        plainSourceWidth_ = mosaic.width();
        plainSourceHeight_ = mosaic.height();
        plainBox_ = box;
        Image1_->picture() = plain_;
    }
    if (cbindicator_->isChecked())
        drawIndicator();
    Image1_->pictureChanged();
}

void OverviewWindow::redrawIndicator()
{
    const Picture& mosaic = context_.project().MosaicImage;
    if (mosaic.empty() || mosaic.data() != plainSource_ || mosaic.width() != plainSourceWidth_ ||
        mosaic.height() != plainSourceHeight_ || Image1_->size() != plainBox_) {
        redrawOverview();
        return;
    }
    Image1_->picture() = plain_;
    if (cbindicator_->isChecked())
        drawIndicator();
    Image1_->pictureChanged();
}

void OverviewWindow::drawIndicator()
{
    const MosaicProject& project = context_.project();
    const int w = project.MosaicImage.width(), h = project.MosaicImage.height();
    if (w == 0 || h == 0)
        return;
    const QSize box = Image1_->size();
    const double s = fitScale(w, h, box.width(), box.height());
    const Rect r = indicatorRect(project.viewRect, s);
    const QColor c = indicatorColor_;
    Image1_->picture().frameRect(
        r, Bgr{static_cast<std::uint8_t>(c.blue()), static_cast<std::uint8_t>(c.green()),
               static_cast<std::uint8_t>(c.red())});
}

void OverviewWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The layout has already given Image1 its new size.
    context_.guarded([this] { redrawOverview(); });
}

void OverviewWindow::Button1Click()
{
    context_.guarded([this] {
        const auto chosen = context_.platform().colorDialog(this, indicatorColor_);
        if (!chosen)
            return;
        indicatorColor_ = *chosen;
        Q_EMIT indicatorColorChanged(indicatorColor_);
        redrawOverview();
    });
}

void OverviewWindow::cbindicatorClick()
{
    context_.guarded([this] { redrawOverview(); });
}

} // namespace tw

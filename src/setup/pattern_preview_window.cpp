#include "setup/pattern_preview_window.h"

#include "engine/project.h"
#include "imaging/inspect.h"
#include "imaging/transforms.h"
#include "setup/mosaic_size.h"
#include "ui/app_context.h"
#include "ui/control_names.h"
#include "ui/picture_box.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace tw {

namespace {
// The window's laid-out size includes its frame.
constexpr QSize kOuterSize(272, 341);
constexpr QSize kInitialPicture(256, 256);
} // namespace

PatternPreviewWindow::PatternPreviewWindow(AppContext& context, const MosaicProject& source, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), context_(context), source_(source)
{
    setObjectName(QStringLiteral("TForm3"));
    setWindowTitle(QStringLiteral("Pattern PreView"));
    setAttribute(Qt::WA_QuitOnClose, false);

    Panel1_ = new QFrame(this);
    Panel1_->setObjectName(QStringLiteral("Panel1"));
    Panel1_->setFixedHeight(41);
    Panel1_->setFrameShape(QFrame::StyledPanel);

    auto makeToggle = [this](const char* name, const QString& caption) {
        auto* button = nameControl(new QToolButton(Panel1_), name, caption);
        button->setText(caption);
        button->setCheckable(true);
        button->setAutoRaise(false);
        button->setFocusPolicy(Qt::StrongFocus);
        button->setMinimumWidth(36);
        return button;
    };
    sb4xpt_ = makeToggle("sb4xpt", QStringLiteral("4x"));
    sb8xpt_ = makeToggle("sb8xpt", QStringLiteral("8x"));
    blockGroup_ = new QButtonGroup(this);
    blockGroup_->setExclusive(true);
    blockGroup_->addButton(sb4xpt_);
    blockGroup_->addButton(sb8xpt_);
    sb8xpt_->setChecked(true);

    sbptline_ = nameControl(new QCheckBox(QStringLiteral("edge line"), Panel1_), "sbptline",
                            QStringLiteral("edge line"));
    sbptline_->setChecked(true);

    auto* tools = new QHBoxLayout(Panel1_);
    tools->setContentsMargins(6, 2, 6, 2);
    tools->setSpacing(4);
    tools->addWidget(sb4xpt_);
    tools->addWidget(sb8xpt_);
    tools->addSpacing(12);
    tools->addWidget(sbptline_);
    tools->addStretch(1);

    // The picture sits at the scroll area's top-left and takes its
    // picture's size; the area scrolls when the pattern is larger.
    ScrollBox1_ = new QScrollArea(this);
    ScrollBox1_->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1_->setWidgetResizable(false);
    ScrollBox1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ScrollBox2_ = new QWidget;
    ScrollBox2_->setObjectName(QStringLiteral("ScrollBox2"));
    Image1_ = nameControl(new PictureBox(ScrollBox2_), "Image1", QStringLiteral("Pattern"));
    Image1_->move(0, 0);
    Image1_->resize(kInitialPicture);
    ScrollBox2_->resize(kInitialPicture);
    ScrollBox1_->setWidget(ScrollBox2_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1_);
    layout->addWidget(ScrollBox1_, 1);

    connect(sb4xpt_, &QToolButton::clicked, this, &PatternPreviewWindow::Button1Click);
    connect(sb8xpt_, &QToolButton::clicked, this, &PatternPreviewWindow::Button1Click);
    connect(sbptline_, &QCheckBox::clicked, this, &PatternPreviewWindow::Button1Click);

    resize(kOuterSize);
    if (QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void PatternPreviewWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    QTimer::singleShot(0, this, &PatternPreviewWindow::applyOuterSize);
}

void PatternPreviewWindow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    // The window manager's frame arrives with the first move after showing.
    applyOuterSize();
}

void PatternPreviewWindow::applyOuterSize()
{
    if (outerSizeApplied_ || !isVisible() || !windowHandle())
        return;
    const QMargins frame = windowHandle()->frameMargins();
    if (frame.isNull())
        return;  // no frame (yet)
    outerSizeApplied_ = true;
    resize(kOuterSize.width() - frame.left() - frame.right(), kOuterSize.height() - frame.top() - frame.bottom());
    if (QScreen* screen = this->screen()) {
        const QRect outer(QPoint(), kOuterSize);
        move(screen->availableGeometry().center() - outer.center());
    }
}

void PatternPreviewWindow::drawPatternPreview()
{
    const MosaicProject& project = source_;
    const tmosaicproject& s = project.settings;
    Picture& pattern = Image1_->picture();
    if (project.MainImage.empty()) {
        pattern.clear();
    } else {
        // Counts typed beyond the size fields' range count as the range's
        // end, as the fields themselves will show them.
        const int across = std::clamp(s.cellsX, SizeLimits::cellsMin, SizeLimits::cellsMax);
        const int down = std::clamp(s.cellsY, SizeLimits::cellsMin, SizeLimits::cellsMax);
        const int block = sb4xpt_->isChecked() ? 4 : 8;
        if (s.cropMain && s.mosaicWidth > 0 && s.mosaicHeight > 0) {
            Picture cropped;
            cropToAspect(project.MainImage, cropped, s.mosaicWidth, s.mosaicHeight);
            magnifyPattern(cropped, pattern, across, down, block, sbptline_->isChecked());
        } else {
            magnifyPattern(project.MainImage, pattern, across, down, block, sbptline_->isChecked());
        }
    }
    const QSize size(pattern.width(), pattern.height());
    Image1_->resize(size);
    ScrollBox2_->resize(size);
    Image1_->pictureChanged();
}

void PatternPreviewWindow::Button1Click()
{
    context_.guarded([this] { drawPatternPreview(); });
}

} // namespace tw

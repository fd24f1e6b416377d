#pragma once
// TForm3 "Pattern PreView": the main picture reduced to the mosaic's grid,
// one flat colour per cell, each cell magnified to a 4 x 4 or 8 x 8 block,
// with or without a black edge line. Always on top; closing only hides it.
#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QFrame;
class QScrollArea;
class QToolButton;

namespace tw {

class AppContext;
class PictureBox;
struct MosaicProject;

class PatternPreviewWindow : public QWidget {
    Q_OBJECT
public:
    // source is the project whose main picture and size fields the pattern
    // shows (the New Project wizard's).
    PatternPreviewWindow(AppContext& context, const MosaicProject& source, QWidget* parent = nullptr);

    // Builds the pattern into Image1 from the source's main picture, crop
    // choice and cell counts and the window's block size and edge-line box.
    // Without a main picture the pattern is empty.
    void drawPatternPreview();

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private Q_SLOTS:
    void Button1Click();

private:
    // The laid-out size includes the frame, which is known only once the
    // window is on the screen: the client area is fitted then, once.
    void applyOuterSize();

    AppContext& context_;
    const MosaicProject& source_;
    bool outerSizeApplied_ = false;

    QFrame* Panel1_ = nullptr;
    QToolButton* sb4xpt_ = nullptr;
    QToolButton* sb8xpt_ = nullptr;
    QButtonGroup* blockGroup_ = nullptr;
    QCheckBox* sbptline_ = nullptr;
    QScrollArea* ScrollBox1_ = nullptr;
    QWidget* ScrollBox2_ = nullptr;
    PictureBox* Image1_ = nullptr;
};

} // namespace tw

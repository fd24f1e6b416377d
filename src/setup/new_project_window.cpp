#include "setup/new_project_window.h"

#include "engine/project.h"
#include "imaging/inspect.h"
#include "imaging/transforms.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "setup/mosaic_size.h"
#include "setup/pattern_preview_window.h"
#include "setup/stitch_pictures.h"
#include "setup/wizard_options.h"
#include "ui/app_context.h"
#include "ui/control_names.h"
#include "ui/picture_box.h"
#include "ui/spin_edit.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QStyleOptionFocusRect>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace tw {

namespace {

// The laid-out client size; grown where the platform's font needs more room.
constexpr QSize kClientSize(461, 304);
// Panel1 and the preview inside its one-pixel frame.
constexpr QSize kPanelSize(273, 257);
constexpr QSize kPreviewSize(271, 255);
constexpr QSize kLevelSize(128, 48);

const QString kNotEnoughImages = QStringLiteral("You do not have enough images in your Image Lib, please load more");

const QStringList kPictureFilters = {
    QStringLiteral("Pictures (*.bmp *.jpg *.jpeg *.BMP *.JPG *.JPEG)"),
    QStringLiteral("Bitmaps (*.bmp *.BMP)"),
    QStringLiteral("JPEG Image File (*.jpg *.jpeg *.JPG *.JPEG)"),
    QStringLiteral("All files (*)"),
};

// The size texts are formatted with this mark for the decimal separator,
// which then becomes the user's locale separator (which may be more than
// one byte).
constexpr char kSeparatorMark = '\x1f';

QString localeText(const std::string& text)
{
    QString s = QString::fromStdString(text);
    s.replace(QChar(kSeparatorMark), QLocale().decimalPoint());
    return s;
}

// The border colour swatch (imgcolor): the chosen colour over the whole
// control. Clicking it, or Space when it has the focus, opens the colour
// dialog.
class ColorSwatch final : public QAbstractButton {
public:
    explicit ColorSwatch(QWidget* parent) : QAbstractButton(parent)
    {
        setFixedSize(24, 24);
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::PointingHandCursor);
    }
    void setColor(const QColor& color)
    {
        color_ = color;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), color_);
        if (hasFocus()) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            option.rect = rect().adjusted(1, 1, -1, -1);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }

private:
    QColor color_ = Qt::black;
};

QLabel* makeLabel(const QString& text, const char* name, QWidget* parent)
{
    return nameControl(new QLabel(text, parent), name, text);
}

QLabel* boldSign(const QString& text, const char* name, QWidget* parent)
{
    QLabel* label = makeLabel(text, name, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

// A result label keeps room for the widest text the fields' ranges give,
// so the fixed-size window need not grow when the text changes.
void reserveWidth(QLabel* label, const QString& widest)
{
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(widest) + 2);
}

void setTextColor(QLabel* label, const QColor& color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

SpinEdit* makeSpin(int minimum, int maximum, int value, const char* name, const QString& caption, int maxLength,
                   QWidget* parent)
{
    auto* spin = nameControl(new SpinEdit(minimum, maximum, value, parent), name, caption);
    spin->setMaxLength(maxLength);
    return spin;
}

QPixmap stitchPixmap(StitchMode mode)
{
    Picture drawing;
    drawStitchPicture(mode, drawing);
    return QPixmap::fromImage(toQImage(drawing));
}

} // namespace

NewProjectWindow::NewProjectWindow(AppContext& context, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      context_(context),
      draft_(std::make_unique<MosaicProject>())
{
    setObjectName(QStringLiteral("TForm2"));
    setWindowTitle(QStringLiteral("New Project"));
    setAttribute(Qt::WA_QuitOnClose, false);

    PageControl1_ = new QTabWidget(this);
    PageControl1_->setObjectName(QStringLiteral("PageControl1"));
    PageControl1_->addTab(createMainImagePage(), QStringLiteral("Main Image"));
    PageControl1_->addTab(createSizePage(), QStringLiteral("Mosaic Size"));
    PageControl1_->addTab(createOptionsPage(), QStringLiteral("Project Options"));
    // "&&" is one ampersand on the tab.
    PageControl1_->addTab(createOutputPage(), QStringLiteral("Final Check && Output"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(PageControl1_);

    connectHandlers();
    fitToContents();
    if (QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    connect(&context_, &AppContext::busyChanged, this, &NewProjectWindow::updateActions);
    updateActions();
}

NewProjectWindow::~NewProjectWindow()
{
    // As the controls go, a field that has the focus loses it and brings its
    // text into range; the handlers of a window being destroyed must not run.
    for (QObject* control : findChildren<QObject*>())
        control->disconnect(this);
}

QWidget* NewProjectWindow::createMainImagePage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet1"));

    Panel1_ = nameControl(new QFrame(page), "Panel1", QStringLiteral("Doble Click to Load Main Image"));
    Panel1_->setFrameShape(QFrame::Box);
    Panel1_->setLineWidth(1);
    Panel1_->setFixedSize(kPanelSize);
    // The caption lies under the preview and shows while it has no picture.
    panelCaption_ = new QLabel(QStringLiteral("Doble Click to Load Main Image"), Panel1_);
    panelCaption_->setAlignment(Qt::AlignCenter);
    panelCaption_->setGeometry(1, 1, kPreviewSize.width(), kPreviewSize.height());
    f2img1_ = nameControl(new PictureBox(Panel1_), "f2img1", QStringLiteral("Main Image"));
    f2img1_->setGeometry(1, 1, kPreviewSize.width(), kPreviewSize.height());
    f2img1_->installEventFilter(this);

    GroupBox1_ = nameControl(new QGroupBox(QStringLiteral("Main Image Info"), page), "GroupBox1",
                             QStringLiteral("Main Image Info"));
    auto* info = new QVBoxLayout(GroupBox1_);
    info->setContentsMargins(6, 4, 6, 6);
    info->setSpacing(1);
    auto addInfo = [&](const char* captionName, const QString& caption, const char* valueName) {
        QLabel* title = makeLabel(caption, captionName, GroupBox1_);
        QLabel* value = nameControl(new QLabel(QStringLiteral("unknown"), GroupBox1_), valueName, caption);
        // A long file name is cut off at the group's edge rather than
        // widening the window.
        value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        value->setIndent(8);
        info->addWidget(title);
        info->addWidget(value);
        return value;
    };
    lbmainname_ = addInfo("Label3", QStringLiteral("File Name"), "lbmainname");
    lbmainsize_ = addInfo("Label1", QStringLiteral("Image Size (pixels)"), "lbmainsize");
    lbaspect1_ = addInfo("Label2", QStringLiteral("Aspect Ratio"), "lbaspect1");

    auto* channels = new QHBoxLayout;
    channels->setSpacing(2);
    btslrgb_ = nameControl(new QRadioButton(QStringLiteral("RGB"), GroupBox1_), "btslrgb", QStringLiteral("RGB"));
    btslr_ = nameControl(new QRadioButton(QStringLiteral("R"), GroupBox1_), "btslr", QStringLiteral("R"));
    btslg_ = nameControl(new QRadioButton(QStringLiteral("G"), GroupBox1_), "btslg", QStringLiteral("G"));
    btslb_ = nameControl(new QRadioButton(QStringLiteral("B"), GroupBox1_), "btslb", QStringLiteral("B"));
    btslrgb_->setChecked(true);
    for (QRadioButton* b : {btslrgb_, btslr_, btslg_, btslb_})
        channels->addWidget(b);
    channels->addStretch(1);
    info->addSpacing(3);
    info->addLayout(channels);

    // The level box is as wide as the level picture, so the whole
    // histogram shows.
    auto* level = new QHBoxLayout;
    Image1_ = nameControl(new PictureBox(GroupBox1_), "Image1", QStringLiteral("level"));
    Image1_->setFixedSize(kLevelSize);
    Image1_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    level->addWidget(Image1_);
    QLabel* Label6 = makeLabel(QStringLiteral("level"), "Label6", GroupBox1_);
    Label6->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    level->addWidget(Label6);
    level->addStretch(1);
    info->addLayout(level);

    cbmonomain_ = nameControl(new QCheckBox(QStringLiteral("Monochrome (Gray Scale)"), page), "cbmonomain",
                              QStringLiteral("Monochrome (Gray Scale)"));
    breloadtwmain_ =
        nameControl(new QPushButton(QStringLiteral("reset"), page), "breloadtwmain", QStringLiteral("reset"));
    btloadtwmain_ = nameControl(new QPushButton(QStringLiteral("Load Main Image"), page), "btloadtwmain",
                                QStringLiteral("Load Main Image"));

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    buttons->addWidget(breloadtwmain_);
    buttons->addWidget(btloadtwmain_, 1);

    auto* right = new QVBoxLayout;
    right->setSpacing(4);
    right->addWidget(GroupBox1_);
    right->addWidget(cbmonomain_);
    right->addStretch(1);
    right->addLayout(buttons);

    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(6);
    layout->addWidget(Panel1_, 0, Qt::AlignTop);
    layout->addLayout(right, 1);
    return page;
}

QWidget* NewProjectWindow::createSizePage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet2"));

    auto* GroupBox2 = nameControl(new QGroupBox(QStringLiteral("Final Mosaic Size"), page), "GroupBox2",
                                  QStringLiteral("Final Mosaic Size"));
    const QString dpiCaption = QStringLiteral("Image Resolution  ( DPI / PPI )");
    const QString hccCaption = QStringLiteral("Horizontal Cell Numbers");
    const QString vccCaption = QStringLiteral("Vertical Cell Numbers");
    const QString cwCaption = QStringLiteral("Cell Width : ");
    const QString chCaption = QStringLiteral("Cell Height : ");
    eddpi_ = makeSpin(SizeLimits::dpiMin, SizeLimits::dpiMax, SizeLimits::dpiDefault, "eddpi", dpiCaption, 0,
                      GroupBox2);
    edhcc_ = makeSpin(SizeLimits::cellsMin, SizeLimits::cellsMax, SizeLimits::cellsDefault, "edhcc", hccCaption, 3,
                      GroupBox2);
    edvcc_ = makeSpin(SizeLimits::cellsMin, SizeLimits::cellsMax, SizeLimits::cellsDefault, "edvcc", vccCaption, 3,
                      GroupBox2);
    edcw_ = makeSpin(SizeLimits::cellSizeMin, SizeLimits::cellSizeMax, SizeLimits::cellSizeDefault, "edcw",
                     cwCaption, 3, GroupBox2);
    edch_ = makeSpin(SizeLimits::cellSizeMin, SizeLimits::cellSizeMax, SizeLimits::cellSizeDefault, "edch",
                     chCaption, 3, GroupBox2);

    LBMWP_ = makeLabel(QStringLiteral("1024 Pixels"), "LBMWP", GroupBox2);
    lbmwi_ = makeLabel(QStringLiteral("14.22 Inch"), "lbmwi", GroupBox2);
    lbmwm_ = makeLabel(QStringLiteral("36.12 CM"), "lbmwm", GroupBox2);
    LBMHP_ = makeLabel(QStringLiteral("1024 Pixels"), "LBMHP", GroupBox2);
    lbmhi_ = makeLabel(QStringLiteral("14.22 Inch"), "lbmhi", GroupBox2);
    lbmhm_ = makeLabel(QStringLiteral("36.12 CM"), "lbmhm", GroupBox2);
    lbaspect_ = makeLabel(QStringLiteral("Aspect Ratio of final mosaic"), "lbaspect", GroupBox2);
    lbaspect2_ = makeLabel(QStringLiteral("Aspect Ratio of main image"), "lbaspect2", GroupBox2);
    for (QLabel* pixels : {LBMWP_, LBMHP_})
        reserveWidth(pixels, QStringLiteral("3072 Pixels"));
    for (QLabel* inch : {lbmwi_, lbmhi_})
        reserveWidth(inch, QStringLiteral("102.44 Inch"));
    for (QLabel* cm : {lbmwm_, lbmhm_})
        reserveWidth(cm, QStringLiteral("260.09 CM"));
    reserveWidth(lbaspect_, QStringLiteral("Aspect Ratio of final mosaic : 4800 / 100"));
    reserveWidth(lbaspect2_, QStringLiteral("Aspect Ratio of main image : 1000 / 100"));

    auto* dpiRow = new QHBoxLayout;
    dpiRow->addWidget(makeLabel(dpiCaption, "Label14", GroupBox2));
    dpiRow->addWidget(eddpi_);
    dpiRow->addStretch(1);

    auto withUnit = [&](SpinEdit* spin, const QString& unit, const char* unitName) {
        auto* row = new QHBoxLayout;
        row->setSpacing(4);
        row->addWidget(spin);
        row->addWidget(makeLabel(unit, unitName, GroupBox2));
        row->addStretch(1);
        return row;
    };
    auto results = [&](QLabel* pixels, QLabel* inch, QLabel* cm) {
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        row->addWidget(pixels);
        row->addWidget(inch);
        row->addWidget(cm);
        row->addStretch(1);
        return row;
    };

    // cells x cell size = final size, one dimension per pair of rows.
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(1);
    grid->addWidget(makeLabel(hccCaption, "Label12", GroupBox2), 0, 0);
    grid->addWidget(makeLabel(cwCaption, "lbcw", GroupBox2), 0, 2);
    grid->addWidget(makeLabel(QStringLiteral("Mosaic Width"), "Label10", GroupBox2), 0, 4);
    grid->addLayout(withUnit(edhcc_, QStringLiteral("Cells"), "Label7"), 1, 0);
    grid->addWidget(boldSign(QStringLiteral("X"), "Label22", GroupBox2), 1, 1);
    grid->addLayout(withUnit(edcw_, QStringLiteral("Pixels"), "Label20"), 1, 2);
    grid->addWidget(boldSign(QStringLiteral("="), "Label24", GroupBox2), 1, 3);
    grid->addLayout(results(LBMWP_, lbmwi_, lbmwm_), 1, 4);
    grid->setRowMinimumHeight(2, 4);
    grid->addWidget(makeLabel(vccCaption, "Label13", GroupBox2), 3, 0);
    grid->addWidget(makeLabel(chCaption, "lbch", GroupBox2), 3, 2);
    grid->addWidget(makeLabel(QStringLiteral("Mosaic Height"), "Label11", GroupBox2), 3, 4);
    grid->addLayout(withUnit(edvcc_, QStringLiteral("Cells"), "Label19"), 4, 0);
    grid->addWidget(boldSign(QStringLiteral("X"), "Label23", GroupBox2), 4, 1);
    grid->addLayout(withUnit(edch_, QStringLiteral("Pixels"), "Label21"), 4, 2);
    grid->addWidget(boldSign(QStringLiteral("="), "Label25", GroupBox2), 4, 3);
    grid->addLayout(results(LBMHP_, lbmhi_, lbmhm_), 4, 4);
    grid->setColumnStretch(4, 1);

    QLabel* Label4 = makeLabel(
        QStringLiteral("Avoid Stretch, Make sure final mosaic aspect ratio is close to main image aspect ratio ! "),
        "Label4", GroupBox2);
    QLabel* Label5 = makeLabel(QStringLiteral("If Your allowed Crop Main Image, You can ignore the aspect ratios"),
                               "Label5", GroupBox2);
    for (QLabel* advice : {Label4, Label5})
        setTextColor(advice, QColor(255, 0, 0));
    LBMBphy_ = makeLabel(QStringLiteral("Your Computer has 128MB Memory Installed."), "LBMBphy", GroupBox2);
    LBMBneed_ = makeLabel(QStringLiteral("You need xxx MB memory to create this project."), "LBMBneed", GroupBox2);
    for (QLabel* memory : {LBMBphy_, LBMBneed_})
        setTextColor(memory, QColor(0, 128, 0));
    reserveWidth(LBMBphy_, QStringLiteral("Your Computer has 1048576.00MB Memory Installed.  "));
    reserveWidth(LBMBneed_, QStringLiteral("You need 27.00 MB memory to create this project."));
    cbcropmain_ = nameControl(new QCheckBox(QStringLiteral("Allow Crop Main Image"), GroupBox2), "cbcropmain",
                              QStringLiteral("Allow Crop Main Image"));
    Button2_ = nameControl(new QPushButton(QStringLiteral("Pattern Preview"), GroupBox2), "Button2",
                           QStringLiteral("Pattern Preview"));

    // The crop choice and the preview stand beside the two aspect ratios
    // they concern.
    auto* aspects = new QGridLayout;
    aspects->setVerticalSpacing(1);
    aspects->addWidget(lbaspect_, 0, 0);
    aspects->addWidget(lbaspect2_, 1, 0);
    aspects->addWidget(cbcropmain_, 0, 1, 2, 1, Qt::AlignVCenter);
    aspects->addWidget(Button2_, 0, 2, 2, 1, Qt::AlignVCenter);
    aspects->setColumnStretch(0, 1);

    auto* group = new QVBoxLayout(GroupBox2);
    group->setContentsMargins(6, 4, 6, 4);
    group->setSpacing(3);
    group->addLayout(dpiRow);
    group->addLayout(grid);
    group->addLayout(aspects);
    group->addWidget(Label4);
    group->addWidget(Label5);
    group->addWidget(LBMBphy_);
    group->addWidget(LBMBneed_);
    group->addStretch(1);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(GroupBox2);
    return page;
}

QWidget* NewProjectWindow::createOptionsPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet4"));

    auto* GroupBox5 = nameControl(new QGroupBox(QStringLiteral("Render Mode"), page), "GroupBox5",
                                  QStringLiteral("Render Mode"));
    rbrm1_ = nameControl(new QRadioButton(QStringLiteral("Self Mosaic"), GroupBox5), "rbrm1",
                         QStringLiteral("Self Mosaic"));
    rbrm2_ = nameControl(new QRadioButton(QStringLiteral("Standard Render"), GroupBox5), "rbrm2",
                         QStringLiteral("Standard Render"));
    rbrm2_->setChecked(true);
    auto* render = new QVBoxLayout(GroupBox5);
    render->setContentsMargins(6, 2, 6, 4);
    render->setSpacing(1);
    render->addWidget(rbrm1_);
    render->addWidget(rbrm2_);

    auto* GroupBox7 = nameControl(new QGroupBox(QStringLiteral("Cell Repeat Control"), page), "GroupBox7",
                                  QStringLiteral("Cell Repeat Control"));
    cbuseall_ = nameControl(new QCheckBox(QStringLiteral("Ensure Use All Photos"), GroupBox7), "cbuseall",
                            QStringLiteral("Ensure Use All Photos"));
    cbuseall_->setChecked(true);
    const QString radiusCaption = QStringLiteral("Min Repeat radius");
    const QString repeatCaption = QStringLiteral("Max repeat time");
    seradius_ = makeSpin(OptionLimits::radiusMin, OptionLimits::radiusMax, OptionLimits::radiusDefault, "seradius",
                         radiusCaption, 0, GroupBox7);
    cbrptlimit_ = nameControl(new QCheckBox(QStringLiteral("Limit Repeat Times"), GroupBox7), "cbrptlimit",
                              QStringLiteral("Limit Repeat Times"));
    serepeattime_ = makeSpin(OptionLimits::maxRepeatMin, OptionLimits::maxRepeatMax, OptionLimits::maxRepeatDefault,
                             "serepeattime", repeatCaption, 0, GroupBox7);
    const QString randomCaption = QStringLiteral("Randomize    Low <- -> High");
    tbrandom_ = nameControl(new QSlider(Qt::Horizontal, GroupBox7), "tbrandom", randomCaption);
    tbrandom_->setRange(OptionLimits::randomMin, OptionLimits::randomMax);
    tbrandom_->setValue(OptionLimits::randomDefault);
    tbrandom_->setPageStep(1);
    tbrandom_->setTickPosition(QSlider::TicksBelow);
    tbrandom_->setTickInterval(1);

    auto* repeat = new QGridLayout(GroupBox7);
    repeat->setContentsMargins(6, 2, 6, 4);
    repeat->setVerticalSpacing(1);
    repeat->addWidget(cbuseall_, 0, 0, 1, 2);
    repeat->addWidget(makeLabel(radiusCaption, "Label17", GroupBox7), 1, 0);
    repeat->addWidget(seradius_, 1, 1);
    repeat->addWidget(cbrptlimit_, 2, 0, 1, 2);
    repeat->addWidget(makeLabel(repeatCaption, "Label26", GroupBox7), 3, 0);
    repeat->addWidget(serepeattime_, 3, 1);
    repeat->addWidget(makeLabel(randomCaption, "Label27", GroupBox7), 4, 0, 1, 2);
    repeat->addWidget(tbrandom_, 5, 0, 1, 2);

    auto* GroupBox8 = nameControl(new QGroupBox(QStringLiteral("Cell Effect"), page), "GroupBox8",
                                  QStringLiteral("Cell Effect"));
    auto* stitches = new QGridLayout;
    stitches->setVerticalSpacing(0);
    struct Stitch {
        const char* imageName;
        StitchMode mode;
        const char* buttonName;
        QString caption;
        QRadioButton** button;
    };
    const Stitch stitchRows[] = {
        {"Image2", StitchMode::Loom, "rss1", QStringLiteral(" Loom stitch"), &rss1_},
        {"Image4", StitchMode::Peyote, "rss2", QStringLiteral("Peyote Stitch"), &rss2_},
        {"Image3", StitchMode::Brick, "rss3", QStringLiteral("Brick Stitch"), &rss3_},
    };
    int column = 0;
    for (const Stitch& s : stitchRows) {
        QLabel* drawing = nameControl(new QLabel(GroupBox8), s.imageName, s.caption);
        drawing->setFixedSize(kStitchPictureSide, kStitchPictureSide);
        drawing->setPixmap(stitchPixmap(s.mode));
        *s.button = nameControl(new QRadioButton(s.caption, GroupBox8), s.buttonName, s.caption);
        stitches->addWidget(drawing, 0, column, Qt::AlignHCenter);
        stitches->addWidget(*s.button, 1, column, Qt::AlignHCenter);
        ++column;
    }
    rss1_->setChecked(true);

    const QString enhanceCaption = QStringLiteral("Color Enhance");
    tbenhance_ = nameControl(new QSlider(Qt::Horizontal, GroupBox8), "tbenhance", enhanceCaption);
    tbenhance_->setRange(OptionLimits::enhancePositionMin, OptionLimits::enhancePositionMax);
    tbenhance_->setValue(OptionLimits::enhancePositionDefault);
    tbenhance_->setPageStep(1);
    tbenhance_->setTickPosition(QSlider::TicksBelow);
    tbenhance_->setTickInterval(1);
    auto* enhance = new QVBoxLayout;
    enhance->setSpacing(0);
    enhance->addWidget(makeLabel(enhanceCaption, "Label28", GroupBox8));
    enhance->addWidget(tbenhance_);
    enhance->addWidget(makeLabel(QStringLiteral("OFF <--   Low   -->  High"), "Label29", GroupBox8));
    enhance->addStretch(1);

    auto makeBox = [&](const char* name, const QString& caption, bool ticked) {
        auto* box = nameControl(new QCheckBox(caption, GroupBox8), name, caption);
        box->setChecked(ticked);
        return box;
    };
    cbmonocell_ = makeBox("cbmonocell", QStringLiteral("Monochrome Cell"), false);
    cbcropcell_ = makeBox("cbcropcell", QStringLiteral("Crop Cell Image"), true);
    cbhf_ = makeBox("cbhf", QStringLiteral("Allow Horizontal Flip"), true);
    cbvf_ = makeBox("cbvf", QStringLiteral("Allow Vertical Flip"), true);
    auto* effects = new QVBoxLayout;
    effects->setSpacing(0);
    for (QCheckBox* box : {cbmonocell_, cbcropcell_, cbhf_, cbvf_})
        effects->addWidget(box);

    const QString borderCaption = QStringLiteral("Border Size in Pixels :");
    ebs_ = makeSpin(OptionLimits::borderMin, OptionLimits::borderMax, OptionLimits::borderDefault, "ebs",
                    borderCaption, 0, GroupBox8);
    auto* swatch = new ColorSwatch(GroupBox8);
    imgcolor_ = nameControl(swatch, "imgcolor", QStringLiteral("Border Color"));
    auto* border = new QHBoxLayout;
    border->setSpacing(4);
    border->addWidget(makeLabel(borderCaption, "Label30", GroupBox8));
    border->addWidget(ebs_);
    border->addSpacing(10);
    border->addWidget(makeLabel(QStringLiteral("Border Color"), "Label31", GroupBox8));
    border->addWidget(imgcolor_);
    border->addStretch(1);

    auto* middle = new QHBoxLayout;
    middle->addLayout(enhance, 1);
    middle->addLayout(effects);

    auto* cellEffect = new QVBoxLayout(GroupBox8);
    cellEffect->setContentsMargins(6, 2, 6, 4);
    cellEffect->setSpacing(3);
    cellEffect->addLayout(stitches);
    cellEffect->addLayout(middle);
    cellEffect->addLayout(border);
    cellEffect->addStretch(1);

    auto* left = new QVBoxLayout;
    left->setSpacing(4);
    left->addWidget(GroupBox5);
    left->addWidget(GroupBox7);
    left->addStretch(1);

    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(6);
    layout->addLayout(left);
    layout->addWidget(GroupBox8, 1);
    return page;
}

QWidget* NewProjectWindow::createOutputPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet5"));

    QLabel* Label9 = makeLabel(QStringLiteral("Project Brief"), "Label9", page);
    Memo1_ = nameControl(new QPlainTextEdit(page), "Memo1", QStringLiteral("Project Brief"));
    Memo1_->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1_->setTabChangesFocus(true);
    Button4_ = nameControl(new QPushButton(QStringLiteral("Save Brief Info"), page), "Button4",
                           QStringLiteral("Save Brief Info"));
    SpeedButton1_ = nameControl(new QPushButton(QStringLiteral("Create Photo Mosaic"), page), "SpeedButton1",
                                QStringLiteral("Create Photo Mosaic"));
    // A click does not move the focus (reachable with Tab all the same).
    SpeedButton1_->setFocusPolicy(Qt::TabFocus);
    QFont bold = SpeedButton1_->font();
    bold.setBold(true);
    SpeedButton1_->setFont(bold);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button4_);
    buttons->addStretch(1);
    buttons->addWidget(SpeedButton1_);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(3);
    layout->addWidget(Label9);
    layout->addWidget(Memo1_, 1);
    layout->addLayout(buttons);
    return page;
}

void NewProjectWindow::connectHandlers()
{
    connect(btloadtwmain_, &QPushButton::clicked, this, &NewProjectWindow::btloadtwmainClick);
    for (QRadioButton* b : {btslrgb_, btslr_, btslg_, btslb_})
        connect(b, &QRadioButton::clicked, this, &NewProjectWindow::btslrgbClick);
    // Also when "reset" unticks it.
    connect(cbmonomain_, &QCheckBox::toggled, this, &NewProjectWindow::cbmonomainClick);
    connect(breloadtwmain_, &QPushButton::clicked, this, &NewProjectWindow::breloadtwmainClick);

    for (SpinEdit* spin : {eddpi_, edhcc_, edvcc_, edcw_, edch_})
        connect(spin, &SpinEdit::changed, this, &NewProjectWindow::eddpiChange);
    connect(cbcropmain_, &QCheckBox::clicked, this, &NewProjectWindow::eddpiChange);
    connect(Button2_, &QPushButton::clicked, this, &NewProjectWindow::Button2Click);

    for (QRadioButton* b : {rbrm1_, rbrm2_, rss1_, rss2_, rss3_})
        connect(b, &QRadioButton::clicked, this, &NewProjectWindow::btObjOptcgClick);
    for (QCheckBox* b : {cbuseall_, cbrptlimit_, cbmonocell_, cbcropcell_, cbhf_, cbvf_})
        connect(b, &QCheckBox::clicked, this, &NewProjectWindow::btObjOptcgClick);
    for (SpinEdit* spin : {seradius_, serepeattime_, ebs_})
        connect(spin, &SpinEdit::changed, this, &NewProjectWindow::btObjOptcgClick);
    for (QSlider* bar : {tbrandom_, tbenhance_})
        connect(bar, &QSlider::valueChanged, this, &NewProjectWindow::btObjOptcgClick);
    connect(imgcolor_, &QAbstractButton::clicked, this, &NewProjectWindow::imgcolorClick);

    connect(PageControl1_, &QTabWidget::currentChanged, this, [this] {
        if (!selectingPage_)
            PageControl1Change();
    });
    connect(Button4_, &QPushButton::clicked, this, &NewProjectWindow::Button4Click);
    connect(SpeedButton1_, &QPushButton::clicked, this, &NewProjectWindow::SpeedButton1Click);
}

void NewProjectWindow::fitToContents()
{
    // The laid-out client size, or as much more as the captions need in
    // the platform's font.
    const QSize needed = layout()->totalMinimumSize();
    setFixedSize(std::max(kClientSize.width(), needed.width()), std::max(kClientSize.height(), needed.height()));
}

void NewProjectWindow::updateActions()
{
    // A creation or a project opening runs underneath the window messages:
    // nothing here may start another one.
    PageControl1_->setEnabled(!context_.isBusy());
}

void NewProjectWindow::showFirstPage()
{
    show();
    raise();
    activateWindow();
    selectingPage_ = true;
    PageControl1_->setCurrentIndex(0);
    selectingPage_ = false;
}

bool NewProjectWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == f2img1_ && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        btloadtwmainClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// --- Main Image -------------------------------------------------------------

void NewProjectWindow::fitMainImage()
{
    fitIntoBox(draft_->MainImage, f2img1_->picture(), f2img1_->width(), f2img1_->height());
    f2img1_->pictureChanged();
    panelCaption_->setVisible(f2img1_->picture().empty());
}

void NewProjectWindow::drawLevel()
{
    Picture& level = Image1_->picture();
    level.resize(kLevelSize.width(), kLevelSize.height());
    LevelChannel channel = LevelChannel::All;
    if (btslrgb_->isChecked())
        channel = LevelChannel::All;
    else if (btslr_->isChecked())
        channel = LevelChannel::Red;
    else if (btslg_->isChecked())
        channel = LevelChannel::Green;
    else if (btslb_->isChecked())
        channel = LevelChannel::Blue;
    else {
        Image1_->update();
        return;
    }
    // From the preview's fitted picture, not the main picture itself.
    drawLevelPicture(f2img1_->picture(), level, channel);
    Image1_->pictureChanged();
}

void NewProjectWindow::btloadtwmainClick()
{
    context_.guarded([this] {
        FileDialogRequest request;
        request.filters = kPictureFilters;
        request.purpose = QStringLiteral("mainPicture");
        request.directory = pictureFolder_;
        request.fileName = fromCoreText(draft_->mainImagePath);
        const auto chosen = context_.platform().openFileDialog(this, request);
        if (!chosen)
            return;
        MosaicProject& project = *draft_;
        project.mainImagePath = toCoreText(chosen->path);
        // A file that fails to load leaves the previous picture, preview and
        // labels; the path names the file that failed.
        loadMainImage(project);
        fitMainImage();
        drawLevel();
        const Picture& main = project.MainImage;
        lbmainname_->setText(fromCoreText(fileNamePart(project.mainImagePath)));
        lbmainname_->setToolTip(fromCoreText(project.mainImagePath));
        lbmainsize_->setText(QStringLiteral("%1 x %2").arg(main.width()).arg(main.height()));
        lbaspect1_->setText(QStringLiteral("%1 / 100").arg(main.height() * 100 / main.width()));
    });
}

void NewProjectWindow::btslrgbClick()
{
    context_.guarded([this] { drawLevel(); });
}

void NewProjectWindow::cbmonomainClick()
{
    context_.guarded([this] {
        MosaicProject& project = *draft_;
        if (fileExists(project.mainImagePath)) {
            loadMainImage(project);
            if (cbmonomain_->isChecked())
                toGreyScale(project.MainImage, project.MainImage);
            fitMainImage();
        }
        f2img1_->update();
    });
}

void NewProjectWindow::breloadtwmainClick()
{
    // Unticking runs cbmonomainClick when the box was ticked.
    cbmonomain_->setChecked(false);
    context_.guarded([this] {
        MosaicProject& project = *draft_;
        if (!fileExists(project.mainImagePath))
            return;
        loadMainImage(project);
        fitMainImage();
    });
}

// --- Mosaic Size -------------------------------------------------------------

SizeFields NewProjectWindow::sizeFields() const
{
    SizeFields fields;
    fields.cropMain = cbcropmain_->isChecked();
    fields.cellsX = edhcc_->value();
    fields.cellsY = edvcc_->value();
    fields.cellWidth = edcw_->value();
    fields.cellHeight = edch_->value();
    fields.dpi = eddpi_->value();
    return fields;
}

void NewProjectWindow::showSizeTexts(const SizeTexts& t)
{
    LBMWP_->setText(localeText(t.widthPixels));
    LBMHP_->setText(localeText(t.heightPixels));
    lbmwi_->setText(localeText(t.widthInch));
    lbmhi_->setText(localeText(t.heightInch));
    lbmwm_->setText(localeText(t.widthCm));
    lbmhm_->setText(localeText(t.heightCm));
    if (t.mosaicAspect)
        lbaspect_->setText(localeText(*t.mosaicAspect));
    if (t.mainAspect)
        lbaspect2_->setText(localeText(*t.mainAspect));
    LBMBphy_->setText(localeText(t.memoryInstalled));
    LBMBneed_->setText(localeText(t.memoryNeeded));
}

void NewProjectWindow::computeMosaicSize()
{
    const SizeTexts texts =
        tw::computeMosaicSize(*draft_, sizeFields(), context_.platform().memoryStatus(), kSeparatorMark);
    showSizeTexts(texts);
}

void NewProjectWindow::eddpiChange()
{
    context_.guarded([this] { computeMosaicSize(); });
}

void NewProjectWindow::Button2Click()
{
    context_.guarded([this] {
        computeMosaicSize();
        if (!patternPreview_)
            return;
        patternPreview_->drawPatternPreview();
        patternPreview_->show();
        patternPreview_->raise();
        patternPreview_->activateWindow();
    });
}

// --- Project Options and the brief -------------------------------------------

WizardOptions NewProjectWindow::wizardOptions() const
{
    WizardOptions o;
    if (rbrm1_->isChecked())
        o.renderMode = RenderMode::SelfMosaic;
    if (rbrm2_->isChecked())
        o.renderMode = RenderMode::Standard;
    if (rss1_->isChecked())
        o.stitchMode = StitchMode::Loom;
    else if (rss2_->isChecked())
        o.stitchMode = StitchMode::Peyote;
    else if (rss3_->isChecked())
        o.stitchMode = StitchMode::Brick;
    o.useAllPhotos = cbuseall_->isChecked();
    o.repeatRadius = seradius_->value();
    o.limitRepeat = cbrptlimit_->isChecked();
    o.maxRepeat = serepeattime_->value();
    o.randomLevel = tbrandom_->value();
    o.enhancePosition = tbenhance_->value();
    o.monoCell = cbmonocell_->isChecked();
    o.cropCell = cbcropcell_->isChecked();
    o.allowHFlip = cbhf_->isChecked();
    o.allowVFlip = cbvf_->isChecked();
    o.borderSize = ebs_->value();
    o.borderColor = colorRefFromBgr(Bgr{static_cast<std::uint8_t>(borderColor_.blue()),
                                        static_cast<std::uint8_t>(borderColor_.green()),
                                        static_cast<std::uint8_t>(borderColor_.red())});
    return o;
}

void NewProjectWindow::copyWizardOptions()
{
    // Setting the repeat or border field below runs this again through its
    // change handler; that run would arrive at the same values.
    if (copying_)
        return;
    copying_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{copying_};

    const WizardOptions options = wizardOptions();
    const CopyResult result = tw::copyWizardOptions(*draft_, sizeFields(), options, context_.library().count(),
                                                    context_.platform().memoryStatus(), kSeparatorMark);
    showSizeTexts(result.sizeTexts);
    // Only a raised repeat count or a negative border rewrites its field, so
    // a value being typed stays as typed.
    if (result.maxRepeatField != options.maxRepeat)
        serepeattime_->setValue(result.maxRepeatField);
    if (result.borderSizeField != options.borderSize)
        ebs_->setValue(result.borderSizeField);
    QStringList brief;
    for (const std::string& line : result.brief)
        brief << fromCoreText(line);
    Memo1_->setPlainText(brief.join(QLatin1Char('\n')));
}

void NewProjectWindow::btObjOptcgClick()
{
    context_.guarded([this] { copyWizardOptions(); });
}

void NewProjectWindow::PageControl1Change()
{
    context_.guarded([this] { copyWizardOptions(); });
}

void NewProjectWindow::imgcolorClick()
{
    context_.guarded([this] {
        const auto chosen = context_.platform().colorDialog(this, borderColor_);
        if (!chosen)
            return;
        borderColor_ = *chosen;
        static_cast<ColorSwatch*>(imgcolor_)->setColor(borderColor_);
        copyWizardOptions();
    });
}

void NewProjectWindow::Button4Click()
{
    context_.guarded([this] {
        FileDialogRequest request;
        request.title = QStringLiteral("Save Brief Info");
        request.filters = {QStringLiteral("*.txt (*.txt)")};
        request.defaultSuffix = QStringLiteral("txt");
        request.confirmOverwrite = true;
        const auto chosen = context_.platform().saveFileDialog(this, request);
        if (!chosen)
            return;
        // The memo's lines as they stand, edits included, each ending in
        // CR LF.
        QStringList lines = Memo1_->toPlainText().split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        std::string text;
        for (const QString& line : lines)
            text += toCoreText(line) + "\r\n";
        writeFileAtomic(toCoreText(chosen->path), text.data(), text.size());
    });
}

void NewProjectWindow::copyIntoRunProject(MosaicProject& project) const
{
    project.settings = draft_->settings;
    project.mainImagePath = draft_->mainImagePath;
    project.MainImage = draft_->MainImage;
    project.physMemTotal = draft_->physMemTotal;
    project.physMemAvail = draft_->physMemAvail;
}

void NewProjectWindow::SpeedButton1Click()
{
    if (context_.isBusy())
        return;
    context_.guarded([this] {
        // The size fields are in range here (reaching this page took the
        // focus from them); bringing them in once more costs nothing.
        for (SpinEdit* spin : {eddpi_, edhcc_, edvcc_, edcw_, edch_, seradius_, serepeattime_, ebs_})
            spin->bringIntoRange();
        computeMosaicSize();
        copyWizardOptions();
        if (draft_->settings.renderMode != RenderMode::SelfMosaic && context_.library().count() == 0) {
            context_.platform().showMessage(kNotEnoughImages.toStdString(), "Error");
            return;
        }
        hide();
        if (creationCommand_)
            creationCommand_([this](MosaicProject& project) { copyIntoRunProject(project); });
    });
}

} // namespace tw

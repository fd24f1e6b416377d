#include "workspace/main_window.h"

#include "engine/observer.h"
#include "engine/options.h"
#include "engine/pipeline.h"
#include "imaging/load_picture.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "platform/program_files.h"
#include "workspace/about_window.h"
#include "ui/app_context.h"
#include "ui/window_size.h"
#include "workspace/export.h"
#include "workspace/mosaic_view.h"
#include "workspace/overview_window.h"
#include "ui/picture_box.h"
#include "workspace/product.h"
#include "workspace/project_file.h"
#include "workspace/tool_glyphs.h"
#include "workspace/usage_window.h"

#include <QAction>
#include <QButtonGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace tw {

namespace {

// Writes the stages' job texts and gauge values into the main window and
// lets pending window messages run between units of work. While the drawing
// waits for a photograph, the gauge runs ahead on the cells drawn meanwhile;
// every new job starts it at 0.
class JobObserver final : public ProgressObserver {
public:
    JobObserver(QLabel& label, QProgressBar& gauge) : label_(label), gauge_(gauge) {}
    void setJobLabel(const std::string& text) override
    {
        label_.setText(QString::fromStdString(text));
        value_ = ahead_ = 0;
        show();
    }
    void setProgress(int value) override
    {
        // A value below the last one starts a new count (the stage's closing
        // 0): what ran ahead belongs to the old one.
        const int clamped = clampGauge(value);
        if (clamped < value_)
            ahead_ = 0;
        value_ = clamped;
        show();
    }
    void pump() override { QCoreApplication::processEvents(); }
    void showWorkDone(std::uint64_t done, std::uint64_t total) override
    {
        if (total == 0)
            return;
        ahead_ = static_cast<int>(std::min(done, total) * 100 / total);
        show();
        QCoreApplication::processEvents();
    }

private:
    void show() { gauge_.setValue(std::max(value_, ahead_)); }

    QLabel& label_;
    QProgressBar& gauge_;
    int value_ = 0;
    int ahead_ = 0;
};

// A project saved under a name without ".tw6" is still found through the
// second filter.
const QStringList kProjectFilters = {QStringLiteral("Tilewright projects (*.tw6)"),
                                     QStringLiteral("All files (*)")};
const QStringList kPictureSaveFilters = {QStringLiteral("Bitmaps (*.bmp)"),
                                         QStringLiteral("JPEG Image File (*.jpg)")};
const QStringList kPictureOpenFilters = {
    QStringLiteral("Pictures (*.bmp *.jpg *.jpeg *.BMP *.JPG *.JPEG)"),
    QStringLiteral("Bitmaps (*.bmp *.BMP)"),
    QStringLiteral("JPEG Image File (*.jpg *.jpeg *.JPG *.JPEG)"),
    QStringLiteral("All files (*)"),
};

// Scrolling steps of the view, in mosaic pixels: an arrow key, and one
// line of a wheel turn (the desktop's lines per notch apply).
constexpr int kScrollLine = 20;

QFrame* makeSeparator(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

MainWindow::MainWindow(AppContext& context, QWidget* parent) : QMainWindow(parent), context_(context)
{
    setObjectName(QStringLiteral("TForm1"));
    setWindowTitle(mainWindowCaption());
    createActions();
    createMenus();
    createToolBar();
    createWorkArea();
    createStatusLine();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1_);
    layout->addWidget(workpanel_, 1);
    layout->addWidget(Panel2_);
    setCentralWidget(central);

    // The laid-out size is the whole window's, title bar and borders
    // included.
    applyOuterSize(*this, QSize(637, 480));

    connect(&context_, &AppContext::busyChanged, this, &MainWindow::updateActions);
    FormCreate();
    updateActions();
}

MainWindow::~MainWindow() = default;

void MainWindow::createActions()
{
    using Slot = void (MainWindow::*)();
    auto make = [this](const char* name, const QString& caption, Slot slot) {
        auto* action = new QAction(caption, this);
        action->setObjectName(QLatin1String(name));
        if (slot)
            connect(action, &QAction::triggered, this, slot);
        return action;
    };
    NewProject1_ = make("NewProject1", QStringLiteral("New Project"), &MainWindow::sbnewprjClick);
    NewProject1_->setShortcut(QKeySequence::New);
    OpenPicture1_ = make("OpenPicture1", QStringLiteral("Open Picture"), &MainWindow::OpenPicture1Click);
    LoadProject1_ = make("LoadProject1", QStringLiteral("Open Mosaic Project"), &MainWindow::sbopprjClick);
    LoadProject1_->setShortcut(QKeySequence::Open);
    SavePicture1_ = make("SavePicture1", QStringLiteral("Save Picture"), &MainWindow::sbsvpicClick);
    SaveProject1_ = make("SaveProject1", QStringLiteral("Save Mosaic Project"), &MainWindow::sbsvprjClick);
    SaveProject1_->setShortcut(QKeySequence::Save);
    Print1_ = make("Print1", QStringLiteral("Print"), &MainWindow::sbprintClick);
    Print1_->setShortcut(QKeySequence::Print);
    Exit1_ = make("Exit1", QStringLiteral("Exit"), &MainWindow::Exit1Click);
    Exit1_->setShortcut(QKeySequence::Quit);
    OverView1_ = make("OverView1", QStringLiteral("OverView"), &MainWindow::sboverviewClick);
    CellStats1_ = make("CellStats1", QStringLiteral("Cell Stats"), &MainWindow::SBstatClick);
    ImageLib1_ = make("ImageLib1", QStringLiteral("Image Lib    "), &MainWindow::ImageLib1Click);
    TilewrightHelp1_ = make("TilewrightHelp1", QStringLiteral("Tilewright Help"), &MainWindow::sbhelpClick);
    TilewrightHelp1_->setShortcut(QKeySequence::HelpContents);
    TilewrightHomePage1_ =
        make("TilewrightHomePage1", QStringLiteral("Tilewright Home Page"), &MainWindow::TilewrightHomePage1Click);
    TilewrightSupportForum1_ = make("TilewrightSupportForum1", QStringLiteral("Tilewright  Forum"),
                                    &MainWindow::TilewrightSupportForum1Click);
    CheckUpdate1_ = make("CheckUpdate1", QStringLiteral("Check Update"), &MainWindow::CheckUpdate1Click);
    About2_ = make("About2", QStringLiteral("About"), &MainWindow::About2Click);
}

void MainWindow::createMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    QMenu* project = bar->addMenu(QStringLiteral("  Project    "));
    project->setObjectName(QStringLiteral("Project1"));
    project->addAction(NewProject1_);
    project->addAction(OpenPicture1_);
    project->addAction(LoadProject1_);
    project->addSeparator();
    project->addAction(SavePicture1_);
    project->addAction(SaveProject1_);
    project->addSeparator();
    project->addAction(Print1_);
    project->addSeparator();
    project->addAction(Exit1_);

    QMenu* tools = bar->addMenu(QStringLiteral("Tools    "));
    tools->setObjectName(QStringLiteral("ools1"));
    tools->addAction(OverView1_);
    tools->addAction(CellStats1_);

    // The library menu has no items: its title itself is the command.
    bar->addAction(ImageLib1_);

    QMenu* help = bar->addMenu(QStringLiteral("Help    "));
    help->setObjectName(QStringLiteral("About1"));
    help->addAction(TilewrightHelp1_);
    help->addSeparator();
    help->addAction(TilewrightHomePage1_);
    help->addAction(TilewrightSupportForum1_);
    help->addAction(CheckUpdate1_);
    help->addSeparator();
    help->addAction(About2_);
}

QToolButton* MainWindow::addToolButton(const char* name, const QString& caption, const QIcon& icon)
{
    auto* button = new QToolButton(Panel1_);
    button->setObjectName(QLatin1String(name));
    button->setText(caption);
    button->setIcon(icon);
    button->setIconSize(QSize(22, 22));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    QFont small = button->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    button->setFont(small);
    return button;
}

void MainWindow::createToolBar()
{
    Panel1_ = new QFrame(this);
    Panel1_->setObjectName(QStringLiteral("Panel1"));
    Panel1_->setFixedHeight(67);
    // A narrow window cuts the toolbar off at the right instead of growing.
    Panel1_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    sbnewprj_ = addToolButton("sbnewprj", QStringLiteral("New"), toolGlyph(Glyph::NewProject));
    sbopprj_ = addToolButton("sbopprj", QStringLiteral("Load"), toolGlyph(Glyph::LoadProject));
    sbsvprj_ = addToolButton("sbsvprj", QStringLiteral("Save"), toolGlyph(Glyph::SaveProject));
    sbsvpic_ = addToolButton("sbsvpic", QStringLiteral("Save Picture"), toolGlyph(Glyph::SavePicture));
    sbprint_ = addToolButton("sbprint", QStringLiteral("Print"), toolGlyph(Glyph::Print));
    sbhand1_ = addToolButton("sbhand1", QStringLiteral("Hand"), toolGlyph(Glyph::Hand));
    sbhand2_ = addToolButton("sbhand2", QStringLiteral("Change Cell"), toolGlyph(Glyph::ChangeCell));
    sbhand3_ = addToolButton("sbhand3", QStringLiteral("Free Cell Pen"), toolGlyph(Glyph::FreeCellPen));
    SpeedButton9_ = addToolButton("SpeedButton9", QStringLiteral("Resize"), toolGlyph(Glyph::Resize));
    SBstat_ = addToolButton("SBstat", QStringLiteral("Stats"), toolGlyph(Glyph::Stats));
    sboverview_ = addToolButton("sboverview", QStringLiteral("Overview"), toolGlyph(Glyph::Overview));
    sbhelp_ = addToolButton("sbhelp", QStringLiteral("Help"), toolGlyph(Glyph::Help));
    sbzoomin_ = addToolButton("sbzoomin", QStringLiteral("zin"), toolGlyph(Glyph::ZoomIn));
    sbzoomout_ = addToolButton("sbzoomout", QStringLiteral("zot"), toolGlyph(Glyph::ZoomOut));

    toolGroup_ = new QButtonGroup(this);
    toolGroup_->setExclusive(true);
    for (QToolButton* tool : {sbhand1_, sbhand2_, sbhand3_}) {
        tool->setCheckable(true);
        toolGroup_->addButton(tool);
        connect(tool, &QToolButton::clicked, this, &MainWindow::sbhand1Click);
    }
    sbhand1_->setChecked(true);
    sbhand3_->setEnabled(false);
    SpeedButton9_->setEnabled(false);
    sbzoomin_->setEnabled(false);
    sbzoomin_->setVisible(false);
    sbzoomout_->setEnabled(false);
    sbzoomout_->setVisible(false);

    connect(sbnewprj_, &QToolButton::clicked, this, &MainWindow::sbnewprjClick);
    connect(sbprint_, &QToolButton::clicked, this, &MainWindow::sbprintClick);
    connect(sbopprj_, &QToolButton::clicked, this, &MainWindow::sbopprjClick);
    connect(sbsvprj_, &QToolButton::clicked, this, &MainWindow::sbsvprjClick);
    connect(sbsvpic_, &QToolButton::clicked, this, &MainWindow::sbsvpicClick);
    connect(SBstat_, &QToolButton::clicked, this, &MainWindow::SBstatClick);
    connect(sboverview_, &QToolButton::clicked, this, &MainWindow::sboverviewClick);
    connect(sbhelp_, &QToolButton::clicked, this, &MainWindow::sbhelpClick);
    connect(sbzoomin_, &QToolButton::clicked, this, &MainWindow::sbzoominClick);
    connect(sbzoomout_, &QToolButton::clicked, this, &MainWindow::sbzoomoutClick);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    for (QToolButton* b : {sbnewprj_, sbopprj_, sbsvprj_, sbsvpic_, sbprint_})
        buttons->addWidget(b);
    buttons->addWidget(makeSeparator(Panel1_));
    for (QToolButton* b : {sbhand1_, sbhand2_, sbhand3_, SpeedButton9_, SBstat_})
        buttons->addWidget(b);
    buttons->addWidget(makeSeparator(Panel1_));
    buttons->addWidget(sboverview_);
    buttons->addWidget(makeSeparator(Panel1_));
    buttons->addWidget(sbhelp_);
    buttons->addWidget(sbzoomin_);
    buttons->addWidget(sbzoomout_);
    buttons->addStretch(1);

    LBJOB_ = new QLabel(QString::fromStdString(kJobNone), Panel1_);
    LBJOB_->setObjectName(QStringLiteral("LBJOB"));
    LBJOB_->setMinimumWidth(230);
    TWprogress_ = new QProgressBar(Panel1_);
    TWprogress_->setObjectName(QStringLiteral("TWprogress"));
    TWprogress_->setRange(0, 100);
    TWprogress_->setValue(0);
    TWprogress_->setTextVisible(false);
    TWprogress_->setFixedWidth(345);
    TWprogress_->setFixedHeight(12);

    auto* job = new QHBoxLayout;
    job->setContentsMargins(6, 0, 0, 0);
    job->setSpacing(8);
    job->addWidget(LBJOB_);
    job->addWidget(TWprogress_);
    job->addStretch(1);

    auto* layout = new QVBoxLayout(Panel1_);
    layout->setContentsMargins(2, 1, 2, 2);
    layout->setSpacing(1);
    layout->addLayout(buttons);
    layout->addLayout(job);
}

void MainWindow::createWorkArea()
{
    workpanel_ = new QFrame(this);
    workpanel_->setObjectName(QStringLiteral("workpanel"));
    workpanel_->setAutoFillBackground(true);
    QPalette shadow = workpanel_->palette();
    shadow.setColor(QPalette::Window, shadow.color(QPalette::Dark));
    workpanel_->setPalette(shadow);
    workpanel_->installEventFilter(this);

    img1_ = new PictureBox(workpanel_);
    img1_->setObjectName(QStringLiteral("img1"));
    img1_->setCursor(Qt::PointingHandCursor);
    img1_->setAccessibleName(QStringLiteral("Mosaic view"));
    // Click or Tab gives the view the keyboard for the arrow and Page keys.
    img1_->setFocusPolicy(Qt::StrongFocus);
    img1_->installEventFilter(this);
    connect(img1_, &PictureBox::mousePressed, this, &MainWindow::img1MouseDown);
    connect(img1_, &PictureBox::mouseReleased, this, &MainWindow::img1MouseUp);

    auto* layout = new QVBoxLayout(workpanel_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(img1_);
}

void MainWindow::createStatusLine()
{
    Panel2_ = new QFrame(this);
    Panel2_->setObjectName(QStringLiteral("Panel2"));
    Panel2_->setFixedHeight(26);
    Panel2_->setFrameShape(QFrame::StyledPanel);
    Label1_ = new QLabel(QStringLiteral("Scale :100%"), Panel2_);
    Label1_->setObjectName(QStringLiteral("Label1"));
    auto* layout = new QHBoxLayout(Panel2_);
    layout->setContentsMargins(6, 0, 6, 0);
    layout->addWidget(Label1_);
    layout->addStretch(1);
}

void MainWindow::updateActions()
{
    const bool idle = !context_.isBusy();
    // The windows of other subsystems open only when the program handed
    // their command in, and never while a creation or an opening runs.
    const bool canCreate = idle && bool(newProjectCommand_);
    NewProject1_->setEnabled(canCreate);
    sbnewprj_->setEnabled(canCreate);
    const bool canPrint = idle && bool(printCommand_);
    Print1_->setEnabled(canPrint);
    sbprint_->setEnabled(canPrint);
    ImageLib1_->setEnabled(idle && bool(imageLibCommand_));

    // Nothing may open, load, export, list or rewrite the project while a
    // creation or an opening is running underneath the window messages.
    for (QToolButton* b : {sbopprj_, sbsvprj_, sbsvpic_, SBstat_, sbhand2_})
        b->setEnabled(idle);
    for (QAction* a : {LoadProject1_, OpenPicture1_, SaveProject1_, SavePicture1_, CellStats1_})
        a->setEnabled(idle);
}

void MainWindow::setNewProjectCommand(std::function<void()> command)
{
    newProjectCommand_ = std::move(command);
    updateActions();
}

void MainWindow::setPrintCommand(std::function<void()> command)
{
    printCommand_ = std::move(command);
    updateActions();
}

void MainWindow::setImageLibCommand(std::function<void()> command)
{
    imageLibCommand_ = std::move(command);
    updateActions();
}

void MainWindow::FormCreate()
{
    const MemoryStatus memory = context_.platform().memoryStatus();
    context_.project().physMemTotal = memory.totalPhysical;
    context_.project().physMemAvail = memory.availablePhysical;
}

void MainWindow::FormShow()
{
    if (context_.guarded([this] { initEngine(context_.project(), context_.library()); }))
        Q_EMIT engineStarted();
}

void MainWindow::FormResize()
{
    // A grown window shows as much of the mosaic as fits: offsets that
    // would now leave the box's right or bottom part empty are brought in by
    // the view's clamping rule, instead of waiting for the next drag.
    const QSize box = workpanel_->contentsRect().size();
    if (!context_.project().MosaicImage.empty())
        tw::scrollViewBy(context_.project(), 0, 0, box.width(), box.height());
    context_.guarded([this] { repaintView(); });
}

void MainWindow::FormClose()
{
    if (overview_)
        overview_->close();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        FormShow();
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!maybeSave()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == workpanel_ && event->type() == QEvent::Resize)
        FormResize();
    if (watched == img1_) {
        switch (event->type()) {
        case QEvent::MouseMove:
            // Move events come only while a button is down: a Hand drag
            // shows the picture following the pointer.
            if (dragging_ && context_.project().toolMode == ToolMode::Hand) {
                const QPointF p = static_cast<QMouseEvent*>(event)->position();
                const QSize box = workpanel_->contentsRect().size();
                followHandDrag(context_.project(), static_cast<int>(std::floor(p.x())),
                               static_cast<int>(std::floor(p.y())), box.width(), box.height());
                scrollView();
            }
            break;
        case QEvent::Wheel: {
            auto* wheel = static_cast<QWheelEvent*>(event);
            const QPoint pixels = wheel->pixelDelta();
            const int lines = QApplication::wheelScrollLines();
            QPoint delta = !pixels.isNull() ? -pixels : -wheel->angleDelta() * lines * kScrollLine / 120;
            // With Shift the wheel scrolls across.
            if (wheel->modifiers() & Qt::ShiftModifier)
                delta = QPoint(delta.x() != 0 ? delta.x() : delta.y(), 0);
            scrollViewBy(delta.x(), delta.y());
            return true;
        }
        case QEvent::KeyPress:
            if (viewKeyPress(static_cast<QKeyEvent*>(event)->key()))
                return true;
            break;
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::viewKeyPress(int key)
{
    const QSize box = workpanel_->contentsRect().size();
    switch (key) {
    case Qt::Key_Left:
        scrollViewBy(-kScrollLine, 0);
        return true;
    case Qt::Key_Right:
        scrollViewBy(kScrollLine, 0);
        return true;
    case Qt::Key_Up:
        scrollViewBy(0, -kScrollLine);
        return true;
    case Qt::Key_Down:
        scrollViewBy(0, kScrollLine);
        return true;
    case Qt::Key_PageUp:
        scrollViewBy(0, -std::max(box.height(), 1));
        return true;
    case Qt::Key_PageDown:
        scrollViewBy(0, std::max(box.height(), 1));
        return true;
    default:
        return false;
    }
}

void MainWindow::scrollViewBy(int dx, int dy)
{
    if (dx == 0 && dy == 0)
        return;
    const QSize box = workpanel_->contentsRect().size();
    tw::scrollViewBy(context_.project(), dx, dy, box.width(), box.height());
    scrollView();
}

void MainWindow::scrollView()
{
    context_.guarded([this] {
        if (redrawViewPicture() && overview_ && overview_->isVisible())
            overview_->redrawIndicator();
    });
}

void MainWindow::repaintView()
{
    if (redrawViewPicture() && overview_ && overview_->isVisible())
        overview_->redrawOverview();
}

bool MainWindow::redrawViewPicture()
{
    MosaicProject& project = context_.project();
    const Picture& mosaic = project.MosaicImage;
    if (std::int64_t{mosaic.width()} * mosaic.height() <= 0)
        return false;
    const QSize box = workpanel_->contentsRect().size();
    drawView(project, mosaic, img1_->picture(), box.width(), box.height());
    Label1_->setText(QString::fromStdString(scaleLabelText(project)));
    img1_->pictureChanged();
    return true;
}

void MainWindow::showOverviewIfHidden()
{
    // A main window closed while the work ran takes the program down with
    // it; the overview must not come back on its own.
    if (!overview_ || overview_->isVisible() || !isVisible())
        return;
    overview_->show();
    overview_->raise();
    overview_->redrawOverview();
}

void MainWindow::showFinishedMosaic()
{
    MosaicProject& project = context_.project();
    project.viewOffsetX = 0;
    project.viewOffsetY = 0;
    repaintView();
    showOverviewIfHidden();
}

void MainWindow::runJob(const std::function<void(ProgressObserver&)>& stages)
{
    const QString label = LBJOB_->text();
    const int gauge = TWprogress_->value();
    BusyScope busy(context_);
    JobObserver observer(*LBJOB_, *TWprogress_);
    try {
        stages(observer);
    } catch (...) {
        LBJOB_->setText(label);
        TWprogress_->setValue(gauge);
        throw;
    }
}

bool MainWindow::startCreation(const CreationInput& input)
{
    if (context_.isBusy())
        return false;
    return context_.guarded([&] {
        MosaicProject& project = context_.project();
        // What the input replaces is kept aside (the main picture by swap,
        // no copy) and given back if the creation fails.
        const tmosaicproject settingsBefore = project.settings;
        const std::string mainImagePathBefore = project.mainImagePath;
        Picture mainImageBefore;
        try {
            if (input) {
                mainImageBefore.swap(project.MainImage);
                input(project);
            }
            EngineOptions options;
            options.analysisStore = context_.analysisStore();
            runJob([this, &options](ProgressObserver& observer) {
                runCreation(context_.project(), context_.library(), observer, options);
            });
        } catch (...) {
            if (input) {
                project.settings = settingsBefore;
                project.mainImagePath = mainImagePathBefore;
                project.MainImage.swap(mainImageBefore);
            }
            // Cells, offsets and the edit tool must keep meaning what the
            // shown mosaic was drawn with.
            if (project.projectState == ProjectState::Mosaic) {
                project.settings = shownSettings_;
                project.mainImagePath = shownMainImagePath_;
            }
            throw;
        }
        shownSettings_ = project.settings;
        shownMainImagePath_ = project.mainImagePath;
        // A new project: not saved anywhere yet, nothing unsaved in it.
        projectPath_.clear();
        haveProject_ = true;
        setModified(false);
        showFinishedMosaic();
    });
}

void MainWindow::sbnewprjClick()
{
    if (!newProjectCommand_ || context_.isBusy() || !maybeSave())
        return;
    context_.guarded(newProjectCommand_);
}

void MainWindow::sbprintClick()
{
    if (printCommand_ && !context_.isBusy())
        context_.guarded(printCommand_);
}

void MainWindow::ImageLib1Click()
{
    if (imageLibCommand_ && !context_.isBusy())
        context_.guarded(imageLibCommand_);
}

void MainWindow::sbopprjClick()
{
    if (context_.isBusy() || !maybeSave())
        return;
    context_.guarded([this] {
        FileDialogRequest request;
        request.title = QStringLiteral("Open Mosaic Project");
        request.purpose = QStringLiteral("project");
        request.filters = kProjectFilters;
        const auto chosen = context_.platform().openFileDialog(this, request);
        if (!chosen)
            return;
        const std::string path = toCoreText(chosen->path);
        // Nothing there: nothing to say. Anything there that is not a
        // regular file (a named pipe, a link to a device) is refused by the
        // reading, with its reason.
        if (!pathExists(path))
            return;
        EngineOptions options;
        options.analysisStore = context_.analysisStore();
        runJob([&](ProgressObserver& observer) {
            openProject(context_.project(), context_.library(), path, observer, options);
        });
        // The library list is the project's now: windows that show it read
        // it again.
        Q_EMIT context_.libraryChanged();
        shownSettings_ = context_.project().settings;
        shownMainImagePath_ = context_.project().mainImagePath;
        projectPath_ = chosen->path;
        haveProject_ = true;
        setModified(false);
        showFinishedMosaic();
    });
}

void MainWindow::sbsvprjClick()
{
    if (context_.isBusy())
        return;
    context_.guarded([this] { saveProject(); });
}

bool MainWindow::saveProject()
{
    // The project's pictures are lent to a running job.
    if (context_.isBusy())
        return false;
    // The file image is built first: its record carries the two block
    // lengths even when the user then cancels.
    const Bytes image = buildProjectFile(context_.project(), context_.library());
    FileDialogRequest request;
    request.title = QStringLiteral("Save Mosaic Project");
    request.purpose = QStringLiteral("project");
    request.filters = kProjectFilters;
    request.fileName = projectPath_;
    const auto chosen = context_.platform().saveFileDialog(this, request);
    if (!chosen)
        return false;
    writeFileAtomic(toCoreText(chosen->path), image);
    projectPath_ = chosen->path;
    haveProject_ = true;
    setModified(false);
    return true;
}

bool MainWindow::maybeSave()
{
    if (!modified_)
        return true;
    const std::string question = "Save changes to " + toCoreText(projectName()) + "?";
    switch (context_.platform().askSaveChanges(question)) {
    case SaveChoice::Save: {
        bool saved = false;
        context_.guarded([&] { saved = saveProject(); });
        return saved;
    }
    case SaveChoice::Discard:
        return true;
    case SaveChoice::Cancel:
        break;
    }
    return false;
}

void MainWindow::setModified(bool modified)
{
    modified_ = modified;
    updateTitle();
}

QString MainWindow::projectName() const
{
    return projectPath_.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(projectPath_).fileName();
}

void MainWindow::updateTitle()
{
    // "name* - caption" while there are unsaved changes.
    if (haveProject_)
        setWindowTitle(projectName() + (modified_ ? QStringLiteral("*") : QString()) + QStringLiteral(" - ") +
                       mainWindowCaption());
    else
        setWindowTitle(mainWindowCaption());
}

void MainWindow::sbsvpicClick()
{
    if (context_.isBusy())
        return;
    context_.guarded([this] {
        FileDialogRequest request;
        request.title = QStringLiteral("Save Picture");
        request.filters = kPictureSaveFilters;
        request.filterIndex = lastPictureFilter_;
        request.fileName = lastPictureName_;
        const auto chosen = context_.platform().saveFileDialog(this, request);
        if (!chosen)
            return;
        lastPictureName_ = chosen->path;
        lastPictureFilter_ = chosen->filterIndex;
        const PictureFileType type = chosen->filterIndex == 1 ? PictureFileType::Jpeg : PictureFileType::Bmp;
        exportPicture(context_.project().MosaicImage, toCoreText(chosen->path), type);
    });
}

void MainWindow::OpenPicture1Click()
{
    if (context_.isBusy())
        return;
    context_.guarded([this] {
        FileDialogRequest request;
        request.title = QStringLiteral("Open Picture");
        request.filters = kPictureOpenFilters;
        const auto chosen = context_.platform().openFileDialog(this, request);
        if (!chosen)
            return;
        // Loaded aside first, so a file that fails leaves the view as it was.
        Picture loaded;
        loadPicture(loaded, toCoreText(chosen->path));
        MosaicProject& project = context_.project();
        project.MosaicImage.swap(loaded);
        project.viewOffsetX = 0;
        project.viewOffsetY = 0;
        project.projectState = ProjectState::Picture;
        repaintView();
    });
}

void MainWindow::sbhand1Click()
{
    MosaicProject& project = context_.project();
    project.toolMode = ToolMode::Hand;
    if (sbhand1_->isChecked())
        project.toolMode = ToolMode::Hand;
    else if (sbhand2_->isChecked())
        project.toolMode = ToolMode::ChangeCell;
    else if (sbhand3_->isChecked())
        project.toolMode = ToolMode::FreeCellPen;
    switch (project.toolMode) {
    case ToolMode::Hand:
        img1_->setCursor(Qt::PointingHandCursor);
        break;
    case ToolMode::ChangeCell:
        img1_->setCursor(Qt::CrossCursor);
        break;
    default:
        img1_->setCursor(Qt::ArrowCursor);
        break;
    }
}

void MainWindow::img1MouseDown(int x, int y)
{
    viewMouseDown(context_.project(), x, y);
    dragging_ = true;
}

void MainWindow::img1MouseUp(int x, int y)
{
    dragging_ = false;
    context_.guarded([&] {
        MosaicProject& project = context_.project();
        viewMouseUp(project, x, y);
        switch (project.toolMode) {
        case ToolMode::Hand: {
            // The release settles the offsets the drag showed.
            const QSize box = workpanel_->contentsRect().size();
            applyHandDrag(project, box.width(), box.height());
            repaintView();
            break;
        }
        case ToolMode::ChangeCell: {
            // An edit changes the grid and the table, which a running
            // creation owns until it ends.
            if (context_.isBusy() || !cellEditingAllowed(project))
                return;
            const auto cell = cellAtViewPosition(project, x, y);
            if (!cell)
                return;
            try {
                changeCell(project, context_.library(), cell->x, cell->y);
            } catch (...) {
                // The cell may have its new picture although drawing it failed.
                setModified(true);
                throw;
            }
            setModified(true);
            repaintView();
            break;
        }
        default:
            break;
        }
    });
}

void MainWindow::sbzoominClick()
{
    MosaicProject& project = context_.project();
    if (project.viewScale > 1)
        project.viewScale /= 2;
    context_.guarded([this] { repaintView(); });
}

void MainWindow::sbzoomoutClick()
{
    MosaicProject& project = context_.project();
    if (project.viewScale < 32)
        project.viewScale *= 2;
    context_.guarded([this] { repaintView(); });
}

void MainWindow::SBstatClick()
{
    if (!usage_)
        return;
    usage_->show();
    usage_->raise();
    usage_->activateWindow();
}

void MainWindow::sboverviewClick()
{
    if (!overview_)
        return;
    overview_->show();
    overview_->raise();
    context_.guarded([this] { overview_->redrawOverview(); });
}

void MainWindow::About2Click()
{
    if (!about_)
        return;
    about_->show();
    about_->raise();
    about_->activateWindow();
}

void MainWindow::sbhelpClick()
{
    context_.platform().openWithDesktop(QUrl::fromLocalFile(fromCoreText(helpDocumentPath())));
}

void MainWindow::openUrl(const QString& address) { context_.platform().openWithDesktop(QUrl(address)); }

void MainWindow::TilewrightHomePage1Click() { openUrl(kHomePageAddress); }
void MainWindow::TilewrightSupportForum1Click() { openUrl(kForumAddress); }
void MainWindow::CheckUpdate1Click() { openUrl(kUpdateAddress); }

void MainWindow::Exit1Click() { close(); }

} // namespace tw

#include "library/lib_manager_window.h"

#include "imaging/inspect.h"
#include "imaging/load_picture.h"
#include "imaging/signature.h"
#include "imaging/transforms.h"
#include "library/cell_pic_lib.h"
#include "library/check_list.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "ui/app_context.h"
#include "ui/picture_box.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace tw {

namespace {

constexpr QSize kOverviewSize(201, 161);
constexpr QSize kLevelSize(129, 65);
constexpr QSize kColorBoxSize(65, 65);
constexpr int kColorPictureSide = 64;
constexpr int kRightPanelWidth = 217;
constexpr int kRightPanelHeight = 401;

const QString kListFilter = QStringLiteral("Image List File (*.IL2)");
const QString kListSuffix = QStringLiteral("il2");
const std::string kCheckFinished = "check finished";

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setAccessibleName(caption);
    button->setAutoDefault(false);
    return button;
}

PictureBox* makePicture(QWidget* parent, const char* name, const QString& caption, QSize size)
{
    auto* box = new PictureBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setAccessibleName(caption);
    box->setFixedSize(size);
    return box;
}

// A sunken frame whose inside is exactly the picture's size.
QFrame* framed(QWidget* parent, PictureBox* box)
{
    auto* frame = new QFrame(parent);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Sunken);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(box);
    frame->setFixedSize(box->size() + QSize(2, 2));
    return frame;
}

} // namespace

LibManagerWindow::LibManagerWindow(AppContext& context, QWidget* parent)
    : QWidget(parent, Qt::Window), context_(context)
{
    setObjectName(QStringLiteral("TForm4"));
    setWindowTitle(QStringLiteral("Cell Image Lib Manager"));
    setAttribute(Qt::WA_QuitOnClose, false);
    // Qt paints every widget through a back buffer, so the previews never
    // flicker while they are redrawn.
    createControls();
    layOutControls();

    // An entry becomes the highlighted one by a click or a key; the list's
    // own choice of a current row when it takes the focus highlights nothing.
    connect(CellPicList_, &QListWidget::itemSelectionChanged, this, &LibManagerWindow::CellPicListClick);
    connect(Button1_, &QPushButton::clicked, this, &LibManagerWindow::Button1Click);
    connect(btdel_, &QPushButton::clicked, this, &LibManagerWindow::btdelClick);
    connect(Button7_, &QPushButton::clicked, this, &LibManagerWindow::Button7Click);
    connect(ldilist_, &QPushButton::clicked, this, &LibManagerWindow::ldilistClick);
    connect(btsilist_, &QPushButton::clicked, this, &LibManagerWindow::btsilistClick);
    connect(Button4_, &QPushButton::clicked, this, &LibManagerWindow::Button4Click);
    connect(Button2_, &QPushButton::clicked, this, &LibManagerWindow::Button2Click);
    connect(Button3_, &QPushButton::clicked, this, &LibManagerWindow::Button3Click);
    connect(&context_, &AppContext::busyChanged, this, &LibManagerWindow::updateActions);
    connect(&context_, &AppContext::libraryChanged, this, &LibManagerWindow::reloadList);

    resize(534, 455);
    if (QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    reloadList();
    updateActions();
}

void LibManagerWindow::createControls()
{
    countCaption_ = new QLabel(QStringLiteral("Total File Count : "), this);
    lfcount_ = new QLabel(QStringLiteral("0"), this);
    lfcount_->setObjectName(QStringLiteral("lfcount"));
    lfcount_->setAccessibleName(QStringLiteral("Total File Count : "));
    CellPicList_ = new CheckList(this);
    CellPicList_->setObjectName(QStringLiteral("CellPicList"));
    CellPicList_->setAccessibleName(QStringLiteral("Cell Image Lib"));

    rightPanel_ = new QWidget(this);
    rightPanel_->setObjectName(QStringLiteral("rightPanel"));
    overviewLabel_ = new QLabel(QStringLiteral("overview"), rightPanel_);
    cellpicov_ = makePicture(rightPanel_, "cellpicov", QStringLiteral("overview"), kOverviewSize);
    cbcellpicinfo_ = new QCheckBox(QStringLiteral("Show Cell Info"), rightPanel_);
    cbcellpicinfo_->setObjectName(QStringLiteral("cbcellpicinfo"));
    cbcellpicinfo_->setAccessibleName(cbcellpicinfo_->text());
    levelLabel_ = new QLabel(QStringLiteral("Level"), rightPanel_);
    cellpiclevel_ = makePicture(rightPanel_, "cellpiclevel", QStringLiteral("Level"), kLevelSize);
    colorLabel_ = new QLabel(QStringLiteral("cell color"), rightPanel_);
    cellpic41_ = makePicture(rightPanel_, "cellpic41", QStringLiteral("cell color"), kColorBoxSize);

    Button1_ = makeButton(rightPanel_, "Button1", QStringLiteral("Add Picture"));
    btdel_ = makeButton(rightPanel_, "btdel", QStringLiteral("Delete Picture"));
    Button7_ = makeButton(rightPanel_, "Button7", QStringLiteral("Delete All"));
    ldilist_ = makeButton(rightPanel_, "ldilist", QStringLiteral("Load Image List"));
    btsilist_ = makeButton(rightPanel_, "btsilist", QStringLiteral("Save Image List"));
    Button4_ = makeButton(rightPanel_, "Button4", QStringLiteral("Set as Default"));
    Button2_ = makeButton(rightPanel_, "Button2", QStringLiteral("Check Bad Pic"));
    Button3_ = makeButton(rightPanel_, "Button3", QStringLiteral("Restore Default"));
}

void LibManagerWindow::layOutControls()
{
    auto* count = new QHBoxLayout;
    count->setSpacing(0);
    count->addWidget(countCaption_);
    count->addWidget(lfcount_);
    count->addStretch(1);

    auto* left = new QVBoxLayout;
    left->setSpacing(4);
    left->addLayout(count);
    left->addWidget(CellPicList_, 1);

    auto* level = new QVBoxLayout;
    level->setSpacing(2);
    level->addWidget(levelLabel_);
    level->addWidget(framed(rightPanel_, cellpiclevel_));
    auto* colour = new QVBoxLayout;
    colour->setSpacing(2);
    colour->addWidget(colorLabel_);
    colour->addWidget(framed(rightPanel_, cellpic41_));
    auto* info = new QHBoxLayout;
    info->addLayout(level);
    info->addLayout(colour);
    info->addStretch(1);

    auto* buttons = new QGridLayout;
    buttons->setSpacing(4);
    buttons->addWidget(Button1_, 0, 0);
    buttons->addWidget(btdel_, 0, 1);
    buttons->addWidget(Button7_, 1, 0);
    buttons->addWidget(Button2_, 1, 1);
    buttons->addWidget(ldilist_, 2, 0);
    buttons->addWidget(btsilist_, 2, 1);
    buttons->addWidget(Button4_, 3, 0);
    buttons->addWidget(Button3_, 3, 1);

    auto* right = new QVBoxLayout(rightPanel_);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(2);
    right->addWidget(overviewLabel_);
    right->addWidget(framed(rightPanel_, cellpicov_));
    right->addWidget(cbcellpicinfo_);
    right->addLayout(info);
    right->addStretch(1);
    right->addLayout(buttons);
    rightPanel_->setMinimumSize(kRightPanelWidth, kRightPanelHeight);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(left, 1);
    layout->addWidget(rightPanel_);

    setTabOrder(CellPicList_, cbcellpicinfo_);
    QWidget* previous = cbcellpicinfo_;
    for (QWidget* b : {Button1_, btdel_, Button7_, Button2_, ldilist_, btsilist_, Button4_, Button3_}) {
        setTabOrder(previous, b);
        previous = b;
    }
}

void LibManagerWindow::updateActions()
{
    // While a creation or an opening reads the library, nothing may change
    // it; the check is held back too, since it would stall the creation
    // running underneath it. A check already running cannot start again.
    const bool idle = !context_.isBusy();
    Button1_->setEnabled(idle);
    btdel_->setEnabled(idle);
    Button7_->setEnabled(idle);
    ldilist_->setEnabled(idle);
    Button3_->setEnabled(idle);
    Button2_->setEnabled(idle && !checking_);
}

void LibManagerWindow::updateFileCount() { lfcount_->setText(QString::number(context_.library().count())); }

void LibManagerWindow::appendRows(std::size_t from)
{
    const CellPicLib& library = context_.library();
    for (std::size_t i = from; i < library.count(); ++i)
        CellPicList_->addPath(library.entry(i));
}

void LibManagerWindow::reloadList()
{
    {
        const QSignalBlocker quiet(CellPicList_);
        CellPicList_->clear();
        appendRows(0);
    }
    updateFileCount();
}

bool LibManagerWindow::listMatchesLibrary() const
{
    const CellPicLib& library = context_.library();
    if (static_cast<std::size_t>(CellPicList_->count()) != library.count())
        return false;
    for (std::size_t i = 0; i < library.count(); ++i)
        if (CellPicList_->item(static_cast<int>(i))->text() != fromCoreText(library.entry(i)))
            return false;
    return true;
}

void LibManagerWindow::highlight(int row)
{
    const QSignalBlocker quiet(CellPicList_);
    if (row < 0) {
        CellPicList_->setCurrentRow(-1);
        CellPicList_->clearSelection();
        return;
    }
    CellPicList_->setCurrentRow(row);
    CellPicList_->scrollToItem(CellPicList_->item(row));
}

std::size_t LibManagerWindow::appendPaths(const std::vector<std::string>& paths, std::size_t limit,
                                          const std::string& message)
{
    CellPicLib& library = context_.library();
    const std::size_t before = library.count();
    const std::size_t added = library.appendPaths(paths, limit, message, context_.platform());
    appendRows(before);
    updateFileCount();
    return added;
}

void LibManagerWindow::showLibraryPicture(const std::string& path, bool withInfo)
{
    // Everything is drawn aside first, so a file that fails changes nothing.
    Picture loaded;
    loadPicture(loaded, path);
    Picture overview;
    fitIntoBox(loaded, overview, cellpicov_->width(), cellpicov_->height());
    Picture level;
    Picture colours;
    if (withInfo) {
        drawLevelPicture(loaded, level, LevelChannel::All, Size{cellpiclevel_->width(), cellpiclevel_->height()});
        // The whole picture as stored: neither cropped nor grey, whatever
        // the creation settings say.
        colours.resize(kColorPictureSide, kColorPictureSide);
        drawColorSignature(colours, computeSignature(loaded));
    }
    cellpicov_->picture().swap(overview);
    cellpicov_->pictureChanged();
    if (withInfo) {
        cellpiclevel_->picture().swap(level);
        cellpiclevel_->pictureChanged();
        cellpic41_->picture().swap(colours);
        cellpic41_->pictureChanged();
    }
}

void LibManagerWindow::CellPicListClick()
{
    const int row = CellPicList_->highlightedRow();
    if (row < 0 || static_cast<std::size_t>(row) >= context_.library().count())
        return;
    // Ticking "Show Cell Info" redraws nothing; it counts from the next
    // selection on.
    const bool withInfo = cbcellpicinfo_->isChecked();
    context_.guarded([&] { showLibraryPicture(context_.library().entry(static_cast<std::size_t>(row)), withInfo); });
}

void LibManagerWindow::Button1Click()
{
    if (!loadImageFiles_ || context_.isBusy())
        return;
    loadImageFiles_->show();
    loadImageFiles_->raise();
    loadImageFiles_->activateWindow();
}

void LibManagerWindow::btdelClick()
{
    if (context_.isBusy())
        return;
    // The highlighted entry goes, not the ticked ones; the previews stay.
    const int row = CellPicList_->highlightedRow();
    if (row >= 0) {
        context_.library().deleteSelected(row);
        const QSignalBlocker quiet(CellPicList_);
        delete CellPicList_->takeItem(row);
        highlight(-1);
    }
    updateFileCount();
}

void LibManagerWindow::Button7Click()
{
    if (context_.isBusy())
        return;
    context_.library().deleteAll();
    reloadList();
}

void LibManagerWindow::ldilistClick()
{
    if (context_.isBusy())
        return;
    context_.guarded([this] {
        FileDialogRequest request;
        request.title = QStringLiteral("Load Image List");
        request.purpose = QStringLiteral("imageList");
        request.filters = {kListFilter};
        request.defaultSuffix = kListSuffix;
        if (const auto chosen = context_.platform().openFileDialog(this, request)) {
            // Replaces the list; a file that cannot be read leaves it whole.
            context_.library().readListFile(toCoreText(chosen->path));
            reloadList();
        }
        updateFileCount();
    });
}

void LibManagerWindow::btsilistClick()
{
    context_.guarded([this] {
        FileDialogRequest request;
        request.title = QStringLiteral("Save Image List");
        request.purpose = QStringLiteral("imageList");
        request.filters = {kListFilter};
        request.defaultSuffix = kListSuffix;
        request.confirmOverwrite = false;
        if (const auto chosen = context_.platform().saveFileDialog(this, request))
            context_.library().writeListFile(toCoreText(chosen->path));
    });
}

void LibManagerWindow::Button4Click()
{
    context_.guarded([this] { context_.library().setAsDefault(context_.platform()); });
}

void LibManagerWindow::Button3Click()
{
    if (context_.isBusy())
        return;
    context_.guarded([this] {
        try {
            context_.library().rebuildDefaultList();
        } catch (...) {
            // The list is rebuilt before the default file is written; when
            // only the writing failed the new list is shown all the same.
            if (!listMatchesLibrary())
                reloadList();
            throw;
        }
        reloadList();
    });
}

void LibManagerWindow::Button2Click()
{
    if (checking_ || context_.isBusy())
        return;
    checking_ = true;
    updateActions();
    context_.guarded([this] {
        CellPicLib& library = context_.library();
        // The count is taken once: the window stays usable during the check,
        // and a list shortened meanwhile stops it at the first lost index.
        const std::size_t count = library.count();
        for (std::size_t i = 0; i < count; ++i) {
            if (i >= library.count())
                throw Error("List index out of bounds (" + std::to_string(i) + ")");
            const std::string path = library.entry(i);
            if (!fileExists(path))
                continue;  // missing files are not the check's business
            highlight(static_cast<int>(i));
            // A picture that cannot be read stops the check here and stays
            // highlighted, so that "Delete Picture" removes exactly it.
            showLibraryPicture(path, false);
            QCoreApplication::processEvents();
        }
        context_.platform().showMessage(kCheckFinished, "Finish");
    });
    checking_ = false;
    updateActions();
}

} // namespace tw

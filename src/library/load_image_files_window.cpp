#include "library/load_image_files_window.h"

#include "imaging/load_picture.h"
#include "imaging/transforms.h"
#include "library/cell_pic_lib.h"
#include "library/check_list.h"
#include "library/folder_tree.h"
#include "library/lib_manager_window.h"
#include "library/picture_files.h"
#include "platform/platform.h"
#include "ui/app_context.h"
#include "ui/picture_box.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSplitter>
#include <QVBoxLayout>

namespace tw {

namespace {

constexpr int kTreeWidth = 177;
constexpr int kListHeight = 240;
constexpr QSize kPreviewSize(193, 153);

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setAccessibleName(caption);
    button->setAutoDefault(false);
    return button;
}

} // namespace

LoadImageFilesWindow::LoadImageFilesWindow(AppContext& context, LibManagerWindow& manager, QWidget* parent)
    : QWidget(parent, Qt::Window), context_(context), manager_(manager)
{
    setObjectName(QStringLiteral("TForm5"));
    setWindowTitle(QStringLiteral("Load Image Files"));
    setAttribute(Qt::WA_QuitOnClose, false);
    createControls();
    layOutControls();

    connect(tree1_, &FolderTree::folderChanged, this, &LoadImageFilesWindow::tree1Change);
    // An entry becomes the highlighted one by a click (its tick box too) or
    // a key; the list's own choice of a current row on focus is no choice.
    connect(list1_, &QListWidget::itemSelectionChanged, this, &LoadImageFilesWindow::list1Click);
    connect(cblistall_, &QCheckBox::clicked, this, &LoadImageFilesWindow::cblistallClick);
    connect(Button2_, &QPushButton::clicked, this, &LoadImageFilesWindow::Button2Click);
    connect(Button3_, &QPushButton::clicked, this, &LoadImageFilesWindow::Button3Click);
    connect(Button6_, &QPushButton::clicked, this, &LoadImageFilesWindow::Button6Click);
    connect(Button7_, &QPushButton::clicked, this, &LoadImageFilesWindow::Button7Click);
    connect(btloadallsel_, &QPushButton::clicked, this, &LoadImageFilesWindow::btloadallselClick);
    connect(btloadall_, &QPushButton::clicked, this, &LoadImageFilesWindow::btloadallClick);
    connect(&context_, &AppContext::busyChanged, this, &LoadImageFilesWindow::updateActions);

    resize(696, 480);
    if (QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    updateActions();
}

void LoadImageFilesWindow::createControls()
{
    Splitter1_ = new QSplitter(Qt::Horizontal, this);
    Splitter1_->setObjectName(QStringLiteral("Splitter1"));
    Splitter1_->setChildrenCollapsible(false);

    tree1_ = new FolderTree(Splitter1_);
    tree1_->setObjectName(QStringLiteral("tree1"));
    tree1_->setAccessibleName(QStringLiteral("Folders"));

    rightPanel_ = new QWidget(Splitter1_);
    list1_ = new CheckList(rightPanel_);
    list1_->setObjectName(QStringLiteral("list1"));
    list1_->setAccessibleName(QStringLiteral("Picture files"));

    bottomPanel_ = new QWidget(rightPanel_);
    previewLabel_ = new QLabel(QStringLiteral("Picture Preview"), bottomPanel_);
    Image1_ = new PictureBox(bottomPanel_);
    Image1_->setObjectName(QStringLiteral("Image1"));
    Image1_->setAccessibleName(QStringLiteral("Picture Preview"));
    Image1_->setFixedSize(kPreviewSize);
    Image1_->setCentred(true);

    countLabel_ = new QLabel(QStringLiteral("File Count:"), bottomPanel_);
    lbfc_ = new QLabel(QStringLiteral("0"), bottomPanel_);
    lbfc_->setObjectName(QStringLiteral("lbfc"));
    lbfc_->setAccessibleName(QStringLiteral("File Count:"));
    cblistall_ = new QCheckBox(QStringLiteral("List all picture files include subdirectorys"), bottomPanel_);
    cblistall_->setObjectName(QStringLiteral("cblistall"));
    cblistall_->setAccessibleName(cblistall_->text());

    Button2_ = makeButton(bottomPanel_, "Button2", QStringLiteral("Select All"));
    Button3_ = makeButton(bottomPanel_, "Button3", QStringLiteral("Unselect All"));
    Button6_ = makeButton(bottomPanel_, "Button6", QStringLiteral("Clear List"));
    Button7_ = makeButton(bottomPanel_, "Button7", QStringLiteral("Reverse Select"));
    btloadallsel_ = makeButton(bottomPanel_, "btloadallsel", QStringLiteral("Load all Selected File"));
    btloadall_ = makeButton(bottomPanel_, "btloadall", QStringLiteral("Load All Files"));
}

void LoadImageFilesWindow::layOutControls()
{
    // The preview sits in a sunken frame whose inside is exactly its size.
    auto* previewFrame = new QFrame(bottomPanel_);
    previewFrame->setFrameShape(QFrame::StyledPanel);
    previewFrame->setFrameShadow(QFrame::Sunken);
    auto* frameLayout = new QVBoxLayout(previewFrame);
    frameLayout->setContentsMargins(1, 1, 1, 1);
    frameLayout->addWidget(Image1_);
    previewFrame->setFixedSize(kPreviewSize + QSize(2, 2));

    auto* preview = new QVBoxLayout;
    preview->setSpacing(2);
    preview->addWidget(previewLabel_);
    preview->addWidget(previewFrame);
    preview->addStretch(1);

    auto* count = new QHBoxLayout;
    count->addWidget(countLabel_);
    count->addWidget(lbfc_);
    count->addStretch(1);

    auto* buttons = new QGridLayout;
    buttons->addWidget(Button2_, 0, 0);
    buttons->addWidget(Button3_, 0, 1);
    buttons->addWidget(Button7_, 1, 0);
    buttons->addWidget(Button6_, 1, 1);
    buttons->addWidget(btloadallsel_, 2, 0);
    buttons->addWidget(btloadall_, 2, 1);

    auto* commands = new QVBoxLayout;
    commands->addLayout(count);
    commands->addWidget(cblistall_);
    commands->addSpacing(6);
    commands->addLayout(buttons);
    commands->addStretch(1);

    auto* bottom = new QHBoxLayout(bottomPanel_);
    bottom->setContentsMargins(6, 6, 6, 6);
    bottom->setSpacing(10);
    bottom->addLayout(preview);
    bottom->addLayout(commands, 1);
    // The list takes the top of the right part; the rest is this panel.
    bottomPanel_->setFixedHeight(480 - kListHeight);

    auto* right = new QVBoxLayout(rightPanel_);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    right->addWidget(list1_, 1);
    right->addWidget(bottomPanel_);

    Splitter1_->addWidget(tree1_);
    Splitter1_->addWidget(rightPanel_);
    Splitter1_->setStretchFactor(0, 0);
    Splitter1_->setStretchFactor(1, 1);
    Splitter1_->setSizes({kTreeWidth, 696 - kTreeWidth});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Splitter1_);

    setTabOrder(tree1_, list1_);
    setTabOrder(list1_, cblistall_);
    setTabOrder(cblistall_, Button2_);
    setTabOrder(Button2_, Button3_);
    setTabOrder(Button3_, Button7_);
    setTabOrder(Button7_, Button6_);
    setTabOrder(Button6_, btloadallsel_);
    setTabOrder(btloadallsel_, btloadall_);
}

void LoadImageFilesWindow::updateActions()
{
    // The library must not change while a creation or an opening reads it.
    const bool idle = !context_.isBusy();
    btloadallsel_->setEnabled(idle);
    btloadall_->setEnabled(idle);
}

void LoadImageFilesWindow::updateFileCount() { lbfc_->setText(QString::number(list1_->count())); }

void LoadImageFilesWindow::listFolder(bool recursive)
{
    std::vector<std::string> files;
    listPictureFiles(tree1_->selectedFolder(), files, recursive);
    const QSignalBlocker quiet(list1_);
    list1_->clear();
    files_ = std::move(files);
    for (const std::string& path : files_)
        list1_->addPath(path);
    updateFileCount();
}

void LoadImageFilesWindow::tree1Change()
{
    context_.guarded([this] {
        // Another folder lists its own files once each, whatever the box said.
        cblistall_->setChecked(false);
        listFolder(false);
    });
}

void LoadImageFilesWindow::cblistallClick()
{
    context_.guarded([this] { listFolder(cblistall_->isChecked()); });
}

void LoadImageFilesWindow::list1Click()
{
    const int row = list1_->highlightedRow();
    if (row < 0 || static_cast<std::size_t>(row) >= files_.size())
        return;
    context_.guarded([this, row] {
        // Loaded aside first: a file that fails leaves the preview as it was.
        Picture loaded;
        loadPicture(loaded, files_[static_cast<std::size_t>(row)]);
        fitIntoBox(loaded, Image1_->picture(), Image1_->width(), Image1_->height());
        Image1_->pictureChanged();
    });
}

void LoadImageFilesWindow::setAllTicks(bool ticked)
{
    for (int i = 0; i < list1_->count(); ++i)
        list1_->item(i)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

void LoadImageFilesWindow::Button2Click() { setAllTicks(true); }

void LoadImageFilesWindow::Button3Click() { setAllTicks(false); }

void LoadImageFilesWindow::Button7Click()
{
    for (int i = 0; i < list1_->count(); ++i) {
        QListWidgetItem* item = list1_->item(i);
        item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
}

void LoadImageFilesWindow::Button6Click()
{
    const QSignalBlocker quiet(list1_);
    list1_->clear();
    files_.clear();
    updateFileCount();
}

void LoadImageFilesWindow::appendToLibrary(const std::vector<std::string>& paths, std::size_t limit,
                                           const std::string& message)
{
    if (context_.isBusy())
        return;
    context_.guarded([&] { manager_.appendPaths(paths, limit, message); });
    // The window closes also when nothing was added or the limit stopped it.
    hide();
}

void LoadImageFilesWindow::btloadallselClick()
{
    std::vector<std::string> ticked;
    for (int i = 0; i < list1_->count(); ++i)
        if (list1_->item(i)->checkState() == Qt::Checked)
            ticked.push_back(files_[static_cast<std::size_t>(i)]);
    appendToLibrary(ticked, kSelectedFilesLimit, kSelectedFilesLimitMessage);
}

void LoadImageFilesWindow::btloadallClick()
{
    appendToLibrary(files_, kLoadAllLimit, kLoadAllLimitMessage);
}

} // namespace tw

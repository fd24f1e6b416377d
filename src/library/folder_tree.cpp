#include "library/folder_tree.h"

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/platform.h"

#include <QDir>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QMouseEvent>
#include <QStyle>

#include <algorithm>

namespace tw {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kFilledRole = Qt::UserRole + 1;

} // namespace

FolderTree::FolderTree(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    // Deep folders stay readable in the narrow tree.
    setIndentation(12);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);

    // The chosen folder stays marked while the user works in the list.
    QPalette marked = palette();
    marked.setColor(QPalette::Inactive, QPalette::Highlight, marked.color(QPalette::Active, QPalette::Highlight));
    marked.setColor(QPalette::Inactive, QPalette::HighlightedText,
                    marked.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(marked);

    QFileIconProvider icons;
    QTreeWidgetItem* home = addFolder(nullptr, QStringLiteral("Home"), toCoreText(QDir::homePath()),
                                      style()->standardIcon(QStyle::SP_DirHomeIcon));
    addFolder(nullptr, QStringLiteral("File System"), "/", icons.icon(QFileIconProvider::Drive));

    connect(this, &QTreeWidget::itemExpanded, this, &FolderTree::fillChildren);
    // A folder is chosen by a click or a key; the tree's own choice of a
    // current item when it takes the focus chooses nothing.
    connect(this, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (!selectedItems().isEmpty())
            Q_EMIT folderChanged();
    });
    home->setExpanded(true);
}

std::string FolderTree::pathOf(const QTreeWidgetItem* item)
{
    if (!item)
        return {};
    const QByteArray bytes = item->data(0, kPathRole).toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string FolderTree::selectedFolder() const
{
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? std::string() : pathOf(selected.first());
}

QTreeWidgetItem* FolderTree::addFolder(QTreeWidgetItem* parent, const QString& caption, const std::string& path,
                                       const QIcon& icon)
{
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, caption);
    item->setToolTip(0, fromCoreText(path));
    item->setIcon(0, icon);
    item->setData(0, kPathRole, QByteArray(path.data(), static_cast<qsizetype>(path.size())));
    // Whether a folder has subfolders is only known once it is read.
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

void FolderTree::fillChildren(QTreeWidgetItem* item)
{
    if (item->data(0, kFilledRole).toBool())
        return;
    item->setData(0, kFilledRole, true);
    const std::string folder = pathOf(item);
    std::vector<std::string> names;
    try {
        for (const DirEntry& e : listDirectory(folder))
            if (e.isDirectory && !e.isHidden)
                names.push_back(e.name);
    } catch (const Error&) {
        // A folder that cannot be read shows no subfolders.
    }
    std::vector<std::pair<QString, std::string>> shown;
    shown.reserve(names.size());
    for (const std::string& name : names)
        shown.emplace_back(fromCoreText(name), name);
    std::sort(shown.begin(), shown.end(), [](const auto& a, const auto& b) {
        const int c = a.first.compare(b.first, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.second < b.second;
    });
    const QIcon folderIcon = QFileIconProvider().icon(QFileIconProvider::Folder);
    for (const auto& [caption, name] : shown)
        addFolder(item, caption, joinPath(folder, name), folderIcon);
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void FolderTree::mousePressEvent(QMouseEvent* event)
{
    // A right click selects the folder under the pointer, as a left one does.
    if (event->button() == Qt::RightButton) {
        if (QTreeWidgetItem* item = itemAt(event->position().toPoint()))
            setCurrentItem(item);
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

} // namespace tw

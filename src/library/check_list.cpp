#include "library/check_list.h"

#include "platform/platform.h"

#include <QMouseEvent>

namespace tw {

CheckList::CheckList(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
}

void CheckList::addPath(const std::string& path)
{
    auto* item = new QListWidgetItem(fromCoreText(path), this);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
}

int CheckList::highlightedRow() const
{
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.first());
}

void CheckList::mousePressEvent(QMouseEvent* event)
{
    // The view leaves the selection alone when the press lands on a tick box.
    if (event->button() == Qt::LeftButton)
        if (QListWidgetItem* item = itemAt(event->position().toPoint()); item && !item->isSelected())
            setCurrentItem(item);
    QListWidget::mousePressEvent(event);
}

} // namespace tw

#pragma once
// The folder tree of the Load Image Files window: folders only, under two
// roots a Linux user knows, the home folder and the file-system root. A
// folder's subfolders are read once, when it is first opened; the tree does
// not follow later changes on disk by itself. Hidden folders are left out,
// as file managers do.
#include <QTreeWidget>

#include <string>

namespace tw {

class FolderTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit FolderTree(QWidget* parent = nullptr);

    // The path of the selected folder (file-system text); empty when
    // nothing is selected.
    std::string selectedFolder() const;
    static std::string pathOf(const QTreeWidgetItem* item);

Q_SIGNALS:
    // Another folder became the selected one.
    void folderChanged();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QTreeWidgetItem* addFolder(QTreeWidgetItem* parent, const QString& caption, const std::string& path,
                               const QIcon& icon);
    void fillChildren(QTreeWidgetItem* item);
};

} // namespace tw

#pragma once
// The library windows as a user reaches them: Image Lib opens the manager,
// "Add Picture" the Load Image Files window; folders are chosen in the tree
// and rows clicked with the mouse.
#include "gui/gui_fixture.h"

#include "imaging/jpeg.h"

#include <QCheckBox>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>

#include <fstream>

namespace tw::test {

class LibraryWindowsTest : public GuiTest {
protected:
    LibManagerWindow& manager() { return windows_->libraryManager(); }
    LoadImageFilesWindow& loader() { return windows_->loadImageFiles(); }

    void openManager()
    {
        QMenuBar* bar = main().menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(action("ImageLib1")).center());
        ASSERT_TRUE(manager().isVisible());
    }
    void openLoader()
    {
        if (!manager().isVisible())
            openManager();
        clickButton(manager(), "Button1");
        ASSERT_TRUE(loader().isVisible());
    }

    void clickButton(QWidget& window, const char* name)
    {
        QPushButton* b = child<QPushButton>(window, name);
        ASSERT_NE(b, nullptr);
        QTest::mouseClick(b, Qt::LeftButton);
    }
    QListWidget* managerList() { return child<QListWidget>(manager(), "CellPicList"); }
    QListWidget* loaderList() { return child<QListWidget>(loader(), "list1"); }
    QString managerCount() { return child<QLabel>(manager(), "lfcount")->text(); }
    QString loaderCount() { return child<QLabel>(loader(), "lbfc")->text(); }
    const Picture& shown(QWidget& window, const char* name) { return child<PictureBox>(window, name)->picture(); }

    static void clickRow(QListWidget* list, int row)
    {
        QListWidgetItem* item = list->item(row);
        ASSERT_NE(item, nullptr) << "no row " << row;
        list->scrollToItem(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    }
    // A click on the row's tick box, at its left end.
    static void clickTick(QListWidget* list, int row)
    {
        QListWidgetItem* item = list->item(row);
        ASSERT_NE(item, nullptr) << "no row " << row;
        list->scrollToItem(item);
        const QRect r = list->visualItemRect(item);
        const Qt::CheckState before = item->checkState();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(r.left() + r.height() / 2, r.center().y()));
        ASSERT_NE(item->checkState(), before) << "the click missed the tick box of row " << row;
    }
    // A click on a check box's indicator.
    static void clickBox(QCheckBox* box)
    {
        const bool before = box->isChecked();
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
        ASSERT_NE(box->isChecked(), before) << "the click missed " << box->objectName().toStdString();
    }
    static std::vector<int> tickedRows(QListWidget* list)
    {
        std::vector<int> rows;
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->checkState() == Qt::Checked)
                rows.push_back(i);
        return rows;
    }
    static int highlighted(QListWidget* list)
    {
        const auto selected = list->selectedItems();
        return selected.isEmpty() ? -1 : list->row(selected.first());
    }

    static void clickTreeItem(QTreeWidget* tree, QTreeWidgetItem* item, Qt::MouseButton button = Qt::LeftButton)
    {
        tree->scrollToItem(item);
        const QRect r = tree->visualItemRect(item);
        const int x = std::min(r.left() + 4, tree->viewport()->width() - 1);
        QTest::mouseClick(tree->viewport(), button, {}, QPoint(x, r.center().y()));
    }
    // Chooses a folder in the tree as a user does: from "File System",
    // clicking each folder on the way and opening it with the Right key.
    void chooseFolder(const std::filesystem::path& folder)
    {
        auto* tree = child<QTreeWidget>(loader(), "tree1");
        ASSERT_NE(tree, nullptr);
        QTreeWidgetItem* item = nullptr;
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            if (tree->topLevelItem(i)->text(0) == QLatin1String("File System"))
                item = tree->topLevelItem(i);
        ASSERT_NE(item, nullptr);
        for (const auto& part : std::filesystem::absolute(folder).relative_path()) {
            clickTreeItem(tree, item);
            QTest::keyClick(tree, Qt::Key_Right);
            QTreeWidgetItem* next = nullptr;
            for (int i = 0; i < item->childCount(); ++i)
                if (item->child(i)->text(0) == QString::fromStdString(part.string()))
                    next = item->child(i);
            ASSERT_NE(next, nullptr) << "no folder " << part << " in the tree";
            item = next;
        }
        clickTreeItem(tree, item);
        ASSERT_EQ(tree->selectedItems().value(0), item);
    }

    // A folder of the given picture files (16 x 12 pictures, one colour
    // each, by extension as BMP or JPEG; other names get text, and so does
    // a name ending in "!", which is dropped: "x.jpg!" is a text x.jpg).
    std::filesystem::path pictureFolder(const std::string& name, const std::vector<std::string>& files)
    {
        const std::filesystem::path folder = dir_ / name;
        std::uint8_t shade = 20;
        for (const std::string& file : files) {
            const bool text = !file.empty() && file.back() == '!';
            const std::filesystem::path p = folder / (text ? file.substr(0, file.size() - 1) : file);
            std::filesystem::create_directories(p.parent_path());
            const std::string ext = text ? std::string() : extensionPart(file);
            const Picture picture = solidPicture(16, 12, Bgr{shade, static_cast<std::uint8_t>(255 - shade), 90});
            shade = static_cast<std::uint8_t>(shade + 37);
            if (ext == "bmp" || ext == "BMP")
                saveBmp(picture, p.string());
            else if (ext == "jpg" || ext == "JPG")
                saveJpeg(picture, p.string());
            else
                std::ofstream(p) << "not a picture";
        }
        return folder;
    }

    // Replaces the library through "Load Image List".
    void loadList(const std::vector<std::string>& entries)
    {
        const std::string file = path("list-" + std::to_string(++lists_) + ".IL2");
        writeFileAtomic(file, encodeListText(entries));
        platform_.answerFile(QString::fromStdString(file));
        clickButton(manager(), "ldilist");
    }

    int lists_ = 0;
};

} // namespace tw::test

#pragma once
// TForm5 "Load Image Files": a folder tree, the folder's JPEG and BMP files
// in a check list with a preview, and the two commands that append the
// ticked or all listed files to the library. Modeless, created once; its
// folder, list and ticks stay while it is hidden.
#include <QWidget>

#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QSplitter;

namespace tw {

class AppContext;
class CheckList;
class FolderTree;
class LibManagerWindow;
class PictureBox;

class LoadImageFilesWindow : public QWidget {
    Q_OBJECT
public:
    // Appends go to the library through the manager, whose list and count
    // follow.
    LoadImageFilesWindow(AppContext& context, LibManagerWindow& manager, QWidget* parent = nullptr);

    // The listed files in list order, as file-system text.
    const std::vector<std::string>& listedFiles() const { return files_; }

private Q_SLOTS:
    void tree1Change();
    void list1Click();
    void cblistallClick();
    void Button2Click();
    void Button3Click();
    void Button6Click();
    void Button7Click();
    void btloadallselClick();
    void btloadallClick();
    void updateActions();

private:
    void createControls();
    void layOutControls();
    // list1 := the selected folder's picture files (with subfolders when
    // recursive); lbfc follows.
    void listFolder(bool recursive);
    void setAllTicks(bool ticked);
    void updateFileCount();
    void appendToLibrary(const std::vector<std::string>& paths, std::size_t limit, const std::string& message);

    AppContext& context_;
    LibManagerWindow& manager_;
    std::vector<std::string> files_;  // list1's paths, row by row

    QSplitter* Splitter1_ = nullptr;
    FolderTree* tree1_ = nullptr;
    QWidget* rightPanel_ = nullptr;
    CheckList* list1_ = nullptr;
    QWidget* bottomPanel_ = nullptr;
    QLabel* previewLabel_ = nullptr;
    PictureBox* Image1_ = nullptr;
    QLabel* countLabel_ = nullptr;
    QLabel* lbfc_ = nullptr;
    QCheckBox* cblistall_ = nullptr;
    QPushButton* Button2_ = nullptr;
    QPushButton* Button3_ = nullptr;
    QPushButton* Button6_ = nullptr;
    QPushButton* Button7_ = nullptr;
    QPushButton* btloadallsel_ = nullptr;
    QPushButton* btloadall_ = nullptr;
};

} // namespace tw

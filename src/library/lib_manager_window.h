#pragma once
// TForm4 "Cell Image Lib Manager": the library list with its count, a
// preview of the selected photograph (with its level picture and quadrant
// colours on request) and every command on the list: add, delete, load and
// save image lists, the default list, and the check for pictures that
// cannot be read. Modeless, created once and kept for the whole run.
//
// The list shown mirrors the library of the run row by row; the library
// itself is the one the engine reads. The ticks beside the entries mean
// nothing to the program.
#include <QWidget>

#include <cstddef>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;

namespace tw {

class AppContext;
class CheckList;
class PictureBox;

class LibManagerWindow : public QWidget {
    Q_OBJECT
public:
    explicit LibManagerWindow(AppContext& context, QWidget* parent = nullptr);

    // The window "Add Picture" shows; set once at program start.
    void setLoadImageFilesWindow(QWidget* window) { loadImageFiles_ = window; }

    // Appends paths to the library until it holds limit entries (then shows
    // message with caption "Caution" and stops); the list and the count
    // follow. Returns how many were appended.
    std::size_t appendPaths(const std::vector<std::string>& paths, std::size_t limit, const std::string& message);

    // Loads a picture file and shows it in the overview; with info also its
    // level picture and its four quadrant colours. A file that fails leaves
    // every preview as it was.
    void showLibraryPicture(const std::string& path, bool withInfo);

public Q_SLOTS:
    // The library was replaced from outside: the list shows it anew.
    void reloadList();

private Q_SLOTS:
    void CellPicListClick();
    void Button1Click();
    void btdelClick();
    void Button7Click();
    void ldilistClick();
    void btsilistClick();
    void Button4Click();
    void Button2Click();
    void Button3Click();
    void updateActions();

private:
    void createControls();
    void layOutControls();
    void updateFileCount();
    void appendRows(std::size_t from);
    // Highlights a row (or none for -1) without previewing it.
    void highlight(int row);
    bool listMatchesLibrary() const;

    AppContext& context_;
    QWidget* loadImageFiles_ = nullptr;
    bool checking_ = false;  // "Check Bad Pic" is running

    QLabel* countCaption_ = nullptr;
    QLabel* lfcount_ = nullptr;
    CheckList* CellPicList_ = nullptr;
    QWidget* rightPanel_ = nullptr;
    QLabel* overviewLabel_ = nullptr;
    PictureBox* cellpicov_ = nullptr;
    QCheckBox* cbcellpicinfo_ = nullptr;
    QLabel* levelLabel_ = nullptr;
    PictureBox* cellpiclevel_ = nullptr;
    QLabel* colorLabel_ = nullptr;
    PictureBox* cellpic41_ = nullptr;
    QPushButton* Button1_ = nullptr;
    QPushButton* btdel_ = nullptr;
    QPushButton* Button7_ = nullptr;
    QPushButton* ldilist_ = nullptr;
    QPushButton* btsilist_ = nullptr;
    QPushButton* Button4_ = nullptr;
    QPushButton* Button2_ = nullptr;
    QPushButton* Button3_ = nullptr;
};

} // namespace tw

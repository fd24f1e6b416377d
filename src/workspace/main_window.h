#pragma once
// TForm1, the main window: toolbar, menus, job label and gauge, the mosaic
// view (img1 in workpanel) with its Hand and Change Cell tools, and the
// commands that open and save projects and pictures.
#include "engine/project.h"
#include "imaging/picture.h"

#include <QMainWindow>

#include <functional>
#include <string>

class QAction;
class QButtonGroup;
class QFrame;
class QLabel;
class QProgressBar;
class QToolButton;

namespace tw {

class AppContext;
class AboutWindow;
class ProgressObserver;
class OverviewWindow;
class PictureBox;
class UsageWindow;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(AppContext& context, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The windows this one shows; set once at program start.
    void setOverviewWindow(OverviewWindow* window) { overview_ = window; }
    void setUsageWindow(UsageWindow* window) { usage_ = window; }
    void setAboutWindow(AboutWindow* window) { about_ = window; }

    // The commands that show windows of other subsystems (New Project,
    // Print, Image Lib). The program hands them in at start; a command
    // without one stays disabled.
    void setNewProjectCommand(std::function<void()> command);
    void setPrintCommand(std::function<void()> command);
    void setImageLibCommand(std::function<void()> command);

    // What a caller hands into the project just before a creation (the
    // wizard: its settings record, main picture and path).
    using CreationInput = std::function<void(MosaicProject&)>;

    // Runs a creation from the settings in the project (after input, when
    // given, has put its own in), then shows the mosaic's top-left corner
    // and the OverView window. Errors are shown in a message box; a creation
    // that fails leaves the project (what input handed in included), the
    // view, the job label and the gauge as they were. Returns whether the
    // creation finished; refuses (false) while another creation or a project
    // opening runs. The new project has no file name and no unsaved changes.
    bool startCreation(const CreationInput& input = {});

    // Redraws the view from MosaicImage at the current offsets, rewrites
    // Label1 and keeps a visible OverView window in step.
    void repaintView();

    // Whether the project has changes that were not saved (cell edits).
    bool isModified() const { return modified_; }

Q_SIGNALS:
    // The first showing has started the engine and read the default library.
    void engineStarted();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private Q_SLOTS:
    void sbnewprjClick();
    void sbprintClick();
    void ImageLib1Click();
    void sbopprjClick();
    void sbsvprjClick();
    void sbsvpicClick();
    void sbhand1Click();
    void SBstatClick();
    void sboverviewClick();
    void sbhelpClick();
    void sbzoominClick();
    void sbzoomoutClick();
    void OpenPicture1Click();
    void Exit1Click();
    void About2Click();
    void TilewrightHomePage1Click();
    void TilewrightSupportForum1Click();
    void CheckUpdate1Click();
    void img1MouseDown(int x, int y);
    void img1MouseUp(int x, int y);
    // Enables every command from the state: while a creation or an opening
    // runs, nothing that reads or changes the mosaic, the grid, the table,
    // the library or the settings can start.
    void updateActions();

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createWorkArea();
    void createStatusLine();
    QToolButton* addToolButton(const char* name, const QString& caption, const QIcon& icon);

    void FormCreate();
    void FormShow();
    void FormResize();
    void FormClose();

    // The end of a creation or a project opening: top-left corner shown,
    // OverView shown and brought to the front when it was hidden.
    void showFinishedMosaic();
    void showOverviewIfHidden();
    void openUrl(const QString& address);

    // Runs a creation's or an opening's stages with the busy state, the job
    // label and the gauge; when they fail, label and gauge show again what
    // they showed before and the error goes on to the caller.
    void runJob(const std::function<void(ProgressObserver&)>& stages);

    // The view after its offsets changed (Hand drag, wheel, keys): the
    // visible part, Label1 and the OverView's frame.
    void scrollView();
    // Draws the visible part of the mosaic and the scale line; false when
    // there is no mosaic to draw.
    bool redrawViewPicture();
    void scrollViewBy(int dx, int dy);
    bool viewKeyPress(int key);

    // The unsaved-changes question before Exit, Load and New. Returns whether
    // the command may go on (saved, or the changes discarded).
    bool maybeSave();
    // Save with the file dialog; returns whether the project was written.
    bool saveProject();
    void setModified(bool modified);
    void updateTitle();
    // The project's name as the title and the question show it.
    QString projectName() const;

    AppContext& context_;
    OverviewWindow* overview_ = nullptr;
    UsageWindow* usage_ = nullptr;
    AboutWindow* about_ = nullptr;
    bool shownOnce_ = false;
    std::function<void()> newProjectCommand_;
    std::function<void()> printCommand_;
    std::function<void()> imageLibCommand_;

    // The picture of img1: the visible part of MosaicImage.
    PictureBox* img1_ = nullptr;

    // Save Picture keeps the last name and filter between uses.
    QString lastPictureName_;
    int lastPictureFilter_ = 0;

    // The project file last opened or saved (empty: not saved yet), whether
    // a created or opened project exists, and unsaved cell edits.
    QString projectPath_;
    bool haveProject_ = false;
    bool modified_ = false;
    // The record the shown mosaic was made with. The wizard writes its
    // options into the project before a creation starts; when that
    // creation fails, the shown mosaic gets its own record back.
    tmosaicproject shownSettings_;
    std::string shownMainImagePath_;
    // A Hand drag in progress: the view follows the pointer.
    bool dragging_ = false;

    QFrame* Panel1_ = nullptr;
    QFrame* workpanel_ = nullptr;
    QFrame* Panel2_ = nullptr;
    QLabel* LBJOB_ = nullptr;
    QProgressBar* TWprogress_ = nullptr;
    QLabel* Label1_ = nullptr;

    QToolButton* sbnewprj_ = nullptr;
    QToolButton* sbopprj_ = nullptr;
    QToolButton* sbsvprj_ = nullptr;
    QToolButton* sbsvpic_ = nullptr;
    QToolButton* sbprint_ = nullptr;
    QToolButton* sbhand1_ = nullptr;
    QToolButton* sbhand2_ = nullptr;
    QToolButton* sbhand3_ = nullptr;
    QToolButton* SpeedButton9_ = nullptr;
    QToolButton* SBstat_ = nullptr;
    QToolButton* sboverview_ = nullptr;
    QToolButton* sbhelp_ = nullptr;
    QToolButton* sbzoomin_ = nullptr;
    QToolButton* sbzoomout_ = nullptr;
    QButtonGroup* toolGroup_ = nullptr;

    QAction* NewProject1_ = nullptr;
    QAction* OpenPicture1_ = nullptr;
    QAction* LoadProject1_ = nullptr;
    QAction* SavePicture1_ = nullptr;
    QAction* SaveProject1_ = nullptr;
    QAction* Print1_ = nullptr;
    QAction* Exit1_ = nullptr;
    QAction* OverView1_ = nullptr;
    QAction* CellStats1_ = nullptr;
    QAction* ImageLib1_ = nullptr;
    QAction* TilewrightHelp1_ = nullptr;
    QAction* TilewrightHomePage1_ = nullptr;
    QAction* TilewrightSupportForum1_ = nullptr;
    QAction* CheckUpdate1_ = nullptr;
    QAction* About2_ = nullptr;
};

} // namespace tw

#pragma once
// TForm1, the main window: toolbar, menus, job label and gauge, the mosaic
// view (img1 in workpanel) with its Hand and Change Cell tools, and the
// commands that open and save projects and pictures.
#include "imaging/picture.h"

#include <QMainWindow>

#include <functional>

class QAction;
class QButtonGroup;
class QFrame;
class QLabel;
class QProgressBar;
class QToolButton;

namespace tw {

class AppContext;
class AboutWindow;
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

    // Runs a creation from the settings already in the project, then shows
    // the mosaic's top-left corner and the OverView window. Errors are shown
    // in a message box. Returns whether the creation finished; refuses (false)
    // while another creation or a project opening runs.
    bool startCreation();

    // Redraws the view from MosaicImage at the current offsets, rewrites
    // Label1 and keeps a visible OverView window in step.
    void repaintView();

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

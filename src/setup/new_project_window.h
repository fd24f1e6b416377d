#pragma once
// TForm2 "New Project": the wizard that loads the main picture, sizes the
// mosaic, sets the options, shows the project brief and starts a creation.
// Modeless and always on top; created once and only shown and hidden, so
// every setting stays between showings.
//
// The pages compute into the wizard's own project, which the pattern preview
// reads too; "Create Photo Mosaic" copies its settings and main picture into
// the run's project just before the creation. A mosaic on screen therefore
// keeps the settings it was made with (for Change Cell, saving and the usage
// lists) while the user prepares the next one.
#include <QColor>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QAbstractButton;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;

namespace tw {

class AppContext;
class PatternPreviewWindow;
class PictureBox;
class SpinEdit;
struct MosaicProject;
struct SizeFields;
struct SizeTexts;
struct WizardOptions;

class NewProjectWindow : public QWidget {
    Q_OBJECT
public:
    explicit NewProjectWindow(AppContext& context, QWidget* parent = nullptr);
    ~NewProjectWindow() override;

    const MosaicProject& wizardProject() const { return *draft_; }

    // The program hands these in at start.
    void setPatternPreview(PatternPreviewWindow* window) { patternPreview_ = window; }
    // Runs a creation and shows it, after the function it is given has put
    // the wizard's settings and main picture into the run's project; a
    // creation that fails gives the project back as it was. Returns whether
    // the creation finished.
    using CreationCommand = std::function<bool(const std::function<void(MosaicProject&)>&)>;
    void setCreationCommand(CreationCommand command) { creationCommand_ = std::move(command); }
    // The folder the picture dialog opens in until a picture was chosen.
    void setPictureFolder(const QString& folder) { pictureFolder_ = folder; }
    const QString& pictureFolder() const { return pictureFolder_; }

    // The New command: shows the wizard in front on its first page.
    void showFirstPage();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private Q_SLOTS:
    void btloadtwmainClick();
    void btslrgbClick();
    void cbmonomainClick();
    void breloadtwmainClick();
    void eddpiChange();
    void Button2Click();
    void btObjOptcgClick();
    void PageControl1Change();
    void imgcolorClick();
    void Button4Click();
    void SpeedButton1Click();
    void updateActions();

private:
    QWidget* createMainImagePage();
    QWidget* createSizePage();
    QWidget* createOptionsPage();
    QWidget* createOutputPage();
    void connectHandlers();
    void fitToContents();

    SizeFields sizeFields() const;
    WizardOptions wizardOptions() const;
    void computeMosaicSize();
    void copyWizardOptions();
    void showSizeTexts(const SizeTexts& texts);
    void fitMainImage();
    void drawLevel();
    void copyIntoRunProject(MosaicProject& project) const;

    AppContext& context_;
    std::unique_ptr<MosaicProject> draft_;
    PatternPreviewWindow* patternPreview_ = nullptr;
    CreationCommand creationCommand_;
    QString pictureFolder_;
    // The colour dialog's colour (color1): black at start, kept for the run.
    QColor borderColor_ = Qt::black;
    bool copying_ = false;
    bool selectingPage_ = false;

    QTabWidget* PageControl1_ = nullptr;

    // Main Image
    QFrame* Panel1_ = nullptr;
    QLabel* panelCaption_ = nullptr;
    PictureBox* f2img1_ = nullptr;
    QGroupBox* GroupBox1_ = nullptr;
    QLabel* lbmainname_ = nullptr;
    QLabel* lbmainsize_ = nullptr;
    QLabel* lbaspect1_ = nullptr;
    QRadioButton* btslrgb_ = nullptr;
    QRadioButton* btslr_ = nullptr;
    QRadioButton* btslg_ = nullptr;
    QRadioButton* btslb_ = nullptr;
    PictureBox* Image1_ = nullptr;
    QCheckBox* cbmonomain_ = nullptr;
    QPushButton* breloadtwmain_ = nullptr;
    QPushButton* btloadtwmain_ = nullptr;

    // Mosaic Size
    SpinEdit* eddpi_ = nullptr;
    SpinEdit* edhcc_ = nullptr;
    SpinEdit* edvcc_ = nullptr;
    SpinEdit* edcw_ = nullptr;
    SpinEdit* edch_ = nullptr;
    QLabel* LBMWP_ = nullptr;
    QLabel* lbmwi_ = nullptr;
    QLabel* lbmwm_ = nullptr;
    QLabel* LBMHP_ = nullptr;
    QLabel* lbmhi_ = nullptr;
    QLabel* lbmhm_ = nullptr;
    QLabel* lbaspect_ = nullptr;
    QLabel* lbaspect2_ = nullptr;
    QLabel* LBMBphy_ = nullptr;
    QLabel* LBMBneed_ = nullptr;
    QCheckBox* cbcropmain_ = nullptr;
    QPushButton* Button2_ = nullptr;

    // Project Options
    QRadioButton* rbrm1_ = nullptr;
    QRadioButton* rbrm2_ = nullptr;
    QRadioButton* rss1_ = nullptr;
    QRadioButton* rss2_ = nullptr;
    QRadioButton* rss3_ = nullptr;
    QCheckBox* cbuseall_ = nullptr;
    SpinEdit* seradius_ = nullptr;
    QCheckBox* cbrptlimit_ = nullptr;
    SpinEdit* serepeattime_ = nullptr;
    QSlider* tbrandom_ = nullptr;
    QSlider* tbenhance_ = nullptr;
    QCheckBox* cbmonocell_ = nullptr;
    QCheckBox* cbcropcell_ = nullptr;
    QCheckBox* cbhf_ = nullptr;
    QCheckBox* cbvf_ = nullptr;
    SpinEdit* ebs_ = nullptr;
    QAbstractButton* imgcolor_ = nullptr;

    // Final Check & Output
    QPlainTextEdit* Memo1_ = nullptr;
    QPushButton* Button4_ = nullptr;
    QPushButton* SpeedButton1_ = nullptr;
};

} // namespace tw

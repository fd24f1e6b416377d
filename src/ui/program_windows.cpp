#include "ui/program_windows.h"

#include "library/cell_pic_lib.h"
#include "platform/platform.h"
#include "platform/qt_settings.h"
#include "ui/app_context.h"

#include <QApplication>
#include <QEvent>

namespace tw {

namespace {

// Windows whose place is worth keeping: named, ordinary top-level windows
// (menus, tooltips and the like are popups and pass by).
bool isProgramWindow(const QWidget& w)
{
    const Qt::WindowType type = w.windowType();
    return !w.objectName().isEmpty() && (type == Qt::Window || type == Qt::Dialog || type == Qt::Tool);
}

const QString kIndicatorColorKey = QStringLiteral("overview/indicatorColor");

} // namespace

WindowPlaces::WindowPlaces()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        earlier_.insert(w);
}

QString WindowPlaces::settingsKey(const QString& objectName)
{
    return QStringLiteral("windows/") + objectName + QStringLiteral("/geometry");
}

void WindowPlaces::adopt()
{
    ProgramSettings settings;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (earlier_.contains(w) || !isProgramWindow(*w))
            continue;
        earlier_.insert(w);
        windows_.emplace_back(w);
        const QByteArray geometry = settings.value(settingsKey(w->objectName())).toByteArray();
        // restoreGeometry keeps the window on a screen that exists now.
        if (!geometry.isEmpty())
            w->restoreGeometry(geometry);
        w->installEventFilter(this);
    }
}

void WindowPlaces::save(QWidget& window)
{
    ProgramSettings().setValue(settingsKey(window.objectName()), window.saveGeometry());
}

void WindowPlaces::saveShown()
{
    for (const QPointer<QWidget>& w : windows_)
        if (w && w->isVisible())
            save(*w);
}

bool WindowPlaces::eventFilter(QObject* watched, QEvent* event)
{
    // Hiding covers closing too; a window never shown keeps what it had.
    if (event->type() == QEvent::Hide && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        if (w->isWindow())
            save(*w);
    }
    return QObject::eventFilter(watched, event);
}

ProgramWindows::ProgramWindows(AppContext& context)
    : main_(context), newProject_(context), patternPreview_(context, newProject_.wizardProject()),
      libManager_(context), loadImageFiles_(context, libManager_), overview_(context), print_(context),
      usage_(context)
{
    newProject_.setPatternPreview(&patternPreview_);
    newProject_.setCreationCommand(
        [this](const MainWindow::CreationInput& input) { return main_.startCreation(input); });
    main_.setNewProjectCommand([this] { newProject_.showFirstPage(); });
    // The wizard's picture dialog starts in the program's picture folder
    // once the program has started.
    QObject::connect(&main_, &MainWindow::engineStarted, &newProject_, [this] {
        newProject_.setPictureFolder(fromCoreText(defaultPictureFolder()));
    });
    libManager_.setLoadImageFilesWindow(&loadImageFiles_);
    main_.setImageLibCommand([this] {
        libManager_.show();
        libManager_.raise();
        libManager_.activateWindow();
    });
    main_.setPrintCommand([this] { print_.showWindow(); });
    // The default list read at the first showing replaces the library.
    QObject::connect(&main_, &MainWindow::engineStarted, &context, &AppContext::libraryChanged);
    main_.setOverviewWindow(&overview_);
    main_.setUsageWindow(&usage_);
    main_.setAboutWindow(&about_);
    context.platform().setDialogParent(&main_);

    const QVariant color = ProgramSettings().value(kIndicatorColorKey);
    if (color.isValid() && QColor::isValidColorName(color.toString()))
        overview_.setIndicatorColor(QColor::fromString(color.toString()));
    QObject::connect(&overview_, &OverviewWindow::indicatorColorChanged, &overview_, [](const QColor& c) {
        ProgramSettings().setValue(kIndicatorColorKey, c.name(QColor::HexRgb));
    });

    places_.adopt();
}

ProgramWindows::~ProgramWindows() { places_.saveShown(); }

} // namespace tw

#include "ui/program_windows.h"

#include "library/cell_pic_lib.h"
#include "platform/platform.h"
#include "ui/app_context.h"

namespace tw {

ProgramWindows::ProgramWindows(AppContext& context)
    : main_(context), newProject_(context), patternPreview_(context, newProject_.wizardProject()),
      libManager_(context), loadImageFiles_(context, libManager_), overview_(context), print_(context),
      usage_(context)
{
    newProject_.setPatternPreview(&patternPreview_);
    newProject_.setCreationCommand([this] { return main_.startCreation(); });
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
}

} // namespace tw

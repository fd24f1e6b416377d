#include "ui/program_windows.h"

#include "platform/platform.h"
#include "ui/app_context.h"

namespace tw {

ProgramWindows::ProgramWindows(AppContext& context)
    : main_(context), libManager_(context), loadImageFiles_(context, libManager_), overview_(context),
      usage_(context)
{
    libManager_.setLoadImageFilesWindow(&loadImageFiles_);
    main_.setImageLibCommand([this] {
        libManager_.show();
        libManager_.raise();
        libManager_.activateWindow();
    });
    // The default list read at the first showing replaces the library.
    QObject::connect(&main_, &MainWindow::engineStarted, &context, &AppContext::libraryChanged);
    main_.setOverviewWindow(&overview_);
    main_.setUsageWindow(&usage_);
    main_.setAboutWindow(&about_);
    context.platform().setDialogParent(&main_);
}

} // namespace tw

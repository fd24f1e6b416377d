#include "ui/program_windows.h"

#include "platform/platform.h"
#include "ui/app_context.h"

namespace tw {

ProgramWindows::ProgramWindows(AppContext& context) : main_(context), overview_(context), usage_(context)
{
    main_.setOverviewWindow(&overview_);
    main_.setUsageWindow(&usage_);
    main_.setAboutWindow(&about_);
    context.platform().setDialogParent(&main_);
}

} // namespace tw

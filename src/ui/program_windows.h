#pragma once
// Every window of the program, created once at start in a fixed order and
// kept until exit: they are only shown and hidden. The members are declared
// in creation order; windows of later subsystems take their place in it.
#include "library/lib_manager_window.h"
#include "library/load_image_files_window.h"
#include "setup/new_project_window.h"
#include "setup/pattern_preview_window.h"
#include "printing/print_window.h"
#include "workspace/about_window.h"
#include "workspace/main_window.h"
#include "workspace/overview_window.h"
#include "workspace/usage_window.h"

namespace tw {

class AppContext;

class ProgramWindows {
public:
    explicit ProgramWindows(AppContext& context);
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    MainWindow& main() { return main_; }
    NewProjectWindow& newProject() { return newProject_; }
    PatternPreviewWindow& patternPreview() { return patternPreview_; }
    LibManagerWindow& libraryManager() { return libManager_; }
    LoadImageFilesWindow& loadImageFiles() { return loadImageFiles_; }
    OverviewWindow& overview() { return overview_; }
    PrintWindow& print() { return print_; }
    UsageWindow& usage() { return usage_; }
    AboutWindow& about() { return about_; }

private:
    MainWindow main_;          // TForm1
    NewProjectWindow newProject_;          // TForm2
    PatternPreviewWindow patternPreview_;  // TForm3
    LibManagerWindow libManager_;          // TForm4
    LoadImageFilesWindow loadImageFiles_;  // TForm5
    OverviewWindow overview_;  // TForm6
    PrintWindow print_;        // TForm7
    UsageWindow usage_;        // TForm8
    AboutWindow about_;
};

} // namespace tw

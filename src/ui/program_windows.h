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

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QWidget>

#include <vector>

namespace tw {

class AppContext;

// Remembers where each top-level window of the program stood and how large
// it was, from one run to the next, keyed by its object name. Made before
// the windows, it tells them from windows that already existed; adopt()
// then takes every window created since, so a window added to the program
// is covered without further work.
class WindowPlaces : public QObject {
    Q_OBJECT
public:
    WindowPlaces();
    // Restores the remembered place of every window created since
    // construction and follows it from now on.
    void adopt();
    // Remembers the place of every followed window that is showing.
    void saveShown();

    static QString settingsKey(const QString& objectName);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void save(QWidget& window);

    QSet<QWidget*> earlier_;
    std::vector<QPointer<QWidget>> windows_;
};

class ProgramWindows {
public:
    explicit ProgramWindows(AppContext& context);
    ~ProgramWindows();
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
    WindowPlaces places_;      // first: it must exist before every window
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

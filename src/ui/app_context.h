#pragma once
// The one project, the one library and the desktop services, shared by all
// windows of a run. Windows receive it explicitly; nothing here is global.
//
// It also keeps the busy state: while a creation or a project opening runs,
// pending window messages are handled in the middle of it, and every command
// that would start another one or change the project must stay disabled.
// Windows follow busyChanged in their updateActions().
#include "engine/project.h"
#include "library/cell_pic_lib.h"

#include <QObject>

#include <functional>
#include <memory>

namespace tw {

class AnalysisStore;
class Platform;

class AppContext : public QObject {
    Q_OBJECT
public:
    explicit AppContext(Platform& platform, QObject* parent = nullptr);
    ~AppContext() override;

    MosaicProject& project() { return *project_; }
    CellPicLib& library() { return library_; }
    Platform& platform() { return platform_; }

    bool isBusy() const { return busyDepth_ > 0; }

    // The analysis cache the creations use, opened at the first call; null
    // when it cannot be used. Its warnings (a damaged cache made anew, a
    // folder that cannot be written) go to the standard error stream, not
    // to a message box: they come from the middle of a creation, which
    // goes on regardless, and ask nothing of the user.
    AnalysisStore* analysisStore();

    // Runs one handler. A tw::Error or any other exception that escapes it is
    // shown in a message box with caption "Error" (its text ending in a full
    // stop) and the program goes on. Returns whether the handler completed.
    bool guarded(const std::function<void()>& handler);

Q_SIGNALS:
    void busyChanged(bool busy);
    // The library list was replaced outside the library windows (the
    // default list read at start, a project opening): windows that show it
    // read it again.
    void libraryChanged();

private:
    friend class BusyScope;
    void enterBusy();
    void leaveBusy() noexcept;

    Platform& platform_;
    std::unique_ptr<MosaicProject> project_;
    CellPicLib library_;
    int busyDepth_ = 0;
    bool storeOpened_ = false;
    std::unique_ptr<AnalysisStore> store_;
};

// Marks the context busy for its lifetime, also when the work fails.
class BusyScope {
public:
    explicit BusyScope(AppContext& context) : context_(context) { context_.enterBusy(); }
    ~BusyScope() { context_.leaveBusy(); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    AppContext& context_;
};

} // namespace tw

// Program start: the application, its one project and library, every window
// once, then the event loop until the main window closes.
#include "platform/qt_platform.h"
#include "ui/app_context.h"
#include "workspace/product.h"
#include "ui/program_windows.h"

#include <QApplication>

#include <exception>

namespace {

// Last line of defence: an exception that escapes an event handler outside
// the windows' own guards is shown instead of ending the program.
class TilewrightApplication final : public QApplication {
public:
    TilewrightApplication(int& argc, char** argv, tw::AppContext*& context)
        : QApplication(argc, argv), context_(context)
    {
    }

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            if (!context_)
                throw;
            const std::exception_ptr error = std::current_exception();
            context_->guarded([error] { std::rethrow_exception(error); });
            return false;
        }
    }

private:
    tw::AppContext*& context_;
};

} // namespace

int main(int argc, char** argv)
{
    tw::AppContext* guard = nullptr;
    TilewrightApplication application(argc, argv, guard);
    QApplication::setApplicationName(tw::kApplicationTitle);
    QApplication::setApplicationVersion(tw::kProductVersion);

    tw::QtPlatform platform;
    tw::AppContext context(platform);
    guard = &context;
    tw::ProgramWindows windows(context);
    windows.main().show();
    const int result = QApplication::exec();
    guard = nullptr;
    return result;
}

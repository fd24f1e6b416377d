// Program start: the application, its one project and library, every window
// once, then the event loop until the main window closes.
#include "platform/qt_platform.h"
#include "ui/app_context.h"
#include "ui/app_icon.h"
#include "ui/close_on_signals.h"
#include "workspace/product.h"
#include "ui/program_windows.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <exception>
#include <string_view>

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

// Held back until the main window can close in answer, so a stop request
// that comes during start-up still ends the program cleanly.
sigset_t blockStopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int number : tw::CloseOnSignals::kSignals)
        sigaddset(&set, number);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &set, &previous);
    return previous;
}

// --version and --help answer before the windowing system is reached, so
// they work without a display too.
bool answeredOption(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version" || arg == "-v") {
            std::printf("tilewright %s\n", TILEWRIGHT_VERSION);
            return true;
        }
        if (arg == "--help" || arg == "-h") {
            std::printf("Usage: tilewright [--help] [--version] [Qt options]\n\n"
                        "Tilewright, the photomosaic creator.\n\n"
                        "  -h, --help     this text\n"
                        "  -v, --version  the program's version\n\n"
                        "Qt's own options (such as -platform offscreen) are accepted too.\n");
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (answeredOption(argc, argv))
        return 0;
    const sigset_t startMask = blockStopSignals();
    tw::AppContext* guard = nullptr;
    TilewrightApplication application(argc, argv, guard);
    QApplication::setApplicationName(tw::kApplicationTitle);
    QApplication::setApplicationVersion(tw::kProductVersion);
    QGuiApplication::setDesktopFileName(QStringLiteral("example.tilewright.Tilewright"));
    QApplication::setWindowIcon(tw::applicationIcon());

    tw::QtPlatform platform;
    tw::AppContext context(platform);
    guard = &context;
    tw::ProgramWindows windows(context);
    tw::CloseOnSignals closeOnSignals(windows.main());
    pthread_sigmask(SIG_SETMASK, &startMask, nullptr);
    windows.main().show();
    const int result = QApplication::exec();
    guard = nullptr;
    return result;
}

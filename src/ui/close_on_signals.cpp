#include "ui/close_on_signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace tw {

namespace {

// The write end of the one active object's pipe.
volatile sig_atomic_t signalPipe = -1;

extern "C" void onStopSignal(int number)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // Nothing to do when the pipe is full: a close is already pending.
    [[maybe_unused]] ssize_t n = ::write(signalPipe, &byte, 1);
    errno = saved;
}

} // namespace

CloseOnSignals::CloseOnSignals(QWidget& mainWindow) : window_(&mainWindow)
{
    if (signalPipe != -1)
        throw std::logic_error("CloseOnSignals is already active");
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot create the signal pipe");
    signalPipe = pipe_[1];
    notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &CloseOnSignals::signalArrived);

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &action, &previous_[i]);
}

CloseOnSignals::~CloseOnSignals()
{
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &previous_[i], nullptr);
    signalPipe = -1;
    delete notifier_;
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

void CloseOnSignals::signalArrived()
{
    unsigned char bytes[16];
    while (::read(pipe_[0], bytes, sizeof bytes) > 0) {
    }
    if (window_)
        window_->close();
}

} // namespace tw

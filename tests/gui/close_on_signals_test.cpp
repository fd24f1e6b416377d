// A stop request from the session closes the main window as the user would,
// and the previous signal handling comes back afterwards.
#include "ui/close_on_signals.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <csignal>

namespace tw {
namespace {

bool waitUntilHidden(QWidget& w)
{
    QElapsedTimer timer;
    timer.start();
    while (w.isVisible() && timer.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    return !w.isVisible();
}

TEST(CloseOnSignals, EachStopSignalClosesTheMainWindow)
{
    for (int number : CloseOnSignals::kSignals) {
        QWidget window;
        window.setAttribute(Qt::WA_QuitOnClose, false);
        window.show();
        CloseOnSignals closer(window);
        ASSERT_EQ(::raise(number), 0);
        EXPECT_TRUE(waitUntilHidden(window)) << "signal " << number << " left the window open";
    }
}

void recordingHandler(int) {}

TEST(CloseOnSignals, PreviousHandlersComeBack)
{
    struct sigaction mine {};
    mine.sa_handler = recordingHandler;
    sigemptyset(&mine.sa_mask);
    struct sigaction saved[std::size(CloseOnSignals::kSignals)] {};
    for (std::size_t i = 0; i < std::size(CloseOnSignals::kSignals); ++i)
        ::sigaction(CloseOnSignals::kSignals[i], &mine, &saved[i]);
    {
        QWidget window;
        CloseOnSignals closer(window);
        struct sigaction now {};
        ::sigaction(SIGTERM, nullptr, &now);
        EXPECT_NE(now.sa_handler, &recordingHandler);
    }
    for (std::size_t i = 0; i < std::size(CloseOnSignals::kSignals); ++i) {
        struct sigaction now {};
        ::sigaction(CloseOnSignals::kSignals[i], nullptr, &now);
        EXPECT_EQ(now.sa_handler, &recordingHandler) << "signal " << CloseOnSignals::kSignals[i];
        ::sigaction(CloseOnSignals::kSignals[i], &saved[i], nullptr);
    }
}

TEST(CloseOnSignals, OnlyOneMayBeActive)
{
    QWidget window;
    CloseOnSignals first(window);
    EXPECT_THROW(CloseOnSignals second(window), std::logic_error);
}

TEST(CloseOnSignals, AWindowAlreadyGoneIsNoProblem)
{
    auto* window = new QWidget;
    CloseOnSignals closer(*window);
    delete window;
    ASSERT_EQ(::raise(SIGTERM), 0);
    QApplication::processEvents(QEventLoop::AllEvents, 100);
    SUCCEED();
}

} // namespace
} // namespace tw

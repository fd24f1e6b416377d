#pragma once
// Ends the program as if the user had closed the main window when the
// session asks it to stop (SIGTERM at logout, SIGINT from a terminal, SIGHUP
// when the terminal goes), so what is saved on closing (window places) is
// saved then too. The handler only writes the signal to a pipe; the window
// is closed from the event loop.
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <csignal>

class QSocketNotifier;

namespace tw {

class CloseOnSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; only one object may exist at a time.
    explicit CloseOnSignals(QWidget& mainWindow);
    // Puts the previous handlers back.
    ~CloseOnSignals() override;
    CloseOnSignals(const CloseOnSignals&) = delete;
    CloseOnSignals& operator=(const CloseOnSignals&) = delete;

    static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

private:
    void signalArrived();

    QPointer<QWidget> window_;
    QSocketNotifier* notifier_ = nullptr;
    int pipe_[2] = {-1, -1};
    struct sigaction previous_[3] {};
};

} // namespace tw

#pragma once
// The about window: product name, version and release date; "OK" closes it.
#include <QDialog>

namespace tw {

class AboutWindow : public QDialog {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent = nullptr);
};

} // namespace tw

#pragma once
// The desktop's dialogs, message boxes and document opening through Qt.
#include "platform/platform.h"

#include <QPointer>

namespace tw {

class QtPlatform final : public Platform {
public:
    void setDialogParent(QWidget* parent) override;

    void showMessage(const std::string& text, const std::string& caption) override;
    Confirmation confirm(const std::string& text, const std::string& caption) override;

    std::optional<FileDialogResult> openFileDialog(QWidget* parent, const FileDialogRequest& request) override;
    std::optional<FileDialogResult> saveFileDialog(QWidget* parent, const FileDialogRequest& request) override;
    std::optional<QColor> colorDialog(QWidget* parent, const QColor& initial) override;

    void openWithDesktop(const QUrl& address) override;
    MemoryStatus memoryStatus() override;

private:
    std::optional<FileDialogResult> runFileDialog(QWidget* parent, const FileDialogRequest& request, bool save);
    QWidget* parentFor(QWidget* parent) const;

    QPointer<QWidget> dialogParent_;
};

} // namespace tw

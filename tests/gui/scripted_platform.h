#pragma once
// A platform whose dialogs answer from queues the test fills, and which
// records every message, dialog request and opened address. A dialog with no
// answer queued fails the test and answers "cancel", so nothing ever waits.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace tw::test {

class ScriptedPlatform final : public Platform {
public:
    struct Message {
        std::string text;
        std::string caption;
        bool withCancel = false;
    };
    struct DialogRecord {
        bool save = false;
        FileDialogRequest request;
    };

    // Answers, consumed front first. An empty optional is "Cancel".
    std::deque<std::optional<FileDialogResult>> fileAnswers;
    std::deque<std::optional<QColor>> colorAnswers;
    std::deque<Confirmation> confirmAnswers;
    MemoryStatus memory{512ull << 20, 256ull << 20};

    // What was shown.
    std::vector<Message> messages;
    std::vector<DialogRecord> dialogs;
    std::vector<QUrl> opened;
    QWidget* dialogParent = nullptr;

    void answerFile(const QString& path, int filterIndex = 0)
    {
        fileAnswers.push_back(FileDialogResult{path, filterIndex});
    }
    void answerCancel() { fileAnswers.push_back(std::nullopt); }

    void setDialogParent(QWidget* parent) override { dialogParent = parent; }

    void showMessage(const std::string& text, const std::string& caption) override
    {
        messages.push_back({text, caption, false});
    }
    Confirmation confirm(const std::string& text, const std::string& caption) override
    {
        messages.push_back({text, caption, true});
        if (confirmAnswers.empty()) {
            ADD_FAILURE() << "unexpected confirmation: " << text;
            return Confirmation::Cancel;
        }
        Confirmation answer = confirmAnswers.front();
        confirmAnswers.pop_front();
        return answer;
    }

    std::optional<FileDialogResult> openFileDialog(QWidget*, const FileDialogRequest& request) override
    {
        return fileDialog(false, request);
    }
    std::optional<FileDialogResult> saveFileDialog(QWidget*, const FileDialogRequest& request) override
    {
        return fileDialog(true, request);
    }
    std::optional<QColor> colorDialog(QWidget*, const QColor&) override
    {
        if (colorAnswers.empty()) {
            ADD_FAILURE() << "unexpected colour dialog";
            return std::nullopt;
        }
        auto answer = colorAnswers.front();
        colorAnswers.pop_front();
        return answer;
    }

    void openWithDesktop(const QUrl& address) override { opened.push_back(address); }
    MemoryStatus memoryStatus() override { return memory; }

private:
    std::optional<FileDialogResult> fileDialog(bool save, const FileDialogRequest& request)
    {
        dialogs.push_back({save, request});
        if (fileAnswers.empty()) {
            ADD_FAILURE() << "unexpected file dialog: " << request.title.toStdString();
            return std::nullopt;
        }
        auto answer = fileAnswers.front();
        fileAnswers.pop_front();
        if (answer)
            answer->path = withDefaultSuffix(answer->path, request.defaultSuffix);
        return answer;
    }
};

} // namespace tw::test

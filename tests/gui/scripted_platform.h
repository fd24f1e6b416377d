#pragma once
// A platform whose dialogs answer from queues the test fills, and which
// records every message, dialog request and opened address. A dialog with no
// answer queued fails the test and answers "cancel", so nothing ever waits.
// Its printer records the documents printed on it: title, PDF name and, page
// by page, the tiles with their source and destination rectangles.
#include "platform/errors.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tw::test {

struct RecordedTile {
    Rect source;
    Rect destination;
    Size picture;  // the size of the picture the tile was cut from
};

struct RecordedDocument {
    QString title;
    QString pdfPath;
    std::vector<std::vector<RecordedTile>> pages;  // no page until the first tile or new page
    bool finished = false;
};

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
    std::deque<SaveChoice> saveAnswers;
    MemoryStatus memory{512ull << 20, 256ull << 20};
    // The printer: a PDF printer of 600 dpi with 8 x 11 inches printable by
    // default. A confirmed setup dialog switches to setupPrinter when set.
    PrinterStatus printer{true, QStringLiteral("PDF"), PrinterValues{600, 600, 4800, 6600}};
    std::optional<PrinterStatus> setupPrinter;
    std::deque<bool> printerSetupAnswers;
    std::deque<bool> printAnswers;
    std::string printFailure;  // when set, finishing a document throws tw::Error with it
    // When set, printing goes to this platform's printer instead of the
    // recording one (dialogs stay scripted).
    Platform* realPrinting = nullptr;

    // What was shown.
    std::vector<Message> messages;
    std::vector<DialogRecord> dialogs;
    std::vector<QUrl> opened;
    QWidget* dialogParent = nullptr;
    int printerSetupDialogs = 0;
    int printDialogs = 0;
    std::vector<RecordedDocument> documents;

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

    SaveChoice askSaveChanges(const std::string& text) override
    {
        messages.push_back({text, "Caution", true});
        if (saveAnswers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text;
            return SaveChoice::Cancel;
        }
        SaveChoice answer = saveAnswers.front();
        saveAnswers.pop_front();
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

    PrinterStatus currentPrinter() override { return realPrinting ? realPrinting->currentPrinter() : printer; }
    bool printerSetupDialog(QWidget*) override
    {
        ++printerSetupDialogs;
        const bool ok = answer(printerSetupAnswers, "printer setup");
        if (ok && setupPrinter)
            printer = *setupPrinter;
        return ok;
    }
    bool printDialog(QWidget*) override
    {
        ++printDialogs;
        return answer(printAnswers, "print");
    }
    std::unique_ptr<PrintDocument> beginPrintDocument(const QString& title, const QString& pdfPath) override
    {
        if (realPrinting)
            return realPrinting->beginPrintDocument(title, pdfPath);
        documents.push_back(RecordedDocument{title, pdfPath, {}, false});
        return std::make_unique<Recorder>(*this, documents.size() - 1);
    }

private:
    // Documents are addressed by index: the vector may grow while one is open.
    class Recorder final : public PrintDocument {
    public:
        Recorder(ScriptedPlatform& platform, std::size_t index) : platform_(platform), index_(index) {}
        void drawTile(const Picture& picture, const Rect& source, const Rect& destination) override
        {
            auto& pages = document().pages;
            if (pages.empty())
                pages.emplace_back();
            pages.back().push_back({source, destination, Size{picture.width(), picture.height()}});
        }
        void newPage() override
        {
            auto& pages = document().pages;
            if (pages.empty())
                pages.emplace_back();
            pages.emplace_back();
        }
        void finish() override
        {
            if (!platform_.printFailure.empty())
                throw Error(platform_.printFailure);
            document().finished = true;
        }

    private:
        RecordedDocument& document() { return platform_.documents[index_]; }
        ScriptedPlatform& platform_;
        std::size_t index_;
    };

    bool answer(std::deque<bool>& answers, const char* dialog)
    {
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected " << dialog << " dialog";
            return false;
        }
        const bool ok = answers.front();
        answers.pop_front();
        return ok;
    }

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

#pragma once
// What the windows ask of the desktop: file dialogs, message boxes, the
// colour dialog, opening a document or web address with the desktop's
// associated program, the physical memory figures and printing. The program uses the
// Qt implementation (qt_platform.h); window tests use a scripted one, so no
// test ever waits for a modal dialog.
#include "platform/memory.h"
#include "platform/prompts.h"
#include "printing/print_layout.h"

#include <QColor>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>
#include <string>

class QWidget;

namespace tw {

struct FileDialogRequest {
    QString title;
    QStringList filters;         // Qt name filters, e.g. "Bitmaps (*.bmp)"
    int filterIndex = 0;         // the filter selected when the dialog opens, from 0
    QString fileName;            // the name offered when the dialog opens
    QString defaultSuffix;       // added as ".suffix" to a name chosen without extension
    bool confirmOverwrite = false;  // save dialogs: ask before replacing an existing file
    // What the dialog is for ("project", "mainPicture"...): the desktop
    // remembers the folder last used for each purpose from one run to the
    // next. Empty: the title is the purpose.
    QString purpose;
    // The folder shown while none is remembered for the purpose and no name
    // with a folder is offered.
    QString directory;
};

struct FileDialogResult {
    QString path;         // with the default suffix already applied
    int filterIndex = 0;  // the filter selected when the user confirmed, from 0
};

// The printer the Print window prints on: the system's current printer or,
// when the system has none, a PDF printer that writes files.
struct PrinterStatus {
    bool pdf = false;
    QString name;  // the printer's name; "PDF" for the PDF printer
    PrinterValues values;
};

// The answers to the unsaved-changes question.
enum class SaveChoice { Save, Discard, Cancel };

// Every dialog and message box stands above the program's stay-on-top
// windows (the OverView, the wizard): it is modal, so a window covering it
// would leave the user stuck.
class Platform : public Prompts {
public:
    // Parent of the dialogs and message boxes that have no window of their own.
    virtual void setDialogParent(QWidget* parent) = 0;

    // An empty optional means the user cancelled.
    virtual std::optional<FileDialogResult> openFileDialog(QWidget* parent, const FileDialogRequest& request) = 0;
    virtual std::optional<FileDialogResult> saveFileDialog(QWidget* parent, const FileDialogRequest& request) = 0;
    virtual std::optional<QColor> colorDialog(QWidget* parent, const QColor& initial) = 0;

    // A modal question with the buttons Save, Discard and Cancel (Escape and
    // closing the box are Cancel); caption "Caution".
    virtual SaveChoice askSaveChanges(const std::string& text) = 0;

    // Asks the desktop to open a document or web address; the outcome is not
    // reported.
    virtual void openWithDesktop(const QUrl& address) = 0;

    virtual MemoryStatus memoryStatus() = 0;

    // Printing. The current printer and its four values, read anew on every
    // call (a dialog may have changed them).
    virtual PrinterStatus currentPrinter() = 0;
    // The printer setup dialog (printer, paper, orientation); true on OK.
    virtual bool printerSetupDialog(QWidget* parent) = 0;
    // The print dialog of an installed printer; true on OK.
    virtual bool printDialog(QWidget* parent) = 0;
    // Begins a document titled title on the current printer; for the PDF
    // printer, a PDF file at pdfPath, written only when the document
    // finishes. Throws tw::Error when it cannot begin.
    virtual std::unique_ptr<PrintDocument> beginPrintDocument(const QString& title, const QString& pdfPath) = 0;
};

// The name a save dialog with a default suffix hands back: ".suffix" appended
// when the file name part has no extension, otherwise the name unchanged.
inline QString withDefaultSuffix(const QString& path, const QString& suffix)
{
    if (suffix.isEmpty() || path.isEmpty())
        return path;
    const QString name = path.section(QLatin1Char('/'), -1);
    if (name.contains(QLatin1Char('.')))
        return path;
    return path + QLatin1Char('.') + suffix;
}

// Paths and texts cross between the windows (QString) and the core (8-bit
// text) in the system's file-name encoding.
inline std::string toCoreText(const QString& text) { return QFile::encodeName(text).toStdString(); }
inline QString fromCoreText(const std::string& text)
{
    return QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

} // namespace tw

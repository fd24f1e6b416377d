#pragma once
// TForm8 "Usage Stats and Position Extractor": for every library picture
// the current mosaic uses, how often and (in the detail list) in which
// columns and rows, as text that can be edited and saved.
#include <QStringList>
#include <QWidget>

#include <string>
#include <vector>

class QCheckBox;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSplitter;

namespace tw {

class AppContext;

// The lines of a memo text: split at line ends, a final line end not
// starting another line, no lines at all for an empty text.
QStringList memoLines(const QString& text);

class UsageWindow : public QWidget {
    Q_OBJECT
public:
    explicit UsageWindow(AppContext& context, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private Q_SLOTS:
    void cbshortnameClick();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();

private:
    // mainlist := the library's names, bare file names when short is set.
    void fillUsageNames(bool shortNames);
    void setMemoLines(const std::vector<std::string>& lines);
    // The memo's lines as 8-bit text: a line the user left as the list made
    // it keeps the list's bytes exactly (a name that is not valid UTF-8 is
    // shown with replacement characters but saved as stored).
    std::vector<std::string> memoBytes() const;
    // The lists read the grid and the library, which a running creation or
    // opening may be about to replace.
    void updateActions();

    AppContext& context_;
    // The names mainlist shows, as stored in the library, line for line.
    std::vector<std::string> names_;
    // The memo's lines as the last list made them.
    std::vector<std::string> listLines_;
    QCheckBox* cbshortname_ = nullptr;
    QPushButton* Button1_ = nullptr;
    QPushButton* Button2_ = nullptr;
    QPushButton* Button3_ = nullptr;
    QPushButton* Button4_ = nullptr;
    QListWidget* mainlist_ = nullptr;
    QSplitter* Splitter1_ = nullptr;
    QPlainTextEdit* Memo1_ = nullptr;
};

} // namespace tw

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
    std::vector<std::string> listedNames() const;
    void setMemoLines(const std::vector<std::string>& lines);

    AppContext& context_;
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

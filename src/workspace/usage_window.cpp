#include "workspace/usage_window.h"

#include "platform/files.h"
#include "platform/platform.h"
#include "ui/app_context.h"
#include "ui/window_size.h"
#include "workspace/usage_lists.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSplitter>
#include <QVBoxLayout>

namespace tw {

QStringList memoLines(const QString& text)
{
    if (text.isEmpty())
        return {};
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

UsageWindow::UsageWindow(AppContext& context, QWidget* parent) : QWidget(parent, Qt::Window), context_(context)
{
    setObjectName(QStringLiteral("TForm8"));
    setWindowTitle(QStringLiteral("Usage Stats and Position Extractor"));
    setAttribute(Qt::WA_QuitOnClose, false);

    cbshortname_ = new QCheckBox(QStringLiteral("Show full name and path"), this);
    cbshortname_->setObjectName(QStringLiteral("cbshortname"));
    cbshortname_->setChecked(true);
    Button1_ = new QPushButton(QStringLiteral("Create Detail List"), this);
    Button1_->setObjectName(QStringLiteral("Button1"));
    Button2_ = new QPushButton(QStringLiteral("Create Simple List"), this);
    Button2_->setObjectName(QStringLiteral("Button2"));
    Button3_ = new QPushButton(QStringLiteral("Save to text"), this);
    Button3_->setObjectName(QStringLiteral("Button3"));
    Button4_ = new QPushButton(QStringLiteral("Clear"), this);
    Button4_->setObjectName(QStringLiteral("Button4"));

    Splitter1_ = new QSplitter(Qt::Horizontal, this);
    Splitter1_->setObjectName(QStringLiteral("Splitter1"));
    Splitter1_->setChildrenCollapsible(false);
    mainlist_ = new QListWidget(Splitter1_);
    mainlist_->setObjectName(QStringLiteral("mainlist"));
    Memo1_ = new QPlainTextEdit(Splitter1_);
    Memo1_->setObjectName(QStringLiteral("Memo1"));
    Memo1_->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Splitter1_->addWidget(mainlist_);
    Splitter1_->addWidget(Memo1_);
    Splitter1_->setStretchFactor(0, 0);
    Splitter1_->setStretchFactor(1, 1);
    Splitter1_->setSizes({185, 633 - 185});

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cbshortname_);
    buttons->addStretch(1);
    for (QPushButton* b : {Button1_, Button2_, Button3_, Button4_})
        buttons->addWidget(b);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(buttons);
    layout->addWidget(Splitter1_, 1);

    connect(cbshortname_, &QCheckBox::clicked, this, &UsageWindow::cbshortnameClick);
    connect(Button1_, &QPushButton::clicked, this, &UsageWindow::Button1Click);
    connect(Button2_, &QPushButton::clicked, this, &UsageWindow::Button2Click);
    connect(Button3_, &QPushButton::clicked, this, &UsageWindow::Button3Click);
    connect(Button4_, &QPushButton::clicked, this, &UsageWindow::Button4Click);
    connect(&context_, &AppContext::busyChanged, this, &UsageWindow::updateActions);
    updateActions();

    // The laid-out size is the whole window's, title bar included.
    applyOuterSize(*this, QSize(633, 460));
}

void UsageWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        context_.guarded([this] { fillUsageNames(cbshortname_->isChecked()); });
}

void UsageWindow::updateActions()
{
    const bool idle = !context_.isBusy();
    for (QWidget* w : std::initializer_list<QWidget*>{cbshortname_, Button1_, Button2_})
        w->setEnabled(idle);
}

void UsageWindow::fillUsageNames(bool shortNames)
{
    names_ = usageNames(context_.library(), shortNames);
    mainlist_->clear();
    for (const std::string& name : names_)
        mainlist_->addItem(fromCoreText(name));
}

void UsageWindow::setMemoLines(const std::vector<std::string>& lines)
{
    QStringList text;
    for (const std::string& line : lines)
        text << fromCoreText(line);
    Memo1_->setPlainText(text.join(QLatin1Char('\n')));
    listLines_ = lines;
}

std::vector<std::string> UsageWindow::memoBytes() const
{
    std::vector<std::string> lines;
    const QStringList shown = memoLines(Memo1_->toPlainText());
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (index < listLines_.size() && shown[i] == fromCoreText(listLines_[index]))
            lines.push_back(listLines_[index]);
        else
            lines.push_back(toCoreText(shown[i]));
    }
    return lines;
}

void UsageWindow::cbshortnameClick()
{
    context_.guarded([this] { fillUsageNames(cbshortname_->isChecked()); });
}

void UsageWindow::Button1Click()
{
    context_.guarded([this] { setMemoLines(detailUsageList(context_.project(), names_)); });
}

void UsageWindow::Button2Click()
{
    context_.guarded([this] { setMemoLines(simpleUsageList(context_.project(), names_)); });
}

void UsageWindow::Button3Click()
{
    context_.guarded([this] {
        FileDialogRequest request;
        request.title = QStringLiteral("Save to text");
        request.filters = {QStringLiteral("*.txt (*.txt)")};
        request.defaultSuffix = QStringLiteral("txt");
        request.confirmOverwrite = true;
        const auto chosen = context_.platform().saveFileDialog(this, request);
        if (!chosen)
            return;
        writeFileAtomic(toCoreText(chosen->path), linesToText(memoBytes()));
    });
}

void UsageWindow::Button4Click() { Memo1_->clear(); }

} // namespace tw

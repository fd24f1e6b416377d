#include "workspace/about_window.h"

#include "workspace/product.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tw {

AboutWindow::AboutWindow(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setModal(false);
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* ProductName = new QLabel(kApplicationTitle, this);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    QFont big = ProductName->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    ProductName->setFont(big);
    auto* Version = new QLabel(QStringLiteral("Version ") + kProductVersion, this);
    Version->setObjectName(QStringLiteral("Version"));
    auto* ReleaseDate = new QLabel(QStringLiteral("Release date ") + kReleaseDate, this);
    ReleaseDate->setObjectName(QStringLiteral("ReleaseDate"));
    auto* Comments = new QLabel(QStringLiteral("Photo mosaic creator"), this);
    Comments->setObjectName(QStringLiteral("Comments"));

    auto* OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKButton);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 14);
    layout->addWidget(ProductName, 0, Qt::AlignHCenter);
    layout->addWidget(Comments, 0, Qt::AlignHCenter);
    layout->addSpacing(10);
    layout->addWidget(Version, 0, Qt::AlignHCenter);
    layout->addWidget(ReleaseDate, 0, Qt::AlignHCenter);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(300, 0)));
}

} // namespace tw

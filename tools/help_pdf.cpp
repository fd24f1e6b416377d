#include "help_pdf.h"

#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>

#include <stdexcept>

namespace tw::tools {

QString helpPageFooter(const QString& title, int page, int pages)
{
    return QStringLiteral("%1 - page %2 of %3").arg(title).arg(page).arg(pages);
}

int writeHelpPdf(const QString& markdown, const QString& path, const QString& title)
{
    // Without any font the layout still "succeeds" with empty pages.
    if (QFontDatabase::families().isEmpty())
        throw std::runtime_error("no font is installed (fontconfig finds none)");

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot create \"" + path.toStdString() + "\": " + file.errorString().toStdString());

    QPdfWriter writer(&file);
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("Tilewright"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 20, 20, 16), QPageLayout::Millimeter);

    QTextDocument document;
    document.documentLayout()->setPaintDevice(&writer);
    document.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    document.setDocumentMargin(0);
    document.setMarkdown(markdown);

    QFont footerFont(QStringLiteral("DejaVu Sans"), 8);
    const double footerHeight = 2.5 * QFontMetricsF(footerFont, &writer).height();
    const QSizeF page(writer.width(), writer.height());
    const QSizeF body(page.width(), page.height() - footerHeight);
    // A finite page height makes the layout move lines that would straddle
    // a page boundary onto the next page.
    document.setPageSize(body);
    const int pages = document.pageCount();

    QPainter painter;
    if (!painter.begin(&writer))
        throw std::runtime_error("cannot write \"" + path.toStdString() + "\"");
    for (int p = 0; p < pages; ++p) {
        if (p > 0)
            writer.newPage();
        painter.save();
        const QRectF visible(0, p * body.height(), body.width(), body.height());
        painter.translate(0, -visible.top());
        painter.setClipRect(visible);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = visible;
        context.palette.setColor(QPalette::Text, Qt::black);
        document.documentLayout()->draw(&painter, context);
        painter.restore();

        painter.setFont(footerFont);
        painter.setPen(Qt::darkGray);
        painter.drawText(QRectF(0, page.height() - footerHeight, page.width(), footerHeight),
                         Qt::AlignHCenter | Qt::AlignBottom, helpPageFooter(title, p + 1, pages));
    }
    painter.end();
    if (!file.commit())
        throw std::runtime_error("cannot write \"" + path.toStdString() + "\": " + file.errorString().toStdString());
    return pages;
}

} // namespace tw::tools

#pragma once
// The help document: the help text (light Markdown: "#" headings,
// paragraphs, "-" lists, examples indented by four blanks) laid out by Qt's
// text layout on A4 pages and written by Qt's PDF writer, with the fonts
// embedded and a footer on every page.
#include <QString>

namespace tw::tools {

// "<title> - page <page> of <pages>"
QString helpPageFooter(const QString& title, int page, int pages);

// Writes the PDF to path (through a temporary file, so a failure leaves an
// earlier file whole) and returns the number of pages. Needs a
// QGuiApplication. Throws std::runtime_error naming the path, or saying no
// font is installed.
int writeHelpPdf(const QString& markdown, const QString& path, const QString& title);

} // namespace tw::tools

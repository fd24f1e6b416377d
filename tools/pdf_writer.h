#pragma once
// A small PDF writer for the help document: text pages in the standard
// Helvetica, Helvetica-Bold and Courier fonts (no embedding needed), with a
// cross-reference table whose offsets point at every object.
#include <string>
#include <string_view>
#include <vector>

namespace tw::tools {

enum class PdfFont { Regular, Bold, Mono };  // /F1 Helvetica, /F2 Helvetica-Bold, /F3 Courier

struct PageLayout {
    double width = 595;   // A4 in points
    double height = 842;
    double margin = 56;
};

// Advance width of text in points, from the fonts' published metrics
// (WinAnsi encoding; characters outside printable ASCII count as '?').
double textWidth(std::string_view text, PdfFont font, double size);

// Breaks text into lines no wider than maxWidth at blanks; a single word
// wider than the line is broken between characters.
std::vector<std::string> wrapText(std::string_view text, PdfFont font, double size, double maxWidth);

// A PDF string literal: parentheses and backslashes escaped, characters
// outside printable ASCII replaced by '?'.
std::string pdfString(std::string_view text);

// Lays out the help text (see docs/help.txt for its few conventions) into
// one content stream per page, each with a page footer.
std::vector<std::string> layoutHelpText(std::string_view text, const PageLayout& layout, const std::string& footer);

// The complete file: header, catalog, page tree, fonts, information
// dictionary, one page and one content stream per page, cross-reference
// table and trailer.
std::string buildPdf(const std::vector<std::string>& pageContents, const std::string& title,
                     const PageLayout& layout);

} // namespace tw::tools

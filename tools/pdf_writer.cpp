#include "pdf_writer.h"

#include <cstdio>

namespace tw::tools {

namespace {

// Advance widths (thousandths of the font size) of characters 32..126.
constexpr short kHelvetica[95] = {
    278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278,  // space .. slash
    556, 556, 556, 556, 556, 556, 556, 556, 556, 556,                                // 0 .. 9
    278, 278, 584, 584, 584, 556, 1015,                                              // : .. @
    667, 667, 722, 722, 667, 611, 778, 722, 278, 500, 667, 556, 833, 722, 778, 667,  // A .. P
    778, 722, 667, 611, 722, 667, 944, 667, 667, 611,                                // Q .. Z
    278, 278, 278, 469, 556, 333,                                                    // [ .. `
    556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833, 556, 556, 556,  // a .. p
    556, 333, 500, 278, 556, 500, 722, 500, 500, 500,                                // q .. z
    334, 260, 334, 584};                                                             // { .. ~
constexpr short kHelveticaBold[95] = {
    278, 333, 474, 556, 556, 889, 722, 238, 333, 333, 389, 584, 278, 333, 278, 278,
    556, 556, 556, 556, 556, 556, 556, 556, 556, 556,
    333, 333, 584, 584, 584, 611, 975,
    722, 722, 722, 722, 667, 611, 778, 722, 278, 556, 722, 611, 833, 722, 778, 667,
    778, 722, 667, 611, 722, 667, 944, 667, 667, 611,
    333, 278, 333, 584, 556, 333,
    556, 611, 556, 611, 556, 333, 611, 611, 278, 278, 556, 278, 889, 611, 611, 611,
    611, 389, 556, 333, 611, 556, 778, 556, 556, 500,
    389, 280, 389, 584};
constexpr int kBulletWidth = 350;

int charWidth(unsigned char c, PdfFont font)
{
    if (font == PdfFont::Mono)
        return 600;
    if (c < 32 || c > 126)
        c = '?';
    return font == PdfFont::Bold ? kHelveticaBold[c - 32] : kHelvetica[c - 32];
}

const char* fontName(PdfFont font)
{
    switch (font) {
    case PdfFont::Regular: return "/F1";
    case PdfFont::Bold: return "/F2";
    case PdfFont::Mono: return "/F3";
    }
    return "/F1";
}

std::string number(double value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", value);
    return buffer;
}

// Fills pages top to bottom.
class PageFiller {
public:
    explicit PageFiller(const PageLayout& layout) : layout_(layout) { newPage(); }

    double left() const { return layout_.margin; }
    double lineWidth() const { return layout_.width - 2 * layout_.margin; }

    // Makes room for height points (plus keep more below it), starting a
    // new page when the current one is full.
    void need(double height, double keep = 0)
    {
        if (y_ - height - keep < layout_.margin + kFooterSpace && !pageEmpty_)
            newPage();
    }
    void skip(double points)
    {
        if (!pageEmpty_)
            y_ -= points;
    }
    void text(double x, const std::string& literal, PdfFont font, double size)
    {
        pages_.back() += "BT " + std::string(fontName(font)) + " " + number(size) + " Tf " + number(x) + " " +
                         number(y_) + " Td " + literal + " Tj ET\n";
        pageEmpty_ = false;
    }
    void advance(double leading) { y_ -= leading; }
    // Moves the baseline down by the first line's ascent before drawing.
    void startLine(double leading) { y_ -= leading; }

    std::vector<std::string> finish(const std::string& footer)
    {
        const int total = static_cast<int>(pages_.size());
        for (int i = 0; i < total; ++i) {
            std::string label = footer + " - page " + std::to_string(i + 1) + " of " + std::to_string(total);
            double w = textWidth(label, PdfFont::Regular, 8.5);
            pages_[static_cast<std::size_t>(i)] += "0.45 g\nBT /F1 8.50 Tf " + number((layout_.width - w) / 2) +
                                                   " " + number(layout_.margin * 0.6) + " Td " + pdfString(label) +
                                                   " Tj ET\n0 g\n";
        }
        return pages_;
    }

private:
    static constexpr double kFooterSpace = 14;
    void newPage()
    {
        pages_.emplace_back();
        y_ = layout_.height - layout_.margin;
        pageEmpty_ = true;
    }

    PageLayout layout_;
    std::vector<std::string> pages_;
    double y_ = 0;
    bool pageEmpty_ = true;
};

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

} // namespace

double textWidth(std::string_view text, PdfFont font, double size)
{
    long total = 0;
    for (char c : text)
        total += charWidth(static_cast<unsigned char>(c), font);
    return static_cast<double>(total) * size / 1000.0;
}

std::vector<std::string> wrapText(std::string_view text, PdfFont font, double size, double maxWidth)
{
    std::vector<std::string> lines;
    std::string current;
    auto flush = [&] {
        if (!current.empty())
            lines.push_back(current);
        current.clear();
    };
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        std::size_t end = text.find(' ', i);
        if (end == std::string_view::npos)
            end = text.size();
        std::string word(text.substr(i, end - i));
        i = end;
        if (word.empty())
            continue;
        std::string candidate = current.empty() ? word : current + " " + word;
        if (textWidth(candidate, font, size) <= maxWidth) {
            current = candidate;
            continue;
        }
        flush();
        // A word longer than the whole line is cut between characters.
        while (textWidth(word, font, size) > maxWidth) {
            std::size_t n = 1;
            while (n < word.size() && textWidth(word.substr(0, n + 1), font, size) <= maxWidth)
                ++n;
            lines.push_back(word.substr(0, n));
            word.erase(0, n);
        }
        current = word;
    }
    flush();
    return lines;
}

std::string pdfString(std::string_view text)
{
    std::string out = "(";
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (c == '(' || c == ')' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 32 || c > 126) {
            out += '?';
        } else {
            out += ch;
        }
    }
    out += ')';
    return out;
}

std::vector<std::string> layoutHelpText(std::string_view text, const PageLayout& layout, const std::string& footer)
{
    constexpr double kBodySize = 10.5, kBodyLeading = 14.5;
    constexpr double kCodeSize = 9.0, kCodeLeading = 12;
    constexpr double kBulletIndent = 16;

    PageFiller page(layout);
    std::vector<std::string_view> lines = splitLines(text);

    auto paragraph = [&](const std::string& body, double indent, bool bullet) {
        std::vector<std::string> wrapped = wrapText(body, PdfFont::Regular, kBodySize, page.lineWidth() - indent);
        for (std::size_t i = 0; i < wrapped.size(); ++i) {
            page.need(kBodyLeading);
            page.startLine(kBodyLeading);
            if (bullet && i == 0)
                page.text(page.left() + indent - 11, "(\\225)", PdfFont::Regular, kBodySize);
            page.text(page.left() + indent, pdfString(wrapped[i]), PdfFont::Regular, kBodySize);
        }
    };

    std::size_t i = 0;
    while (i < lines.size()) {
        std::string_view line = lines[i];
        if (line.find_first_not_of(' ') == std::string_view::npos) {
            ++i;
            continue;
        }
        if (startsWith(line, "# ")) {
            page.need(30);
            page.startLine(24);
            page.text(page.left(), pdfString(line.substr(2)), PdfFont::Bold, 20);
            page.advance(10);
            ++i;
            continue;
        }
        if (startsWith(line, "## ")) {
            // Keep a heading together with at least two lines of what follows.
            page.skip(8);
            page.need(20, 2 * kBodyLeading);
            page.startLine(17);
            page.text(page.left(), pdfString(line.substr(3)), PdfFont::Bold, 13);
            page.advance(3);
            ++i;
            continue;
        }
        if (startsWith(line, "    ")) {
            page.skip(2);
            while (i < lines.size() && startsWith(lines[i], "    ")) {
                std::string code(lines[i].substr(4));
                // Code keeps its own spacing; only a line too long for the page is wrapped.
                const double room = page.lineWidth() - 12;
                std::vector<std::string> pieces = textWidth(code, PdfFont::Mono, kCodeSize) <= room
                                                      ? std::vector<std::string>{code}
                                                      : wrapText(code, PdfFont::Mono, kCodeSize, room);
                for (const std::string& piece : pieces) {
                    page.need(kCodeLeading);
                    page.startLine(kCodeLeading);
                    page.text(page.left() + 12, pdfString(piece), PdfFont::Mono, kCodeSize);
                }
                ++i;
            }
            page.advance(6);
            continue;
        }
        const bool bullet = startsWith(line, "- ");
        std::string body(bullet ? line.substr(2) : line);
        ++i;
        // Continuation lines belong to the same paragraph or item.
        while (i < lines.size() && lines[i].find_first_not_of(' ') != std::string_view::npos &&
               !startsWith(lines[i], "#") && !startsWith(lines[i], "- ") && !startsWith(lines[i], "    ")) {
            std::string_view more = lines[i];
            more.remove_prefix(more.find_first_not_of(' '));
            body += " ";
            body += more;
            ++i;
        }
        paragraph(body, bullet ? kBulletIndent : 0, bullet);
        page.advance(bullet ? 2 : 6);
    }
    return page.finish(footer);
}

std::string buildPdf(const std::vector<std::string>& pageContents, const std::string& title, const PageLayout& layout)
{
    std::vector<std::string> objects;  // object n is objects[n - 1]
    const std::size_t pageCount = pageContents.size();
    const std::size_t firstPage = 7;

    std::string kids;
    for (std::size_t p = 0; p < pageCount; ++p)
        kids += (p ? " " : "") + std::to_string(firstPage + 2 * p) + " 0 R";
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pageCount) + " >>");
    objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding >>");
    objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding /WinAnsiEncoding >>");
    objects.push_back("<< /Title " + pdfString(title) + " /Producer (Tilewright make_help_pdf) >>");
    for (std::size_t p = 0; p < pageCount; ++p) {
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + number(layout.width) + " " +
                          number(layout.height) +
                          "] /Resources << /Font << /F1 3 0 R /F2 4 0 R /F3 5 0 R >> >> /Contents " +
                          std::to_string(firstPage + 2 * p + 1) + " 0 R >>");
        const std::string& content = pageContents[p];
        objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                          "\nendstream");
    }

    std::string file = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<std::size_t> offsets;
    for (std::size_t n = 0; n < objects.size(); ++n) {
        offsets.push_back(file.size());
        file += std::to_string(n + 1) + " 0 obj\n" + objects[n] + "\nendobj\n";
    }
    const std::size_t xref = file.size();
    file += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
        char entry[24];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        file += entry;
    }
    file += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R /Info 6 0 R >>\nstartxref\n" +
            std::to_string(xref) + "\n%%EOF\n";
    return file;
}

} // namespace tw::tools

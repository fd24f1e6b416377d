#include "man_page.h"

#include <cctype>
#include <sstream>

namespace tw::tools {

namespace {

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::size_t indentOf(const std::string& line)
{
    const auto pos = line.find_first_not_of(' ');
    return pos == std::string::npos ? line.size() : pos;
}

bool isBlank(const std::string& line) { return indentOf(line) == line.size(); }

std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

bool isHeading(const std::string& line)
{
    return !line.empty() && line[0] != ' ' && line.back() == ':' && line.find(". ") == std::string::npos &&
           line.size() < 40;
}

// "--main PICTURE" -> bold option words, italic placeholders.
std::string termMarkup(const std::string& term)
{
    std::istringstream words(term);
    std::string out, word;
    bool first = true;
    while (words >> word) {
        if (!first)
            out += ' ';
        const bool bold = first || word[0] == '-';
        // "--help, -h": the comma stays in the roman font.
        const bool comma = word.size() > 1 && word.back() == ',';
        if (comma)
            word.pop_back();
        out += (bold ? "\\fB" : "\\fI") + roffText(word) + "\\fR" + (comma ? "," : "");
        first = false;
    }
    return out;
}

// Turns one help text into man(7) body lines. The "Usage:" line becomes a
// bold synopsis paragraph unless skipUsage.
class HelpConverter {
public:
    std::string convert(const std::string& help, bool skipUsage)
    {
        for (const std::string& line : splitLines(help)) {
            if (line.rfind("Usage: ", 0) == 0) {
                close();
                if (!skipUsage)
                    out_ << ".PP\n\\fB" << roffText(line.substr(7)) << "\\fR\n";
                continue;
            }
            if (isBlank(line)) {
                close();
                continue;
            }
            const std::size_t indent = indentOf(line);
            if (indent == 0 && isHeading(line)) {
                close();
                out_ << ".PP\n.B " << roffText(line) << '\n';
                example_ = line == "Example:" || line == "Examples:";
                continue;
            }
            if (indent == 0) {
                closeItem();
                if (state_ != State::Text)
                    out_ << ".PP\n";
                out_ << roffText(line) << '\n';
                state_ = State::Text;
                continue;
            }
            if (example_) {
                if (state_ != State::Literal)
                    out_ << ".PP\n.RS 4\n.nf\n";
                state_ = State::Literal;
                out_ << roffText(line.substr(std::min<std::size_t>(indent, 2))) << '\n';
                continue;
            }
            if (indent == 2) {
                closeItem();
                const std::string rest = line.substr(2);
                const auto gap = rest.find("  ");
                out_ << ".TP\n" << termMarkup(gap == std::string::npos ? rest : rest.substr(0, gap)) << '\n';
                if (gap != std::string::npos)
                    out_ << roffText(trimmed(rest.substr(gap))) << '\n';
                state_ = State::Item;
                continue;
            }
            // A deeper line continues the item's description.
            out_ << roffText(trimmed(line)) << '\n';
        }
        close();
        return out_.str();
    }

private:
    enum class State { None, Text, Item, Literal };

    void closeItem()
    {
        if (state_ == State::Item)
            state_ = State::None;
        if (state_ == State::Literal) {
            out_ << ".fi\n.RE\n";
            state_ = State::None;
        }
    }
    void close()
    {
        closeItem();
        state_ = State::None;
        example_ = false;
    }

    std::ostringstream out_;
    State state_ = State::None;
    bool example_ = false;
};

std::string usageLine(const std::string& help)
{
    for (const std::string& line : splitLines(help))
        if (line.rfind("Usage: ", 0) == 0)
            return line.substr(7);
    return {};
}

std::string upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

std::string roffText(const std::string& text)
{
    std::string out;
    if (!text.empty() && (text[0] == '.' || text[0] == '\''))
        out = "\\&";
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    return out;
}

std::string renderManPage(const ManPage& page)
{
    std::ostringstream out;
    out << ".TH " << roffText(upper(page.program)) << " 1 \"" << page.date << "\" \"" << roffText(page.version)
        << "\" \"User Commands\"\n";
    out << ".SH NAME\n" << roffText(page.program) << " \\- " << roffText(page.summary) << '\n';
    out << ".SH SYNOPSIS\n\\fB" << roffText(usageLine(page.overview)) << "\\fR\n";
    for (const ManSection& command : page.commands)
        out << ".br\n\\fB" << roffText(usageLine(command.help)) << "\\fR\n";
    out << ".SH DESCRIPTION\n" << HelpConverter().convert(page.overview, true);
    if (!page.commands.empty()) {
        out << ".SH COMMANDS\n";
        for (const ManSection& command : page.commands)
            out << ".SS \"" << roffText(command.name) << "\"\n" << HelpConverter().convert(command.help, false);
    }
    if (!page.seeAlso.empty())
        out << ".SH \"SEE ALSO\"\n\\fB" << roffText(page.seeAlso) << "\\fR(1)\n";
    return out.str();
}

} // namespace tw::tools

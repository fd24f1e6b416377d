// The manual page made from tilewright-cli's help texts: every option and
// command becomes an entry, no word of the help is lost, examples stay as
// they stand and nothing reaches roff unescaped.
#include "man_page.h"

#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace tw::tools {
namespace {

using cli::Command;
using cli::helpText;

ManPage realPage()
{
    ManPage page;
    page.program = "tilewright-cli";
    page.summary = "make photomosaics from the command line";
    page.version = "Tilewright 9.9";
    page.date = "2005-10-01";
    page.overview = helpText(Command::None);
    page.commands = {{"tilewright-cli create", helpText(Command::Create)},
                     {"tilewright-cli render", helpText(Command::Render)},
                     {"tilewright-cli usage", helpText(Command::Usage)},
                     {"tilewright-cli print", helpText(Command::Print)},
                     {"tilewright-cli cache", helpText(Command::Cache)}};
    page.seeAlso = "tilewright";
    return page;
}

// The page as a reader sees the words: escapes and font changes removed.
std::string plainWords(const std::string& roff)
{
    std::string text = std::regex_replace(roff, std::regex(R"(\\f[BIR])"), "");
    text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
    text = std::regex_replace(text, std::regex(R"(\\e)"), "\\");
    text = std::regex_replace(text, std::regex(R"(\\&)"), "");
    return text;
}

std::set<std::string> wordsOf(const std::string& text)
{
    std::set<std::string> words;
    std::regex word(R"([A-Za-z0-9][A-Za-z0-9.'_|/-]*)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), word); it != std::sregex_iterator(); ++it)
        words.insert(it->str());
    return words;
}

TEST(ManPage, RoffTextEscapesWhatRoffWouldInterpret)
{
    struct Row {
        const char* why;
        const char* in;
        const char* out;
    };
    const Row rows[] = {
        {"plain text passes", "plain words", "plain words"},
        {"hyphens become minus signs", "--main", "\\-\\-main"},
        {"a backslash would start an escape", "C:\\pics", "C:\\epics"},
        {"a leading dot would be a request", ".hidden files", "\\&.hidden files"},
        {"a leading quote would be a request", "'quoted'", "\\&'quoted'"},
        {"a dot inside is harmless", "file.jpg", "file.jpg"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(roffText(row.in), row.out) << row.why;
}

TEST(ManPage, EveryOptionAndCommandOfTheHelpIsAnEntry)
{
    const std::string page = renderManPage(realPage());
    std::regex item(R"(^  (\S+))");
    int checked = 0;
    for (Command c : {Command::None, Command::Create, Command::Render, Command::Usage, Command::Cache}) {
        std::istringstream in(helpText(c));
        bool example = false;
        for (std::string line; std::getline(in, line);) {
            if (line == "Example:")
                example = true;
            if (line.empty())
                example = false;
            std::smatch m;
            if (example || !std::regex_search(line, m, item))
                continue;
            std::string term = m[1].str();
            if (term.back() == ',')
                term.pop_back();
            EXPECT_NE(page.find(".TP\n\\fB" + roffText(term) + "\\fR"), std::string::npos)
                << "no entry for " << term;
            ++checked;
        }
    }
    EXPECT_GT(checked, 25);
}

TEST(ManPage, NoWordOfTheHelpIsLost)
{
    const ManPage source = realPage();
    const std::set<std::string> pageWords = wordsOf(plainWords(renderManPage(source)));
    std::string all = source.overview;
    for (const ManSection& s : source.commands)
        all += s.help;
    for (const std::string& w : wordsOf(all)) {
        if (w != "Usage") {  // "Usage:" gives way to the page's own synopsis
            EXPECT_TRUE(pageWords.count(w)) << "lost: " << w;
        }
    }
}

TEST(ManPage, SynopsisListsEveryCommandsUsage)
{
    const std::string page = renderManPage(realPage());
    const auto synopsis = page.find(".SH SYNOPSIS\n");
    const auto description = page.find(".SH DESCRIPTION\n");
    ASSERT_NE(synopsis, std::string::npos);
    ASSERT_NE(description, std::string::npos);
    const std::string section = plainWords(page.substr(synopsis, description - synopsis));
    for (const char* usage : {"tilewright-cli COMMAND [OPTIONS]",
                              "tilewright-cli create --main PICTURE --out FILE.jpg|FILE.bmp [OPTIONS]",
                              "tilewright-cli render PROJECT.tw6", "tilewright-cli usage PROJECT.tw6",
                              "tilewright-cli print PROJECT.tw6|PICTURE --out FILE.pdf"})
        EXPECT_NE(section.find(usage), std::string::npos) << usage;
    EXPECT_EQ(page.rfind(".TH TILEWRIGHT\\-CLI 1 \"2005-10-01\" \"Tilewright 9.9\"", 0), 0u);
}

TEST(ManPage, ExamplesStandAsTheyAreWritten)
{
    ManPage page;
    page.program = "demo";
    page.overview = "Usage: demo X\n\nText.\n\nExample:\n  demo run --fast \\\n      --out a.jpg\n\nAfter.\n";
    const std::string roff = renderManPage(page);
    EXPECT_NE(roff.find(".nf\ndemo run \\-\\-fast \\e\n    \\-\\-out a.jpg\n.fi\n"), std::string::npos) << roff;
    // Running text after the example is filled again.
    EXPECT_NE(roff.find(".fi\n.RE\n.PP\nAfter.\n"), std::string::npos) << roff;
}

TEST(ManPage, ItemsKeepContinuationsAndLongTerms)
{
    ManPage page;
    page.program = "demo";
    page.overview = "Usage: demo X\n\nOptions:\n"
                    "  --short N     first line\n"
                    "                second line\n"
                    "  --a-very-long-option-name VALUE\n"
                    "                its description\n"
                    ".dot at the margin\n";
    const std::string roff = renderManPage(page);
    EXPECT_NE(roff.find(".TP\n\\fB\\-\\-short\\fR \\fIN\\fR\nfirst line\nsecond line\n"), std::string::npos) << roff;
    EXPECT_NE(roff.find(".TP\n\\fB\\-\\-a\\-very\\-long\\-option\\-name\\fR \\fIVALUE\\fR\nits description\n"),
              std::string::npos)
        << roff;
    EXPECT_NE(roff.find(".PP\n\\&.dot at the margin\n"), std::string::npos) << roff;
}

TEST(ManPage, EveryRequestIsOneOfTheManMacros)
{
    const std::set<std::string> known = {".TH", ".SH", ".SS", ".PP", ".TP", ".B", ".br", ".nf", ".fi", ".RS", ".RE"};
    std::istringstream in(renderManPage(realPage()));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || (line[0] != '.' && line[0] != '\''))
            continue;
        const std::string request = line.substr(0, line.find(' '));
        EXPECT_TRUE(known.count(request)) << line;
    }
}

} // namespace
} // namespace tw::tools

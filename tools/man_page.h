#pragma once
// The manual page of tilewright-cli, made from the program's own help texts
// so the two never disagree. The help texts follow a few rules that the
// conversion relies on:
// - "Usage: ..." on the first line;
// - a line ending in ':' at the left margin heads a group ("Options:");
// - an item is indented by two blanks: a term ("--main PICTURE", "create"),
//   two or more blanks, its description; longer descriptions continue on
//   lines indented further; a term too long for its column stands alone
//   with the description on the next lines;
// - under "Example:" the indented lines are commands, shown as they stand;
// - other lines at the left margin are running text, paragraphs separated
//   by blank lines.
#include <string>
#include <vector>

namespace tw::tools {

struct ManSection {
    std::string name;  // subsection title, e.g. "tilewright-cli create"
    std::string help;  // the help text of that command
};

struct ManPage {
    std::string program;   // "tilewright-cli"
    std::string summary;   // the NAME line's text after the dash
    std::string version;   // "Tilewright 1.0.0"
    std::string date;      // "2005-10-01"
    std::string overview;  // the program's overall help
    std::vector<ManSection> commands;
    std::string seeAlso;   // a related program of section 1, "tilewright"
};

// The page in man(7) format.
std::string renderManPage(const ManPage& page);

// Text made safe for roff: backslashes escaped, every hyphen a minus sign
// ("\-", so options copied from the page work), a leading '.' or '\''
// guarded.
std::string roffText(const std::string& text);

} // namespace tw::tools

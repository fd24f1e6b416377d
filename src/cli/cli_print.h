#pragma once
// tilewright-cli print: the Print window's PDF printer without the window.
#include "cli/cli_options.h"
#include "printing/print_layout.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace tw::cli {

// The Print window's texts, each after its caption, the page count last;
// the printer's name follows its resolution as it does in the window.
std::vector<std::string> printReport(const PrintTexts& texts, const std::string& printerName);

// Loads the project (drawn again) or picture, lays it out on the PDF printer
// and writes the pages. The texts and the file written go to out, a
// project's drawing progress to progress. Throws tw::Error, among others
// "There is nothing to print" when the layout has no page.
void runPrint(const Invocation& invocation, std::ostream& out, std::ostream& progress, bool terminal);

} // namespace tw::cli

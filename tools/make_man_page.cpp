// Writes the manual page of tilewright-cli from its help texts.
//
//   make_man_page VERSION DATE OUTPUT.1
#include "man_page.h"

#include "cli/cli_options.h"
#include "platform/files.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_man_page VERSION DATE OUTPUT.1\n");
        return 2;
    }
    using tw::cli::Command;
    using tw::cli::helpText;
    tw::tools::ManPage page;
    page.program = "tilewright-cli";
    page.summary = "make photomosaics from the command line";
    page.version = std::string("Tilewright ") + argv[1];
    page.date = argv[2];
    page.overview = helpText(Command::None);
    page.commands = {{"tilewright-cli create", helpText(Command::Create)},
                     {"tilewright-cli render", helpText(Command::Render)},
                     {"tilewright-cli usage", helpText(Command::Usage)},
                     {"tilewright-cli print", helpText(Command::Print)},
                     {"tilewright-cli cache", helpText(Command::Cache)}};
    page.seeAlso = "tilewright";
    try {
        const std::string text = tw::tools::renderManPage(page);
        tw::writeFileAtomic(argv[3], text.data(), text.size());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_man_page: %s\n", e.what());
        return 1;
    }
}

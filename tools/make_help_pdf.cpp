// Turns the help text into the help.pdf kept beside the programs.
//
//   make_help_pdf HELP.txt OUTPUT.pdf
#include "pdf_writer.h"

#include "platform/files.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_help_pdf HELP.txt OUTPUT.pdf\n");
        return 2;
    }
    try {
        tw::Bytes source = tw::readWholeFile(argv[1], 1u << 20);
        std::string text(source.begin(), source.end());
        tw::tools::PageLayout layout;
        std::vector<std::string> pages = tw::tools::layoutHelpText(text, layout, "Tilewright Help");
        std::string pdf = tw::tools::buildPdf(pages, "Tilewright Help", layout);
        tw::writeFileAtomic(argv[2], pdf.data(), pdf.size());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_help_pdf: %s\n", e.what());
        return 1;
    }
}

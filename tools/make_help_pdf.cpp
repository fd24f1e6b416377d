// Turns the help text into the help.pdf shipped with the programs. Runs on
// Qt's offscreen platform, so the build needs no display.
//
//   make_help_pdf HELP.txt OUTPUT.pdf
#include "help_pdf.h"

#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_help_pdf HELP.txt OUTPUT.pdf\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    try {
        QFile source(QFile::decodeName(argv[1]));
        if (!source.open(QIODevice::ReadOnly))
            throw std::runtime_error(std::string("cannot open \"") + argv[1] + "\"");
        const QString text = QString::fromUtf8(source.readAll());
        tw::tools::writeHelpPdf(text, QFile::decodeName(argv[2]), QStringLiteral("Tilewright Help"));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_help_pdf: %s\n", e.what());
        return 1;
    }
}

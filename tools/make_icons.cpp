// Writes the program's icon for the hicolor theme: a PNG for every usual
// size and the SVG, drawn from the same tiles as the window icon.
//
//   make_icons OUTPUT_FOLDER     (OUTPUT_FOLDER/<N>x<N>/apps/tilewright.png,
//                                 OUTPUT_FOLDER/scalable/apps/tilewright.svg)
#include "ui/app_icon.h"

#include <QDir>
#include <QGuiApplication>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icons OUTPUT_FOLDER\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QDir out(QFile::decodeName(argv[1]));
    for (int size : tw::kInstalledIconSizes) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString path = out.filePath(folder + QStringLiteral("/tilewright.png"));
        if (!out.mkpath(folder) || !tw::renderApplicationIcon(size).save(path, "PNG")) {
            std::fprintf(stderr, "make_icons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    const QString svgPath = out.filePath(QStringLiteral("scalable/apps/tilewright.svg"));
    QSaveFile svg(svgPath);
    if (!out.mkpath(QStringLiteral("scalable/apps")) || !svg.open(QIODevice::WriteOnly) ||
        svg.write(tw::applicationIconSvg().toUtf8()) < 0 || !svg.commit()) {
        std::fprintf(stderr, "make_icons: cannot write %s\n", qPrintable(svgPath));
        return 1;
    }
    return 0;
}

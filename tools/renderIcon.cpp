// Build-time tool: draws an SVG icon into PNG files of the given sizes, so that the
// program shows its icon without drawing SVG (nor loading the SVG library) at start.
//   renderIcon ICON.svg OUTPUT-FOLDER NAME SIZE...   writes OUTPUT-FOLDER/NAME-SIZE.png
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: renderIcon ICON.svg OUTPUT-FOLDER NAME SIZE...\n");
        return 2;
    }
    QSvgRenderer renderer(args[1]);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    QDir().mkpath(args[2]);
    for (qsizetype i = 4; i < args.size(); ++i) {
        const int size = args[i].toInt();
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        const QString file = QDir(args[2]).filePath(QStringLiteral("%1-%2.png").arg(args[3]).arg(size));
        if (!image.save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}

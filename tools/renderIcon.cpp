// Build-time tool: draws an SVG icon at the given sizes into files of raw premultiplied
// ARGB32 pixels (this machine's byte order), so that the program shows its icon without
// drawing SVG, loading the SVG library or decoding an image format at start: Qt looks
// through its image format plug-ins before it decodes even a PNG.
//   renderIcon ICON.svg OUTPUT-FOLDER NAME SIZE...   writes OUTPUT-FOLDER/NAME-SIZE.argb
#include <QDir>
#include <QFile>
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
        const QString name = QDir(args[2]).filePath(QStringLiteral("%1-%2.argb").arg(args[3]).arg(size));
        QFile file(name);
        const QByteArray pixels(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
        if (image.bytesPerLine() != size * 4 || !file.open(QIODevice::WriteOnly) || file.write(pixels) != pixels.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    return 0;
}

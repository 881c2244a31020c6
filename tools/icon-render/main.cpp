// Renders the program's SVG icon to a square PNG of the given size, for the
// icon sizes a desktop installs beside the scalable one.
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    bool sizeOk = false;
    const int size = arguments.value(3).toInt(&sizeOk);
    if (arguments.size() != 4 || !sizeOk || size <= 0) {
        std::fputs("usage: pantrix-icon-render INPUT.svg OUTPUT.png SIZE\n", stderr);
        return 2;
    }
    QSvgRenderer renderer(arguments.at(1));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "pantrix-icon-render: cannot read %s\n", qPrintable(arguments.at(1)));
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    if (!image.save(arguments.at(2), "PNG")) {
        std::fprintf(stderr, "pantrix-icon-render: cannot write %s\n", qPrintable(arguments.at(2)));
        return 1;
    }
    return 0;
}

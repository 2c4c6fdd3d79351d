// Draws an SVG picture into a square PNG file for the desktop's icon theme, at build time:
//
//   dawdlex-render-icon PICTURE.svg SIZE OUTPUT.png
//
// The picture is scaled to fill SIZE x SIZE pixels on a transparent ground. Exits non-zero, saying why,
// when the picture cannot be read or the file cannot be written, so a broken icon stops the build.
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

#include <cstdio>

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "dawdlex-render-icon: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        return fail(QStringLiteral("usage: dawdlex-render-icon PICTURE.svg SIZE OUTPUT.png"));
    }
    const QString picture = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[3]);
    bool isNumber = false;
    const int size = QString::fromLocal8Bit(argv[2]).toInt(&isNumber);
    // Icon themes top out at 512 pixels; anything far beyond is a typing error, not a size.
    if (!isNumber || size < 1 || size > 4096) {
        return fail(QStringLiteral("the size must be a whole number of pixels from 1 to 4096: %1")
                        .arg(QString::fromLocal8Bit(argv[2])));
    }

    QSvgRenderer renderer(picture);
    if (!renderer.isValid()) {
        return fail(QStringLiteral("cannot read the picture %1").arg(picture));
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, size, size));
    }
    if (!image.save(output, "PNG")) {
        return fail(QStringLiteral("cannot write %1").arg(output));
    }
    return 0;
}

// Peak signal-to-noise ratio of an image against a reference drawing of the same size, over
// the red, green and blue channels: bench_image_psnr <reference> <image | movie.swf>.
// Sizes may differ by the rounding of the page's edges (two pixels); the common part counts.
// For a page movie, its embedded JPEG image is measured. Prints the figure in dB.

#include "SwfReader.h"

#include <QFile>
#include <QImage>
#include <cmath>
#include <cstdio>

namespace {

QImage load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    if (!path.endsWith(QStringLiteral(".swf")))
        return QImage::fromData(data);
    for (const vellora::test::SwfTag& tag : vellora::test::readSwf(data).tags) {
        if (tag.code == 21) // DefineBitsJPEG2: character id, then the JPEG
            return QImage::fromData(tag.body.mid(2), "JPEG");
    }
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_image_psnr <reference> <image | movie.swf>\n");
        return 2;
    }
    const QImage reference =
        load(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_RGB888);
    const QImage image =
        load(QString::fromLocal8Bit(argv[2])).convertToFormat(QImage::Format_RGB888);
    const int width = qMin(reference.width(), image.width());
    const int height = qMin(reference.height(), image.height());
    if (reference.isNull() || image.isNull() || qAbs(reference.width() - image.width()) > 2 ||
        qAbs(reference.height() - image.height()) > 2) {
        std::fprintf(stderr,
                     "bench_image_psnr: unreadable images or different sizes (%dx%d, %dx%d)\n",
                     reference.width(), reference.height(), image.width(), image.height());
        return 1;
    }
    double squares = 0;
    for (int y = 0; y < height; ++y) {
        const uchar* a = reference.constScanLine(y);
        const uchar* b = image.constScanLine(y);
        for (int x = 0; x < width * 3; ++x)
            squares += double(a[x] - b[x]) * double(a[x] - b[x]);
    }
    const double mean = squares / (double(width) * height * 3);
    std::printf("%.2f\n", mean == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mean));
    return 0;
}

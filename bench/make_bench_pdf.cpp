// Writes the PDFs the converter benchmark runs on.
//   bench_make_pdf <file.pdf> <pages> <text|mixed|poster|scan>
// "mixed": odd pages text only, even pages text with a photo-like image; "text": text only;
// "poster": A0 pages of text with a large photo-like image;
// "scan": each page one image of the whole page at 150 dpi, as a scanner makes them.

#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <cmath>
#include <cstdio>

namespace {

QImage photo()
{
    // Smooth colour fields with some noise: compresses like a photograph, not like a flat
    // drawing.
    QImage image(800, 600, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int noise = int(random.bounded(24));
            row[x] = qRgb(int(127 + 100 * std::sin(x / 60.0)) + noise / 2,
                          int(127 + 100 * std::cos(y / 45.0)) + noise / 3,
                          int(127 + 90 * std::sin((x + y) / 80.0)) + noise / 4);
        }
    }
    return image;
}

void drawText(QPainter& painter, const QRect& area, int page, int lines)
{
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(11);
    painter.setFont(font);
    painter.drawText(50, 40, QStringLiteral("Catalogue page %1").arg(page));
    for (int line = 0; line < lines; ++line) {
        painter.drawText(50, 70 + line * 14,
                         QStringLiteral("%1. Article %2 : description détaillée du produit, "
                                        "dimensions, matière, coloris et prix conseillé.")
                             .arg(line + 1)
                             .arg(page * 100 + line));
    }
    (void)area;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_make_pdf <file.pdf> <pages> <text|mixed|poster|scan>\n");
        return 2;
    }
    const int pages = QString::fromLocal8Bit(argv[2]).toInt();
    const bool mixed = qstrcmp(argv[3], "mixed") == 0;
    const bool scan = qstrcmp(argv[3], "scan") == 0;
    const bool poster = qstrcmp(argv[3], "poster") == 0;
    QPdfWriter writer(QString::fromLocal8Bit(argv[1]));
    writer.setResolution(72);
    writer.setPageLayout(QPageLayout(QPageSize(poster ? QPageSize::A0 : QPageSize::A4),
                                     QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    QPainter painter(&writer);
    const QImage image = photo();
    const QImage scanned = scan ? image.scaled(1240, 1754) : QImage();
    for (int page = 1; page <= pages; ++page) {
        if (page > 1)
            writer.newPage();
        if (scan) {
            painter.drawImage(QRect(0, 0, 595, 842), scanned);
            continue;
        }
        if (poster) {
            drawText(painter, painter.viewport(), page, 100);
            painter.drawImage(QRect(50, 1600, 2284, 1713), image);
            continue;
        }
        const bool withImage = mixed && page % 2 == 0;
        drawText(painter, painter.viewport(), page, withImage ? 20 : 50);
        if (withImage)
            painter.drawImage(QRect(50, 380, 495, 371), image);
    }
    return painter.end() ? 0 : 1;
}

#include "builder/build/CoverImage.h"

#include "builder/build/AtomicFile.h"
#include "builder/build/CataloguePage.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

namespace vellora {

namespace {

// Room left around the page, in pixels, so a preview that crops a little still shows it whole.
constexpr int kMargin = 24;

QByteArray encoded(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.setOptimizedWrite(true);
    if (!writer.write(image))
        return {};
    return bytes;
}

} // namespace

QByteArray coverJpeg(const QImage& firstPage)
{
    QImage cover(kCoverWidth, kCoverHeight, QImage::Format_RGB32);
    // A new image takes its resolution from the screen in a program with windows, and the JPEG
    // header carries it: a fixed one makes the window's cover and the command line's the same.
    cover.setDotsPerMeterX(2835);
    cover.setDotsPerMeterY(2835);
    cover.fill(QColor(0xe8, 0xe8, 0xe8));
    if (!firstPage.isNull()) {
        const QImage page = firstPage.scaled(kCoverWidth - 2 * kMargin, kCoverHeight - 2 * kMargin,
                                             Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QPainter painter(&cover);
        painter.drawImage((kCoverWidth - page.width()) / 2, (kCoverHeight - page.height()) / 2,
                          page);
    }
    // A busy page may need a lower quality to stay within the size previews accept.
    QByteArray bytes;
    for (int quality = 85; quality >= 25; quality -= 15) {
        bytes = encoded(cover, quality);
        if (bytes.size() <= kCoverLargestBytes)
            break;
    }
    return bytes;
}

void WriteCoverImage(const QString& folder)
{
    const QImage page = QImageReader(folder + QStringLiteral("page1.jpg")).read();
    const QByteArray bytes = coverJpeg(page);
    if (bytes.isEmpty())
        throw EVellora(cannotCreateFileMessage(folder + kCoverFile));
    writeFileAtomically(folder + kCoverFile, bytes);
}

} // namespace vellora

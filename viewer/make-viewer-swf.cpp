// make-viewer-swf: writes "vellora.swf", the movie a catalogue folder carries beside its HTML
// page. The catalogue is the HTML page; a Flash player that opens this movie shows a one-line
// notice saying so. The notice is drawn with Qt into a grey-level bitmap and stored as a
// lossless, zlib-compressed image, so it needs no font inside the movie.
//
//   make-viewer-swf <output.swf>

#include "SwfMovie.h"

#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <cstdio>
#include <stdexcept>
#include <zlib.h>

namespace swf = vellora::swf;

namespace {

const QString kNotice =
    QStringLiteral("Ce catalogue se consulte dans sa page HTML : ouvrez le fichier .html de ce "
                   "dossier.");

constexpr int kStageWidth = 800; // pixels
constexpr int kStageHeight = 60;
constexpr int kDrawScale = 2; // the bitmap holds two pixels per stage pixel: sharp on zoom
constexpr swf::Rgb kPaper{255, 255, 255};
constexpr swf::Rgb kInk{0x22, 0x2a, 0x35};
constexpr std::uint16_t kTagDefineBitsLossless = 20;

// The notice as coverage: 0 is paper, 255 is ink.
QImage drawNotice()
{
    QImage image(kStageWidth * kDrawScale, kStageHeight * kDrawScale, QImage::Format_Grayscale8);
    image.fill(0);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(18 * kDrawScale);
    // Shrink the font rather than clip the line if the notice is wider than the stage.
    while (QFontMetrics(font).horizontalAdvance(kNotice) > image.width() - 24 * kDrawScale &&
           font.pixelSize() > 8)
        font.setPixelSize(font.pixelSize() - 1);
    painter.setFont(font);
    painter.setPen(QColor(255, 255, 255));
    painter.drawText(image.rect(), Qt::AlignCenter, kNotice);
    painter.end();
    return image;
}

// DefineBitsLossless, 8-bit colour-mapped: a palette running from paper to ink, then one
// palette index per pixel, rows padded to four bytes, all zlib-compressed.
swf::Tag defineBitsLossless(std::uint16_t characterId, const QImage& coverage)
{
    swf::Bytes raw;
    for (int level = 0; level < 256; ++level) {
        const auto mix = [level](std::uint8_t paper, std::uint8_t ink) {
            return static_cast<std::uint8_t>((paper * (255 - level) + ink * level + 127) / 255);
        };
        raw.push_back(mix(kPaper.red, kInk.red));
        raw.push_back(mix(kPaper.green, kInk.green));
        raw.push_back(mix(kPaper.blue, kInk.blue));
    }
    const int rowBytes = (coverage.width() + 3) / 4 * 4;
    for (int y = 0; y < coverage.height(); ++y) {
        const uchar* row = coverage.constScanLine(y);
        raw.insert(raw.end(), row, row + coverage.width());
        raw.insert(raw.end(), rowBytes - coverage.width(), 0);
    }

    uLongf packedSize = compressBound(raw.size());
    swf::Bytes packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), raw.size(), Z_BEST_COMPRESSION) != Z_OK)
        throw std::runtime_error("zlib compression failed");
    packed.resize(packedSize);

    swf::Bytes body;
    swf::ByteWriter out(body);
    out.u16(characterId);
    out.u8(3); // colour-mapped
    out.u16(static_cast<std::uint16_t>(coverage.width()));
    out.u16(static_cast<std::uint16_t>(coverage.height()));
    out.u8(255); // palette size - 1
    out.bytes(packed);
    return swf::tag(kTagDefineBitsLossless, body, true);
}

swf::Bytes noticeMovie()
{
    const QImage notice = drawNotice();
    const swf::Rect stage{0, kStageWidth * swf::kTwipsPerPoint, 0,
                          kStageHeight * swf::kTwipsPerPoint};
    swf::Movie movie(stage);
    movie.add(swf::fileAttributes(0));
    movie.add(swf::setBackgroundColor(kPaper));
    movie.add(defineBitsLossless(1, notice));
    movie.add(swf::defineShape(
        2, stage, swf::bitmapRectangleShape(1, notice.width(), notice.height(), stage)));
    movie.add(swf::placeObject2(1, 2));
    movie.add(swf::showFrame());
    return movie.finish(swf::Compression::Zlib);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-viewer-swf <output.swf>\n");
        return 2;
    }
    // Fonts and painting need a GUI application, never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int appArgc = 1;
    QGuiApplication app(appArgc, argv);

    try {
        const swf::Bytes movie = noticeMovie();
        QSaveFile file(QFile::decodeName(argv[1]));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(reinterpret_cast<const char*>(movie.data()),
                       static_cast<qint64>(movie.size())) != static_cast<qint64>(movie.size()) ||
            !file.commit()) {
            std::fprintf(stderr, "make-viewer-swf: cannot write %s\n", argv[1]);
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make-viewer-swf: %s\n", error.what());
        return 1;
    }
    return 0;
}

#include "VectorPage.h"

#include "PageDrawing.h"
#include "PaintOrder.h"
#include "VectorMovie.h"

#include <cstdio>
#include <utility>

namespace vellora::converter::vector {

// The limits in VectorPage.h, measured on our benchmark pages: a text page holds 2 500 to
// 4 000 glyphs and 50 to 200 shapes, a dense map or chart 2 000 to 5 000 shapes of a few
// dozen edges each. Beyond 6 000 shapes or 200 000 edges the movie passes a megabyte,
// several times the page image that the image form would show, and Ruffle takes seconds
// to draw it. The movie's own size is checked after it is built, for what the counts
// miss (long glyph lists, big embedded images).

namespace {

void say(const ConverterOptions& options, int pageNumber, const std::string& what)
{
    std::fprintf(stderr, "pdf2swf: %s, page %d : %s\n", options.input.c_str(), pageNumber,
                 what.c_str());
}

} // namespace

std::optional<VectorPageFiles> vectorPage(const PdfPages::Page& page, int pageNumber,
                                          const ConverterOptions& options, double backgroundScale)
{
    const std::unique_ptr<PageDrawing> drawing = readDrawing(page);
    const PageSize size = page.size();

    if (drawing->textGlyphs == 0 &&
        drawing->imageArea >= kScannedCoverage * size.width * size.height) {
        say(options, pageNumber, "page numérisée, gardée en image");
        return std::nullopt;
    }
    if (drawing->textGlyphs > kMaxTextGlyphs) {
        say(options, pageNumber,
            "trop de caractères (" + std::to_string(drawing->textGlyphs) + "), gardée en image");
        return std::nullopt;
    }

    VectorForm form =
        options.preset == Preset::High ? VectorForm::Vector : VectorForm::TextOverImage;
    if (form == VectorForm::Vector && !drawing->unsupported.empty()) {
        say(options, pageNumber,
            drawing->unsupported + " sans forme vectorielle : texte vectoriel sur fond d'image");
        form = VectorForm::TextOverImage;
    }
    if (form == VectorForm::Vector &&
        (drawing->shapeItems > kMaxShapeItems || drawing->shapeEdges > kMaxShapeEdges)) {
        say(options, pageNumber,
            "trop de tracés (" + std::to_string(drawing->shapeItems) + " formes, " +
                std::to_string(drawing->shapeEdges) +
                " segments) : texte vectoriel sur fond d'image");
        form = VectorForm::TextOverImage;
    }

    // Text that later paint covers goes into the background, where it stays below that
    // paint. When that is most of the text, the page is an image in all but name.
    std::set<GlyphKey> covered;
    if (form == VectorForm::TextOverImage) {
        std::optional<std::set<GlyphKey>> hidden = coveredGlyphs(*drawing);
        if (!hidden) {
            say(options, pageNumber, "trop de tracés sur le texte pour en juger, gardée en image");
            return std::nullopt;
        }
        covered = std::move(*hidden);
        if (covered.size() * 2 > drawing->textGlyphs) {
            say(options, pageNumber,
                "texte recouvert par d'autres tracés (" + std::to_string(covered.size()) +
                    " caractères), gardée en image");
            return std::nullopt;
        }
    }

    // Small images go above the background at their own resolution, as the Vector form
    // draws them: line art kept as an image is unreadable at the background's 48 dpi.
    std::set<std::size_t> lifted;
    std::set<int> liftedNumbers;
    if (form == VectorForm::TextOverImage) {
        lifted = liftedImages(*drawing, covered, kImageDotsPerInch, kLiftedImagePixels);
        int number = 0;
        for (std::size_t i = 0; i < drawing->items.size(); ++i) {
            if (drawing->items[i].kind != Item::Kind::Image)
                continue;
            if (lifted.count(i))
                liftedNumbers.insert(number);
            ++number;
        }
    }

    std::vector<std::uint8_t> background;
    int backgroundWidth = 0, backgroundHeight = 0;
    if (form == VectorForm::TextOverImage) {
        const Pixels image = renderWithoutText(page, backgroundScale, covered, liftedNumbers);
        background = jpegOf(image, options.jpegQuality);
        backgroundWidth = image.width;
        backgroundHeight = image.height;
    }
    const swf::Bytes movie = vectorMovie(*drawing, form, size, background, backgroundWidth,
                                         backgroundHeight, options.jpegQuality, covered, lifted);
    if (movie.size() > kMaxMovieBytes) {
        say(options, pageNumber,
            "forme vectorielle trop lourde (" + std::to_string(movie.size() / 1024) +
                " Ko), gardée en image");
        return std::nullopt;
    }
    VectorPageFiles files{movie, pageSvg(page)};
    if (files.svg.size() > kMaxSvgBytes) {
        say(options, pageNumber,
            "SVG trop lourd (" + std::to_string(files.svg.size() / 1024) + " Ko), non écrit");
        files.svg.clear();
    }
    return files;
}

} // namespace vellora::converter::vector

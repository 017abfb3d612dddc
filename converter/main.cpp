// pdf2swf: Vellora's page converter. Lists the pages of a PDF, or turns one page into a
// Flash movie and, beside it, a JPEG image for the HTML5 viewer.

#include "AreaScale.h"
#include "ConverterOptions.h"
#include "JpegWriter.h"
#include "PageFiles.h"
#include "PageMovie.h"
#include "PageText.h"
#include "PdfPages.h"
#include "ProcessorLimit.h"
#include "vector/VectorPage.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

using namespace vellora::converter;

namespace {

// The exit status of a page that could not be written because the disk is full: the build
// stops there, as every other page would fail alike.
constexpr int kDiskFullStatus = 3;

// Long sides of the page images beside the movie, in pixels.
constexpr int kImageLongSide = 1600;
constexpr int kScreenImageLongSide = 800;
constexpr int kThumbnailLongSide = 200;
// No drawing of a page is larger than this: a huge page, or a huge zoom, is drawn smaller
// (some 50 MB in RGB, however large the page). It is the movie image's own limit.
constexpr double kDrawingPixelBudget = kFlashMaxPixels;

std::string points(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    std::string result = text;
    while (result.back() == '0')
        result.pop_back();
    if (result.back() == '.')
        result.pop_back();
    return result;
}

// Every page of the document with its size. A page that cannot be loaded is listed all the
// same, so that the pages after it keep their numbers, and a warning names it; converting
// it fails later with the same reason.
int listPages(const ConverterOptions& options)
{
    PdfPages document(options.input);
    const std::vector<ListedPage> pages = document.pageList();
    // Printed only once every page has been read: all or nothing.
    std::string listing;
    listing.reserve(pages.size() * 40);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const ListedPage& page = pages[i];
        const std::string width = points(page.size.width), height = points(page.size.height);
        listing += "page=" + std::to_string(i + 1) + " width=" + width + " height=" + height + "\n";
        if (!page.damage.empty())
            std::fprintf(stderr, "pdf2swf: %s : avertissement : %s ; listée en %s × %s points\n",
                         options.input.c_str(), page.damage.c_str(), width.c_str(), height.c_str());
    }
    if (std::fwrite(listing.data(), 1, listing.size(), stdout) != listing.size() ||
        std::fflush(stdout) != 0)
        throw OutputError("impossible d'écrire la liste des pages");
    return 0;
}

int printOutline(const ConverterOptions& options)
{
    PdfPages document(options.input);
    const std::string json = document.outlineJson();
    if (std::fwrite(json.data(), 1, json.size(), stdout) != json.size() || std::fflush(stdout) != 0)
        throw OutputError("impossible d'écrire les signets");
    return 0;
}

double longSideScale(const PageSize& size, int longSide)
{
    return longSide / std::max(size.width, size.height);
}

// The page at `scale`, width x height pixels (no larger than `source`), derived from
// `source` and kept in `store`, or `source` itself when it already is that image.
const PageImage& derived(const PageImage& source, int width, int height, double scale,
                         PageImage& store)
{
    width = std::min(width, source.width);
    height = std::min(height, source.height);
    if (width == source.width && height == source.height)
        return source;
    store = areaScale(source, width, height, scale);
    return store;
}

// An image beside the movie: its long side is `longSide` pixels exactly.
const PageImage& sideImage(const PageImage& source, const PageSize& size, int longSide,
                           PageImage& store)
{
    const double scale = longSideScale(size, longSide);
    const int width = std::max(1, static_cast<int>(std::lround(size.width * scale)));
    const int height = std::max(1, static_cast<int>(std::lround(size.height * scale)));
    return derived(source, width, height, scale, store);
}

void writeJpeg(PageFiles& files, PageFile file, const PageImage& image, int quality, JpegKind kind)
{
    const JpegData jpeg = encodeJpeg(image, quality, kind);
    files.write(file, jpeg.bytes.get(), jpeg.size);
}

// The page in the vector form the preset asks for, or nothing when it keeps the image form:
// also when the SWF writer cannot encode it (a coordinate or a size past what a SWF field
// holds), which a damaged or hostile page can ask for. The image form draws anything.
std::optional<vector::VectorPageFiles>
vectorPageOrImage(const PdfPages::Page& page, const ConverterOptions& options, double movieScale)
{
    try {
        return vector::vectorPage(page, options.page, options, movieScale);
    } catch (const std::range_error&) {
    } catch (const std::length_error&) {
    } catch (const std::out_of_range&) {
    } catch (const std::invalid_argument&) {
    }
    std::fprintf(stderr,
                 "pdf2swf: %s, page %d : coordonnées hors des limites du format SWF, gardée en "
                 "image\n",
                 options.input.c_str(), options.page);
    return std::nullopt;
}

// The page is drawn at the page image's size (or the movie's, when that is larger); the
// screen image and the thumbnail are derived from that drawing by area averaging. Nothing
// is drawn larger than the pixel budget. All the files appear together at commit().
int convertPage(const ConverterOptions& options)
{
    PageFiles files(options.output);
    files.checkPaths(options.input);
    PdfPages document(options.input);
    const auto page = document.loadPage(options.page);
    const PageSize size = page->size();

    const double movieScale =
        options.zoom / 72.0 *
        flashLimitScale(size.width * options.zoom / 72.0, size.height * options.zoom / 72.0);
    // The exact ratio: MuPDF rounds the page's edges outwards, so the long side is never
    // short of 1600, and any other scale moves every glyph on MuPDF's pixel grid.
    double drawingScale = std::max(movieScale, longSideScale(size, kImageLongSide));
    drawingScale =
        std::min(drawingScale, std::sqrt(kDrawingPixelBudget / (size.width * size.height)));
    const PageImage drawing = page->render(drawingScale);

    PageImage movieStore, imageStore, screenStore, thumbnailStore;

    // The medium and high presets draw the movie as vectors, with the page's SVG beside it,
    // unless the page keeps the image form.
    const auto vectorFiles = options.preset == Preset::Low
                                 ? std::nullopt
                                 : vectorPageOrImage(*page, options, movieScale);
    if (vectorFiles) {
        files.write(PageFile::Movie, vectorFiles->movie.data(), vectorFiles->movie.size());
        if (!vectorFiles->svg.empty())
            files.write(PageFile::Vector, vectorFiles->svg.data(), vectorFiles->svg.size());
    } else {
        // The movie's image is drawn at its own scale when that is the smaller: at 48 dpi
        // MuPDF places small text on the pixel grid, which an average of the larger drawing
        // does not reproduce (10 dB less against MuPDF's own drawing), and it costs little.
        const PageImage& rendered =
            movieScale < drawing.scale ? (movieStore = page->render(movieScale)) : drawing;
        const int border = bitmapBorder(rendered.width, rendered.height);
        PageImage borderStore;
        const PageImage& movieImage = border ? (borderStore = withEdgeBorder(rendered)) : rendered;
        const JpegData movieJpeg = encodeJpeg(movieImage, options.jpegQuality, JpegKind::Baseline);
        const auto movie = pageMovie(
            size.width, size.height,
            vellora::swf::Bytes(movieJpeg.bytes.get(), movieJpeg.bytes.get() + movieJpeg.size),
            movieImage.width, movieImage.height, border);
        files.write(PageFile::Movie, movie.data(), movie.size());
    }

    // A drawing made larger for the movie is brought back to the page image's size.
    const PageImage& image = std::max(drawing.width, drawing.height) > kImageLongSide + 2
                                 ? sideImage(drawing, size, kImageLongSide, imageStore)
                                 : drawing;
    writeJpeg(files, PageFile::Image, image, options.jpegQuality, JpegKind::StreamedBaseline);
    const PageImage& screen = sideImage(image, size, kScreenImageLongSide, screenStore);
    writeJpeg(files, PageFile::ScreenImage, screen, options.jpegQuality,
              JpegKind::StreamedBaseline);
    const PageImage& thumbnail = sideImage(screen, size, kThumbnailLongSide, thumbnailStore);
    writeJpeg(files, PageFile::Thumbnail, thumbnail, options.jpegQuality, JpegKind::Baseline);
    // Only a page with text or links gets its script; commit() removes an older one.
    const std::string script = options.textLayer ? page->textScript(options.page) : std::string();
    if (!script.empty())
        files.write(PageFile::TextLayer, reinterpret_cast<const std::uint8_t*>(script.data()),
                    script.size());
    files.commit();
    return 0;
}

// What a message is about: the document, and in page mode the page.
std::string subject(const ConverterOptions& options)
{
    if (options.mode == Mode::Page)
        return options.input + ", page " + std::to_string(options.page) + " : ";
    return options.input + " : ";
}

int fail(const std::string& message, int status)
{
    std::fprintf(stderr, "pdf2swf: %s\n", message.c_str());
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    // Past a file size limit, a write must fail with an error the program reports and
    // cleans up after, rather than end the program on the spot.
    std::signal(SIGXFSZ, SIG_IGN);
    ConverterOptions options;
    try {
        options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        return fail(error.what(), 2);
    }

    try {
        switch (options.mode) {
        case Mode::Help:
            std::fputs(helpText().c_str(), stdout);
            return 0;
        case Mode::Version:
            std::puts("pdf2swf (Vellora) " VELLORA_VERSION);
            return 0;
        case Mode::Information:
            return listPages(options);
        case Mode::Outline:
            return printOutline(options);
        case Mode::Page:
            limitProcessorTime(kPageProcessorSeconds, subject(options));
            return convertPage(options);
        }
    } catch (const std::bad_alloc&) {
        return fail(subject(options) + "mémoire insuffisante", 1);
    } catch (const DocumentError& error) {
        return fail(subject(options) + error.what(), 1);
    } catch (const OutputError& error) {
        return fail(subject(options) + error.what(), error.diskFull() ? kDiskFullStatus : 1);
    } catch (const std::exception& error) {
        // The movie writer's own checks speak English: they catch faults of this program.
        if (dynamic_cast<const std::logic_error*>(&error) ||
            dynamic_cast<const std::range_error*>(&error))
            return fail(subject(options) + "erreur interne en écrivant l'animation (" +
                            error.what() + ")",
                        1);
        return fail(subject(options) + error.what(), 1);
    }
    return 1;
}

// pdf2swf: Vellora's page converter. Lists the pages of a PDF, or turns one page into a
// Flash movie and, beside it, a JPEG image for the HTML5 viewer.

#include "ConverterOptions.h"
#include "JpegWriter.h"
#include "OutputFiles.h"
#include "PageMovie.h"
#include "PageText.h"
#include "PdfPages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

using namespace vellora::converter;

namespace {

constexpr int kViewerImageLongSide = 1600;
// Largest image a Flash player shows: 8191 pixels a side, 16 777 215 pixels in all.
constexpr double kMovieImageMaxSide = 8191;
constexpr double kMovieImageMaxPixels = 16777215;

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

int listPages(const ConverterOptions& options)
{
    PdfPages document(options.input);
    const std::vector<PageSize> sizes = document.pageSizes();
    // Printed only once every page has been read: all or nothing.
    std::string listing;
    listing.reserve(sizes.size() * 40);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        listing += "page=" + std::to_string(i + 1) + " width=" + points(sizes[i].width) +
                   " height=" + points(sizes[i].height) + "\n";
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

double movieScale(const PageSize& size, double zoom)
{
    double scale = zoom / 72.0;
    scale = std::min(scale, kMovieImageMaxSide / std::max(size.width, size.height));
    scale = std::min(scale, std::sqrt(kMovieImageMaxPixels / (size.width * size.height)));
    return scale;
}

double viewerScale(const PageSize& size)
{
    // A hair above the exact ratio so that rounding never leaves the long side at 1599.
    return (kViewerImageLongSide + 0.01) / std::max(size.width, size.height);
}

// True when path names the same file as the document being read (through links too).
bool isTheInput(const std::string& path, const std::string& input)
{
    std::error_code error;
    return std::filesystem::equivalent(path, input, error);
}

int convertPage(const ConverterOptions& options)
{
    // Renaming the page files into place would replace the document itself.
    const std::string scriptPath = textScriptPathFor(options.output);
    for (const std::string& path : {options.output, imagePathFor(options.output), scriptPath}) {
        if (isTheInput(path, options.input))
            throw OutputError(path + " est le document lu : il ne sera pas remplacé");
    }
    PdfPages document(options.input);
    const auto page = document.loadPage(options.page);
    const PageSize size = page->size();

    OutputFiles files;
    const RgbImage movieImage = page->render(movieScale(size, options.zoom));
    const auto movieJpeg = encodeJpeg(movieImage.pixels.data(), movieImage.width, movieImage.height,
                                      movieImage.stride, options.jpegQuality, JpegKind::Baseline);
    const auto movie =
        pageMovie(size.width, size.height, movieJpeg, movieImage.width, movieImage.height);
    files.stage(options.output, movie.data(), movie.size());

    const RgbImage viewerImage = page->render(viewerScale(size));
    const auto viewerJpeg =
        encodeJpeg(viewerImage.pixels.data(), viewerImage.width, viewerImage.height,
                   viewerImage.stride, options.jpegQuality, JpegKind::Progressive);
    files.stage(imagePathFor(options.output), viewerJpeg.data(), viewerJpeg.size());

    const std::string script = options.textLayer ? page->textScript(options.page) : std::string();
    if (!script.empty())
        files.stage(scriptPath, reinterpret_cast<const std::uint8_t*>(script.data()),
                    script.size());
    files.commit();
    // A page that lost its text since the last run must not keep the old layer.
    if (script.empty())
        ::unlink(scriptPath.c_str());
    return 0;
}

int fail(const std::string& message, int status)
{
    std::fprintf(stderr, "pdf2swf: %s\n", message.c_str());
    return status;
}

} // namespace

int main(int argc, char** argv)
{
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
            return convertPage(options);
        }
    } catch (const std::bad_alloc&) {
        return fail(options.input + " : mémoire insuffisante", 1);
    } catch (const std::exception& error) {
        return fail(options.input + " : " + error.what(), 1);
    }
    return 1;
}

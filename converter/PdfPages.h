#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace vellora::converter {

// A document that cannot be read as asked; the message says why, in one line.
class DocumentError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct PageSize
{
    double width = 0; // points, after the page's rotation
    double height = 0;
};

// Packed RGB pixels (3 bytes a pixel).
struct RgbImage
{
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<std::uint8_t> pixels;
};

// A PDF opened with MuPDF. Opening fails for a missing, unreadable, damaged or truncated
// file and for one that needs a user password (an owner password alone is no obstacle).
class PdfPages
{
public:
    explicit PdfPages(const std::string& path);
    ~PdfPages();
    PdfPages(const PdfPages&) = delete;
    PdfPages& operator=(const PdfPages&) = delete;

    int pageCount() const { return m_pageCount; }

    // Sizes of every page, read from the page dictionaries alone (nothing is drawn).
    std::vector<PageSize> pageSizes();

    // The reading direction and the outline, as documentOutlineJson() writes them.
    std::string outlineJson();

    // Loads page `number` (1-based) for rendering.
    class Page;
    std::unique_ptr<Page> loadPage(int number);

private:
    struct Impl;
    std::unique_ptr<Impl> m;
    int m_pageCount = 0;
};

class PdfPages::Page
{
public:
    ~Page();
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    PageSize size() const { return m_size; }

    // Draws the page on white at `scale` pixels per point.
    RgbImage render(double scale) const;

    // The page's text layer and links as pageTextScript() writes them (empty when it has
    // neither); `number` is the page's number in the catalogue.
    std::string textScript(int number) const;

private:
    friend class PdfPages;
    struct Impl;
    explicit Page(std::unique_ptr<Impl> impl, PageSize size);
    std::unique_ptr<Impl> m;
    PageSize m_size;
};

} // namespace vellora::converter

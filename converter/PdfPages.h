#pragma once

#include "PageImage.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct fz_context;
struct fz_display_list;

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

// One page of the document's list: its size, and why it cannot be loaded (empty when it
// can). A page that cannot be loaded has the size of its media box when that can be read,
// else the size of the page before it.
struct ListedPage
{
    PageSize size;
    std::string damage;
};

// A PDF opened with MuPDF. Opening fails for a missing, unreadable or truncated file, for
// one whose pages cannot be listed, and for one that needs a user password (an owner
// password alone is no obstacle). A file whose cross-references MuPDF had to rebuild is read
// as rebuilt; its pages are those its page tree really holds, whatever the tree's page
// counts say, damaged ones included: those fail to load, each on its own.
class PdfPages
{
public:
    explicit PdfPages(const std::string& path);
    ~PdfPages();
    PdfPages(const PdfPages&) = delete;
    PdfPages& operator=(const PdfPages&) = delete;

    int pageCount() const { return m_pageCount; }

    // Every page, each loaded as for drawing (nothing is drawn); fails only when no page at
    // all can be loaded.
    std::vector<ListedPage> pageList();

    // The reading direction and the outline, as documentOutlineJson() writes them.
    std::string outlineJson();

    // Loads page `number` (1-based), with its content when it is to be drawn.
    class Page;
    std::unique_ptr<Page> loadPage(int number, bool forDrawing = true);

private:
    // Why page `number` cannot be loaded although the tree lists it, or empty.
    std::string pageDamage(int number);

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

    // Whether anything on the page has colour (images judged by their colour space).
    bool hasColour() const;

    // Draws the page on white at `scale` pixels per point: in grey when nothing on the page
    // has colour (one channel, and the picture is the same), else in RGB.
    PageImage render(double scale) const;

    // The page's text layer and links as pageTextScript() writes them (empty when it has
    // neither); `number` is the page's number in the catalogue.
    std::string textScript(int number) const;
    // For devices of our own: the library's context and the page's display list, whose
    // coordinates put the page's top left corner at (originX, originY) points.
    fz_context* context() const;
    fz_display_list* displayList() const;
    double originX() const;
    double originY() const;

private:
    friend class PdfPages;
    struct Impl;
    explicit Page(std::unique_ptr<Impl> impl, PageSize size);
    std::unique_ptr<Impl> m;
    PageSize m_size;
};

} // namespace vellora::converter

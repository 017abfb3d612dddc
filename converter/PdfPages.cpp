#include "PdfPages.h"

#include "DocumentOutline.h"
#include "MuPdfCall.h"
#include "PageText.h"
#include "SystemErrors.h"

extern "C" {
#include <mupdf/fitz.h>
#include <mupdf/pdf.h>
}

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace vellora::converter {

namespace {

// The library's own warnings about a damaged file would reach the user's terminal; the
// program decides itself what is worth reporting.
void quiet(void*, const char*) {}

void checkReadable(const std::string& path)
{
    struct stat info
    {};
    if (::stat(path.c_str(), &info) != 0)
        throw DocumentError("fichier introuvable : " + path + " (" + frenchSystemError(errno) +
                            ")");
    if (S_ISDIR(info.st_mode))
        throw DocumentError("ce n'est pas un fichier mais un dossier : " + path);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw DocumentError("lecture impossible : " + path + " (" + frenchSystemError(errno) + ")");
    ::close(fd);
    if (info.st_size == 0)
        throw DocumentError("fichier vide : " + path);
}

// Whether the file still ends with its end-of-file marker (within the last kilobyte, where
// writers put it, followed at most by line ends or padding).
bool endsWithEofMarker(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info
    {};
    std::string tail;
    if (::fstat(fd, &info) == 0) {
        const off_t size = std::min<off_t>(info.st_size, 1024);
        tail.resize(static_cast<std::size_t>(size));
        if (::pread(fd, tail.data(), tail.size(), info.st_size - size) !=
            static_cast<ssize_t>(size))
            tail.clear();
    }
    ::close(fd);
    return tail.find("%%EOF") != std::string::npos;
}

} // namespace

struct PdfPages::Impl
{
    fz_context* ctx = nullptr;
    pdf_document* doc = nullptr;

    ~Impl()
    {
        if (ctx) {
            pdf_drop_document(ctx, doc);
            fz_drop_context(ctx);
        }
    }
};

struct PdfPages::Page::Impl
{
    fz_context* ctx = nullptr;
    fz_page* page = nullptr;
    fz_display_list* list = nullptr;
    fz_rect bounds{};
    int colour = -1; // unknown until asked

    ~Impl()
    {
        fz_drop_display_list(ctx, list);
        fz_drop_page(ctx, page);
    }
};

namespace {

// Whether a node of the page tree holds other nodes, judged as MuPDF judges it when it looks a
// page up by number.
bool isPagesNode(fz_context* ctx, pdf_obj* node)
{
    pdf_obj* type = pdf_dict_get(ctx, node, PDF_NAME(Type));
    if (type)
        return pdf_name_eq(ctx, type, PDF_NAME(Pages));
    return pdf_dict_get(ctx, node, PDF_NAME(Kids)) && !pdf_dict_get(ctx, node, PDF_NAME(MediaBox));
}

// Counts the pages under a node of the page tree as the tree really holds them, and corrects
// the /Count of every node that says otherwise (in memory only): MuPDF's page count and its
// look-ups by number trust those numbers. Loops and absurd depths are errors (`looped` is
// set); a node that cannot be read counts as one page, which will not load.
int countPages(fz_context* ctx, pdf_obj* node, int depth, bool* looped);

int countKid(fz_context* ctx, pdf_obj* kid, int depth, bool* looped)
{
    volatile int count = 1;
    fz_try(ctx)
    {
        count = countPages(ctx, kid, depth, looped);
    }
    fz_catch(ctx)
    {
        if (*looped || fz_caught(ctx) == FZ_ERROR_MEMORY)
            fz_rethrow(ctx);
        count = 1;
    }
    return count;
}

int countPages(fz_context* ctx, pdf_obj* node, int depth, bool* looped)
{
    if (depth > 100 || pdf_mark_obj(ctx, node)) {
        *looped = true;
        fz_throw(ctx, FZ_ERROR_GENERIC, "arbre des pages en boucle");
    }
    volatile int count = 0;
    fz_try(ctx)
    {
        pdf_obj* kids = pdf_dict_get(ctx, node, PDF_NAME(Kids));
        if (depth == 0 || isPagesNode(ctx, node)) {
            for (int i = 0; i < pdf_array_len(ctx, kids); ++i)
                count = count + countKid(ctx, pdf_array_get(ctx, kids, i), depth + 1, looped);
            if (pdf_dict_get_int(ctx, node, PDF_NAME(Count)) != count)
                pdf_dict_put_int(ctx, node, PDF_NAME(Count), count);
        } else {
            // A leaf, even one that is missing or damaged: MuPDF numbers the pages so too.
            count = 1;
        }
    }
    fz_always(ctx)
    {
        pdf_unmark_obj(ctx, node);
    }
    fz_catch(ctx)
    {
        fz_rethrow(ctx);
    }
    return count;
}

} // namespace

PdfPages::PdfPages(const std::string& path) : m(std::make_unique<Impl>())
{
    checkReadable(path);
    m->ctx = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
    if (!m->ctx)
        throw DocumentError("mémoire insuffisante");
    fz_context* ctx = m->ctx;
    fz_set_warning_callback(ctx, quiet, nullptr);
    fz_set_error_callback(ctx, quiet, nullptr);

    pdf_document* doc = nullptr;
    guarded(ctx, "PDF illisible ou endommagé", [&] { doc = pdf_open_document(ctx, path.c_str()); });
    m->doc = doc;
    if (pdf_needs_password(ctx, doc))
        throw DocumentError("le PDF est protégé par un mot de passe d'ouverture");

    // The pages are those the tree really holds, whatever its /Count says. MuPDF rebuilds
    // the cross-references the first time it meets an object that is not where they say:
    // a walk during which that happened is done again on the rebuilt table.
    int count = 0;
    for (int walk = 0; walk < 2; ++walk) {
        const bool repairedBefore = pdf_was_repaired(ctx, doc);
        try {
            guarded(ctx, "PDF endommagé : liste des pages illisible", [&] {
                pdf_obj* root = nullptr;
                fz_var(root);
                fz_try(ctx)
                {
                    root =
                        pdf_keep_obj(ctx, pdf_dict_getp(ctx, pdf_trailer(ctx, doc), "Root/Pages"));
                    if (!pdf_is_dict(ctx, root))
                        fz_throw(ctx, FZ_ERROR_GENERIC, "pas d'arbre des pages");
                    bool looped = false;
                    count = countPages(ctx, root, 0, &looped);
                }
                fz_always(ctx)
                {
                    pdf_drop_obj(ctx, root);
                }
                fz_catch(ctx)
                {
                    fz_rethrow(ctx);
                }
            });
        } catch (const DocumentError&) {
            if (repairedBefore || !pdf_was_repaired(ctx, doc))
                throw;
            continue;
        }
        if (repairedBefore || !pdf_was_repaired(ctx, doc))
            break;
    }
    if (count <= 0)
        throw DocumentError("le PDF ne contient aucune page lisible");
    // A file cut short loses its end marker, and with it the pages past the cut: it must
    // not pass for a shorter document. One whose cross-references were merely wrong keeps
    // the marker and is read as rebuilt.
    if (pdf_was_repaired(ctx, doc) && !endsWithEofMarker(path))
        throw DocumentError("PDF tronqué : la fin du fichier manque");
    m_pageCount = count;
}

PdfPages::~PdfPages() = default;

namespace {

// The size of a page's media box after its rotation, when the box can be read.
std::optional<PageSize> mediaBoxSize(fz_context* ctx, pdf_document* doc, int index)
{
    double width = 0, height = 0;
    try {
        guarded(ctx, "", [&] {
            pdf_obj* page = pdf_lookup_page_obj(ctx, doc, index);
            const fz_rect box =
                pdf_to_rect(ctx, pdf_dict_get_inheritable(ctx, page, PDF_NAME(MediaBox)));
            const int rotate =
                pdf_to_int(ctx, pdf_dict_get_inheritable(ctx, page, PDF_NAME(Rotate)));
            const bool turned = ((rotate % 360 + 360) % 360) % 180 == 90;
            width = turned ? box.y1 - box.y0 : box.x1 - box.x0;
            height = turned ? box.x1 - box.x0 : box.y1 - box.y0;
        });
    } catch (const DocumentError&) {
        return std::nullopt;
    }
    if (!(width > 0 && height > 0 && width < 1e6 && height < 1e6))
        return std::nullopt;
    return PageSize{width, height};
}

} // namespace

std::vector<ListedPage> PdfPages::pageList()
{
    std::vector<ListedPage> pages(static_cast<std::size_t>(m_pageCount));
    std::optional<PageSize> firstLoaded;
    for (int number = 1; number <= m_pageCount; ++number) {
        ListedPage& listed = pages[static_cast<std::size_t>(number - 1)];
        try {
            listed.size = loadPage(number, false)->size();
            if (!firstLoaded)
                firstLoaded = listed.size;
        } catch (const DocumentError& error) {
            listed.damage = error.what();
        }
    }
    if (!firstLoaded)
        throw DocumentError("aucune page du PDF ne peut être chargée");
    // A page that cannot be loaded keeps its place: the pages after it keep their numbers.
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (pages[i].damage.empty())
            continue;
        const auto box = mediaBoxSize(m->ctx, m->doc, static_cast<int>(i));
        pages[i].size = box ? *box : i > 0 ? pages[i - 1].size : *firstLoaded;
    }
    return pages;
}

std::string PdfPages::pageDamage(int number)
{
    fz_context* ctx = m->ctx;
    pdf_document* doc = m->doc;
    enum
    {
        Sound,
        NoPageObject,
        NoContents
    } damage = Sound;
    try {
        guarded(ctx, "l'objet de la page est illisible", [&] {
            pdf_obj* page = pdf_lookup_page_obj(ctx, doc, number - 1);
            if (!pdf_is_dict(ctx, page)) {
                damage = NoPageObject;
                return;
            }
            // In a rebuilt file, content that the page names but that is gone would leave the
            // page blank, or part of it: the page is damaged, not empty.
            if (!pdf_was_repaired(ctx, doc))
                return;
            const auto missing = [&](pdf_obj* object) {
                return pdf_is_indirect(ctx, object) &&
                       pdf_is_null(ctx, pdf_resolve_indirect(ctx, object));
            };
            pdf_obj* contents = pdf_dict_get(ctx, page, PDF_NAME(Contents));
            bool gone = missing(contents);
            pdf_obj* resolved = pdf_resolve_indirect(ctx, contents);
            for (int k = 0;
                 !gone && pdf_is_array(ctx, resolved) && k < pdf_array_len(ctx, resolved); ++k)
                gone = missing(pdf_array_get(ctx, resolved, k));
            if (gone)
                damage = NoContents;
        });
    } catch (const DocumentError& error) {
        return error.what();
    }
    switch (damage) {
    case Sound:
        return {};
    case NoPageObject:
        return "l'objet de la page est absent ou endommagé";
    case NoContents:
        return "le contenu de la page est absent";
    }
    return {};
}

std::unique_ptr<PdfPages::Page> PdfPages::loadPage(int number, bool forDrawing)
{
    if (number < 1 || number > m_pageCount)
        throw DocumentError("la page " + std::to_string(number) + " n'existe pas (le document a " +
                            std::to_string(m_pageCount) + " page" + (m_pageCount > 1 ? "s" : "") +
                            ")");
    const std::string damage = pageDamage(number);
    if (!damage.empty())
        throw DocumentError("la page " + std::to_string(number) + " ne peut pas être chargée (" +
                            damage + ")");
    auto impl = std::make_unique<Page::Impl>();
    fz_context* ctx = m->ctx;
    impl->ctx = ctx;
    Page::Impl* page = impl.get();
    fz_document* doc = &m->doc->super;
    guarded(ctx, ("la page " + std::to_string(number) + " ne peut pas être chargée").c_str(), [&] {
        page->page = fz_load_page(ctx, doc, number - 1);
        page->bounds = fz_bound_page(ctx, page->page);
        if (forDrawing)
            page->list = fz_new_display_list_from_page(ctx, page->page);
    });
    const PageSize size{page->bounds.x1 - page->bounds.x0, page->bounds.y1 - page->bounds.y0};
    if (!(size.width > 0 && size.height > 0))
        throw DocumentError("la page " + std::to_string(number) + " n'a pas de surface");
    return std::unique_ptr<Page>(new Page(std::move(impl), size));
}

std::string PdfPages::outlineJson()
{
    return documentOutlineJson(m->ctx, m->doc);
}

PdfPages::Page::Page(std::unique_ptr<Impl> impl, PageSize size) : m(std::move(impl)), m_size(size)
{}

PdfPages::Page::~Page() = default;

fz_context* PdfPages::Page::context() const
{
    return m->ctx;
}

fz_display_list* PdfPages::Page::displayList() const
{
    return m->list;
}

double PdfPages::Page::originX() const
{
    return m->bounds.x0;
}

double PdfPages::Page::originY() const
{
    return m->bounds.y0;
}

bool PdfPages::Page::hasColour() const
{
    if (m->colour >= 0)
        return m->colour != 0;
    fz_context* ctx = m->ctx;
    fz_display_list* list = m->list;
    int colour = 0;
    int* found = &colour;
    // Without a device to pass the drawing on to, the test stops at the first colour. A
    // difference between the channels under 1 % is taken for grey.
    guarded(ctx, "échec de l'examen des couleurs de la page", [&] {
        fz_device* device = nullptr;
        fz_var(device);
        fz_try(ctx)
        {
            device = fz_new_test_device(ctx, found, 0.01f, 0, nullptr);
            fz_run_display_list(ctx, list, device, fz_identity, fz_infinite_rect, nullptr);
            fz_close_device(ctx, device);
        }
        fz_always(ctx)
        {
            fz_drop_device(ctx, device);
        }
        fz_catch(ctx)
        {
            if (!*found)
                fz_rethrow(ctx);
        }
    });
    m->colour = colour != 0;
    return colour != 0;
}

namespace {

fz_irect pixelBox(const fz_rect& bounds, double scale)
{
    const fz_matrix ctm = fz_scale(static_cast<float>(scale), static_cast<float>(scale));
    return fz_round_rect(fz_transform_rect(bounds, ctm));
}

} // namespace

PageImage PdfPages::Page::render(double scale) const
{
    fz_context* ctx = m->ctx;
    const fz_matrix ctm = fz_scale(static_cast<float>(scale), static_cast<float>(scale));
    const fz_irect box = pixelBox(m->bounds, scale);
    if (box.x1 - box.x0 <= 0 || box.y1 - box.y0 <= 0)
        throw DocumentError("page trop petite pour être dessinée");
    PageImage image(box.x1 - box.x0, box.y1 - box.y0, hasColour() ? 3 : 1, scale);
    std::uint8_t* pixels = image.pixels.get();
    fz_colorspace* colourSpace = image.channels == 3 ? fz_device_rgb(ctx) : fz_device_gray(ctx);
    fz_display_list* list = m->list;

    guarded(ctx, "échec du rendu de la page", [&] {
        // The pixmap draws straight into our buffer: no copy afterwards.
        fz_pixmap* pixmap = nullptr;
        fz_device* device = nullptr;
        fz_var(pixmap);
        fz_var(device);
        fz_try(ctx)
        {
            pixmap = fz_new_pixmap_with_bbox_and_data(ctx, colourSpace, box, nullptr, 0, pixels);
            fz_clear_pixmap_with_value(ctx, pixmap, 0xFF);
            device = fz_new_draw_device(ctx, fz_identity, pixmap);
            fz_run_display_list(ctx, list, device, ctm, fz_infinite_rect, nullptr);
            fz_close_device(ctx, device);
        }
        fz_always(ctx)
        {
            fz_drop_device(ctx, device);
            fz_drop_pixmap(ctx, pixmap);
        }
        fz_catch(ctx)
        {
            fz_rethrow(ctx);
        }
    });
    return image;
}

std::string PdfPages::Page::textScript(int number) const
{
    return pageTextScript(m->ctx, m->page, number);
}

} // namespace vellora::converter

#include "DocumentOutline.h"

#include "JsonText.h"
#include "MuPdfCall.h"

#include <cstring>
#include <tuple>
#include <utility>
#include <vector>

namespace vellora::converter {

namespace {

constexpr int kMaxDepth = 16;
constexpr int kMaxItems = 5000;

bool readsRightToLeft(fz_context* ctx, pdf_document* doc)
{
    bool rightToLeft = false;
    try {
        guarded(ctx, "préférences d'affichage", [&] {
            pdf_obj* direction =
                pdf_dict_getp(ctx, pdf_trailer(ctx, doc), "Root/ViewerPreferences/Direction");
            const char* name = pdf_to_name(ctx, direction);
            rightToLeft = std::strcmp(name, "R2L") == 0;
        });
    } catch (const DocumentError&) {
        return false; // unreadable preferences: the usual direction
    }
    return rightToLeft;
}

// A PDF text string as UTF-8: PDFDocEncoding, UTF-16 with its byte order mark, or UTF-8 with
// its mark (PDF 2.0). MuPDF decodes up to the first NUL, so NULs are left out first (in UTF-16,
// as whole units) and the rest of the text stays.
std::string decodedTextString(fz_context* ctx, pdf_obj* string)
{
    const char* bytes = pdf_to_str_buf(ctx, string);
    const size_t length = pdf_to_str_len(ctx, string);
    const auto byte = [&](size_t i) {
        return static_cast<unsigned char>(bytes[i]);
    };
    const bool utf16 = length >= 2 && ((byte(0) == 0xfe && byte(1) == 0xff) ||
                                       (byte(0) == 0xff && byte(1) == 0xfe));
    std::string kept;
    if (utf16) {
        kept.append(bytes, 2);
        for (size_t i = 2; i + 1 < length; i += 2) {
            if (bytes[i] != 0 || bytes[i + 1] != 0)
                kept.append(bytes + i, 2);
        }
    } else {
        for (size_t i = 0; i < length; ++i) {
            if (bytes[i] != 0)
                kept.push_back(bytes[i]);
        }
    }
    char* decoded = pdf_new_utf8_from_pdf_string(ctx, kept.data(), kept.size());
    std::string text = decoded;
    fz_free(ctx, decoded);
    return text;
}

// The text string at `path` from the trailer, or empty when there is none or it is no string.
std::string trailerText(fz_context* ctx, pdf_document* doc, const char* path)
{
    std::string text;
    try {
        guarded(ctx, "métadonnées", [&] {
            pdf_obj* value = pdf_dict_getp(ctx, pdf_trailer(ctx, doc), path);
            if (pdf_is_string(ctx, value))
                text = decodedTextString(ctx, value);
        });
    } catch (const DocumentError&) {
        return {}; // unreadable metadata: the reader falls back on the document's text
    }
    return text;
}

// The title of a bookmark. MuPDF gives it as a C string, which ends at a NUL inside the
// title; read from the bookmark's own dictionary, a NUL is left out and the rest stays.
std::string titleOf(fz_context* ctx, pdf_obj* dict, const fz_outline* item)
{
    const std::string fallback = item->title ? item->title : "";
    std::string text = fallback;
    try {
        guarded(ctx, "titre de signet", [&] {
            pdf_obj* title = dict ? pdf_dict_get(ctx, dict, PDF_NAME(Title)) : nullptr;
            if (title && pdf_is_string(ctx, title))
                text = decodedTextString(ctx, title);
        });
    } catch (const DocumentError&) {
        return fallback;
    }
    return text;
}

class OutlineWriter
{
public:
    OutlineWriter(fz_context* ctx, fz_document* doc) : m_ctx(ctx), m_doc(doc) {}

    // `dict` is the bookmark dictionary of `item`, or null when unknown: MuPDF reads the
    // bookmarks in the order of their /First and /Next entries, and so does this walk.
    void write(const fz_outline* item, pdf_obj* dict, int depth, std::string& out)
    {
        out += '[';
        bool first = true;
        for (; item && m_items < kMaxItems; item = item->next, dict = entry(dict, "Next")) {
            ++m_items;
            if (!first)
                out += ',';
            first = false;
            writeItem(item, dict, out);
            out += ",\"children\":";
            if (item->down && depth + 1 < kMaxDepth)
                write(item->down, entry(dict, "First"), depth + 1, out);
            else if (item->down)
                writeFlat(item->down, entry(dict, "First"), out);
            else
                out += "[]";
            out += '}';
        }
        out += ']';
    }

private:
    // Everything from `item` on and below it, in reading order, as one list without children:
    // bookmarks nested deeper than a reader follows stay, under their deepest shown ancestor.
    void writeFlat(const fz_outline* item, pdf_obj* dict, std::string& out)
    {
        out += '[';
        bool first = true;
        std::vector<std::pair<const fz_outline*, pdf_obj*>> after; // siblings to come back to
        while (item && m_items < kMaxItems) {
            ++m_items;
            if (!first)
                out += ',';
            first = false;
            writeItem(item, dict, out);
            out += ",\"children\":[]}";
            if (item->next)
                after.emplace_back(item->next, entry(dict, "Next"));
            if (item->down) {
                dict = entry(dict, "First");
                item = item->down;
            } else if (!after.empty()) {
                std::tie(item, dict) = after.back();
                after.pop_back();
            } else {
                item = nullptr;
            }
        }
        out += ']';
    }

    // Opens the object and writes its title and page.
    void writeItem(const fz_outline* item, pdf_obj* dict, std::string& out)
    {
        out += "{\"title\":";
        appendJsonString(out, titleOf(m_ctx, dict, item));
        out += ",\"page\":";
        const int page = pageOf(item);
        out += page > 0 ? std::to_string(page) : "null";
    }

    pdf_obj* entry(pdf_obj* dict, const char* key)
    {
        pdf_obj* found = nullptr;
        if (!dict)
            return nullptr;
        try {
            guarded(m_ctx, "signet", [&] {
                found = pdf_dict_gets(m_ctx, dict, key);
                if (!pdf_is_dict(m_ctx, found))
                    found = nullptr;
            });
        } catch (const DocumentError&) {
            return nullptr;
        }
        return found;
    }

    int pageOf(const fz_outline* item)
    {
        // A bookmark without a destination still carries a location, page 0's.
        if (!item->uri || fz_is_external_link(m_ctx, item->uri))
            return 0;
        int number = -1;
        try {
            guarded(m_ctx, "signet", [&] {
                fz_location location = item->page;
                if (location.page < 0) {
                    float x = 0;
                    float y = 0;
                    location = fz_resolve_link(m_ctx, m_doc, item->uri, &x, &y);
                }
                if (location.page >= 0)
                    number = fz_page_number_from_location(m_ctx, m_doc, location);
            });
        } catch (const DocumentError&) {
            return 0;
        }
        return number >= 0 ? number + 1 : 0;
    }

    fz_context* m_ctx;
    fz_document* m_doc;
    int m_items = 0;
};

} // namespace

std::string documentOutlineJson(fz_context* ctx, pdf_document* doc)
{
    fz_outline* outline = nullptr;
    try {
        guarded(ctx, "signets", [&] { outline = fz_load_outline(ctx, &doc->super); });
    } catch (const DocumentError&) {
        outline = nullptr; // a broken outline is no reason to lose the rest
    }
    std::string out = "{\"direction\":";
    out += readsRightToLeft(ctx, doc) ? "\"rtl\"" : "\"ltr\"";
    out += ",\"title\":";
    appendJsonString(out, trailerText(ctx, doc, "Info/Title"));
    out += ",\"subject\":";
    appendJsonString(out, trailerText(ctx, doc, "Info/Subject"));
    out += ",\"lang\":";
    appendJsonString(out, trailerText(ctx, doc, "Root/Lang"));
    out += ",\"outline\":";
    try {
        pdf_obj* first = nullptr;
        try {
            guarded(ctx, "signets", [&] {
                first = pdf_dict_getp(ctx, pdf_trailer(ctx, doc), "Root/Outlines/First");
            });
        } catch (const DocumentError&) {
            first = nullptr; // the titles then come from MuPDF alone
        }
        OutlineWriter(ctx, &doc->super).write(outline, first, 0, out);
    } catch (...) {
        fz_drop_outline(ctx, outline);
        throw;
    }
    fz_drop_outline(ctx, outline);
    out += "}\n";
    return out;
}

} // namespace vellora::converter

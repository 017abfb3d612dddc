#include "DocumentOutline.h"

#include "JsonText.h"
#include "MuPdfCall.h"

#include <cstring>

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

class OutlineWriter
{
public:
    OutlineWriter(fz_context* ctx, fz_document* doc) : m_ctx(ctx), m_doc(doc) {}

    void write(const fz_outline* item, int depth, std::string& out)
    {
        out += '[';
        bool first = true;
        for (; item && m_items < kMaxItems; item = item->next) {
            ++m_items;
            if (!first)
                out += ',';
            first = false;
            out += "{\"title\":";
            appendJsonString(out, item->title ? item->title : "");
            out += ",\"page\":";
            const int page = pageOf(item);
            out += page > 0 ? std::to_string(page) : "null";
            out += ",\"children\":";
            if (item->down && depth + 1 < kMaxDepth)
                write(item->down, depth + 1, out);
            else
                out += "[]";
            out += '}';
        }
        out += ']';
    }

private:
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
    out += ",\"outline\":";
    try {
        OutlineWriter(ctx, &doc->super).write(outline, 0, out);
    } catch (...) {
        fz_drop_outline(ctx, outline);
        throw;
    }
    fz_drop_outline(ctx, outline);
    out += "}\n";
    return out;
}

} // namespace vellora::converter

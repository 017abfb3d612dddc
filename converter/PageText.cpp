#include "PageText.h"

#include "JsonText.h"
#include "MuPdfCall.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace vellora::converter {

namespace {

bool isSpace(int c)
{
    return c == ' ' || c == '\t' || c == 0xA0 || c == 0x3000 || (c >= 0x2000 && c <= 0x200B);
}

// Hebrew, Arabic, Syriac, Thaana, N'Ko and their presentation forms.
bool isRightToLeft(int c)
{
    return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) ||
           (c >= 0xFE70 && c <= 0xFEFF);
}

bool isLetter(int c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0xC0;
}

// A word measured in its line's own frame: u along the direction, v across it.
struct WordExtent
{
    double uMin = std::numeric_limits<double>::max();
    double uMax = std::numeric_limits<double>::lowest();
    double vMin = std::numeric_limits<double>::max();
    double vMax = std::numeric_limits<double>::lowest();
    std::string text;

    bool empty() const { return text.empty(); }
};

class PageWriter
{
public:
    PageWriter(fz_rect bounds) : m_origin{bounds.x0, bounds.y0} {}

    void addLine(const fz_stext_line& line)
    {
        double dx = line.dir.x;
        double dy = line.dir.y;
        const double length = std::hypot(dx, dy);
        if (!(length > 0)) {
            dx = 1;
            dy = 0;
        } else {
            dx /= length;
            dy /= length;
        }
        m_dir = {dx, dy};
        std::vector<WordExtent> words;
        int rightToLeft = 0;
        int letters = 0;
        WordExtent word;
        for (const fz_stext_char* ch = line.first_char; ch; ch = ch->next) {
            if (isSpace(ch->c)) {
                if (!word.empty())
                    words.push_back(std::move(word));
                word = WordExtent();
                continue;
            }
            rightToLeft += isRightToLeft(ch->c);
            letters += isLetter(ch->c);
            appendUtf8(word.text, ch->c);
            for (const fz_point& p : {ch->quad.ul, ch->quad.ur, ch->quad.ll, ch->quad.lr})
                extend(word, p);
        }
        if (!word.empty())
            words.push_back(std::move(word));
        if (words.empty())
            return;
        appendLine(words, rightToLeft * 2 > letters);
    }

    void addLink(fz_rect rect, int targetPage, const char* uri)
    {
        m_links += m_links.empty() ? "{\"box\":[" : ",{\"box\":[";
        appendBox(m_links, rect.x0 - m_origin.x, rect.y0 - m_origin.y, rect.x1 - rect.x0,
                  rect.y1 - rect.y0);
        if (uri) {
            m_links += "],\"uri\":";
            appendJsonString(m_links, uri);
        } else {
            m_links += "],\"page\":" + std::to_string(targetPage);
        }
        m_links += '}';
    }

    std::string script(int pageNumber, fz_rect bounds) const
    {
        if (m_lines.empty() && m_links.empty())
            return {};
        std::string out = "velloraPage(" + std::to_string(pageNumber) + ", {\"width\":";
        appendTenth(out, bounds.x1 - bounds.x0);
        out += ",\"height\":";
        appendTenth(out, bounds.y1 - bounds.y0);
        out += ",\"lines\":[" + m_lines + "],\"links\":[" + m_links + "]});\n";
        return out;
    }

private:
    void extend(WordExtent& word, fz_point p) const
    {
        const double x = p.x - m_origin.x;
        const double y = p.y - m_origin.y;
        const double u = x * m_dir.x + y * m_dir.y;
        const double v = -x * m_dir.y + y * m_dir.x;
        word.uMin = std::min(word.uMin, u);
        word.uMax = std::max(word.uMax, u);
        word.vMin = std::min(word.vMin, v);
        word.vMax = std::max(word.vMax, v);
    }

    // One line: its box in its own frame (the corner where it starts, its length along the
    // direction, its height across), then each word as its offset and length along the line.
    void appendLine(const std::vector<WordExtent>& words, bool rightToLeft)
    {
        double uStart = std::numeric_limits<double>::max();
        double uEnd = std::numeric_limits<double>::lowest();
        double vMin = std::numeric_limits<double>::max();
        double vMax = std::numeric_limits<double>::lowest();
        for (const WordExtent& word : words) {
            uStart = std::min(uStart, word.uMin);
            uEnd = std::max(uEnd, word.uMax);
            vMin = std::min(vMin, word.vMin);
            vMax = std::max(vMax, word.vMax);
        }
        m_lines += m_lines.empty() ? "{" : ",{";
        const bool horizontal = std::abs(m_dir.x - 1) < 0.0005 && std::abs(m_dir.y) < 0.0005;
        if (!horizontal) {
            m_lines += "\"dir\":[";
            appendDirection(m_dir.x);
            m_lines += ',';
            appendDirection(m_dir.y);
            m_lines += "],";
        }
        if (rightToLeft)
            m_lines += "\"rtl\":true,";
        // Back from the line's frame to the page.
        m_lines += "\"box\":[";
        appendBox(m_lines, uStart * m_dir.x - vMin * m_dir.y, uStart * m_dir.y + vMin * m_dir.x,
                  uEnd - uStart, vMax - vMin);
        m_lines += "],\"words\":[";
        for (std::size_t i = 0; i < words.size(); ++i) {
            m_lines += i == 0 ? "[" : ",[";
            appendJsonString(m_lines, words[i].text);
            m_lines += ',';
            appendTenth(m_lines, words[i].uMin - uStart);
            m_lines += ',';
            appendTenth(m_lines, words[i].uMax - words[i].uMin);
            m_lines += ']';
        }
        m_lines += "]}";
    }

    static void appendBox(std::string& out, double x, double y, double w, double h)
    {
        appendTenth(out, x);
        out += ',';
        appendTenth(out, y);
        out += ',';
        appendTenth(out, w);
        out += ',';
        appendTenth(out, h);
    }

    void appendDirection(double value)
    {
        char text[16];
        std::snprintf(text, sizeof text, "%.3f", std::abs(value) < 0.0005 ? 0.0 : value);
        std::string number = text;
        while (number.back() == '0')
            number.pop_back();
        if (number.back() == '.')
            number.pop_back();
        m_lines += number;
    }

    struct Vector
    {
        double x = 0;
        double y = 0;
    };
    Vector m_origin;
    Vector m_dir{1, 0};
    std::string m_lines;
    std::string m_links;
};

// The page number (from 1) an internal link leads to, or 0 when it leads nowhere.
int linkTarget(fz_context* ctx, fz_document* doc, const char* uri)
{
    int number = -1;
    try {
        guarded(ctx, "lien", [&] {
            float x = 0;
            float y = 0;
            const fz_location location = fz_resolve_link(ctx, doc, uri, &x, &y);
            number = fz_page_number_from_location(ctx, doc, location);
        });
    } catch (const DocumentError&) {
        return 0; // a broken destination is not worth losing the page for
    }
    return number >= 0 ? number + 1 : 0;
}

} // namespace

std::string pageTextScript(fz_context* ctx, fz_page* page, int pageNumber)
{
    fz_rect bounds{};
    fz_stext_page* text = nullptr;
    fz_link* links = nullptr;
    guarded(ctx, "texte de la page illisible", [&] {
        bounds = fz_bound_page(ctx, page);
        fz_stext_options options{};
        options.flags = FZ_STEXT_MEDIABOX_CLIP;
        text = fz_new_stext_page_from_page(ctx, page, &options);
    });
    struct Release
    {
        fz_context* ctx;
        fz_stext_page*& text;
        fz_link*& links;
        ~Release()
        {
            fz_drop_stext_page(ctx, text);
            fz_drop_link(ctx, links);
        }
    } release{ctx, text, links};
    // Links are a bonus: a page whose annotations are broken still gets its text.
    try {
        guarded(ctx, "liens", [&] { links = fz_load_links(ctx, page); });
    } catch (const DocumentError&) {
        links = nullptr;
    }

    PageWriter writer(bounds);
    for (const fz_stext_block* block = text->first_block; block; block = block->next) {
        if (block->type != FZ_STEXT_BLOCK_TEXT)
            continue;
        for (const fz_stext_line* line = block->u.t.first_line; line; line = line->next)
            writer.addLine(*line);
    }
    for (const fz_link* link = links; link; link = link->next) {
        if (!link->uri || fz_is_empty_rect(link->rect))
            continue;
        if (fz_is_external_link(ctx, link->uri)) {
            writer.addLink(link->rect, 0, link->uri);
        } else if (const int target = linkTarget(ctx, page->doc, link->uri); target > 0) {
            writer.addLink(link->rect, target, nullptr);
        }
    }
    return writer.script(pageNumber, bounds);
}

} // namespace vellora::converter

#pragma once

extern "C" {
#include <mupdf/fitz.h>
#include <mupdf/pdf.h>
}

#include <string>

namespace vellora::converter {

// What a reader needs once per document, as one line of JSON:
//   {"direction":"ltr"|"rtl","title":"...","subject":"...","lang":"...",
//    "outline":[{"title":"...","page":3,"children":[...]},...]}
// The title and subject are those of the document information dictionary, the language the
// catalog's /Lang, each decoded from its PDF text string (empty when the document has none).
// The direction is "rtl" when the document's viewer preferences say /Direction /R2L. A
// bookmark that leads to no page of the document has "page":null. Bookmarks nested deeper
// than a reader can follow are listed, in reading order and without nesting, under their
// deepest ancestor that nests; any beyond the first few thousand are left out. A NUL in a
// title is left out, the rest of the title kept.
std::string documentOutlineJson(fz_context* ctx, pdf_document* doc);

} // namespace vellora::converter

#pragma once

extern "C" {
#include <mupdf/fitz.h>
}

#include <string>

namespace vellora::converter {

// The text layer and the links of one page as the script "page<i>.js" carries them:
//
//   velloraPage(i, {"width":W,"height":H,
//                   "lines":[{"dir":[dx,dy],"rtl":true,"box":[x,y,w,h],
//                             "words":[["text",offset,length],...]},...],
//                   "links":[{"box":[x,y,w,h],"page":n},{"box":[x,y,w,h],"uri":"..."},...]});
//
// Lengths are points rounded to 0.1 from the page's top left corner, y downwards. Lines come
// in reading order, words in the order they are read. A line's (x, y) is its upper corner at
// the start of its direction and (w, h) its extent along and across that direction, so for
// ordinary text it is simply the line's box. A word lies across the whole height of its line,
// from `offset` to `offset + length` along it. "dir" is left out for left-to-right horizontal
// lines and "rtl" for lines that are not right-to-left. An internal link names its page (from
// 1), an external one its URI as the document gives it. Returns an empty text when the page
// has neither text nor links.
std::string pageTextScript(fz_context* ctx, fz_page* page, int pageNumber);

} // namespace vellora::converter

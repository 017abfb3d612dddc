#pragma once

extern "C" {
#include <mupdf/fitz.h>
}

#include "PdfPages.h"

#include <string>

namespace vellora::converter {

// MuPDF reports failures with longjmp; this runs one call and turns a failure into a
// DocumentError once outside the MuPDF frames. `call` must not own C++ objects.
template <typename Call> void guarded(fz_context* ctx, const char* what, Call&& call)
{
    volatile bool failed = false;
    std::string message;
    fz_try(ctx)
    {
        call();
    }
    fz_catch(ctx)
    {
        failed = true;
        message = fz_caught_message(ctx);
    }
    if (failed)
        throw DocumentError(std::string(what) + " (" + message + ")");
}

} // namespace vellora::converter

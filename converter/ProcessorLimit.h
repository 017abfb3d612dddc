#pragma once

#include <string>
#include <sys/resource.h>

namespace vellora::converter {

// The most processor time one page may take: beyond it a page is not a catalogue page but a
// trap (a few hundred bytes of PostScript can make a page of a hundred million glyphs).
inline constexpr rlim_t kPageProcessorSeconds = 60;

// Bounds this process's processor time to `seconds` (or the lower limit it was started
// with). At the limit the page's temporary files are removed, `subject` followed by the
// reason goes to standard error, and the program ends with status 1. Returns the limit that
// holds, in seconds.
rlim_t limitProcessorTime(rlim_t seconds, const std::string& subject);

} // namespace vellora::converter

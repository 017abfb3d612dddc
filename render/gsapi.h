#pragma once

// The interpreter library's published interface: the gsapi_ calls, the display device's
// callback table and format words, and the library's error codes.
#include <ghostscript/gdevdsp.h>
#include <ghostscript/iapi.h>
#include <ghostscript/ierrors.h>

#pragma once

#include "SwfBits.h"

namespace vellora::converter {

// One page as a one-frame movie: a white stage of the page's size (points become twips)
// showing the page's JPEG image stretched over the whole stage.
swf::Bytes pageMovie(double pageWidthPoints, double pageHeightPoints, const swf::Bytes& jpeg,
                     int imageWidth, int imageHeight);

} // namespace vellora::converter

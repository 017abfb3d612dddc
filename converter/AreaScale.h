#pragma once

#include "PageImage.h"

namespace vellora::converter {

// The page drawn at `scale` pixels per point (no more than the image's own), width x height
// pixels, made from the image by area averaging: each new pixel is the mean of the part of
// the image it covers, fractions of pixels counted by their share (a new pixel that reaches
// past the image's edge takes the mean of the part inside). This is what drawing the page at
// the smaller scale gives, with ideal anti-aliasing, for a fraction of the cost of a drawing.
PageImage areaScale(const PageImage& image, int width, int height, double scale);

} // namespace vellora::converter

#pragma once

#include "SwfBits.h"

namespace vellora::converter {

// The largest picture a Flash player shows: 8191 pixels a side, 16 777 215 pixels in all.
// Both the movie's image and its stage (one point is one pixel at 100 %) keep within it.
inline constexpr double kFlashMaxSide = 8191;
inline constexpr double kFlashMaxPixels = 16777215;

// The factor (at most 1) that brings a width x height picture within the player's limits.
double flashLimitScale(double width, double height);

// One page as a one-frame movie: a white stage of the page's shape (points become twips,
// scaled down as a whole for a page beyond the player's limits) showing the page's JPEG image
// stretched over the whole stage.
swf::Bytes pageMovie(double pageWidthPoints, double pageHeightPoints, const swf::Bytes& jpeg,
                     int imageWidth, int imageHeight);

} // namespace vellora::converter

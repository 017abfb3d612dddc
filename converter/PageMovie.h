#pragma once

#include "SwfBits.h"

namespace vellora::converter {

// The largest picture a Flash player shows: 8191 pixels a side, 16 777 215 pixels in all.
// Both the movie's image and its stage (one point is one pixel at 100 %) keep within it.
inline constexpr double kFlashMaxSide = 8191;
inline constexpr double kFlashMaxPixels = 16777215;

// The factor (at most 1) that brings a width x height picture within the player's limits.
double flashLimitScale(double width, double height);

// The border (see withEdgeBorder) that a movie's bitmap of width x height pixels gets: one
// pixel, unless that would take it past the player's limits.
int bitmapBorder(int width, int height);

// One page as a one-frame movie: a white stage of the page's shape (points become twips,
// scaled down as a whole for a page beyond the player's limits) showing the page's JPEG image
// stretched over the whole stage, less `border` pixels on each side (see withEdgeBorder).
swf::Bytes pageMovie(double pageWidthPoints, double pageHeightPoints, const swf::Bytes& jpeg,
                     int imageWidth, int imageHeight, int border = 0);

} // namespace vellora::converter

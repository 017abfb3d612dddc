#include "PageMovie.h"

#include "SwfMovie.h"

#include <algorithm>
#include <cmath>

namespace vellora::converter {

double flashLimitScale(double width, double height)
{
    return std::min({1.0, kFlashMaxSide / std::max(width, height),
                     std::sqrt(kFlashMaxPixels / (width * height))});
}

int bitmapBorder(int width, int height)
{
    return flashLimitScale(width + 2.0, height + 2.0) < 1 ? 0 : 1;
}

swf::Bytes pageMovie(double pageWidthPoints, double pageHeightPoints, const swf::Bytes& jpeg,
                     int imageWidth, int imageHeight, int border)
{
    constexpr std::uint16_t kBitmapId = 1;
    constexpr std::uint16_t kShapeId = 2;
    const double scale = flashLimitScale(pageWidthPoints, pageHeightPoints);
    const swf::Rect stage{0, std::max(1, swf::pointsToTwips(pageWidthPoints * scale)), 0,
                          std::max(1, swf::pointsToTwips(pageHeightPoints * scale))};

    swf::Movie movie(stage);
    movie.add(swf::fileAttributes(0));
    movie.add(swf::setBackgroundColor({255, 255, 255}));
    movie.add(swf::defineBitsJpeg2(kBitmapId, jpeg));
    movie.add(swf::defineShape(
        kShapeId, stage,
        swf::bitmapRectangleShape(kBitmapId, imageWidth, imageHeight, stage, border)));
    movie.add(swf::placeObject2(1, kShapeId));
    movie.add(swf::showFrame());
    // The JPEG is already compressed; zlib still saves the tables and keeps the format the
    // viewer expects.
    return movie.finish(swf::Compression::Zlib);
}

} // namespace vellora::converter

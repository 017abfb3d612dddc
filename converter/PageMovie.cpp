#include "PageMovie.h"

#include "SwfMovie.h"

namespace vellora::converter {

swf::Bytes pageMovie(double pageWidthPoints, double pageHeightPoints, const swf::Bytes& jpeg,
                     int imageWidth, int imageHeight)
{
    constexpr std::uint16_t kBitmapId = 1;
    constexpr std::uint16_t kShapeId = 2;
    const swf::Rect stage{0, swf::pointsToTwips(pageWidthPoints), 0,
                          swf::pointsToTwips(pageHeightPoints)};

    swf::Movie movie(stage);
    movie.add(swf::fileAttributes(0));
    movie.add(swf::setBackgroundColor({255, 255, 255}));
    movie.add(swf::defineBitsJpeg2(kBitmapId, jpeg));
    movie.add(swf::defineShape(
        kShapeId, stage, swf::bitmapRectangleShape(kBitmapId, imageWidth, imageHeight, stage)));
    movie.add(swf::placeObject2(1, kShapeId));
    movie.add(swf::showFrame());
    // The JPEG is already compressed; zlib still saves the tables and keeps the format the
    // viewer expects.
    return movie.finish(swf::Compression::Zlib);
}

} // namespace vellora::converter

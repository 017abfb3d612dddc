#include "JpegWriter.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <turbojpeg.h>

namespace vellora::converter {

std::vector<std::uint8_t> encodeJpeg(const std::uint8_t* rgb, int width, int height, int stride,
                                     int quality, JpegKind kind)
{
    std::unique_ptr<void, decltype(&tjDestroy)> encoder(tjInitCompress(), &tjDestroy);
    if (!encoder)
        throw std::runtime_error("encodeur JPEG indisponible");
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    int flags = TJFLAG_FASTDCT;
    if (kind == JpegKind::Progressive)
        flags |= TJFLAG_PROGRESSIVE;
    const int status = tjCompress2(encoder.get(), rgb, width, stride, height, TJPF_RGB, &buffer,
                                   &size, TJSAMP_420, std::clamp(quality, 1, 100), flags);
    std::unique_ptr<unsigned char, decltype(&tjFree)> owned(buffer, &tjFree);
    if (status != 0)
        throw std::runtime_error(std::string("échec du codage JPEG : ") +
                                 tjGetErrorStr2(encoder.get()));
    return std::vector<std::uint8_t>(buffer, buffer + size);
}

} // namespace vellora::converter

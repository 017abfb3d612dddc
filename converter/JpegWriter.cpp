#include "JpegWriter.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <stdexcept>
#include <string>

namespace vellora::converter {

namespace {

struct ErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void onJpegError(j_common_ptr info)
{
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    errors->base.format_message(info, errors->message);
    std::longjmp(errors->jump, 1);
}

extern "C" void onJpegMessage(j_common_ptr, int) {}

// A progressive order without successive approximation: the DC of every component, then
// the low frequencies of luminance, the colour, and the rest of luminance. A browser shows
// the whole page blurred first and sharpens it. Encoding takes about a fifth less time than
// libjpeg's standard progression, which also refines every coefficient bit by bit, for a
// file about 5 % larger.
const jpeg_scan_info kScans[] = {
    {3, {0, 1, 2, 0}, 0, 0, 0, 0},  {1, {0, 0, 0, 0}, 1, 5, 0, 0},  {1, {1, 0, 0, 0}, 1, 63, 0, 0},
    {1, {2, 0, 0, 0}, 1, 63, 0, 0}, {1, {0, 0, 0, 0}, 6, 63, 0, 0},
};

// Plain data only between setjmp and longjmp: the C++ objects live in the caller.
bool compress(jpeg_compress_struct* info, ErrorManager* errors, const std::uint8_t* rgb, int width,
              int height, int stride, int quality, JpegKind kind, unsigned char** buffer,
              unsigned long* size)
{
    info->err = jpeg_std_error(&errors->base);
    errors->base.error_exit = onJpegError;
    errors->base.emit_message = onJpegMessage;
    if (setjmp(errors->jump)) {
        jpeg_destroy_compress(info);
        return false;
    }
    jpeg_create_compress(info);
    jpeg_mem_dest(info, buffer, size);
    info->image_width = static_cast<JDIMENSION>(width);
    info->image_height = static_cast<JDIMENSION>(height);
    info->input_components = 3;
    info->in_color_space = JCS_RGB;
    jpeg_set_defaults(info);
    jpeg_set_quality(info, std::clamp(quality, 1, 100), TRUE);
    // Tables fitted to the image: a few percent smaller for the price of one extra pass.
    info->optimize_coding = TRUE;
    if (kind == JpegKind::Progressive) {
        info->scan_info = kScans;
        info->num_scans = static_cast<int>(sizeof kScans / sizeof kScans[0]);
    }
    jpeg_start_compress(info, TRUE);
    while (info->next_scanline < info->image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + static_cast<std::size_t>(info->next_scanline) *
                                                      static_cast<std::size_t>(stride));
        jpeg_write_scanlines(info, &row, 1);
    }
    jpeg_finish_compress(info);
    jpeg_destroy_compress(info);
    return true;
}

} // namespace

std::vector<std::uint8_t> encodeJpeg(const std::uint8_t* rgb, int width, int height, int stride,
                                     int quality, JpegKind kind)
{
    jpeg_compress_struct info{};
    ErrorManager errors{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok =
        compress(&info, &errors, rgb, width, height, stride, quality, kind, &buffer, &size);
    std::vector<std::uint8_t> result;
    if (ok)
        result.assign(buffer, buffer + size);
    std::free(buffer);
    if (!ok)
        throw std::runtime_error(std::string("échec du codage JPEG : ") + errors.message);
    return result;
}

} // namespace vellora::converter

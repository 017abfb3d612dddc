#include "JpegWriter.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <iterator>
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
const jpeg_scan_info kColourScans[] = {
    {3, {0, 1, 2, 0}, 0, 0, 0, 0},  {1, {0, 0, 0, 0}, 1, 5, 0, 0},  {1, {1, 0, 0, 0}, 1, 63, 0, 0},
    {1, {2, 0, 0, 0}, 1, 63, 0, 0}, {1, {0, 0, 0, 0}, 6, 63, 0, 0},
};
const jpeg_scan_info kGreyScans[] = {
    {1, {0, 0, 0, 0}, 0, 0, 0, 0},
    {1, {0, 0, 0, 0}, 1, 5, 0, 0},
    {1, {0, 0, 0, 0}, 6, 63, 0, 0},
};

// Plain data only between setjmp and longjmp: the C++ objects live in the caller.
bool compress(jpeg_compress_struct* info, ErrorManager* errors, const std::uint8_t* pixels,
              int components, int width, int height, int stride, int quality, JpegKind kind,
              unsigned char** buffer, unsigned long* size)
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
    info->input_components = components;
    info->in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(info);
    jpeg_set_quality(info, std::clamp(quality, 1, 100), TRUE);
    info->optimize_coding = kind == JpegKind::StreamedBaseline ? FALSE : TRUE;
    if (kind == JpegKind::Progressive) {
        info->scan_info = components == 1 ? kGreyScans : kColourScans;
        info->num_scans = components == 1 ? std::size(kGreyScans) : std::size(kColourScans);
    }
    jpeg_start_compress(info, TRUE);
    while (info->next_scanline < info->image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + static_cast<std::size_t>(info->next_scanline) *
                                                         static_cast<std::size_t>(stride));
        jpeg_write_scanlines(info, &row, 1);
    }
    jpeg_finish_compress(info);
    jpeg_destroy_compress(info);
    return true;
}

// The single channel of an RGB image whose every pixel is grey, or nothing.
PageImage greyChannel(const PageImage& image)
{
    PageImage grey(image.width, image.height, 1, image.scale);
    std::uint8_t* out = grey.pixels.get();
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* pixel = image.row(y);
        for (int x = 0; x < image.width; ++x, pixel += 3) {
            if (pixel[0] != pixel[1] || pixel[1] != pixel[2])
                return {};
            *out++ = pixel[0];
        }
    }
    return grey;
}

} // namespace

JpegData encodeJpeg(const PageImage& image, int quality, JpegKind kind)
{
    jpeg_compress_struct info{};
    ErrorManager errors{};
    // Text pages are often black on white: one channel instead of three is smaller and
    // quicker to encode, and decodes to the same picture.
    const PageImage grey = image.channels == 3 ? greyChannel(image) : PageImage();
    const PageImage& source = grey.pixels ? grey : image;
    // Room for the raw pixels: more than the encoder needs at any usual quality, so that the
    // buffer never grows by copies. Memory that is not written costs nothing.
    unsigned long size = std::max<unsigned long>(4096, static_cast<unsigned long>(source.width) *
                                                           source.height * source.channels);
    unsigned char* const guess = static_cast<unsigned char*>(std::malloc(size));
    unsigned char* buffer = guess;
    if (!buffer)
        size = 0;
    const bool ok = compress(&info, &errors, source.pixels.get(), source.channels, source.width,
                             source.height, source.stride(), quality, kind, &buffer, &size);
    // The encoder replaces a buffer that proves too small with one of its own.
    if (buffer != guess)
        std::free(guess);
    JpegData result;
    result.bytes.reset(buffer);
    result.size = size;
    if (!ok)
        throw std::runtime_error(std::string("échec du codage JPEG : ") + errors.message);
    return result;
}

} // namespace vellora::converter

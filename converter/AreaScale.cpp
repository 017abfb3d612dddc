#include "AreaScale.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace vellora::converter {

namespace {

// Fixed point: the weights of the source pixels that make one new pixel add up to kOne.
constexpr std::uint32_t kShift = 12;
constexpr std::uint32_t kOne = 1u << kShift;

// The source pixels that make each new pixel along one direction: new pixel i takes
// `count[i]` pixels from `first[i]` on, with the weights that follow in `weights`.
struct Shares
{
    std::vector<int> first;
    std::vector<int> count;
    std::vector<std::uint32_t> weights;
};

// New pixel i covers the source from i * ratio to (i + 1) * ratio, clipped to the source.
// Each boundary is rounded once, so that the weights of a new pixel add up to exactly kOne.
Shares shares(int sourceSize, int newSize, double ratio)
{
    Shares result;
    result.first.reserve(static_cast<std::size_t>(newSize));
    result.count.reserve(static_cast<std::size_t>(newSize));
    const std::int64_t sourceEnd = std::int64_t{sourceSize} * kOne;
    const auto boundary = [&](int index) {
        // Position of a new pixel's edge, in source pixels times kOne.
        return std::min(sourceEnd, static_cast<std::int64_t>(std::llround(index * ratio * kOne)));
    };
    for (int i = 0; i < newSize; ++i) {
        std::int64_t begin = boundary(i);
        const std::int64_t end = std::max(boundary(i + 1), std::min(begin + 1, sourceEnd));
        // A new pixel wholly past the edge (rounding at most) repeats the last source pixel.
        begin = std::min(begin, end - 1);
        const std::int64_t span = end - begin;
        const std::size_t start = result.weights.size();
        std::int64_t s = begin / kOne;
        result.first.push_back(static_cast<int>(s));
        for (; s * kOne < end; ++s) {
            const std::int64_t from = std::max(begin, s * kOne);
            const std::int64_t to = std::min(end, (s + 1) * kOne);
            // Scaled so that the pixel's weights sum to kOne: the source span is wider.
            result.weights.push_back(static_cast<std::uint32_t>((to - from) * kOne / span));
        }
        result.count.push_back(static_cast<int>(result.weights.size() - start));
        // Rounding down leaves a little of kOne unshared; the largest share takes it.
        std::uint32_t total = 0;
        std::size_t largest = start;
        for (std::size_t k = start; k < result.weights.size(); ++k) {
            total += result.weights[k];
            if (result.weights[k] > result.weights[largest])
                largest = k;
        }
        result.weights[largest] += kOne - total;
    }
    return result;
}

} // namespace

PageImage areaScale(const PageImage& image, int width, int height, double scale)
{
    const double ratio = image.scale / scale;
    if (width < 1 || height < 1 || !(ratio >= 1) || width > image.width || height > image.height)
        throw std::invalid_argument("areaScale: size out of range");
    const int channels = image.channels;
    const Shares columns = shares(image.width, width, ratio);
    const Shares rows = shares(image.height, height, ratio);

    PageImage result(width, height, channels, scale);
    // Rows first: the source rows of one new row summed with their weights (at most
    // 255 * kOne), a plain loop over whole rows; then the columns of that sum.
    const std::size_t sourceValues = static_cast<std::size_t>(image.stride());
    std::vector<std::uint32_t> sum(sourceValues);
    const std::uint32_t* rowWeight = rows.weights.data();
    for (int y = 0; y < height; ++y) {
        std::fill(sum.begin(), sum.end(), 0u);
        const int firstRow = rows.first[static_cast<std::size_t>(y)];
        for (int k = 0; k < rows.count[static_cast<std::size_t>(y)]; ++k) {
            const std::uint32_t weight = *rowWeight++;
            const std::uint8_t* source = image.row(firstRow + k);
            std::uint32_t* total = sum.data();
            for (std::size_t i = 0; i < sourceValues; ++i)
                total[i] += weight * source[i];
        }
        std::uint8_t* out = result.pixels.get() + static_cast<std::size_t>(y) * result.stride();
        const std::uint32_t* columnWeight = columns.weights.data();
        for (int x = 0; x < width; ++x) {
            const std::uint32_t* from =
                sum.data() + static_cast<std::size_t>(columns.first[static_cast<std::size_t>(x)]) *
                                 static_cast<std::size_t>(channels);
            const int count = columns.count[static_cast<std::size_t>(x)];
            for (int c = 0; c < channels; ++c) {
                // At most 255 * kOne * kOne: 64 bits.
                std::uint64_t value = 0;
                for (int k = 0; k < count; ++k)
                    value += std::uint64_t{columnWeight[k]} * from[k * channels + c];
                *out++ = static_cast<std::uint8_t>(
                    (value + (std::uint64_t{1} << (2 * kShift - 1))) >> (2 * kShift));
            }
            columnWeight += count;
        }
    }
    return result;
}

} // namespace vellora::converter

// Alignment: the horizontal shift at which the two eyes' pictures agree best. Both images are
// decoded to grey at 1/8 of their size (libjpeg's DCT scaling makes that nearly free) for a
// search over every shift up to a quarter of the width; the best one is then refined at full
// resolution among the few full-size shifts it stands for, on the central half of the rows.
#include <algorithm>
#include <cstdlib>
#include <limits>

#include "stereo/stereo.h"

namespace veltrane::stereo {
namespace {

constexpr int kReduction = 8;

// Decodes the grey picture of a JPEG at 1/denominator of its size, rows [rowFrom, rowTo) of
// the scaled picture only (rowTo < 0: to the end); rows outside stay 0.
LumaImage DecodeLuma(std::span<const std::uint8_t> bytes, const CodecLimits& limits, int denominator,
                     int rowFrom, int rowTo) {
    Decoder decoder(bytes, limits);
    decoder.ReadHeader(false);
    LumaImage image;
    jpeg_decompress_struct& info = decoder.info;
    Guarded(decoder.errors, decoder.Failure().c_str(), [&] {
        info.out_color_space = JCS_GRAYSCALE;
        info.scale_num = 1;
        info.scale_denom = static_cast<unsigned>(denominator);
        info.dct_method = JDCT_ISLOW;
        jpeg_calc_output_dimensions(&info);
    });
    image.width = static_cast<int>(info.output_width);
    image.height = static_cast<int>(info.output_height);
    image.pixels.assign(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height), 0);
    const int from = std::clamp(rowFrom, 0, image.height);
    const int to = rowTo < 0 ? image.height : std::clamp(rowTo, from, image.height);
    Guarded(decoder.errors, decoder.Failure().c_str(), [&] {
        jpeg_start_decompress(&info);
        if (from > 0) jpeg_skip_scanlines(&info, static_cast<JDIMENSION>(from));
        while (static_cast<int>(info.output_scanline) < to) {
            JSAMPROW row = image.pixels.data() +
                           static_cast<std::size_t>(info.output_scanline) * static_cast<std::size_t>(image.width);
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_abort_decompress(&info);
    });
    return image;
}

}  // namespace

int BestShift(const LumaImage& left, const LumaImage& right, int rowFrom, int rowTo, int sFrom, int sTo) {
    int best = 0;
    double bestScore = std::numeric_limits<double>::infinity();
    for (int s = sFrom; s <= sTo; ++s) {
        // Columns x of the left picture whose partner x + s lies in the right one.
        const int x0 = std::max(0, -s);
        const int x1 = std::min(left.width, right.width - s);
        if (x1 - x0 < 1 || rowTo <= rowFrom) continue;
        std::uint64_t sum = 0;
        for (int y = rowFrom; y < rowTo; ++y) {
            const std::uint8_t* l = left.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(left.width);
            const std::uint8_t* r = right.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(right.width) + s;
            unsigned rowSum = 0;
            for (int x = x0; x < x1; ++x) rowSum += static_cast<unsigned>(std::abs(l[x] - r[x]));
            sum += rowSum;
        }
        const double score = static_cast<double>(sum) / (static_cast<double>(x1 - x0) * (rowTo - rowFrom));
        if (score < bestScore || (score == bestScore && std::abs(s) < std::abs(best))) {
            bestScore = score;
            best = s;
        }
    }
    return best;
}

int FindAlignmentShift(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                       const CodecLimits& limits) {
    const LumaImage smallLeft = DecodeLuma(left, limits, kReduction, 0, -1);
    const LumaImage smallRight = DecodeLuma(right, limits, kReduction, 0, -1);
    if (smallLeft.height != smallRight.height) throw StereoError("the two images differ in height");
    const int smallMax = std::min(smallLeft.width, smallRight.width) / 4;
    const int h = smallLeft.height;
    const int coarse = BestShift(smallLeft, smallRight, h / 4, h - h / 4, -smallMax, smallMax);

    // Full resolution: the central half of the rows, shifts within one reduced pixel (and a
    // little) of the coarse estimate.
    Decoder header(left, limits);
    header.ReadHeader(false);
    const int fullHeight = static_cast<int>(header.info.image_height);
    const int rowFrom = fullHeight / 4, rowTo = fullHeight - fullHeight / 4;
    const LumaImage fullLeft = DecodeLuma(left, limits, 1, rowFrom, rowTo);
    const LumaImage fullRight = DecodeLuma(right, limits, 1, rowFrom, rowTo);
    const int fullMax = std::min(fullLeft.width, fullRight.width) / 4;
    const int centre = coarse * kReduction;
    const int from = std::clamp(centre - kReduction - 2, -fullMax, fullMax);
    const int to = std::clamp(centre + kReduction + 2, -fullMax, fullMax);
    return BestShift(fullLeft, fullRight, rowFrom, rowTo, from, to);
}

}  // namespace veltrane::stereo

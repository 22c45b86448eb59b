// Alignment: the horizontal shift at which the two eyes' pictures agree best. Only the central
// half of the rows is decoded, to grey (libjpeg then skips the chroma IDCT, and the rows after
// the band are never decoded). The band is reduced to 1/8 of its size by averaging, for a search
// over every shift up to a quarter of the width; the best one is then refined at full
// resolution among the few full-size shifts it stands for.
#include <algorithm>
#include <cstdlib>
#include <future>
#include <limits>

#include "stereo/stereo.h"

namespace veltrane::stereo {
namespace {

constexpr int kReduction = 8;
// The full-resolution refinement compares every fourth row of the band: the rows of a
// photograph change slowly, and the shifts it chooses between are already close.
constexpr int kRefineRowStep = 4;

// The grey rows [height / 4, height - height / 4) of a JPEG at full resolution.
LumaImage DecodeCentralBand(std::span<const std::uint8_t> bytes, const CodecLimits& limits, const char* name) {
    Decoder decoder(bytes, limits, name);
    decoder.ReadHeader(false);
    jpeg_decompress_struct& info = decoder.info;
    const int height = static_cast<int>(info.image_height);
    const int from = height / 4, to = height - height / 4;
    LumaImage band;
    band.width = static_cast<int>(info.image_width);
    band.height = to - from;
    band.pixels.resize(static_cast<std::size_t>(band.width) * static_cast<std::size_t>(band.height));
    Guarded(decoder.errors, decoder.Failure().c_str(), [&] {
        info.out_color_space = JCS_GRAYSCALE;
        info.dct_method = JDCT_IFAST;  // exact pixels do not matter for the comparison
        jpeg_start_decompress(&info);
        if (from > 0) jpeg_skip_scanlines(&info, static_cast<JDIMENSION>(from));
        while (static_cast<int>(info.output_scanline) < to) {
            JSAMPROW row = band.pixels.data() + static_cast<std::size_t>(static_cast<int>(info.output_scanline) - from) *
                                                    static_cast<std::size_t>(band.width);
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_abort_decompress(&info);
    });
    return band;
}

// The image at 1/factor of its size, each pixel the mean of its factor x factor square.
LumaImage Reduce(const LumaImage& image, int factor) {
    LumaImage small;
    small.width = image.width / factor;
    small.height = image.height / factor;
    small.pixels.resize(static_cast<std::size_t>(small.width) * static_cast<std::size_t>(small.height));
    std::vector<unsigned> sums(static_cast<std::size_t>(small.width));
    for (int y = 0; y < small.height; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int dy = 0; dy < factor; ++dy) {
            const std::uint8_t* row = image.pixels.data() + static_cast<std::size_t>(y * factor + dy) * static_cast<std::size_t>(image.width);
            for (int x = 0; x < small.width * factor; ++x) sums[static_cast<std::size_t>(x / factor)] += row[x];
        }
        for (int x = 0; x < small.width; ++x)
            small.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(small.width) + static_cast<std::size_t>(x)] =
                static_cast<std::uint8_t>(sums[static_cast<std::size_t>(x)] / static_cast<unsigned>(factor * factor));
    }
    return small;
}

}  // namespace

int BestShift(const LumaImage& left, const LumaImage& right, int rowFrom, int rowTo, int sFrom, int sTo,
              int rowStep) {
    int best = 0;
    double bestScore = std::numeric_limits<double>::infinity();
    for (int s = sFrom; s <= sTo; ++s) {
        // Columns x of the left picture whose partner x + s lies in the right one.
        const int x0 = std::max(0, -s);
        const int x1 = std::min(left.width, right.width - s);
        if (x1 - x0 < 1 || rowTo <= rowFrom) continue;
        std::uint64_t sum = 0;
        int rows = 0;
        for (int y = rowFrom; y < rowTo; y += rowStep, ++rows) {
            const std::uint8_t* l = left.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(left.width);
            const std::uint8_t* r = right.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(right.width) + s;
            unsigned rowSum = 0;
            for (int x = x0; x < x1; ++x) rowSum += static_cast<unsigned>(std::abs(l[x] - r[x]));
            sum += rowSum;
        }
        const double score = static_cast<double>(sum) / (static_cast<double>(x1 - x0) * rows);
        if (score < bestScore || (score == bestScore && std::abs(s) < std::abs(best))) {
            bestScore = score;
            best = s;
        }
    }
    return best;
}

int FindAlignmentShift(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                       const CodecLimits& limits) {
    // The two decoders share nothing: the right band decodes on a second thread.
    auto rightBand = std::async(std::launch::async, [&] { return DecodeCentralBand(right, limits, "right image"); });
    const LumaImage fullLeft = DecodeCentralBand(left, limits, "left image");
    const LumaImage fullRight = rightBand.get();
    if (fullLeft.height != fullRight.height) throw StereoError("the two images differ in height");
    const LumaImage smallLeft = Reduce(fullLeft, kReduction), smallRight = Reduce(fullRight, kReduction);
    const int smallMax = std::min(smallLeft.width, smallRight.width) / 4;
    const int coarse = BestShift(smallLeft, smallRight, 0, smallLeft.height, -smallMax, smallMax);

    // Full resolution: the shifts within one reduced pixel (and a little) of the coarse one.
    const int fullMax = std::min(fullLeft.width, fullRight.width) / 4;
    const int centre = coarse * kReduction;
    const int from = std::clamp(centre - kReduction - 2, -fullMax, fullMax);
    const int to = std::clamp(centre + kReduction + 2, -fullMax, fullMax);
    return BestShift(fullLeft, fullRight, 0, fullLeft.height, from, to, kRefineRowStep);
}

}  // namespace veltrane::stereo

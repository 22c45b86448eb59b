// Alignment: the horizontal shift at which the two eyes' pictures agree best. Only the central
// half of the rows is decoded, to grey (libjpeg then skips the chroma IDCT, and the rows after
// the band are never decoded). The band is reduced to 1/8 of its size by averaging, for a search
// over every shift up to a quarter of the width; the best one is then refined at full
// resolution among the few full-size shifts it stands for.
#include <algorithm>
#include <cmath>
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

namespace {

// The coarse search on the reduced band, then the refinement on full-resolution rows (every
// rowStep-th row of full).
int SearchShift(const LumaImage& smallLeft, const LumaImage& smallRight, const LumaImage& fullLeft,
                const LumaImage& fullRight, int rowStep) {
    const int smallMax = std::min(smallLeft.width, smallRight.width) / 4;
    const int coarse = BestShift(smallLeft, smallRight, 0, std::min(smallLeft.height, smallRight.height), -smallMax, smallMax);
    // Full resolution: the shifts within one reduced pixel (and a little) of the coarse one.
    const int fullMax = std::min(fullLeft.width, fullRight.width) / 4;
    const int centre = coarse * kReduction;
    const int from = std::clamp(centre - kReduction - 2, -fullMax, fullMax);
    const int to = std::clamp(centre + kReduction + 2, -fullMax, fullMax);
    return BestShift(fullLeft, fullRight, 0, std::min(fullLeft.height, fullRight.height), from, to, rowStep);
}

std::uint8_t Clamped(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

// The first component's quantized blocks of a coefficient image, dequantized on the fly.
struct LumaBlocks {
    const CoefficientImage& image;
    const CoefficientImage::Component& component = image.components[0];
    const JCOEF* Block(int col, int row) const { return component.Block(col, row); }
    int Quant(int k) const { return component.quant[static_cast<std::size_t>(k)]; }
};

// The central band at 1/8 size: each pixel the mean of its 8 x 8 block, which is the block's
// DC term (an 8 x 8 IDCT gives 128 + DC / 8 everywhere when nothing else is coded).
LumaImage DcBand(const LumaBlocks& blocks, int height) {
    LumaImage band;
    band.width = blocks.image.width / DCTSIZE;
    const int first = height / 4 / DCTSIZE, last = (height - height / 4) / DCTSIZE;
    band.height = std::max(0, last - first);
    band.pixels.resize(static_cast<std::size_t>(band.width) * static_cast<std::size_t>(band.height));
    for (int y = 0; y < band.height; ++y) {
        for (int x = 0; x < band.width; ++x)
            band.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(band.width) + static_cast<std::size_t>(x)] =
                Clamped(128.0 + blocks.Block(x, first + y)[0] * blocks.Quant(0) / 8.0);
    }
    return band;
}

// Every rowStep-th row of the central band at full resolution, by the 8 x 8 inverse DCT of the
// blocks (for one output row y: first across the vertical frequencies, then the horizontal):
//   p(x, y) = 128 + sum_u sum_v c(u) c(v) F(u, v) cos((2x + 1) u pi / 16) cos((2y + 1) v pi / 16) / 4
LumaImage IdctBandRows(const LumaBlocks& blocks, int height, int rowStep) {
    double basis[DCTSIZE][DCTSIZE];  // [position][frequency], with c(u) / 2 folded in
    for (int x = 0; x < DCTSIZE; ++x)
        for (int u = 0; u < DCTSIZE; ++u)
            basis[x][u] = (u == 0 ? 1.0 / std::sqrt(2.0) : 1.0) / 2.0 * std::cos((2 * x + 1) * u * 3.14159265358979323846 / 16);
    LumaImage rows;
    rows.width = blocks.image.width;
    const int from = height / 4, to = height - height / 4;
    rows.height = (to - from + rowStep - 1) / rowStep;
    rows.pixels.resize(static_cast<std::size_t>(rows.width) * static_cast<std::size_t>(rows.height));
    const int blocksPerRow = (rows.width + DCTSIZE - 1) / DCTSIZE;
    for (int i = 0; i < rows.height; ++i) {
        const int y = from + i * rowStep;
        const double* vertical = basis[y % DCTSIZE];
        std::uint8_t* out = rows.pixels.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(rows.width);
        for (int bx = 0; bx < blocksPerRow; ++bx) {
            double across[DCTSIZE];
            for (int u = 0; u < DCTSIZE; ++u) {
                double sum = 0;
                const JCOEF* block = blocks.Block(bx, y / DCTSIZE);
                for (int v = 0; v < DCTSIZE; ++v)
                    sum += vertical[v] * block[v * DCTSIZE + u] * blocks.Quant(v * DCTSIZE + u);
                across[u] = sum;
            }
            for (int x = 0; x < DCTSIZE && bx * DCTSIZE + x < rows.width; ++x) {
                double sum = 128.0;
                for (int u = 0; u < DCTSIZE; ++u) sum += basis[x][u] * across[u];
                out[bx * DCTSIZE + x] = Clamped(sum);
            }
        }
    }
    return rows;
}

}  // namespace

int FindAlignmentShift(const CoefficientImage& left, const CoefficientImage& right) {
    if (left.height != right.height) throw StereoError("the two images differ in height");
    const LumaBlocks l{left}, r{right};
    const int height = left.height;
    return SearchShift(DcBand(l, height), DcBand(r, height), IdctBandRows(l, height, kRefineRowStep),
                       IdctBandRows(r, height, kRefineRowStep), 1);
}

int FindAlignmentShift(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                       const CodecLimits& limits) {
    // The two decoders share nothing: the right band decodes on a second thread.
    auto rightBand = std::async(std::launch::async, [&] { return DecodeCentralBand(right, limits, "right image"); });
    const LumaImage fullLeft = DecodeCentralBand(left, limits, "left image");
    const LumaImage fullRight = rightBand.get();
    if (fullLeft.height != fullRight.height) throw StereoError("the two images differ in height");
    return SearchShift(Reduce(fullLeft, kReduction), Reduce(fullRight, kReduction), fullLeft, fullRight, kRefineRowStep);
}

}  // namespace veltrane::stereo

// SPDX-License-Identifier: GPL-3.0-or-later
// Alignment: where the right eye's picture shows what the left's shows, as a shift across and
// down. Only a band of central rows is decoded, to grey (libjpeg then skips the chroma IDCT,
// and the rows after the band are never decoded): the central half of the rows, which are
// compared, and a sixteenth of the height above and below it, into which the vertical search
// may reach. The band is reduced to 1/8 of its size by averaging for a coarse search over
// every shift up to a quarter of the width across and the margin down (across at no vertical
// shift, then down at that, then across again at the shift down found), and each shift is then
// refined at full resolution among the few full-size shifts it stands for.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <future>
#include <limits>

#include "imaging/stereo/stereo.h"

namespace veltrane::stereo {
namespace {

constexpr int kReduction = 8;
// The full-resolution refinement compares every fourth row of the band: the rows of a
// photograph change slowly, and the shifts it chooses between are already close.
constexpr int kRefineRowStep = 4;
// A refinement looks this far to either side of the coarse shift, in full-size pixels.
constexpr int kRefineReach = kReduction + 2;

// The band of an image of the given height: rows [from, to), of which [from + margin,
// to - margin) are compared.
struct Band {
    int from = 0, to = 0, margin = 0;
    explicit Band(int height) : margin(height / 16) {
        from = height / 4 - margin;
        to = height - height / 4 + margin;
    }
};

// The grey rows of the band of a JPEG at full resolution, and the band's margin.
std::pair<LumaImage, int> DecodeBand(std::span<const std::uint8_t> bytes, const CodecLimits& limits, const char* name) {
    Decoder decoder(bytes, limits, name);
    decoder.ReadHeader(false);
    jpeg_decompress_struct& info = decoder.info;
    const Band band(static_cast<int>(info.image_height));
    LumaImage rows;
    rows.width = static_cast<int>(info.image_width);
    rows.height = band.to - band.from;
    rows.pixels.resize(static_cast<std::size_t>(rows.width) * static_cast<std::size_t>(rows.height));
    Guarded(decoder.errors, decoder.Failure().c_str(), [&] {
        info.out_color_space = JCS_GRAYSCALE;
        info.dct_method = JDCT_IFAST;  // exact pixels do not matter for the comparison
        jpeg_start_decompress(&info);
        if (band.from > 0) jpeg_skip_scanlines(&info, static_cast<JDIMENSION>(band.from));
        while (static_cast<int>(info.output_scanline) < band.to) {
            JSAMPROW row = rows.pixels.data() + static_cast<std::size_t>(static_cast<int>(info.output_scanline) - band.from) *
                                                    static_cast<std::size_t>(rows.width);
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_abort_decompress(&info);
    });
    return {std::move(rows), band.margin};
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

// The mean absolute difference of left(x, y) and right(x + across, y + down) over every
// rowStep-th row y of [rowFrom, rowTo) whose partner lies in the right picture; infinite when
// the two do not overlap.
double MeanDifference(const LumaImage& left, const LumaImage& right, int rowFrom, int rowTo, int rowStep, int across,
                      int down) {
    const int x0 = std::max(0, -across);
    const int x1 = std::min(left.width, right.width - across);
    if (x1 - x0 < 1) return std::numeric_limits<double>::infinity();
    std::uint64_t sum = 0;
    long rows = 0;
    for (int y = rowFrom; y < rowTo; y += rowStep) {
        if (y + down < 0 || y + down >= right.height || y >= left.height) continue;
        const std::uint8_t* l = left.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(left.width);
        const std::uint8_t* r = right.pixels.data() + static_cast<std::size_t>(y + down) * static_cast<std::size_t>(right.width) + across;
        unsigned rowSum = 0;
        for (int x = x0; x < x1; ++x) rowSum += static_cast<unsigned>(std::abs(l[x] - r[x]));
        sum += rowSum;
        ++rows;
    }
    if (rows == 0) return std::numeric_limits<double>::infinity();
    return static_cast<double>(sum) / (static_cast<double>(x1 - x0) * static_cast<double>(rows));
}

// The candidate in [from, to] of the least score; ties go to the smaller |candidate|.
template <typename Score>
int Best(int from, int to, Score&& score) {
    int best = 0;
    double bestScore = std::numeric_limits<double>::infinity();
    for (int s = from; s <= to; ++s) {
        const double value = score(s);
        if (value < bestScore || (value == bestScore && std::abs(s) < std::abs(best))) {
            bestScore = value;
            best = s;
        }
    }
    return best;
}

// The coarse search on the reduced band, then the refinement on the full-resolution one (of
// which every rowStep-th compared row is filled, and every row of the right one). margin is
// the full band's.
Alignment Search(const LumaImage& smallLeft, const LumaImage& smallRight, const LumaImage& fullLeft,
                 const LumaImage& fullRight, int margin, int rowStep) {
    const int smallMargin = margin / kReduction;
    const int smallFrom = smallMargin, smallTo = std::min(smallLeft.height, smallRight.height) - smallMargin;
    const int smallMax = std::min(smallLeft.width, smallRight.width) / 4;
    Alignment coarse;
    coarse.across = BestShift(smallLeft, smallRight, smallFrom, smallTo, -smallMax, smallMax);
    coarse.down = BestVerticalShift(smallLeft, smallRight, smallFrom, smallTo, -smallMargin, smallMargin, 1, coarse.across);
    if (coarse.down != 0)
        coarse.across = BestShift(smallLeft, smallRight, smallFrom, smallTo, -smallMax, smallMax, 1, coarse.down);

    const int fullFrom = margin, fullTo = std::min(fullLeft.height, fullRight.height) - margin;
    const int fullMax = std::min(fullLeft.width, fullRight.width) / 4;
    auto reach = [](int centre, int limit) {
        return std::pair{std::clamp(centre - kRefineReach, -limit, limit), std::clamp(centre + kRefineReach, -limit, limit)};
    };
    Alignment fine;
    const int startDown = std::clamp(coarse.down * kReduction, -margin, margin);
    const auto [a0, a1] = reach(coarse.across * kReduction, fullMax);
    fine.across = BestShift(fullLeft, fullRight, fullFrom, fullTo, a0, a1, rowStep, startDown);
    const auto [d0, d1] = reach(startDown, margin);
    fine.down = BestVerticalShift(fullLeft, fullRight, fullFrom, fullTo, d0, d1, rowStep, fine.across);
    if (fine.down != startDown)
        fine.across = BestShift(fullLeft, fullRight, fullFrom, fullTo, std::max(-fullMax, fine.across - 2),
                                std::min(fullMax, fine.across + 2), rowStep, fine.down);
    return fine;
}

std::uint8_t Clamped(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

// The first component's quantized blocks of a coefficient image, dequantized on the fly.
struct LumaBlocks {
    const CoefficientImage& image;
    const CoefficientImage::Component& component = image.components[0];
    const JCOEF* Block(int col, int row) const { return component.Block(col, row); }
    int Quant(int k) const { return component.quant[static_cast<std::size_t>(k)]; }
};

// The band at 1/8 size: each pixel the mean of its 8 x 8 block, which is the block's DC term
// (an 8 x 8 IDCT gives 128 + DC / 8 everywhere when nothing else is coded).
LumaImage DcBand(const LumaBlocks& blocks, const Band& band) {
    LumaImage small;
    small.width = blocks.image.width / DCTSIZE;
    const int first = band.from / DCTSIZE;
    small.height = std::max(0, band.to / DCTSIZE - first);
    small.pixels.resize(static_cast<std::size_t>(small.width) * static_cast<std::size_t>(small.height));
    for (int y = 0; y < small.height; ++y)
        for (int x = 0; x < small.width; ++x)
            small.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(small.width) + static_cast<std::size_t>(x)] =
                Clamped(128.0 + blocks.Block(x, first + y)[0] * blocks.Quant(0) / 8.0);
    return small;
}

// The rows of the band at full resolution by the 8 x 8 inverse DCT of the blocks (for one
// output row y: first across the vertical frequencies, then the horizontal):
//   p(x, y) = 128 + sum_u sum_v c(u) c(v) F(u, v) cos((2x + 1) u pi / 16) cos((2y + 1) v pi / 16) / 4
// Only the rows i of the band with (i - band.margin) % rowStep == 0 are computed; the others
// stay 0 and are never compared.
LumaImage IdctBand(const LumaBlocks& blocks, const Band& band, int rowStep) {
    double basis[DCTSIZE][DCTSIZE];  // [position][frequency], with c(u) / 2 folded in
    for (int x = 0; x < DCTSIZE; ++x)
        for (int u = 0; u < DCTSIZE; ++u)
            basis[x][u] = (u == 0 ? 1.0 / std::sqrt(2.0) : 1.0) / 2.0 * std::cos((2 * x + 1) * u * 3.14159265358979323846 / 16);
    LumaImage rows;
    rows.width = blocks.image.width;
    rows.height = band.to - band.from;
    rows.pixels.resize(static_cast<std::size_t>(rows.width) * static_cast<std::size_t>(rows.height));
    const int blocksPerRow = (rows.width + DCTSIZE - 1) / DCTSIZE;
    for (int i = 0; i < rows.height; ++i) {
        if ((i - band.margin) % rowStep != 0) continue;
        const int y = band.from + i;
        const double* vertical = basis[y % DCTSIZE];
        std::uint8_t* out = rows.pixels.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(rows.width);
        for (int bx = 0; bx < blocksPerRow; ++bx) {
            const JCOEF* block = blocks.Block(bx, y / DCTSIZE);
            double across[DCTSIZE];
            for (int u = 0; u < DCTSIZE; ++u) {
                double sum = 0;
                for (int v = 0; v < DCTSIZE; ++v) sum += vertical[v] * block[v * DCTSIZE + u] * blocks.Quant(v * DCTSIZE + u);
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

int BestShift(const LumaImage& left, const LumaImage& right, int rowFrom, int rowTo, int sFrom, int sTo, int rowStep,
              int down) {
    return Best(sFrom, sTo, [&](int s) { return MeanDifference(left, right, rowFrom, rowTo, rowStep, s, down); });
}

int BestVerticalShift(const LumaImage& left, const LumaImage& right, int rowFrom, int rowTo, int dFrom, int dTo,
                      int rowStep, int across) {
    return Best(dFrom, dTo, [&](int d) { return MeanDifference(left, right, rowFrom, rowTo, rowStep, across, d); });
}

Alignment FindAlignment(const CoefficientImage& left, const CoefficientImage& right) {
    if (left.height != right.height) throw StereoError("the two images differ in height");
    const LumaBlocks l{left}, r{right};
    const Band band(left.height);
    return Search(DcBand(l, band), DcBand(r, band), IdctBand(l, band, kRefineRowStep), IdctBand(r, band, 1),
                  band.margin, kRefineRowStep);
}

Alignment FindAlignment(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                        const CodecLimits& limits) {
    // The two decoders share nothing: the right band decodes on a second thread.
    auto rightBand = std::async(std::launch::async, [&] { return DecodeBand(right, limits, "right image"); });
    const auto [fullLeft, margin] = DecodeBand(left, limits, "left image");
    const LumaImage fullRight = rightBand.get().first;
    if (fullLeft.height != fullRight.height) throw StereoError("the two images differ in height");
    return Search(Reduce(fullLeft, kReduction), Reduce(fullRight, kReduction), fullLeft, fullRight, margin,
                  kRefineRowStep);
}

Alignment FindAlignment(const LumaImage& left, const LumaImage& right) {
    if (left.height != right.height) throw StereoError("the two images differ in height");
    const Band band(left.height);
    auto cut = [&](const LumaImage& image) {
        LumaImage rows;
        rows.width = image.width;
        rows.height = band.to - band.from;
        const auto begin = image.pixels.begin() + static_cast<std::ptrdiff_t>(band.from) * image.width;
        rows.pixels.assign(begin, begin + static_cast<std::ptrdiff_t>(rows.height) * image.width);
        return rows;
    };
    const LumaImage l = cut(left), r = cut(right);
    return Search(Reduce(l, kReduction), Reduce(r, kReduction), l, r, band.margin, kRefineRowStep);
}

}  // namespace veltrane::stereo

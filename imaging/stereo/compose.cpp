// SPDX-License-Identifier: GPL-3.0-or-later
// Composition of the stereo picture. Side-by-side and over/under layouts code the inputs' DCT
// blocks as one image (a two-piece plan of the block engine, imaging/jpeg/block_plan.h) when
// the two JPEGs are compatible (same components, sampling factors and quantization tables, the
// first picture ending on an iMCU boundary and every crop starting on one), so the output
// decodes to exactly the pixels of its inputs. Otherwise, and for every other layout, the two
// images are decoded row by row and the output is written as it is made (compose_decoded.cpp,
// wiggle.cpp).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>

#include "imaging/jpeg/block_plan.h"
#include "imaging/stereo/compose_internal.h"
#include "imaging/stereo/full_alignment.h"
#include "imaging/stereo/spatial_photos.h"

namespace veltrane::stereo {
namespace {

constexpr int kQuality = 95;

int RoundToMultiple(int value, int step) {
    return static_cast<int>(std::lround(static_cast<double>(value) / step)) * step;
}

// How the two pictures share the output.
enum class Arrangement { SideBySide, Stacked, Overlaid };

Arrangement ArrangementOf(Layout layout) {
    switch (layout) {
        case Layout::Cross:
        case Layout::Parallel:
        case Layout::HalfSideBySide: return Arrangement::SideBySide;
        case Layout::OverUnder:
        case Layout::HalfOverUnder: return Arrangement::Stacked;
        default: return Arrangement::Overlaid;
    }
}

// The iMCU of the left image: the block grid on which a lossless crop must lie.
struct Grid {
    int width = DCTSIZE, height = DCTSIZE;
};

Grid GridOf(const jpeg_decompress_struct& header) {
    const libjpeg::BlockGrid grid = libjpeg::GridOf(header);
    return {static_cast<int>(grid.width), static_cast<int>(grid.height)};
}

// The table that the frame header names for component c; null when it names none (the frame
// header's table number is not checked until decoding starts).
const JQUANT_TBL* QuantTableOf(const jpeg_decompress_struct& info, int c) {
    const int n = info.comp_info[c].quant_tbl_no;
    return n >= 0 && n < NUM_QUANT_TBLS ? info.quant_tbl_ptrs[n] : nullptr;
}

// Why the two headers cannot be composed block by block, or empty when they can.
std::string LosslessObstacle(const jpeg_decompress_struct& a, const jpeg_decompress_struct& b) {
    if (a.num_components != b.num_components || a.jpeg_color_space != b.jpeg_color_space)
        return "the images differ in colour components";
    for (int c = 0; c < a.num_components; ++c) {
        if (a.comp_info[c].h_samp_factor != b.comp_info[c].h_samp_factor ||
            a.comp_info[c].v_samp_factor != b.comp_info[c].v_samp_factor)
            return "the images differ in chroma subsampling";
        const JQUANT_TBL* qa = QuantTableOf(a, c);
        const JQUANT_TBL* qb = QuantTableOf(b, c);
        if (qa == nullptr || qb == nullptr ||
            std::memcmp(qa->quantval, qb->quantval, sizeof qa->quantval) != 0)
            return "the images differ in quantization tables";
    }
    return {};
}

// Why the areas cannot be composed block by block: every area must start on the iMCU grid;
// side by side, the first must end on it; stacked, the two must be equally wide and the first
// must end on a whole iMCU row.
std::string GeometryObstacle(const Grid& grid, Arrangement arrangement, const EyeArea& first, const EyeArea& second) {
    if (arrangement == Arrangement::SideBySide) {
        if (first.width % grid.width != 0)
            return "the first half's width " + std::to_string(first.width) + " is not a multiple of " +
                   std::to_string(grid.width);
    } else {
        if (first.width != second.width) return "the images differ in width";
        if (first.height % grid.height != 0)
            return "the first half's height " + std::to_string(first.height) + " is not a multiple of " +
                   std::to_string(grid.height);
    }
    if (first.x % grid.width != 0 || second.x % grid.width != 0)
        return "the crop is not on a " + std::to_string(grid.width) + "-pixel boundary";
    if (first.y % grid.height != 0 || second.y % grid.height != 0)
        return "the crop is not on a " + std::to_string(grid.height) + "-row boundary";
    return {};
}

// The area of an input as the block engine takes it.
libjpeg::PixelRect BlockArea(const EyeArea& area) {
    return {static_cast<std::uint32_t>(area.x), static_cast<std::uint32_t>(area.y),
            static_cast<std::uint32_t>(area.width), static_cast<std::uint32_t>(area.height)};
}

// An input whose coefficients are read already, in memory of the caller's.
libjpeg::BlockSource ReadSource(Decoder& decoder, const CoefficientImage& blocks) {
    libjpeg::BlockSource source;
    source.decoder = &decoder.info;
    for (int c = 0; c < blocks.componentCount; ++c)
        source.read[static_cast<std::size_t>(c)] = &blocks.components[static_cast<std::size_t>(c)].blocks;
    return source;
}

// The two areas in output order for a measured shift (zero without alignment), on the grid
// or not, and the EXIF segment for an output of a given size.
using AreasFor = std::function<std::pair<EyeArea, EyeArea>(Alignment measured, bool onGrid)>;
using ExifFor = std::function<std::vector<std::uint8_t>(int width, int height)>;

// The lossless composition; returns false with reason set when the pair is not compatible.
// With align, the shift is measured on the coefficients read here (measured says whether it
// got that far).
bool ComposeLossless(const EyeArea& left, const EyeArea& right, const StereoOptions& options, Arrangement arrangement,
                     const AreasFor& areasFor, const ExifFor& exifFor,
                     const std::vector<std::vector<std::uint8_t>>& icc, const std::vector<std::uint8_t>& jps,
                     StereoPicture& picture, bool& measured, std::string& reason) {
    Decoder l(left.bytes, options.limits, left.name), r(right.bytes, options.limits, right.name);
    l.ReadHeader(false);
    r.ReadHeader(false);
    reason = LosslessObstacle(l.info, r.info);
    if (!reason.empty()) return false;
    const Grid grid = GridOf(l.info);
    if (!options.align) {
        // The areas do not depend on the coefficients: a pair off the grid is found before
        // they are read.
        const auto [first, second] = areasFor({}, true);
        reason = GeometryObstacle(grid, arrangement, first, second);
        if (!reason.empty()) return false;
    }
    // Each decoder reads into memory of ours under its own error manager; from here on the
    // decoders are only asked for their header values.
    CoefficientImage leftBlocks, rightBlocks;
    l.ReadCoefficients(leftBlocks);
    r.ReadCoefficients(rightBlocks);
    // Tables may be redefined between scans; what counts is the table each component used.
    for (int c = 0; c < leftBlocks.componentCount; ++c) {
        if (leftBlocks.components[static_cast<std::size_t>(c)].quant != rightBlocks.components[static_cast<std::size_t>(c)].quant) {
            reason = "the images differ in quantization tables";
            return false;
        }
    }
    if (options.align) {
        // From the coefficients when the first component has full resolution (the usual luma).
        const CoefficientImage::Component& luma = leftBlocks.components[0];
        if (luma.hSampling == leftBlocks.maxHSampling && luma.vSampling == leftBlocks.maxVSampling)
            picture.measured = FindAlignment(leftBlocks, rightBlocks);
        else
            picture.measured = FindAlignment(left.bytes, right.bytes, options.limits);
        measured = true;
    }
    const auto [first, second] = areasFor(picture.measured, true);
    reason = GeometryObstacle(grid, arrangement, first, second);
    if (!reason.empty()) return false;
    const bool sideBySide = arrangement == Arrangement::SideBySide;
    const int width = sideBySide ? first.width + second.width : first.width;
    const int height = sideBySide ? first.height : first.height + second.height;
    const std::vector<std::uint8_t> exif = exifFor(width, height);

    // A two-piece plan, one piece per eye: side by side, the second from the first's width on;
    // stacked, from its height down. Only the two inputs' coefficients are held (as much as one
    // output would take), in memory of ours: nothing calls into the inputs' decoders but for
    // their header values, so no error of theirs can arise while the encoder runs.
    const bool leftFirst = first.bytes.data() == left.bytes.data() && first.name == left.name;
    libjpeg::BlockPlan plan;
    plan.sources.push_back(leftFirst ? ReadSource(l, leftBlocks) : ReadSource(r, rightBlocks));
    plan.sources.push_back(leftFirst ? ReadSource(r, rightBlocks) : ReadSource(l, leftBlocks));
    plan.pieces.push_back({0, BlockArea(first), {}, 0, 0});
    plan.pieces.push_back({1, BlockArea(second), {}, sideBySide ? static_cast<std::uint32_t>(first.width) : 0,
                           sideBySide ? 0 : static_cast<std::uint32_t>(first.height)});
    plan.width = static_cast<std::uint32_t>(width);
    plan.height = static_cast<std::uint32_t>(height);
    // The MCU padding at the right and bottom edges keeps the inputs' blocks.
    plan.edges = libjpeg::EdgeBlocks::FromSource;
    plan.writeJfif = exif.empty();
    if (!exif.empty()) plan.segments.push_back({JPEG_APP0 + 1, exif});
    for (const std::vector<std::uint8_t>& segment : icc) plan.segments.push_back({JPEG_APP0 + 2, segment});
    if (!jps.empty()) plan.segments.push_back({JPEG_APP0 + 3, jps});
    // The output is about as large as the two inputs together.
    plan.expectedSize = left.bytes.size() + right.bytes.size() + (std::size_t{1} << 16);
    try {
        picture.bytes = libjpeg::CodeBlockPlan(plan);
    } catch (const libjpeg::BlockPlanError& e) {
        throw StereoError(std::string("cannot compose the picture: ") + e.what());
    }
    picture.width = width;
    picture.height = height;
    picture.lossless = true;
    return true;
}

// The JPS descriptor of a JPEG layout (none for the anaglyph).
std::vector<std::uint8_t> JpsFor(Layout layout) {
    constexpr int kSideBySide = 2, kOverUnder = 3;
    constexpr int kHalfHeight = 0x01, kHalfWidth = 0x02, kLeftFirst = 0x04;
    switch (layout) {
        case Layout::Cross: return JpsSegment(false);
        case Layout::Parallel: return JpsSegment(true);
        case Layout::OverUnder: return JpsSegment(kOverUnder, kLeftFirst);
        case Layout::HalfSideBySide: return JpsSegment(kSideBySide, kHalfWidth | kLeftFirst);
        case Layout::HalfOverUnder: return JpsSegment(kOverUnder, kHalfHeight | kLeftFirst);
        default: return {};
    }
}

// What the layouts need of the two eyes besides their rows.
struct EyeInputs {
    EyeArea left, right;                         // the whole eyes, exchanged when asked
    std::vector<std::uint8_t> exif;              // the first image's
    std::vector<std::vector<std::uint8_t>> icc;  // the first image's (none for an anaglyph)
    int hSampling = 1, vSampling = 1;            // the first image's luma sampling when in colour
    Grid grid;                                   // of a lossless crop
    std::size_t expectedSize = 0;                // about as large as the output will be
};

// Every layout but MPO and heic, of the eyes (JPEG data, or corrected eyes warped row by row).
StereoPicture ComposeEyes(const EyeInputs& in, const StereoOptions& options) {
    const EyeArea& leftEye = in.left;
    const EyeArea& rightEye = in.right;
    const Grid& grid = in.grid;
    const int height = leftEye.height;
    StereoPicture picture;
    const Arrangement arrangement = ArrangementOf(options.layout);
    const bool crop = options.align || options.parallax != 0;
    // The two areas for a measured shift, in output order (the cross layout puts the right eye
    // first). Uncropped, every column side by side, else the common width. Cropped, the overlap
    // of left(x, y) and right(x + across, y + down) for the shift less the parallax; for
    // block-exact areas the shift is rounded to the iMCU grid, and the first area's width (side
    // by side) or height (stacked) cut down to it.
    auto areas = [&](Alignment measured, bool onGrid) {
        EyeArea l = leftEye, r = rightEye;
        if (crop) {
            Alignment shift{measured.across - options.parallax, measured.down};
            if (onGrid) shift = {RoundToMultiple(shift.across, grid.width), RoundToMultiple(shift.down, grid.height)};
            l.x = std::max(0, -shift.across);
            r.x = l.x + shift.across;
            l.y = std::max(0, -shift.down);
            r.y = l.y + shift.down;
            int width = std::min(leftEye.width - l.x, rightEye.width - r.x);
            int overlapHeight = std::min(height - l.y, rightEye.height - r.y);
            if (onGrid && arrangement == Arrangement::SideBySide && width > grid.width) width -= width % grid.width;
            if (onGrid && arrangement == Arrangement::Stacked && overlapHeight > grid.height)
                overlapHeight -= overlapHeight % grid.height;
            if (width < 1 || overlapHeight < 1) throw StereoError("the two images do not overlap");
            l.width = r.width = width;
            l.height = r.height = overlapHeight;
            picture.applied = shift;
            picture.cropped = true;
        } else if (arrangement != Arrangement::SideBySide) {
            l.width = r.width = std::min(leftEye.width, rightEye.width);
        }
        return options.layout == Layout::Cross ? std::pair{r, l} : std::pair{l, r};
    };
    auto exifFor = [&](int width, int outHeight) {
        std::vector<std::uint8_t> patched = in.exif;
        if (!patched.empty())
            PatchExifDimensions(patched, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(outHeight));
        return patched;
    };
    const std::vector<std::uint8_t> jps = JpsFor(options.layout);
    bool measured = false;
    const bool coded = leftEye.corrected == nullptr && rightEye.corrected == nullptr;
    const bool mayBeLossless = coded && (options.layout == Layout::Cross || options.layout == Layout::Parallel ||
                                         options.layout == Layout::OverUnder);
    if (mayBeLossless && ComposeLossless(leftEye, rightEye, options, arrangement, areas, exifFor, in.icc, jps, picture,
                                         measured, picture.reencodeReason))
        return picture;
    // Re-encoded: the exact shift.
    if (options.align && !measured) picture.measured = FindAlignment(leftEye.bytes, rightEye.bytes, options.limits);
    const auto [first, second] = areas(picture.measured, false);
    if (options.layout == Layout::Wiggle) {
        ComposeWiggle(first, second, options, picture);
        return picture;
    }
    // Side by side and stacked keep the first image's chroma subsampling; the anaglyph's
    // colour fringes need full chroma resolution.
    JpegSettings jpeg;
    jpeg.quality = kQuality;
    if (options.layout != Layout::Anaglyph) {
        jpeg.hSampling = in.hSampling;
        jpeg.vSampling = in.vSampling;
    }
    jpeg.jps = jps;
    jpeg.icc = in.icc;
    jpeg.expectedSize = in.expectedSize;
    const auto [width, outHeight] = DecodedOutputSize(options.layout, first, second);
    jpeg.exif = exifFor(width, outHeight);
    switch (options.layout) {
        case Layout::Anaglyph:
            picture.reencodeReason = options.anaglyph == AnaglyphKind::Dubois
                                         ? "anaglyph"
                                         : std::string(AnaglyphKindWord(options.anaglyph)) + " anaglyph";
            break;
        case Layout::HalfSideBySide: picture.reencodeReason = "each eye resampled to half width"; break;
        case Layout::HalfOverUnder: picture.reencodeReason = "each eye resampled to half height"; break;
        default: break;
    }
    ComposeDecoded(first, second, options, jpeg, picture);
    return picture;
}

// A layout of the corrected pair, its rows straight from the warps.
StereoPicture ComposeCorrected(const MeasuredPair& pair) {
    const StereoOptions& options = pair.options;
    EyeInputs in;
    in.left = {{}, "left image", 0, 0, pair.left.width, pair.left.height, &pair.left};
    in.right = {{}, "right image", 0, 0, pair.right.width, pair.right.height, &pair.right};
    in.exif = pair.left.exif;
    if (options.layout != Layout::Anaglyph) in.icc = pair.left.icc;
    in.hSampling = pair.left.hSampling;
    in.vSampling = pair.left.vSampling;
    in.expectedSize = static_cast<std::size_t>(pair.left.width) * static_cast<std::size_t>(pair.left.height);
    StereoPicture picture = ComposeEyes(in, options);
    NoteAligned(picture, pair.correction);
    return picture;
}

}  // namespace

StereoPicture ComposeStereo(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                            const StereoOptions& options) {
    if (options.alignFull) {
        if (ComposedFromWarp(options.layout)) return ComposeCorrected(MeasurePair(left, right, options));
        const AlignedPair aligned = AlignFully(left, right, options);
        StereoPicture picture = ComposeStereo(aligned.pair.left, aligned.pair.right, aligned.options);
        NoteAligned(picture, aligned.correction);
        return picture;
    }
    if (options.layout == Layout::Mpo) {
        MpoImages mpo = ComposeMpoImages(left, right, options);
        mpo.picture.bytes = BuildMpoPicture(mpo);
        return mpo.picture;
    }
    if (options.layout == Layout::Heic) return ComposeSpatialPhoto(left, right, options);
    // Headers first: sizes, and the first image's EXIF segment that the output keeps.
    Decoder leftHeader(left, options.limits, "left image"), rightHeader(right, options.limits, "right image");
    leftHeader.ReadHeader(true);
    rightHeader.ReadHeader(false);
    if (leftHeader.info.image_height != rightHeader.info.image_height)
        throw StereoError("the two images differ in height (" + std::to_string(leftHeader.info.image_height) +
                          " and " + std::to_string(rightHeader.info.image_height) + " pixels)");
    EyeInputs in;
    in.exif = leftHeader.ExifSegment();
    // The colour profile of the first image goes with the pictures made of the eyes' own pixels
    // (a spatial photo's eyes are often Display P3); an anaglyph's channels are the glasses',
    // not a scene's colours.
    if (options.layout != Layout::Anaglyph) in.icc = leftHeader.IccSegments();
    if (leftHeader.info.num_components == 3) {
        in.hSampling = leftHeader.info.comp_info[0].h_samp_factor;
        in.vSampling = leftHeader.info.comp_info[0].v_samp_factor;
    }
    const int height = static_cast<int>(leftHeader.info.image_height);
    // The eyes: the images in file order, or exchanged. Messages name each image by its place
    // in the pair whichever eye it serves.
    in.left = {left, "left image", 0, 0, static_cast<int>(leftHeader.info.image_width), height};
    in.right = {right, "right image", 0, 0, static_cast<int>(rightHeader.info.image_width), height};
    if (options.swap) std::swap(in.left, in.right);
    // The grid of a lossless crop: the iMCU of the image whose header the output copies.
    const Decoder& gridSource = options.swap ? rightHeader : leftHeader;
    in.grid = GridOf(gridSource.info);
    in.expectedSize = left.size() + right.size();
    return ComposeEyes(in, options);
}

}  // namespace veltrane::stereo

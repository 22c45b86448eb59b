// Composition of the stereo picture. Side-by-side layouts encode the inputs' DCT blocks as one
// double-width image when the two JPEGs are compatible (same height, components,
// sampling factors and quantization tables, and the first half ending on an iMCU boundary), so
// the output decodes to exactly the pixels of its inputs. Otherwise, and for the anaglyph, the
// two images are decoded row by row in step and the output row is encoded as soon as it is
// made, so memory stays at a few rows besides the codec's own.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <future>

#include "stereo/stereo.h"

namespace veltrane::stereo {
namespace {

constexpr int kQuality = 95;
// Rows of the second image that a helper thread decodes ahead while re-encoding.
constexpr int kBand = 64;

// The columns [x, x + width) of one input that go into the output.
struct Half {
    std::span<const std::uint8_t> bytes;
    const char* name;  // "left image" or "right image", for messages
    int x = 0;
    int width = 0;
};

int CeilDiv(long long a, long long b) { return static_cast<int>((a + b - 1) / b); }
int RoundUp(int a, int b) { return CeilDiv(a, b) * b; }

void WriteMarkers(jpeg_compress_struct& info, const std::vector<std::uint8_t>& exif,
                  const std::vector<std::uint8_t>& jps) {
    if (!exif.empty())
        jpeg_write_marker(&info, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
    if (!jps.empty())
        jpeg_write_marker(&info, JPEG_APP0 + 3, jps.data(), static_cast<unsigned>(jps.size()));
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

// Why the halves cannot be composed block by block: the first must end, and both must start,
// on the iMCU grid.
std::string GeometryObstacle(const jpeg_decompress_struct& a, const Half& first, const Half& second) {
    const int mcuWidth = DCTSIZE * a.max_h_samp_factor;
    if (first.width % mcuWidth != 0)
        return "the first half's width " + std::to_string(first.width) + " is not a multiple of " +
               std::to_string(mcuWidth);
    if (first.x % mcuWidth != 0 || second.x % mcuWidth != 0)
        return "the crop is not on a " + std::to_string(mcuWidth) + "-pixel boundary";
    return {};
}

// The output's coefficients are never stored whole. libjpeg's transcoding encoder fetches the
// coefficient rows of each component through its memory manager's access_virt_barray, one
// iMCU row at a time; the output encoder's manager gets this function in its place, which
// assembles the requested rows from the two inputs' coefficient images into a small strip.
// Only the two inputs' coefficients are held (as much as one output would take), in memory
// of the caller's: nothing here calls into the inputs' decoders, so no error of theirs can
// arise while the encoder runs.
struct Composition {
    // Blocks [srcCol, srcCol + count) x [srcRow, srcRow + rowCount) of a source component go
    // to [dstCol, ...) x [dstRow, ...) of the output's.
    struct Part {
        const CoefficientImage::Component* source = nullptr;
        int srcCol = 0, dstCol = 0, count = 0;
        int srcRow = 0, dstRow = 0, rowCount = 0;
    };
    struct Component {
        std::array<Part, 2> parts;
        int columns = 0;                  // output blocks per row (padded to the MCU)
        std::vector<JCOEF> strip;         // v_samp_factor rows of the output's blocks
        std::vector<JBLOCKROW> rows;
    };
    std::array<Component, MAX_COMPONENTS> components;
    // The addresses of these bytes stand for the output's per-component "arrays".
    std::array<char, MAX_COMPONENTS> tags{};
};

JBLOCKARRAY AccessComposedRows(j_common_ptr info, jvirt_barray_ptr array, JDIMENSION startRow, JDIMENSION numRows,
                               boolean) {
    auto& composition = *static_cast<Composition*>(info->client_data);
    const std::ptrdiff_t c = reinterpret_cast<char*>(array) - composition.tags.data();
    if (c < 0 || c >= MAX_COMPONENTS) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    Composition::Component& component = composition.components[static_cast<std::size_t>(c)];
    if (numRows > component.rows.size()) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    for (JDIMENSION i = 0; i < numRows; ++i) {
        const int row = static_cast<int>(startRow + i);
        JBLOCKROW out = component.rows[i];
        // Blocks that no input supplies (the MCU padding at the right and bottom edges) are zero.
        std::memset(out, 0, static_cast<std::size_t>(component.columns) * sizeof(JBLOCK));
        for (const Composition::Part& part : component.parts) {
            if (row < part.dstRow || row >= part.dstRow + part.rowCount) continue;
            const int from = row - part.dstRow + part.srcRow;
            if (from >= part.source->rows) continue;
            std::memcpy(out + part.dstCol, part.source->Block(part.srcCol, from),
                        static_cast<std::size_t>(part.count) * sizeof(JBLOCK));
        }
    }
    return component.rows.data();
}

// Sets up the parts of every component: half h's pixel columns [x, x + width) go to output
// column outX (x and outX on the iMCU grid), all rows of both.
void PlanComposition(Composition& plan, const std::array<const CoefficientImage*, 2>& inputs, int outWidth,
                     const Half& first, const Half& second) {
    const CoefficientImage& in = *inputs[0];
    const int mcuWidth = DCTSIZE * in.maxHSampling;
    for (int c = 0; c < in.componentCount; ++c) {
        const int h = in.components[static_cast<std::size_t>(c)].hSampling;
        Composition::Component& component = plan.components[static_cast<std::size_t>(c)];
        component.columns = RoundUp(CeilDiv(static_cast<long long>(outWidth) * h, mcuWidth), h);
        const int split = first.width / mcuWidth * h;
        component.parts[0] = {nullptr, first.x / mcuWidth * h, 0, 0, 0, 0, 0};
        component.parts[1] = {nullptr, second.x / mcuWidth * h, split, 0, 0, 0, 0};
        for (std::size_t i = 0; i < 2; ++i) {
            Composition::Part& part = component.parts[i];
            part.source = &inputs[i]->components[static_cast<std::size_t>(c)];
            const int room = (i == 0 ? split : component.columns) - part.dstCol;
            part.count = std::clamp(part.source->columns - part.srcCol, 0, room);
            part.rowCount = part.source->rows;
        }
        const std::size_t rowLength = static_cast<std::size_t>(component.columns) * DCTSIZE2;
        const int v = in.components[static_cast<std::size_t>(c)].vSampling;
        component.strip.assign(rowLength * static_cast<std::size_t>(v), 0);
        component.rows.resize(static_cast<std::size_t>(v));
        for (std::size_t r = 0; r < component.rows.size(); ++r)
            component.rows[r] = reinterpret_cast<JBLOCKROW>(component.strip.data() + r * rowLength);
    }
}

// The halves of the output in output order for an alignment shift (0 without alignment), and
// the EXIF segment for an output of their size.
using HalvesFor = std::function<std::pair<Half, Half>(int shift)>;
using ExifFor = std::function<std::vector<std::uint8_t>(const std::pair<Half, Half>&)>;

// The lossless side-by-side composition; returns false with reason set when the pair is not
// compatible. With align, the shift is measured on the coefficients read here (shiftMeasured
// says whether it got that far).
bool ComposeLossless(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right, bool cross,
                     bool align, const HalvesFor& halvesFor, const ExifFor& exifFor, const CodecLimits& limits,
                     const std::vector<std::uint8_t>& jps, StereoPicture& picture, bool& shiftMeasured,
                     std::string& reason) {
    Decoder l(left, limits, "left image"), r(right, limits, "right image");
    l.ReadHeader(false);
    r.ReadHeader(false);
    reason = LosslessObstacle(l.info, r.info);
    if (!reason.empty()) return false;
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
    if (align) {
        // From the coefficients when the first component has full resolution (the usual luma).
        const CoefficientImage::Component& luma = leftBlocks.components[0];
        if (luma.hSampling == leftBlocks.maxHSampling && luma.vSampling == leftBlocks.maxVSampling)
            picture.measuredShift = FindAlignmentShift(leftBlocks, rightBlocks);
        else
            picture.measuredShift = FindAlignmentShift(left, right, limits);
        shiftMeasured = true;
    }
    const auto [first, second] = halvesFor(picture.measuredShift);
    reason = GeometryObstacle(l.info, first, second);
    if (!reason.empty()) return false;
    Decoder& a = cross ? r : l;
    const int width = first.width + second.width;
    const std::vector<std::uint8_t> exif = exifFor({first, second});

    Composition plan;
    PlanComposition(plan, {cross ? &rightBlocks : &leftBlocks, cross ? &leftBlocks : &rightBlocks}, width, first,
                    second);
    std::array<jvirt_barray_ptr, MAX_COMPONENTS> outArrays{};
    for (std::size_t c = 0; c < outArrays.size(); ++c)
        outArrays[c] = reinterpret_cast<jvirt_barray_ptr>(&plan.tags[c]);

    // The output is about as large as the two inputs together.
    Encoder out(left.size() + right.size());
    Guarded(out.errors, "cannot compose the picture", [&] {
        jpeg_copy_critical_parameters(&a.info, &out.info);
        out.info.image_width = static_cast<JDIMENSION>(width);
        out.info.write_JFIF_header = exif.empty() ? TRUE : FALSE;
        out.info.client_data = &plan;
        out.info.mem->access_virt_barray = AccessComposedRows;
        jpeg_write_coefficients(&out.info, outArrays.data());
        WriteMarkers(out.info, exif, jps);
        jpeg_finish_compress(&out.info);
    });
    picture.jpeg = out.Take();
    picture.width = width;
    picture.height = static_cast<int>(a.info.image_height);
    picture.lossless = true;
    return true;
}

// Decodes both halves row by row and encodes each output row as it is made: the two halves
// side by side, or (anaglyph) their projection.
void ComposeDecoded(const Half& first, const Half& second, bool anaglyph, std::array<int, 2> sampling,
                    const CodecLimits& limits, const std::vector<std::uint8_t>& exif, const std::vector<std::uint8_t>& jps,
                    StereoPicture& picture) {
    Decoder a(first.bytes, limits, first.name), b(second.bytes, limits, second.name);
    a.ReadHeader(false);
    b.ReadHeader(false);
    const int width = anaglyph ? first.width : first.width + second.width;
    const int height = static_cast<int>(a.info.image_height);
    for (Decoder* d : {&a, &b}) {
        Guarded(d->errors, d->Failure().c_str(), [&] {
            d->info.out_color_space = JCS_RGB;
            jpeg_start_decompress(&d->info);
        });
    }
    // The second image decodes on a helper thread, one band of rows ahead of the first: bands
    // alternate between two buffers.
    const std::size_t rowBytesB = static_cast<std::size_t>(b.info.output_width) * 3;
    std::array<std::vector<std::uint8_t>, 2> bandsB;
    for (auto& band : bandsB) band.resize(rowBytesB * kBand);
    auto decodeBand = [&b, &bandsB, rowBytesB, height](int band) {
        const int rows = std::min(kBand, height - band * kBand);
        std::uint8_t* base = bandsB[static_cast<std::size_t>(band % 2)].data();
        Guarded(b.errors, b.Failure().c_str(), [&] {
            for (int r = 0; r < rows; ++r) {
                JSAMPROW p = base + static_cast<std::size_t>(r) * rowBytesB;
                jpeg_read_scanlines(&b.info, &p, 1);
            }
        });
    };
    std::vector<std::uint8_t> rowA(static_cast<std::size_t>(a.info.output_width) * 3);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    Encoder out(first.bytes.size() + second.bytes.size());
    Guarded(out.errors, "cannot encode the picture", [&] {
        out.SetRgbInput(width, height, kQuality, sampling[0], sampling[1]);
        out.info.write_JFIF_header = exif.empty() ? TRUE : FALSE;
        jpeg_start_compress(&out.info, TRUE);
        WriteMarkers(out.info, exif, jps);
    });
    const std::size_t firstOffset = static_cast<std::size_t>(first.x) * 3;
    const std::size_t secondOffset = static_cast<std::size_t>(second.x) * 3;
    // Declared after everything it touches, so that it is waited for before they go.
    std::future<void> nextBand = std::async(std::launch::async, decodeBand, 0);
    for (int y = 0; y < height; ++y) {
        if (y % kBand == 0) {
            nextBand.get();  // band y / kBand is ready (or its error is raised here)
            if (y + kBand < height) nextBand = std::async(std::launch::async, decodeBand, y / kBand + 1);
        }
        JSAMPROW pa = rowA.data(), po = row.data();
        const std::uint8_t* pb = bandsB[static_cast<std::size_t>(y / kBand % 2)].data() +
                                 static_cast<std::size_t>(y % kBand) * rowBytesB;
        Guarded(a.errors, a.Failure().c_str(), [&] { jpeg_read_scanlines(&a.info, &pa, 1); });
        if (anaglyph) {
            AnaglyphRow(pa + firstOffset, pb + secondOffset, po, width);
        } else {
            std::memcpy(po, pa + firstOffset, static_cast<std::size_t>(first.width) * 3);
            std::memcpy(po + static_cast<std::size_t>(first.width) * 3, pb + secondOffset,
                        static_cast<std::size_t>(second.width) * 3);
        }
        Guarded(out.errors, "cannot encode the picture", [&] { jpeg_write_scanlines(&out.info, &po, 1); });
    }
    Guarded(out.errors, "cannot encode the picture", [&] { jpeg_finish_compress(&out.info); });
    picture.jpeg = out.Take();
    picture.width = width;
    picture.height = height;
}

}  // namespace

StereoPicture ComposeStereo(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                            const StereoOptions& options) {
    // Headers first: sizes, and the left image's EXIF segment that the output keeps.
    Decoder leftHeader(left, options.limits, "left image"), rightHeader(right, options.limits, "right image");
    leftHeader.ReadHeader(true);
    rightHeader.ReadHeader(false);
    const int leftWidth = static_cast<int>(leftHeader.info.image_width);
    const int rightWidth = static_cast<int>(rightHeader.info.image_width);
    if (leftHeader.info.image_height != rightHeader.info.image_height)
        throw StereoError("the two images differ in height (" + std::to_string(leftHeader.info.image_height) +
                          " and " + std::to_string(rightHeader.info.image_height) + " pixels)");
    const int mcuWidth = DCTSIZE * leftHeader.info.max_h_samp_factor;
    const std::vector<std::uint8_t> exif = leftHeader.ExifSegment();

    StereoPicture picture;
    const bool sideBySide = options.layout != Layout::Anaglyph;
    // The two halves for shift s, in output order (the cross layout puts the right eye first).
    // Unaligned, every column (the anaglyph: the common width); aligned, the overlap of left(x)
    // and right(x + s), for block-exact halves with the crop and the first half's width on the
    // iMCU grid.
    auto halves = [&](int s, bool onGrid) {
        Half l{left, "left image", 0, leftWidth}, r{right, "right image", 0, rightWidth};
        if (options.align) {
            if (onGrid) s = static_cast<int>(std::lround(static_cast<double>(s) / mcuWidth)) * mcuWidth;
            l.x = std::max(0, -s);
            r.x = l.x + s;
            int overlap = std::min(leftWidth - l.x, rightWidth - r.x);
            if (onGrid && overlap > mcuWidth) overlap -= overlap % mcuWidth;
            if (overlap < 1) throw StereoError("the two images do not overlap");
            l.width = r.width = overlap;
            picture.appliedShift = s;
        } else if (!sideBySide) {
            l.width = r.width = std::min(leftWidth, rightWidth);
        }
        return options.layout == Layout::Cross ? std::pair{r, l} : std::pair{l, r};
    };
    auto exifFor = [&](const std::pair<Half, Half>& h) {
        const int outWidth = sideBySide ? h.first.width + h.second.width : h.first.width;
        std::vector<std::uint8_t> patched = exif;
        if (!patched.empty())
            PatchExifDimensions(patched, static_cast<std::uint32_t>(outWidth), leftHeader.info.image_height);
        return patched;
    };
    const std::vector<std::uint8_t> jps = sideBySide ? JpsSegment(options.layout == Layout::Parallel)
                                                     : std::vector<std::uint8_t>{};
    bool shiftMeasured = false;
    if (sideBySide && ComposeLossless(left, right, options.layout == Layout::Cross, options.align,
                                      [&](int s) { return halves(s, true); }, exifFor, options.limits, jps,
                                      picture, shiftMeasured, picture.reencodeReason))
        return picture;
    // Re-encoded: the exact shift. Side by side keeps the left image's chroma subsampling; the
    // anaglyph's red-cyan fringes need full chroma resolution.
    if (options.align && !shiftMeasured) picture.measuredShift = FindAlignmentShift(left, right, options.limits);
    const auto [first, second] = halves(picture.measuredShift, false);
    std::array<int, 2> sampling = {1, 1};
    if (sideBySide && leftHeader.info.num_components == 3)
        sampling = {leftHeader.info.comp_info[0].h_samp_factor, leftHeader.info.comp_info[0].v_samp_factor};
    ComposeDecoded(first, second, !sideBySide, sampling, options.limits, exifFor({first, second}), jps, picture);
    return picture;
}

}  // namespace veltrane::stereo

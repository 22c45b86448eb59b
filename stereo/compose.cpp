// Composition of the stereo picture. Side-by-side layouts copy the inputs' DCT blocks into a
// double-width coefficient image when the two JPEGs are compatible (same height, components,
// sampling factors and quantization tables, and the first half ending on an iMCU boundary), so
// the output decodes to exactly the pixels of its inputs. Otherwise, and for the anaglyph, the
// two images are decoded row by row in step and the output row is encoded as soon as it is
// made, so memory stays at a few rows besides the codec's own.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "stereo/stereo.h"

namespace veltrane::stereo {
namespace {

constexpr int kQuality = 95;

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

using QuantTables = std::array<std::array<UINT16, DCTSIZE2>, MAX_COMPONENTS>;

// The table each component was coded with (latched when its first scan started).
QuantTables UsedQuantTables(const jpeg_decompress_struct& info) {
    QuantTables tables{};
    for (int c = 0; c < info.num_components; ++c) {
        const JQUANT_TBL* t = info.comp_info[c].quant_table;
        if (t != nullptr) std::copy(t->quantval, t->quantval + DCTSIZE2, tables[static_cast<std::size_t>(c)].begin());
    }
    return tables;
}

// Why the two headers cannot be composed block by block, or empty when they can.
std::string LosslessObstacle(const jpeg_decompress_struct& a, const jpeg_decompress_struct& b,
                             const Half& first, const Half& second) {
    if (a.num_components != b.num_components || a.jpeg_color_space != b.jpeg_color_space)
        return "the images differ in colour components";
    for (int c = 0; c < a.num_components; ++c) {
        if (a.comp_info[c].h_samp_factor != b.comp_info[c].h_samp_factor ||
            a.comp_info[c].v_samp_factor != b.comp_info[c].v_samp_factor)
            return "the images differ in chroma subsampling";
        const JQUANT_TBL* qa = a.quant_tbl_ptrs[a.comp_info[c].quant_tbl_no];
        const JQUANT_TBL* qb = b.quant_tbl_ptrs[b.comp_info[c].quant_tbl_no];
        if (qa == nullptr || qb == nullptr ||
            std::memcmp(qa->quantval, qb->quantval, sizeof qa->quantval) != 0)
            return "the images differ in quantization tables";
    }
    const int mcuWidth = DCTSIZE * a.max_h_samp_factor;
    if (first.width % mcuWidth != 0)
        return "the first half's width " + std::to_string(first.width) + " is not a multiple of " +
               std::to_string(mcuWidth);
    if (first.x % mcuWidth != 0 || second.x % mcuWidth != 0)
        return "the crop is not on a " + std::to_string(mcuWidth) + "-pixel boundary";
    return {};
}

// Copies the blocks of one half into the output coefficient arrays, starting at output pixel
// column outX (a multiple of the iMCU width, as half.x is).
void CopyBlocks(jpeg_decompress_struct& in, jvirt_barray_ptr* inArrays, jpeg_compress_struct& out,
                jvirt_barray_ptr* outArrays, const Half& half, int outX, int outWidthOfHalf,
                int mcuWidth) {
    for (int c = 0; c < out.num_components; ++c) {
        const jpeg_component_info& ic = in.comp_info[c];
        const int h = ic.h_samp_factor, v = ic.v_samp_factor;
        const int inCols = RoundUp(static_cast<int>(ic.width_in_blocks), h);
        const int rows = RoundUp(static_cast<int>(ic.height_in_blocks), v);
        const int srcCol = half.x / mcuWidth * h;
        const int dstCol = outX / mcuWidth * h;
        const int outCols = RoundUp(CeilDiv(static_cast<long long>(outX + outWidthOfHalf) * h, mcuWidth), h) - dstCol;
        const int copied = std::clamp(inCols - srcCol, 0, outCols);
        for (int row = 0; row < rows; row += v) {
            JBLOCKARRAY src = (*in.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&in), inArrays[c],
                                                            static_cast<JDIMENSION>(row), static_cast<JDIMENSION>(v), FALSE);
            JBLOCKARRAY dst = (*out.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&out), outArrays[c],
                                                             static_cast<JDIMENSION>(row), static_cast<JDIMENSION>(v), TRUE);
            for (int r = 0; r < v; ++r) {
                std::memcpy(dst[r] + dstCol, src[r] + srcCol, static_cast<std::size_t>(copied) * sizeof(JBLOCK));
                std::memset(dst[r] + dstCol + copied, 0, static_cast<std::size_t>(outCols - copied) * sizeof(JBLOCK));
            }
        }
    }
}

// The lossless side-by-side composition; returns false with reason set when the pair is not
// compatible. The first half's coefficients are released before the second's are read, so at
// most one input's coefficients are held besides the output's.
bool ComposeLossless(const Half& first, const Half& second, const CodecLimits& limits,
                     const std::vector<std::uint8_t>& exif, const std::vector<std::uint8_t>& jps,
                     StereoPicture& picture, std::string& reason) {
    Decoder a(first.bytes, limits, first.name), b(second.bytes, limits, second.name);
    a.ReadHeader(false);
    b.ReadHeader(false);
    reason = LosslessObstacle(a.info, b.info, first, second);
    if (!reason.empty()) return false;
    const int mcuWidth = DCTSIZE * a.info.max_h_samp_factor;
    const int width = first.width + second.width;
    const int height = static_cast<int>(a.info.image_height);

    // Every block is written below: the arrays need no zeroing. The output is about as large
    // as the two inputs together.
    Encoder out(first.bytes.size() + second.bytes.size());
    jvirt_barray_ptr* inArrays = nullptr;
    std::array<jvirt_barray_ptr, MAX_COMPONENTS> outArrays{};
    Guarded(a.errors, a.Failure().c_str(), [&] { inArrays = jpeg_read_coefficients(&a.info); });
    Guarded(out.errors, "cannot compose the picture", [&] {
        jpeg_copy_critical_parameters(&a.info, &out.info);
        out.info.image_width = static_cast<JDIMENSION>(width);
        for (int c = 0; c < out.info.num_components; ++c) {
            const jpeg_component_info& oc = out.info.comp_info[c];
            const int h = oc.h_samp_factor, v = oc.v_samp_factor;
            const int cols = RoundUp(CeilDiv(static_cast<long long>(width) * h, mcuWidth), h);
            const int rows = RoundUp(CeilDiv(static_cast<long long>(height) * v, DCTSIZE * a.info.max_v_samp_factor), v);
            outArrays[static_cast<std::size_t>(c)] = (*out.info.mem->request_virt_barray)(
                reinterpret_cast<j_common_ptr>(&out.info), JPOOL_IMAGE, FALSE, static_cast<JDIMENSION>(cols),
                static_cast<JDIMENSION>(rows), static_cast<JDIMENSION>(v));
        }
        (*out.info.mem->realize_virt_arrays)(reinterpret_cast<j_common_ptr>(&out.info));
    });
    const QuantTables firstTables = UsedQuantTables(a.info);
    Guarded(a.errors, a.Failure().c_str(), [&] {
        CopyBlocks(a.info, inArrays, out.info, outArrays.data(), first, 0, first.width, mcuWidth);
        jpeg_abort_decompress(&a.info);
    });
    Guarded(b.errors, b.Failure().c_str(), [&] { inArrays = jpeg_read_coefficients(&b.info); });
    // Tables may be redefined between scans; what counts is the table each component used.
    if (UsedQuantTables(b.info) != firstTables) {
        reason = "the images differ in quantization tables";
        return false;
    }
    Guarded(b.errors, b.Failure().c_str(), [&] {
        CopyBlocks(b.info, inArrays, out.info, outArrays.data(), second, first.width, second.width, mcuWidth);
        jpeg_abort_decompress(&b.info);
    });
    Guarded(out.errors, "cannot compose the picture", [&] {
        out.info.write_JFIF_header = exif.empty() ? TRUE : FALSE;
        jpeg_write_coefficients(&out.info, outArrays.data());
        WriteMarkers(out.info, exif, jps);
        jpeg_finish_compress(&out.info);
    });
    picture.jpeg = out.Take();
    picture.width = width;
    picture.height = height;
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
    std::vector<std::uint8_t> rowA(static_cast<std::size_t>(a.info.output_width) * 3);
    std::vector<std::uint8_t> rowB(static_cast<std::size_t>(b.info.output_width) * 3);
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
    for (int y = 0; y < height; ++y) {
        JSAMPROW pa = rowA.data(), pb = rowB.data(), po = row.data();
        Guarded(a.errors, a.Failure().c_str(), [&] { jpeg_read_scanlines(&a.info, &pa, 1); });
        Guarded(b.errors, b.Failure().c_str(), [&] { jpeg_read_scanlines(&b.info, &pb, 1); });
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
    std::vector<std::uint8_t> exif = leftHeader.ExifSegment();

    StereoPicture picture;
    Half l{left, "left image", 0, leftWidth}, r{right, "right image", 0, rightWidth};
    const bool sideBySide = options.layout != Layout::Anaglyph;
    if (options.align) {
        picture.measuredShift = FindAlignmentShift(left, right, options.limits);
        int s = picture.measuredShift;
        // Block-exact halves need a crop on the iMCU grid: the nearest multiple of its width.
        if (sideBySide) s = static_cast<int>(std::lround(static_cast<double>(s) / mcuWidth)) * mcuWidth;
        picture.appliedShift = s;
        l.x = std::max(0, -s);
        r.x = l.x + s;
        int overlap = std::min(leftWidth - l.x, rightWidth - r.x);
        if (sideBySide && overlap > mcuWidth) overlap -= overlap % mcuWidth;
        if (overlap < 1) throw StereoError("the two images do not overlap");
        l.width = r.width = overlap;
    } else if (!sideBySide) {
        l.width = r.width = std::min(leftWidth, rightWidth);
    }

    const Half& first = options.layout == Layout::Cross ? r : l;
    const Half& second = options.layout == Layout::Cross ? l : r;
    const int outWidth = sideBySide ? first.width + second.width : first.width;
    if (!exif.empty())
        PatchExifDimensions(exif, static_cast<std::uint32_t>(outWidth), leftHeader.info.image_height);
    const std::vector<std::uint8_t> jps = sideBySide ? JpsSegment(options.layout == Layout::Parallel)
                                                     : std::vector<std::uint8_t>{};
    if (sideBySide) {
        if (ComposeLossless(first, second, options.limits, exif, jps, picture, picture.reencodeReason))
            return picture;
    }
    // Re-encoded side by side keeps the left image's chroma subsampling; the anaglyph's
    // red-cyan fringes need full chroma resolution.
    std::array<int, 2> sampling = {1, 1};
    if (sideBySide && leftHeader.info.num_components == 3)
        sampling = {leftHeader.info.comp_info[0].h_samp_factor, leftHeader.info.comp_info[0].v_samp_factor};
    ComposeDecoded(first, second, !sideBySide, sampling, options.limits, exif, jps, picture);
    return picture;
}

}  // namespace veltrane::stereo

// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/transform/jpeg_transform.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <utility>

#include <jpeglib.h>
#include <jerror.h>

#include "core/common/file_io.h"
#include "core/common/io_error.h"
#include "imaging/jpeg/block_arrays.h"
#include "imaging/jpeg/libjpeg_errors.h"

namespace veltrane::transform {
namespace {

using libjpeg::BlockArray;
using libjpeg::ErrorManager;

template <typename Body>
void Guarded(ErrorManager& errors, const std::string& subject, const std::string& what, Body&& body) {
    libjpeg::Guarded(
        errors, [&](const char* message) { throw TransformError(subject, what + ": " + message); },
        std::forward<Body>(body));
}

// The output's coefficients are never stored whole. libjpeg's transcoding encoder fetches the
// rows of each component through its memory manager's access_virt_barray, one MCU row at a
// time (once per scan and pass); the encoder's manager gets AccessTurnedRows in its place,
// which turns the requested rows out of the source's blocks into a band of a few rows. So the
// memory held is the source's coefficients and the compressed data, and a band.
//
// Where the turn exchanges the axes, an output row is a column of the source: the band then
// holds several MCU rows, filled in one pass down the source, so that each source row is read
// as one run of adjacent blocks rather than a block at a time.
struct TurnedComponent {
    const BlockArray* source = nullptr;
    JDIMENSION widthInBlocks = 0, heightInBlocks = 0;  // the output's blocks holding pixels
    JDIMENSION columns = 0;                            // per band row (padded to the MCU)
    JDIMENSION regionColumn = 0, regionRow = 0;        // the kept region's first source block
    JDIMENSION regionColumns = 0, regionRows = 0;      // and its size in source blocks
    std::vector<JCOEF> band;
    std::vector<JBLOCKROW> rows;                       // the band's rows
    JDIMENSION bandStart = 0;                          // the output row in rows[0]
    bool bandFilled = false;
    const JCOEF* SourceBlock(JDIMENSION column, JDIMENSION row) const {
        column += regionColumn;
        row += regionRow;
        return column < source->columns && row < source->rows ? source->Block(column, row) : nullptr;
    }
};

// Output rows a band holds where the axes are exchanged: about 16 block rows.
constexpr JDIMENSION kBandBlockRows = 16;

struct TurnPlan {
    TurnAxes axes;
    // Output coefficient (u, v) of a block is sign[u * 8 + v] times source coefficient (u, v),
    // or (v, u) where the axes are exchanged.
    std::array<JCOEF, DCTSIZE2> sign{};
    std::array<TurnedComponent, MAX_COMPONENTS> components;
    // The addresses of these bytes stand for the output's per-component arrays.
    std::array<char, MAX_COMPONENTS> tags{};
};

void MirrorBlock(const JCOEF* in, const JCOEF* sign, JCOEF* out) {
    for (int k = 0; k < DCTSIZE2; ++k) out[k] = static_cast<JCOEF>(in[k] * sign[k]);
}

void TransposeBlock(const JCOEF* in, const JCOEF* sign, JCOEF* out) {
    for (int u = 0; u < DCTSIZE; ++u)
        for (int v = 0; v < DCTSIZE; ++v)
            out[u * DCTSIZE + v] = static_cast<JCOEF>(in[v * DCTSIZE + u] * sign[u * DCTSIZE + v]);
}

// Fills the band from output row start on.
void FillBand(const TurnPlan& plan, TurnedComponent& c, JDIMENSION start) {
    const TurnAxes& axes = plan.axes;
    const JCOEF* sign = plan.sign.data();
    std::memset(c.band.data(), 0, c.band.size() * sizeof(JCOEF));
    c.bandStart = start;
    c.bandFilled = true;
    // The band's rows that hold pixels (those below the picture are MCU padding).
    const JDIMENSION end = std::min<JDIMENSION>(c.heightInBlocks, start + static_cast<JDIMENSION>(c.rows.size()));
    if (!axes.swap) {
        for (JDIMENSION row = start; row < end; ++row) {
            JBLOCKROW out = c.rows[row - start];
            const JDIMENSION sourceRow = axes.mirrorY ? c.regionRows - 1 - row : row;
            if (!axes.mirrorX && !axes.mirrorY) {
                const JCOEF* first = c.SourceBlock(0, sourceRow);
                const JDIMENSION count = std::min(c.widthInBlocks, c.source->columns - c.regionColumn);
                if (first != nullptr) std::memcpy(out, first, static_cast<std::size_t>(count) * sizeof(JBLOCK));
                continue;
            }
            for (JDIMENSION x = 0; x < c.widthInBlocks; ++x) {
                const JCOEF* in = c.SourceBlock(axes.mirrorX ? c.regionColumns - 1 - x : x, sourceRow);
                if (in != nullptr) MirrorBlock(in, sign, out[x]);
            }
        }
        return;
    }
    // Output row r is source column r (counted from the right with mirrorY); output column x
    // is source row x (from the bottom with mirrorX). Down the source, row by row.
    for (JDIMENSION x = 0; x < c.widthInBlocks; ++x) {
        const JDIMENSION sourceRow = axes.mirrorX ? c.regionRows - 1 - x : x;
        for (JDIMENSION row = start; row < end; ++row) {
            const JCOEF* in = c.SourceBlock(axes.mirrorY ? c.regionColumns - 1 - row : row, sourceRow);
            if (in != nullptr) TransposeBlock(in, sign, c.rows[row - start][x]);
        }
    }
}

JBLOCKARRAY AccessTurnedRows(j_common_ptr info, jvirt_barray_ptr array, JDIMENSION startRow, JDIMENSION numRows,
                             boolean) {
    auto& plan = *static_cast<TurnPlan*>(info->client_data);
    const std::ptrdiff_t c = reinterpret_cast<char*>(array) - plan.tags.data();
    if (c < 0 || c >= MAX_COMPONENTS) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    TurnedComponent& component = plan.components[static_cast<std::size_t>(c)];
    if (numRows > component.rows.size()) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    if (!component.bandFilled || startRow < component.bandStart ||
        startRow + numRows > component.bandStart + component.rows.size())
        FillBand(plan, component, startRow);
    return component.rows.data() + (startRow - component.bandStart);
}

// The source read from a range of a file in chunks, so that only a chunk of the compressed
// data is held. A read failure is kept and raised once the decoder has given up.
struct FileSource {
    jpeg_source_mgr pub{};
    InputFile* file = nullptr;
    std::int64_t next = 0, end = 0;
    std::unique_ptr<JOCTET[]> buffer;
    std::optional<InOutError> failure;
};

constexpr std::size_t kSourceChunk = std::size_t{1} << 16;

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillFromFile(j_decompress_ptr info) {
    auto* source = reinterpret_cast<FileSource*>(info->src);
    static const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};
    const std::int64_t n = std::min<std::int64_t>(source->end - source->next, static_cast<std::int64_t>(kSourceChunk));
    if (n <= 0) {
        // As libjpeg's own sources do: an end-of-image marker after a warning (which is an
        // error here: the data ends early).
        WARNMS(info, JWRN_JPEG_EOF);
        source->pub.next_input_byte = kEndOfImage;
        source->pub.bytes_in_buffer = 2;
        return TRUE;
    }
    bool failed = false;
    try {
        source->file->ReadAt(source->next, source->buffer.get(), static_cast<std::size_t>(n));
    } catch (const InOutError& e) {
        source->failure = e;
        failed = true;
    }
    if (failed) ERREXIT(info, JERR_FILE_READ);  // outside the handler: no half-unwound frame
    source->next += n;
    source->pub.next_input_byte = source->buffer.get();
    source->pub.bytes_in_buffer = static_cast<std::size_t>(n);
    return TRUE;
}

void SkipInFile(j_decompress_ptr info, long count) {
    auto* source = reinterpret_cast<FileSource*>(info->src);
    if (count <= 0) return;
    const auto n = static_cast<std::size_t>(count);
    if (n <= source->pub.bytes_in_buffer) {
        source->pub.next_input_byte += n;
        source->pub.bytes_in_buffer -= n;
        return;
    }
    // Past the chunk at hand: the next fill reads from there (or reports the end).
    source->next = std::min<std::int64_t>(source->end, source->next + static_cast<std::int64_t>(n - source->pub.bytes_in_buffer));
    source->pub.bytes_in_buffer = 0;
}

// The compressed result grows by realloc in memory owned by the result, so that an error in the
// middle of compression leaves nothing for libjpeg to free.
struct MallocDestination {
    jpeg_destination_mgr pub{};
    TransformedJpeg* result = nullptr;
    std::size_t capacity = 0, expected = 0;
};

constexpr std::size_t kOutputStep = std::size_t{1} << 16;

void InitDestination(j_compress_ptr info) {
    auto* dest = reinterpret_cast<MallocDestination*>(info->dest);
    auto* bytes = static_cast<std::uint8_t*>(std::malloc(dest->expected));
    if (bytes == nullptr) ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
    dest->result->data.reset(bytes);
    dest->capacity = dest->expected;
    dest->pub.next_output_byte = bytes;
    dest->pub.free_in_buffer = dest->capacity;
}

boolean EmptyOutputBuffer(j_compress_ptr info) {
    // The buffer is full: free_in_buffer is 0 and every byte counts.
    auto* dest = reinterpret_cast<MallocDestination*>(info->dest);
    const std::size_t used = dest->capacity;
    const std::size_t capacity = used + std::max(kOutputStep, used / 2);
    auto* bytes = static_cast<std::uint8_t*>(std::realloc(dest->result->data.get(), capacity));
    if (bytes == nullptr) ERREXIT1(info, JERR_OUT_OF_MEMORY, 1);  // the old block stays owned
    (void)dest->result->data.release();  // realloc has freed or moved it
    dest->result->data.reset(bytes);
    dest->capacity = capacity;
    dest->pub.next_output_byte = bytes + used;
    dest->pub.free_in_buffer = capacity - used;
    return TRUE;
}

void TermDestination(j_compress_ptr info) {
    auto* dest = reinterpret_cast<MallocDestination*>(info->dest);
    dest->result->length = dest->capacity - dest->pub.free_in_buffer;
}

// The codec objects, destroyed with this frame also after an error.
struct Codec {
    jpeg_decompress_struct in{};
    jpeg_compress_struct out{};
    ErrorManager inErrors, outErrors;
    libjpeg::ScanLimit scanLimit{{}, kMaxTransformScans};
    bool inCreated = false, outCreated = false;
    ~Codec() {
        if (outCreated) jpeg_destroy_compress(&out);
        if (inCreated) jpeg_destroy_decompress(&in);
    }
};

JDIMENSION CeilDiv(std::uint64_t a, std::uint64_t b) { return static_cast<JDIMENSION>((a + b - 1) / b); }

// The transform; installSource sets up the decoder's source of sourceLength bytes.
TransformedJpeg Transform(const std::function<void(j_decompress_ptr)>& installSource, std::size_t sourceLength,
                          const CoefficientTransform& request, const std::string& name) {
    for (const auto& segment : request.segments)
        if (segment.size() < 4 || segment.size() > 2 + 0xFFFF || segment[0] != 0xFF)
            throw TransformError(name, "a marker segment to keep is malformed");
    Codec codec;
    jpeg_decompress_struct& in = codec.in;
    // Stray bytes before a marker are only noted by libjpeg and lose nothing.
    libjpeg::InstallErrorManager(in, codec.inErrors, libjpeg::StrayBytes::Allowed);
    jpeg_create_decompress(&in);  // only fails on a library version mismatch
    codec.inCreated = true;
    libjpeg::InstallScanLimit(in, codec.scanLimit);
    const std::string undecodable = "does not decode";
    Guarded(codec.inErrors, name, undecodable, [&] {
        if (sourceLength == 0) ERREXIT(&in, JERR_INPUT_EMPTY);
        installSource(&in);
        jpeg_read_header(&in, TRUE);
    });
    const Size size{in.image_width, in.image_height};
    if (std::uint64_t{size.width} * size.height > kMaxTransformPixels)
        throw TransformError(name, "its " + std::to_string(size.width) + "x" + std::to_string(size.height) +
                                       " pixels are more than this program transforms");
    if (in.data_precision != 8) throw TransformError(name, "it is not an 8-bit JPEG image");
    const int components = in.num_components;
    const Grid grid = components == 1 ? Grid{DCTSIZE, DCTSIZE}
                                      : Grid{static_cast<std::uint32_t>(DCTSIZE * in.max_h_samp_factor),
                                             static_cast<std::uint32_t>(DCTSIZE * in.max_v_samp_factor)};
    const Region& region = request.source;
    const TurnAxes axes = AxesOf(request.turn);
    const bool reversesColumns = axes.swap ? axes.mirrorY : axes.mirrorX;
    const bool reversesRows = axes.swap ? axes.mirrorX : axes.mirrorY;
    if (!Inside(region, size) || region.x % grid.width != 0 || region.y % grid.height != 0 ||
        (reversesColumns && region.width % grid.width != 0) || (reversesRows && region.height % grid.height != 0))
        throw TransformError(name, "the region " + region.Text() + " does not lie on its " +
                                       std::to_string(grid.width) + "x" + std::to_string(grid.height) + " block grid",
                             true);

    libjpeg::BlockArrays source;
    Guarded(codec.inErrors, name, undecodable, [&] {
        libjpeg::PlaceBlockArrays(in, source);
        jpeg_read_coefficients(&in);
    });
    if (source.requested != components) throw TransformError(name, "no coefficients were read");

    // The output's components: the source's, their sampling factors exchanged when the axes are.
    const Size outSize = TurnedSize(request.turn, region.Extent());
    int maxH = 1, maxV = 1;
    for (int c = 0; c < components; ++c) {
        const jpeg_component_info& from = in.comp_info[c];
        maxH = std::max(maxH, axes.swap ? from.v_samp_factor : from.h_samp_factor);
        maxV = std::max(maxV, axes.swap ? from.h_samp_factor : from.v_samp_factor);
    }
    TurnPlan plan;
    plan.axes = axes;
    for (int u = 0; u < DCTSIZE; ++u) {
        for (int v = 0; v < DCTSIZE; ++v) {
            // A mirrored axis negates the odd frequencies along it.
            plan.sign[static_cast<std::size_t>(u * DCTSIZE + v)] =
                static_cast<JCOEF>(((axes.mirrorX && (v & 1)) != (axes.mirrorY && (u & 1))) ? -1 : 1);
        }
    }
    for (int c = 0; c < components; ++c) {
        const jpeg_component_info& from = in.comp_info[c];
        TurnedComponent& turned = plan.components[static_cast<std::size_t>(c)];
        turned.source = &source.arrays[static_cast<std::size_t>(c)];
        const int h = components == 1 ? 1 : from.h_samp_factor, v = components == 1 ? 1 : from.v_samp_factor;
        const int sourceMaxH = components == 1 ? 1 : in.max_h_samp_factor;
        const int sourceMaxV = components == 1 ? 1 : in.max_v_samp_factor;
        turned.regionColumn = region.x / grid.width * static_cast<JDIMENSION>(h);
        turned.regionRow = region.y / grid.height * static_cast<JDIMENSION>(v);
        turned.regionColumns = CeilDiv(std::uint64_t{region.width} * static_cast<unsigned>(h),
                                       static_cast<std::uint64_t>(DCTSIZE) * static_cast<unsigned>(sourceMaxH));
        turned.regionRows = CeilDiv(std::uint64_t{region.height} * static_cast<unsigned>(v),
                                    static_cast<std::uint64_t>(DCTSIZE) * static_cast<unsigned>(sourceMaxV));
        // As libjpeg lays out the output: blocks covering the pixels, rows padded to the MCU.
        const int outH = axes.swap ? from.v_samp_factor : from.h_samp_factor;
        const int outV = axes.swap ? from.h_samp_factor : from.v_samp_factor;
        turned.widthInBlocks = CeilDiv(std::uint64_t{outSize.width} * static_cast<unsigned>(outH),
                                       static_cast<std::uint64_t>(DCTSIZE) * static_cast<unsigned>(maxH));
        turned.heightInBlocks = CeilDiv(std::uint64_t{outSize.height} * static_cast<unsigned>(outV),
                                        static_cast<std::uint64_t>(DCTSIZE) * static_cast<unsigned>(maxV));
        turned.columns = CeilDiv(turned.widthInBlocks, static_cast<unsigned>(outH)) * static_cast<JDIMENSION>(outH);
        // Whole MCU rows: the encoder asks for outV rows from a multiple of outV on.
        const auto bandRows = static_cast<std::size_t>(outV) *
                              (axes.swap ? std::max<std::size_t>(1, kBandBlockRows / static_cast<unsigned>(outV)) : 1);
        turned.band.assign(static_cast<std::size_t>(turned.columns) * DCTSIZE2 * bandRows, 0);
        turned.rows.resize(bandRows);
        for (std::size_t r = 0; r < bandRows; ++r)
            turned.rows[r] = reinterpret_cast<JBLOCKROW>(turned.band.data() + r * turned.columns * DCTSIZE2);
    }
    std::array<jvirt_barray_ptr, MAX_COMPONENTS> outArrays{};
    for (std::size_t c = 0; c < outArrays.size(); ++c) outArrays[c] = reinterpret_cast<jvirt_barray_ptr>(&plan.tags[c]);

    TransformedJpeg result;
    result.size = outSize;
    MallocDestination destination;
    destination.pub.init_destination = InitDestination;
    destination.pub.empty_output_buffer = EmptyOutputBuffer;
    destination.pub.term_destination = TermDestination;
    destination.result = &result;
    // About as large as the source; a source with optimized Huffman tables grows a little with
    // the standard ones. Pages reserved but not written cost nothing.
    destination.expected = sourceLength + sourceLength / 4 + kOutputStep;
    jpeg_compress_struct& out = codec.out;
    libjpeg::InstallErrorManager(out, codec.outErrors);
    jpeg_create_compress(&out);
    codec.outCreated = true;
    bool layoutMatches = true;
    Guarded(codec.outErrors, name, "cannot be coded again", [&] {
        out.dest = &destination.pub;
        jpeg_copy_critical_parameters(&in, &out);
        out.image_width = outSize.width;
        out.image_height = outSize.height;
        if (axes.swap) {
            for (int c = 0; c < components; ++c) std::swap(out.comp_info[c].h_samp_factor, out.comp_info[c].v_samp_factor);
            // Coefficient (u, v) of a turned block was (v, u): so is its quantizer.
            for (JQUANT_TBL* table : out.quant_tbl_ptrs) {
                if (table == nullptr) continue;
                for (int u = 0; u < DCTSIZE; ++u)
                    for (int v = u + 1; v < DCTSIZE; ++v) std::swap(table->quantval[u * DCTSIZE + v], table->quantval[v * DCTSIZE + u]);
            }
        }
        // The source's own APP0 and APP14 segments are among those written below.
        out.write_JFIF_header = FALSE;
        out.write_Adobe_marker = FALSE;
        out.arith_code = in.arith_code;
        out.restart_interval = in.restart_interval;
        if (in.progressive_mode) jpeg_simple_progression(&out);
        out.client_data = &plan;
        out.mem->access_virt_barray = AccessTurnedRows;
        jpeg_write_coefficients(&out, outArrays.data());
        for (int c = 0; c < components; ++c) {
            const TurnedComponent& turned = plan.components[static_cast<std::size_t>(c)];
            layoutMatches = layoutMatches && out.comp_info[c].width_in_blocks == turned.widthInBlocks &&
                            out.comp_info[c].height_in_blocks == turned.heightInBlocks;
        }
        if (!layoutMatches) return;
        for (const auto& segment : request.segments)
            jpeg_write_marker(&out, segment[1], segment.data() + 4, static_cast<unsigned>(segment.size() - 4));
        jpeg_finish_compress(&out);
    });
    if (!layoutMatches) throw TransformError(name, "its components are laid out in a way this program cannot turn");
    return result;
}

}  // namespace

TransformedJpeg TransformJpeg(std::span<const std::uint8_t> jpeg, const CoefficientTransform& request,
                              const std::string& name) {
    return Transform([&](j_decompress_ptr in) { jpeg_mem_src(in, jpeg.data(), static_cast<unsigned long>(jpeg.size())); },
                     jpeg.size(), request, name);
}

TransformedJpeg TransformJpeg(InputFile& file, std::int64_t offset, std::int64_t length,
                              const CoefficientTransform& request, const std::string& name) {
    FileSource source;
    source.file = &file;
    source.next = offset;
    source.end = offset + std::max<std::int64_t>(length, 0);
    source.buffer = std::make_unique<JOCTET[]>(kSourceChunk);
    source.pub.init_source = InitSource;
    source.pub.fill_input_buffer = FillFromFile;
    source.pub.skip_input_data = SkipInFile;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = TermSource;
    try {
        return Transform([&](j_decompress_ptr in) { in->src = &source.pub; }, static_cast<std::size_t>(std::max<std::int64_t>(length, 0)),
                         request, name);
    } catch (const TransformError&) {
        if (source.failure) throw *source.failure;
        throw;
    }
}

}  // namespace veltrane::transform

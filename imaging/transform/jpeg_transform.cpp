// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/transform/jpeg_transform.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

#include <jpeglib.h>
#include <jerror.h>

#include "core/common/file_io.h"
#include "core/common/io_error.h"
#include "imaging/jpeg/block_plan.h"
#include "imaging/jpeg/libjpeg_errors.h"

namespace veltrane::transform {
namespace {

using libjpeg::ErrorManager;

template <typename Body>
void Guarded(ErrorManager& errors, const std::string& subject, const std::string& what, Body&& body) {
    libjpeg::Guarded(
        errors, [&](const char* message) { throw TransformError(subject, what + ": " + message); },
        std::forward<Body>(body));
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

// The decoder, destroyed with this frame also after an error.
struct Decoding {
    jpeg_decompress_struct in{};
    ErrorManager errors;
    libjpeg::ScanLimit scanLimit{{}, kMaxTransformScans};
    bool created = false;
    ~Decoding() {
        if (created) jpeg_destroy_decompress(&in);
    }
};

// The transform; installSource sets up the decoder's source of sourceLength bytes.
TransformedJpeg Transform(const std::function<void(j_decompress_ptr)>& installSource, std::size_t sourceLength,
                          const CoefficientTransform& request, const std::string& name) {
    for (const auto& segment : request.segments)
        if (segment.size() < 4 || segment.size() > 2 + 0xFFFF || segment[0] != 0xFF)
            throw TransformError(name, "a marker segment to keep is malformed");
    Decoding decoding;
    jpeg_decompress_struct& in = decoding.in;
    // Stray bytes before a marker are only noted by libjpeg and lose nothing.
    libjpeg::InstallErrorManager(in, decoding.errors, libjpeg::StrayBytes::Allowed);
    jpeg_create_decompress(&in);  // only fails on a library version mismatch
    decoding.created = true;
    libjpeg::InstallScanLimit(in, decoding.scanLimit);
    const std::string undecodable = "does not decode";
    Guarded(decoding.errors, name, undecodable, [&] {
        if (sourceLength == 0) ERREXIT(&in, JERR_INPUT_EMPTY);
        installSource(&in);
        jpeg_read_header(&in, TRUE);
    });
    const Size size{in.image_width, in.image_height};
    if (std::uint64_t{size.width} * size.height > kMaxTransformPixels)
        throw TransformError(name, "its " + std::to_string(size.width) + "x" + std::to_string(size.height) +
                                       " pixels are more than this program transforms");
    if (in.data_precision != 8) throw TransformError(name, "it is not an 8-bit JPEG image");
    const libjpeg::BlockGrid blockGrid = libjpeg::GridOf(in);
    const Grid grid{blockGrid.width, blockGrid.height};
    const Region& region = request.source;
    const TurnAxes axes = AxesOf(request.turn);
    const bool reversesColumns = axes.swap ? axes.mirrorY : axes.mirrorX;
    const bool reversesRows = axes.swap ? axes.mirrorX : axes.mirrorY;
    if (!Inside(region, size) || region.x % grid.width != 0 || region.y % grid.height != 0 ||
        (reversesColumns && region.width % grid.width != 0) || (reversesRows && region.height % grid.height != 0))
        throw TransformError(name, "the region " + region.Text() + " does not lie on its " +
                                       std::to_string(grid.width) + "x" + std::to_string(grid.height) + " block grid",
                             true);

    // A one-piece plan: the region, turned, at the output's corner.
    const Size outSize = TurnedSize(request.turn, region.Extent());
    libjpeg::BlockPlan plan;
    plan.sources.push_back({&in, [&] { Guarded(decoding.errors, name, undecodable, [&] { jpeg_read_coefficients(&in); }); }, {}});
    plan.pieces.push_back({0, {region.x, region.y, region.width, region.height}, {axes.swap, axes.mirrorX, axes.mirrorY}, 0, 0});
    plan.width = outSize.width;
    plan.height = outSize.height;
    plan.sameCoding = true;
    // The source's own APP0 and APP14 segments are among those written.
    plan.adobeInSegments = true;
    for (const auto& segment : request.segments)
        plan.segments.push_back({segment[1], std::span<const std::uint8_t>(segment).subspan(4)});
    // About as large as the source; a source with optimized Huffman tables grows a little with
    // the standard ones. Pages reserved but not written cost nothing.
    plan.expectedSize = sourceLength + sourceLength / 4 + (std::size_t{1} << 16);
    TransformedJpeg result;
    result.size = outSize;
    try {
        result.bytes = libjpeg::CodeBlockPlan(plan);
    } catch (const libjpeg::BlockPlanError& e) {
        switch (e.WhatFailed()) {
            case libjpeg::BlockPlanError::Kind::Unread: throw TransformError(name, "no coefficients were read");
            case libjpeg::BlockPlanError::Kind::Layout:
                throw TransformError(name, "its components are laid out in a way this program cannot turn");
            case libjpeg::BlockPlanError::Kind::Placement: throw TransformError(name, e.what(), true);
            case libjpeg::BlockPlanError::Kind::Coding: break;
        }
        throw TransformError(name, std::string("cannot be coded again: ") + e.what());
    }
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

// SPDX-License-Identifier: GPL-3.0-or-later
// Lossless and re-encoded crops of JPEG images (see lossless_crop.h). The lossless crop is a
// one-piece plan without a turn of the block engine (imaging/jpeg/block_plan.h), which streams
// an image of one scan through a second thread.
#include "imaging/stereo/lossless_crop.h"

#include <cstring>
#include <string_view>

#include "imaging/jpeg/block_plan.h"
#include "imaging/stereo/compose_internal.h"

namespace veltrane::stereo {
namespace {

constexpr const char* kCropFailure = "cannot code the cropped picture";

// ---- the segments a crop keeps ----

struct KeptSegment {
    int marker = 0;
    std::vector<std::uint8_t> data;  // the payload, after the length field
};

// Whether the segment's payload begins with the identifier (NULs included).
bool PayloadStartsWith(const jpeg_marker_struct& m, std::string_view id) {
    return m.data_length >= id.size() && std::memcmp(m.data, id.data(), id.size()) == 0;
}

// Asks the decoder to keep every APPn and COM segment before the first scan (call before
// ReadHeader, inside Guarded).
void SaveSegments(jpeg_decompress_struct& info) {
    for (int m = 0; m < 16; ++m) jpeg_save_markers(&info, JPEG_APP0 + m, 0xFFFF);
    jpeg_save_markers(&info, JPEG_COM, 0xFFFF);
}

void ReadHeaderWithSegments(Decoder& decoder) {
    Guarded(decoder.errors, decoder.Failure().c_str(), [&] { SaveSegments(decoder.info); });
    decoder.ReadHeader(false);
}

// The saved segments that go into a crop of width x height. An Adobe APP14 segment is left
// out with dropAdobe (a lossless crop leaves that to the block engine, which drops it where
// libjpeg writes its own: for RGB, CMYK and YCCK data).
std::vector<KeptSegment> KeptSegments(const jpeg_decompress_struct& info, int width, int height, bool dropAdobe) {
    std::vector<KeptSegment> kept;
    bool exifPatched = false;
    for (jpeg_saved_marker_ptr m = info.marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 2 && PayloadStartsWith(*m, std::string_view("MPF\0", 4))) continue;
        if (m->marker == JPEG_APP0 + 3 && PayloadStartsWith(*m, "_JPSJPS_")) continue;
        if (m->marker == JPEG_APP0 + 14 && dropAdobe && PayloadStartsWith(*m, "Adobe")) continue;
        KeptSegment segment{m->marker, std::vector<std::uint8_t>(m->data, m->data + m->data_length)};
        if (!exifPatched && m->marker == JPEG_APP0 + 1 && PayloadStartsWith(*m, std::string_view("Exif\0\0", 6))) {
            PatchExifDimensions(segment.data, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
            exifPatched = true;
        }
        kept.push_back(std::move(segment));
    }
    return kept;
}

// Room for a crop's output: the input's share of the area, and a margin for the standard
// Huffman tables (an input with optimized ones codes smaller).
std::size_t ExpectedCropSize(std::size_t inputSize, const jpeg_decompress_struct& info, const PixelArea& area) {
    const double share = static_cast<double>(area.width) * area.height /
                         (static_cast<double>(info.image_width) * static_cast<double>(info.image_height));
    return static_cast<std::size_t>(static_cast<double>(inputSize) * share * 1.15) + 4096;
}

void CheckArea(const jpeg_decompress_struct& info, const PixelArea& area, const std::string& name) {
    const long long right = static_cast<long long>(area.x) + area.width;
    const long long bottom = static_cast<long long>(area.y) + area.height;
    if (area.x < 0 || area.y < 0 || area.width < 1 || area.height < 1 || right > info.image_width ||
        bottom > info.image_height)
        throw StereoError("the area to cut lies outside the " + name);
}

}  // namespace

JpegGeometry ReadJpegGeometry(std::span<const std::uint8_t> jpeg, const CodecLimits& limits, const std::string& name) {
    Decoder decoder(jpeg, limits, name);
    decoder.ReadHeader(false);
    const libjpeg::BlockGrid grid = libjpeg::GridOf(decoder.info);
    return {static_cast<int>(decoder.info.image_width), static_cast<int>(decoder.info.image_height),
            static_cast<int>(grid.width), static_cast<int>(grid.height)};
}

std::vector<std::uint8_t> CropLossless(std::span<const std::uint8_t> jpeg, const PixelArea& area,
                                       const CodecLimits& limits, const std::string& name) {
    Decoder decoder(jpeg, limits, name);
    ReadHeaderWithSegments(decoder);
    CheckArea(decoder.info, area, name);
    const libjpeg::BlockGrid grid = libjpeg::GridOf(decoder.info);
    if (area.x % static_cast<int>(grid.width) != 0 || area.y % static_cast<int>(grid.height) != 0)
        throw StereoError("the area to cut from the " + name + " does not start on its " + std::to_string(grid.width) +
                          " x " + std::to_string(grid.height) + " block grid");
    // The Adobe segment is left out by the engine where libjpeg writes its own.
    const std::vector<KeptSegment> kept = KeptSegments(decoder.info, area.width, area.height, false);
    libjpeg::BlockPlan plan;
    plan.sources.push_back({&decoder.info,
                            [&] { Guarded(decoder.errors, decoder.Failure().c_str(), [&] { jpeg_read_coefficients(&decoder.info); }); },
                            {}});
    const auto x = static_cast<std::uint32_t>(area.x), y = static_cast<std::uint32_t>(area.y);
    const auto width = static_cast<std::uint32_t>(area.width), height = static_cast<std::uint32_t>(area.height);
    plan.pieces.push_back({0, {x, y, width, height}, {}, 0, 0});
    plan.width = width;
    plan.height = height;
    // The MCU padding past the area keeps the image's blocks, as libjpeg's crop does.
    plan.edges = libjpeg::EdgeBlocks::FromSource;
    plan.mayStream = true;
    for (const KeptSegment& segment : kept) plan.segments.push_back({segment.marker, segment.data});
    plan.expectedSize = ExpectedCropSize(jpeg.size(), decoder.info, area);
    try {
        return libjpeg::CodeBlockPlan(plan);
    } catch (const libjpeg::BlockPlanError& e) {
        if (e.WhatFailed() == libjpeg::BlockPlanError::Kind::Unread)
            throw StereoError(decoder.Failure() + ": no coefficients were read");
        throw StereoError(std::string(kCropFailure) + ": " + e.what());
    }
}

std::vector<std::uint8_t> CropReencoded(std::span<const std::uint8_t> jpeg, const PixelArea& area, int quality,
                                        const CodecLimits& limits, const std::string& name) {
    Decoder header(jpeg, limits, name);
    ReadHeaderWithSegments(header);
    CheckArea(header.info, area, name);
    // Written as YCbCr: any Adobe segment of the image would describe another colour transform.
    const std::vector<KeptSegment> kept = KeptSegments(header.info, area.width, area.height, true);
    int hSampling = 1, vSampling = 1;
    if (header.info.num_components == 3) {
        hSampling = header.info.comp_info[0].h_samp_factor;
        vSampling = header.info.comp_info[0].v_samp_factor;
    }
    EyeReader reader(EyeArea{jpeg, name.c_str(), area.x, area.y, area.width, area.height}, limits, area.width);
    reader.ReadHeader();
    reader.Start();
    Encoder out(ExpectedCropSize(jpeg.size(), header.info, area));
    Guarded(out.errors, kCropFailure, [&] {
        out.SetRgbInput(area.width, area.height, quality, hSampling, vSampling);
        out.info.write_JFIF_header = FALSE;
        jpeg_start_compress(&out.info, TRUE);
        for (const KeptSegment& segment : kept)
            jpeg_write_marker(&out.info, segment.marker, segment.data.data(), static_cast<unsigned>(segment.data.size()));
    });
    std::vector<std::uint8_t> row(static_cast<std::size_t>(area.width) * 3);
    for (int y = 0; y < area.height; ++y) {
        reader.Read(row.data());
        JSAMPROW pointer = row.data();
        Guarded(out.errors, kCropFailure, [&] { jpeg_write_scanlines(&out.info, &pointer, 1); });
    }
    Guarded(out.errors, kCropFailure, [&] { jpeg_finish_compress(&out.info); });
    return out.Take();
}

}  // namespace veltrane::stereo

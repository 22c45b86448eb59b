// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/stereo/jpeg_codec.h"

#include <algorithm>
#include <cstring>

namespace veltrane::stereo {

Decoder::Decoder(std::span<const std::uint8_t> bytes, const CodecLimits& limits, std::string name)
    : limits_(limits), bytes_(bytes), name_(std::move(name)) {
    libjpeg::InstallErrorManager(info, errors);
    jpeg_create_decompress(&info);  // only fails on a library version mismatch
}

Decoder::~Decoder() {
    jpeg_destroy_decompress(&info);
}

void Decoder::ReadHeader(bool keepMetadata) {
    scanLimit_.maxScans = limits_.maxScans;
    libjpeg::InstallScanLimit(info, scanLimit_);
    Guarded(errors, Failure().c_str(), [&] {
        if (bytes_.empty()) ERREXIT(&info, JERR_INPUT_EMPTY);
        jpeg_mem_src(&info, bytes_.data(), static_cast<unsigned long>(bytes_.size()));
        if (keepMetadata) {
            jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
            jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
        }
        jpeg_read_header(&info, TRUE);
    });
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(info.image_width) * static_cast<std::uint64_t>(info.image_height);
    if (pixels > limits_.maxPixels)
        throw StereoError("the " + name_ + " of " + std::to_string(info.image_width) + " x " +
                          std::to_string(info.image_height) + " pixels is too large");
    if (info.data_precision != 8) throw StereoError("the " + name_ + " is not an 8-bit JPEG image");
}

std::vector<std::uint8_t> Decoder::ExifSegment() const {
    static constexpr unsigned char kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
    for (jpeg_saved_marker_ptr m = info.marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && m->data_length >= sizeof kExif &&
            std::memcmp(m->data, kExif, sizeof kExif) == 0)
            return {m->data, m->data + m->data_length};
    }
    return {};
}

std::vector<std::vector<std::uint8_t>> Decoder::IccSegments() const {
    static constexpr unsigned char kIcc[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
    std::vector<std::vector<std::uint8_t>> segments;
    for (jpeg_saved_marker_ptr m = info.marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 2 && m->data_length > sizeof kIcc + 2 &&
            std::memcmp(m->data, kIcc, sizeof kIcc) == 0)
            segments.emplace_back(m->data, m->data + m->data_length);
    }
    return segments;
}

void Decoder::ReadCoefficients(CoefficientImage& image) {
    image = {};
    libjpeg::BlockArrays arrays;
    Guarded(errors, Failure().c_str(), [&] {
        libjpeg::PlaceBlockArrays(info, arrays);
        jpeg_read_coefficients(&info);
    });
    if (arrays.requested != info.num_components) throw StereoError(Failure() + ": no coefficients were read");
    image.width = static_cast<int>(info.image_width);
    image.height = static_cast<int>(info.image_height);
    image.maxHSampling = info.max_h_samp_factor;
    image.maxVSampling = info.max_v_samp_factor;
    image.componentCount = info.num_components;
    for (int i = 0; i < info.num_components; ++i) {
        const jpeg_component_info& from = info.comp_info[i];
        CoefficientImage::Component& c = image.components[static_cast<std::size_t>(i)];
        c.blocks = std::move(arrays.arrays[static_cast<std::size_t>(i)]);
        c.columns = static_cast<int>(c.blocks.columns);
        c.rows = static_cast<int>(c.blocks.rows);
        c.hSampling = from.h_samp_factor;
        c.vSampling = from.v_samp_factor;
        c.widthInBlocks = static_cast<int>(from.width_in_blocks);
        c.heightInBlocks = static_cast<int>(from.height_in_blocks);
        // Tables may be redefined between scans; this is the one the component's data used.
        if (from.quant_table != nullptr)
            std::copy(from.quant_table->quantval, from.quant_table->quantval + DCTSIZE2, c.quant.begin());
    }
}

// Room for the expected size and a step beyond, as the buffer grows by.
Encoder::Encoder(std::size_t expectedSize) : libjpeg::Encoder(expectedSize + (std::size_t{1} << 16)) {}

void Encoder::SetRgbInput(int width, int height, int quality, int hSampling, int vSampling) {
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.comp_info[0].h_samp_factor = hSampling;
    info.comp_info[0].v_samp_factor = vSampling;
}

}  // namespace veltrane::stereo

// SPDX-License-Identifier: GPL-3.0-or-later
#include "stereo/jpeg_codec.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace veltrane::stereo {
namespace {

ErrorManager& OwnerOf(j_common_ptr info) {
    // pub is the first member, so the error manager's address is the owner's.
    return *reinterpret_cast<ErrorManager*>(info->err);
}

[[noreturn]] void ErrorExit(j_common_ptr info) {
    ErrorManager& owner = OwnerOf(info);
    (*info->err->format_message)(info, owner.message);
    std::longjmp(owner.jump, 1);
}

// Level -1 is a warning about corrupt data; higher levels are trace messages.
void EmitMessage(j_common_ptr info, int level) {
    if (level < 0) ErrorExit(info);
}

void OutputMessage(j_common_ptr) {}

// Progressive files may hold thousands of tiny scans, each costing a pass over the image.
struct ScanLimitedProgress {
    jpeg_progress_mgr pub;
    int maxScans;
};

void CheckScans(j_common_ptr info) {
    if (!info->is_decompressor) return;
    auto* d = reinterpret_cast<j_decompress_ptr>(info);
    const auto* progress = reinterpret_cast<const ScanLimitedProgress*>(info->progress);
    if (d->input_scan_number > progress->maxScans) {
        ErrorManager& owner = OwnerOf(info);
        std::snprintf(owner.message, sizeof owner.message, "more than %d scans",
                      progress->maxScans);
        std::longjmp(owner.jump, 1);
    }
}

}  // namespace

void InstallErrorManager(jpeg_error_mgr& pub, ErrorManager& owner) {
    (void)owner;
    jpeg_std_error(&pub);
    pub.error_exit = ErrorExit;
    pub.emit_message = EmitMessage;
    pub.output_message = OutputMessage;
}

Decoder::Decoder(std::span<const std::uint8_t> bytes, const CodecLimits& limits, std::string name)
    : limits_(limits), bytes_(bytes), name_(std::move(name)) {
    info.err = &errors.pub;
    InstallErrorManager(errors.pub, errors);
    jpeg_create_decompress(&info);  // only fails on a library version mismatch
}

Decoder::~Decoder() {
    jpeg_destroy_decompress(&info);
    delete reinterpret_cast<ScanLimitedProgress*>(info.progress);
}

void Decoder::ReadHeader(bool keepMetadata) {
    auto* progress = new ScanLimitedProgress{{CheckScans, 0, 0, 0, 0}, limits_.maxScans};
    info.progress = &progress->pub;
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

// jpeg_read_coefficients asks its memory manager for one virtual block array per component,
// then to realize them, then for rows of them while it decodes. These three methods place the
// arrays in a CoefficientImage (the decoder's client_data) instead of libjpeg's pools.
namespace {

CoefficientImage& TargetOf(j_common_ptr info) { return *static_cast<CoefficientImage*>(info->client_data); }

jvirt_barray_ptr RequestBlockArray(j_common_ptr info, int, boolean, JDIMENSION blocksPerRow, JDIMENSION rows,
                                   JDIMENSION) {
    CoefficientImage& image = TargetOf(info);
    if (image.requested >= MAX_COMPONENTS) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    CoefficientImage::Component& c = image.components[static_cast<std::size_t>(image.requested)];
    c.columns = static_cast<int>(blocksPerRow);
    c.rows = static_cast<int>(rows);
    // The handle is the component's address; AccessBlockRows maps it back.
    return reinterpret_cast<jvirt_barray_ptr>(&image.components[static_cast<std::size_t>(image.requested++)]);
}

void RealizeBlockArrays(j_common_ptr info) {
    CoefficientImage& image = TargetOf(info);
    bool failed = false;
    try {
        for (int i = 0; i < image.requested; ++i) {
            CoefficientImage::Component& c = image.components[static_cast<std::size_t>(i)];
            c.blocks.assign(static_cast<std::size_t>(c.columns) * static_cast<std::size_t>(c.rows) * DCTSIZE2, 0);
            std::vector<JBLOCKROW>& rows = image.rowPointers[static_cast<std::size_t>(i)];
            rows.resize(static_cast<std::size_t>(c.rows));
            for (int r = 0; r < c.rows; ++r) rows[static_cast<std::size_t>(r)] = c.Row(r);
        }
    } catch (const std::bad_alloc&) {
        failed = true;
    }
    // Raised outside the handler: the jump leaves no C++ frame half unwound.
    if (failed) ERREXIT1(info, JERR_OUT_OF_MEMORY, 2);
}

JBLOCKARRAY AccessBlockRows(j_common_ptr info, jvirt_barray_ptr array, JDIMENSION startRow, JDIMENSION numRows,
                            boolean) {
    CoefficientImage& image = TargetOf(info);
    const auto* component = reinterpret_cast<const CoefficientImage::Component*>(array);
    const std::ptrdiff_t i = component - image.components.data();
    if (i < 0 || i >= image.requested) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    const std::vector<JBLOCKROW>& rows = image.rowPointers[static_cast<std::size_t>(i)];
    if (startRow > rows.size() || numRows > rows.size() - startRow) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    return const_cast<JBLOCKARRAY>(rows.data() + startRow);
}

}  // namespace

void Decoder::ReadCoefficients(CoefficientImage& image) {
    image = {};
    Guarded(errors, Failure().c_str(), [&] {
        info.client_data = &image;
        info.mem->request_virt_barray = RequestBlockArray;
        info.mem->realize_virt_arrays = RealizeBlockArrays;
        info.mem->access_virt_barray = AccessBlockRows;
        jpeg_read_coefficients(&info);
    });
    if (image.requested != info.num_components) throw StereoError(Failure() + ": no coefficients were read");
    image.width = static_cast<int>(info.image_width);
    image.height = static_cast<int>(info.image_height);
    image.maxHSampling = info.max_h_samp_factor;
    image.maxVSampling = info.max_v_samp_factor;
    image.componentCount = info.num_components;
    for (int i = 0; i < info.num_components; ++i) {
        const jpeg_component_info& from = info.comp_info[i];
        CoefficientImage::Component& c = image.components[static_cast<std::size_t>(i)];
        c.hSampling = from.h_samp_factor;
        c.vSampling = from.v_samp_factor;
        c.widthInBlocks = static_cast<int>(from.width_in_blocks);
        c.heightInBlocks = static_cast<int>(from.height_in_blocks);
        // Tables may be redefined between scans; this is the one the component's data used.
        if (from.quant_table != nullptr)
            std::copy(from.quant_table->quantval, from.quant_table->quantval + DCTSIZE2, c.quant.begin());
    }
    image.rowPointers = {};
}

// The compressed data grows in a vector owned by the encoder object, so that an error in the
// middle of compression leaves nothing for libjpeg to free.
namespace {

constexpr std::size_t kOutputStep = 1 << 16;

bool Grow(j_compress_ptr info, std::size_t newSize) {
    auto* dest = reinterpret_cast<OutputDestination*>(info->dest);
    try {
        dest->out->resize(newSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void InitDestination(j_compress_ptr info) {
    auto* dest = reinterpret_cast<OutputDestination*>(info->dest);
    // Room for the expected size from the start, taken only now that compression begins.
    if (!Grow(info, dest->expectedSize + kOutputStep)) ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
    dest->pub.next_output_byte = dest->out->data();
    dest->pub.free_in_buffer = dest->out->size();
}

boolean EmptyOutputBuffer(j_compress_ptr info) {
    // Called when the buffer is full: free_in_buffer is 0 and every byte counts.
    auto* dest = reinterpret_cast<OutputDestination*>(info->dest);
    const std::size_t used = dest->out->size();
    if (!Grow(info, used + std::max(kOutputStep, used / 2))) ERREXIT1(info, JERR_OUT_OF_MEMORY, 1);
    dest->pub.next_output_byte = dest->out->data() + used;
    dest->pub.free_in_buffer = dest->out->size() - used;
    return TRUE;
}

void TermDestination(j_compress_ptr info) {
    auto* dest = reinterpret_cast<OutputDestination*>(info->dest);
    dest->out->resize(dest->out->size() - dest->pub.free_in_buffer);
}

}  // namespace

Encoder::Encoder(std::size_t expectedSize) {
    info.err = &errors.pub;
    InstallErrorManager(errors.pub, errors);
    jpeg_create_compress(&info);
    destination_.pub.init_destination = InitDestination;
    destination_.pub.empty_output_buffer = EmptyOutputBuffer;
    destination_.pub.term_destination = TermDestination;
    destination_.out = &out_;
    destination_.expectedSize = expectedSize;
    info.dest = &destination_.pub;
}

Encoder::~Encoder() { jpeg_destroy_compress(&info); }

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

std::vector<std::uint8_t> Encoder::Take() { return std::move(out_); }

}  // namespace veltrane::stereo

// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a spatial photo: both eyes encoded by libheif's x265 encoder, then the stereo group and
// the cameras' properties added by the box writer (libheif cannot write entity groups, and the
// libheif of Debian 12 no camera properties).
#include <algorithm>
#include <array>

#include "core/common/file_io.h"
#include "core/heif_boxes/entity_group_writer.h"
#include "imaging/heif/libheif_support.h"
#include "imaging/heif/spatial_photo.h"

namespace veltrane::heif {

using namespace detail;
namespace hb = heif_boxes;

struct SpatialPhotoWriter::Encoder {
    ContextPtr context;
    EncoderPtr encoder;
    std::array<HandlePtr, 2> eyes;
    int quality = 90;
    std::optional<hb::StereoCamera> camera;
};

namespace {

struct ImageRelease {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
using ImagePtr = std::unique_ptr<heif_image, ImageRelease>;

const char* EyeName(Eye eye) { return eye == Eye::Left ? "the left eye" : "the right eye"; }

// The colour description written beside the pictures: JPEG's YCbCr (BT.601 matrix, full range),
// so that a decoded eye goes back into a JPEG without colour conversion. With an ICC profile the
// primaries and transfer are the profile's business and stay "unspecified"; without one the
// pictures are sRGB.
NclxPtr JpegNclx(bool hasIcc) {
    NclxPtr nclx(heif_nclx_color_profile_alloc());
    if (!nclx) throw std::bad_alloc();
    nclx->matrix_coefficients = heif_matrix_coefficients_ITU_R_BT_601_6;
    nclx->full_range_flag = 1;
    nclx->color_primaries = hasIcc ? heif_color_primaries_unspecified : heif_color_primaries_ITU_R_BT_709_5;
    nclx->transfer_characteristics =
        hasIcc ? heif_transfer_characteristic_unspecified : heif_transfer_characteristic_IEC_61966_2_1;
    return nclx;
}

uint8_t* AddPlane(heif_image* image, heif_channel channel, int width, int height, int& stride, const std::string& what) {
    Check(heif_image_add_plane(image, channel, width, height, 8), what);
    return heif_image_get_plane(image, channel, &stride);
}

}  // namespace

SpatialPhotoWriter::SpatialPhotoWriter(const SpatialWriteOptions& options) : encoder_(std::make_unique<Encoder>()) {
    if (options.quality < 0 || options.quality > 100)
        throw HeifError("quality " + std::to_string(options.quality) + " is outside 0..100");
    encoder_->quality = options.quality;
    encoder_->camera = options.camera;
    encoder_->context = NewContext();
    heif_encoder* encoder = nullptr;
    Check(heif_context_get_encoder_for_format(encoder_->context.get(), heif_compression_HEVC, &encoder),
          "this libheif has no HEVC encoder");
    encoder_->encoder.reset(encoder);
    Check(heif_encoder_set_lossy_quality(encoder, options.quality), "the HEVC encoder refuses the quality");
    heif_encoder_set_logging_level(encoder, 0);
}

SpatialPhotoWriter::~SpatialPhotoWriter() = default;

void SpatialPhotoWriter::AddEye(Eye eye, const RgbView& pixels, const EyeMetadata& metadata) {
    const std::string name = EyeName(eye);
    if (pixels.width <= 0 || pixels.height <= 0 || pixels.pixels == nullptr ||
        pixels.stride < static_cast<std::size_t>(pixels.width) * 3)
        throw HeifError(name + " has no pixels");
    heif_image* raw = nullptr;
    Check(heif_image_create(pixels.width, pixels.height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &raw),
          name + " cannot be prepared");
    ImagePtr image(raw);
    int stride = 0;
    std::uint8_t* plane = AddPlane(raw, heif_channel_interleaved, pixels.width, pixels.height, stride, name);
    for (int y = 0; y < pixels.height; ++y)
        std::copy_n(pixels.pixels + static_cast<std::size_t>(y) * pixels.stride, static_cast<std::size_t>(pixels.width) * 3,
                    plane + static_cast<std::size_t>(y) * stride);
    Encode(eye, raw, metadata);
}

void SpatialPhotoWriter::AddEye(Eye eye, const Ycbcr420View& pixels, const EyeMetadata& metadata) {
    const std::string name = EyeName(eye);
    const int cw = (pixels.width + 1) / 2, ch = (pixels.height + 1) / 2;
    if (pixels.width <= 0 || pixels.height <= 0 || !pixels.y || !pixels.cb || !pixels.cr ||
        pixels.yStride < static_cast<std::size_t>(pixels.width) || pixels.chromaStride < static_cast<std::size_t>(cw))
        throw HeifError(name + " has no pixels");
    heif_image* raw = nullptr;
    Check(heif_image_create(pixels.width, pixels.height, heif_colorspace_YCbCr, heif_chroma_420, &raw),
          name + " cannot be prepared");
    ImagePtr image(raw);
    const struct {
        heif_channel channel;
        const std::uint8_t* source;
        std::size_t sourceStride;
        int width, height;
    } planes[] = {{heif_channel_Y, pixels.y, pixels.yStride, pixels.width, pixels.height},
                  {heif_channel_Cb, pixels.cb, pixels.chromaStride, cw, ch},
                  {heif_channel_Cr, pixels.cr, pixels.chromaStride, cw, ch}};
    for (const auto& p : planes) {
        int stride = 0;
        std::uint8_t* plane = AddPlane(raw, p.channel, p.width, p.height, stride, name);
        for (int y = 0; y < p.height; ++y)
            std::copy_n(p.source + static_cast<std::size_t>(y) * p.sourceStride, static_cast<std::size_t>(p.width),
                        plane + static_cast<std::size_t>(y) * stride);
    }
    Encode(eye, raw, metadata);
}

void SpatialPhotoWriter::Encode(Eye eye, heif_image* image, const EyeMetadata& metadata) {
    const std::string name = EyeName(eye);
    auto& slot = encoder_->eyes[static_cast<std::size_t>(eye)];
    if (slot) throw HeifError(name + " was given twice");
    const bool hasIcc = !metadata.iccProfile.empty();
    const NclxPtr nclx = JpegNclx(hasIcc);
    Check(heif_image_set_nclx_color_profile(image, nclx.get()), name + ": colour description");
    if (hasIcc)
        Check(heif_image_set_raw_color_profile(image, "prof", metadata.iccProfile.data(), metadata.iccProfile.size()),
              name + ": ICC profile");
    EncodingOptionsPtr options(heif_encoding_options_alloc());
    if (!options) throw std::bad_alloc();
    options->save_alpha_channel = 0;
    options->save_two_colr_boxes_when_ICC_and_nclx_available = 1;
    options->output_nclx_profile = nclx.get();
    heif_image_handle* handle = nullptr;
    Check(heif_context_encode_image(encoder_->context.get(), image, encoder_->encoder.get(), options.get(), &handle),
          name + " does not encode");
    slot.reset(handle);
    if (!metadata.exifTiff.empty()) {
        if (metadata.exifTiff.size() > 0x7FFFFFF0u) throw HeifError(name + ": the Exif data is too large");
        Check(heif_context_add_exif_metadata(encoder_->context.get(), handle, metadata.exifTiff.data(),
                                             static_cast<int>(metadata.exifTiff.size())),
              name + ": Exif data");
    }
}

std::vector<std::uint8_t> SpatialPhotoWriter::Finish() {
    for (const Eye eye : {Eye::Left, Eye::Right})
        if (!encoder_->eyes[static_cast<std::size_t>(eye)]) throw HeifError(std::string(EyeName(eye)) + " is missing");
    Check(heif_context_set_primary_image(encoder_->context.get(), encoder_->eyes[0].get()), "the primary image");
    std::vector<std::uint8_t> bytes;
    heif_writer writer{};
    writer.writer_api_version = 1;
    writer.write = [](heif_context*, const void* data, size_t size, void* userdata) -> heif_error {
        auto* out = static_cast<std::vector<std::uint8_t>*>(userdata);
        const auto* p = static_cast<const std::uint8_t*>(data);
        out->insert(out->end(), p, p + size);
        return heif_error{heif_error_Ok, heif_suberror_Unspecified, "Success"};
    };
    Check(heif_context_write(encoder_->context.get(), &writer, &bytes), "libheif cannot write the file");
    // libheif gives item IDs no public face: the left eye is the primary image and the right eye
    // the other top-level image of what was just written.
    try {
        const auto structure = hb::ParseHeif(bytes);
        const auto images = structure.TopLevelImages();
        if (images.size() != 2 || images[0] != structure.primaryItem)
            throw HeifError("libheif wrote " + std::to_string(images.size()) + " images instead of the two eyes");
        bytes = hb::InsertStereoGroup(bytes, images[0], images[1]);
    } catch (const hb::HeifFormatError& e) {
        throw HeifError(std::string("the stereo group cannot be added: ") + e.what());
    }
    if (!encoder_->camera) return bytes;
    try {
        bytes = hb::SetStereoCamera(bytes, *encoder_->camera);  // which reads them back
    } catch (const hb::HeifFormatError& e) {
        throw HeifError(std::string("the cameras' properties cannot be added: ") + e.what());
    }
    return bytes;
}

void SpatialPhotoWriter::Write(const std::string& path) {
    const auto bytes = Finish();
    AtomicOutputFile out(path);
    out.Write(bytes.data(), bytes.size());
    out.Commit();
}

}  // namespace veltrane::heif

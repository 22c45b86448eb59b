// Opening a spatial photo: the stereo group and each eye's metadata from the box reader, the
// pixels from libheif.
#include <array>
#include <cstring>

#include "core/common/file_io.h"
#include "heif/libheif_support.h"
#include "heif/spatial_photo.h"

namespace veltrane::heif {

using namespace detail;
namespace hb = heif_boxes;

SpatialPhoto::SpatialPhoto() : context_(std::make_unique<Context>()) {}
SpatialPhoto::SpatialPhoto(SpatialPhoto&&) noexcept = default;
SpatialPhoto& SpatialPhoto::operator=(SpatialPhoto&&) noexcept = default;
SpatialPhoto::~SpatialPhoto() = default;

namespace {

// The pair and both eyes' metadata, read through the box reader from whatever holds the file.
template <typename Source>
void ReadPairMetadata(const hb::HeifStructure& s, Source& source, hb::StereoPair& pair, EyeMetadata (&metadata)[2]) {
    const auto found = s.FindStereoPair();
    if (!found) throw HeifError("holds no stereo pair");
    pair = *found;
    for (int eye = 0; eye < 2; ++eye) {
        const std::uint32_t id = eye == 0 ? pair.left : pair.right;
        const auto exif = s.MetadataItemsOf(id, hb::MakeFourCc("Exif"));
        if (!exif.empty()) metadata[eye].exifTiff = hb::ExifTiffFromPayload(hb::ItemPayload(s, source, exif.front()));
        const auto icc = s.IccProfileOf(id);
        metadata[eye].iccProfile.assign(icc.begin(), icc.end());
    }
}

}  // namespace

SpatialPhoto SpatialPhoto::Open(const std::string& path, const SpatialReadOptions& options) {
    SpatialPhoto photo;
    try {
        InputFile file(path);
        photo.structure_ = hb::ReadHeifStructure(file);
        ReadPairMetadata(photo.structure_, file, photo.pair_, photo.metadata_);
    } catch (const hb::HeifFormatError& e) {
        throw HeifError(e.what());
    }
    photo.context_->heif = NewContext();
    Check(heif_context_read_from_file(photo.context_->heif.get(), path.c_str(), nullptr), "libheif cannot read it");
    photo.Load(options);
    return photo;
}

SpatialPhoto SpatialPhoto::FromBytes(std::vector<std::uint8_t> bytes, const SpatialReadOptions& options) {
    SpatialPhoto photo;
    try {
        photo.structure_ = hb::ParseHeif(bytes);
        const std::span<const std::uint8_t> file(bytes);
        ReadPairMetadata(photo.structure_, file, photo.pair_, photo.metadata_);
    } catch (const hb::HeifFormatError& e) {
        throw HeifError(e.what());
    }
    photo.context_->bytes = std::move(bytes);
    photo.context_->heif = NewContext();
    Check(heif_context_read_from_memory_without_copy(photo.context_->heif.get(), photo.context_->bytes.data(),
                                                     photo.context_->bytes.size(), nullptr),
          "libheif cannot read it");
    photo.Load(options);
    return photo;
}

void SpatialPhoto::Load(const SpatialReadOptions& options) {
    for (int eye = 0; eye < 2; ++eye) {
        const std::uint32_t id = eye == 0 ? pair_.left : pair_.right;
        const std::string name = eye == 0 ? "the left eye" : "the right eye";
        heif_image_handle* handle = nullptr;
        Check(heif_context_get_image_handle(context_->heif.get(), id, &handle),
              name + " (item " + std::to_string(id) + ") cannot be opened");
        context_->eyes[static_cast<std::size_t>(eye)].reset(handle);
        const auto w = static_cast<std::uint64_t>(heif_image_handle_get_width(handle));
        const auto h = static_cast<std::uint64_t>(heif_image_handle_get_height(handle));
        if (w == 0 || h == 0) throw HeifError(name + " has no size");
        if (w * h > options.maxPixelsPerEye)
            throw HeifError(name + " of " + std::to_string(w) + " x " + std::to_string(h) + " pixels is too large");
    }
}

int SpatialPhoto::Width(Eye eye) const {
    return heif_image_handle_get_width(context_->eyes[static_cast<std::size_t>(eye)].get());
}

int SpatialPhoto::Height(Eye eye) const {
    return heif_image_handle_get_height(context_->eyes[static_cast<std::size_t>(eye)].get());
}

}  // namespace veltrane::heif

// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a spatial photo: the stereo group and each eye's metadata from the box reader, the
// pixels from libheif.
#include <array>
#include <cstring>

#include "core/common/file_io.h"
#include "imaging/heif/libheif_support.h"
#include "imaging/heif/spatial_photo.h"

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

// libheif reads the file through the program's own file layer (UTF-8 names on every system,
// also on Windows, where libheif's own file reader takes the ANSI code page). The callbacks
// are C functions: they report failures by their return values, never by exceptions.
FileSource& SourceOf(void* userdata) { return *static_cast<FileSource*>(userdata); }

const heif_reader kFileReader = {
    1,
    [](void* userdata) -> std::int64_t { return SourceOf(userdata).position; },
    [](void* data, size_t size, void* userdata) -> int {
        FileSource& s = SourceOf(userdata);
        if (s.position < 0 || s.position > s.size || size > static_cast<std::uint64_t>(s.size - s.position)) return 1;
        try {
            s.file.ReadAt(s.position, data, size);
        } catch (...) {
            return 1;
        }
        s.position += static_cast<std::int64_t>(size);
        return 0;
    },
    [](std::int64_t position, void* userdata) -> int {
        FileSource& s = SourceOf(userdata);
        if (position < 0 || position > s.size) return 1;
        s.position = position;
        return 0;
    },
    [](std::int64_t targetSize, void* userdata) -> heif_reader_grow_status {
        return targetSize <= SourceOf(userdata).size ? heif_reader_grow_status_size_reached
                                                     : heif_reader_grow_status_size_beyond_eof;
    },
};

}  // namespace

SpatialPhoto SpatialPhoto::Open(const std::string& path, const SpatialReadOptions& options) {
    SpatialPhoto photo;
    Context& c = *photo.context_;
    c.file = std::make_unique<FileSource>(path);
    try {
        photo.structure_ = hb::ReadHeifStructure(c.file->file);
        ReadPairMetadata(photo.structure_, c.file->file, photo.pair_, photo.metadata_);
    } catch (const hb::HeifFormatError& e) {
        throw HeifError(e.what());
    }
    c.heif = NewContext();
    Check(heif_context_read_from_reader(c.heif.get(), &kFileReader, c.file.get(), nullptr), "libheif cannot read it");
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

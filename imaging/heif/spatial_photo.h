// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Spatial photos: HEIF files holding a stereo pair as two HEVC images tied together by a 'ster'
// entity group (left eye first), each image with its own Exif item and colour profile.
//
// Reading finds the group with the project's own box reader (core/heif_boxes) and decodes the
// eyes with libheif (libde265), one eye at a time. Writing encodes the eyes with libheif's x265
// encoder, then adds the 'grpl' box that libheif cannot write itself.
//
// Memory: a decoded eye is kept as libheif returns it (for HEVC planar YCbCr 4:2:0, half the
// bytes of 8-bit RGB) and turned into RGB a band of rows at a time, so two decoded eyes and the
// decoder's work space stay below three RGB pictures of one eye.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/heif_boxes/heif_structure.h"
#include "core/heif_boxes/stereo_camera.h"

struct heif_image;

namespace veltrane::heif {

// A failure with a one-line cause, e.g. "holds no stereo pair".
class HeifError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Eye { Left = 0, Right = 1 };

// What travels with each eye: the Exif data as TIFF bytes ("II*\0..." or "MM\0*..."; the Exif
// item's offset field removed) and the ICC profile. Either may be empty.
struct EyeMetadata {
    std::vector<std::uint8_t> exifTiff;
    std::vector<std::uint8_t> iccProfile;
};

// 8-bit RGB, three bytes per pixel, rows stride bytes apart.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // stride width * 3
};

// The planes of an 8-bit YCbCr 4:2:0 picture in JPEG's convention (BT.601 matrix, full range),
// chroma planes of (width + 1) / 2 x (height + 1) / 2 samples: what a JPEG codec reads and
// writes without any colour conversion.
struct Ycbcr420View {
    int width = 0;
    int height = 0;
    const std::uint8_t* y = nullptr;
    const std::uint8_t* cb = nullptr;
    const std::uint8_t* cr = nullptr;
    std::size_t yStride = 0;
    std::size_t chromaStride = 0;
};

// One decoded eye, as the decoder delivered it.
class DecodedEye {
public:
    DecodedEye(DecodedEye&&) noexcept;
    DecodedEye& operator=(DecodedEye&&) noexcept;
    ~DecodedEye();

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Rows [firstRow, firstRow + rowCount) as RGB into out, rows outStride bytes apart.
    void RgbRows(int firstRow, int rowCount, std::uint8_t* out, std::size_t outStride) const;
    RgbImage ToRgb() const;
    // The planes themselves, when they are JPEG's YCbCr 4:2:0 (BT.601, full range, 8 bits).
    std::optional<Ycbcr420View> JpegYcbcr420() const;
    // Bytes held by the decoded planes.
    std::size_t ByteSize() const;

private:
    friend class SpatialPhoto;
    DecodedEye() = default;
    struct ImageRelease {
        void operator()(heif_image* image) const;
    };
    std::unique_ptr<heif_image, ImageRelease> image_;
    int width_ = 0, height_ = 0;
    enum class Layout { Ycbcr, Monochrome, RgbPlanar, RgbInterleaved } layout_ = Layout::Ycbcr;
    int chromaShiftX_ = 0, chromaShiftY_ = 0;
    // Full-range YCbCr -> RGB factors (x 2^16) and the range expansion of limited-range data.
    int crToR_ = 0, cbToG_ = 0, crToG_ = 0, cbToB_ = 0;
    bool limitedRange_ = false;
    bool bt601FullRange_ = false;
};

struct SpatialReadOptions {
    std::uint64_t maxPixelsPerEye = 120'000'000;  // larger eyes are refused before decoding
};

// An opened spatial photo. The file is read by libheif as it needs it; nothing is decoded
// until Decode.
class SpatialPhoto {
public:
    // Raises HeifError: "holds no stereo pair" for a HEIF file without a usable 'ster' group,
    // the box reader's or libheif's cause for anything else, InOutError when it cannot be read.
    static SpatialPhoto Open(const std::string& path, const SpatialReadOptions& options = {});
    // The same for a file in memory (kept by the object).
    static SpatialPhoto FromBytes(std::vector<std::uint8_t> bytes, const SpatialReadOptions& options = {});

    SpatialPhoto(SpatialPhoto&&) noexcept;
    SpatialPhoto& operator=(SpatialPhoto&&) noexcept;
    ~SpatialPhoto();

    const heif_boxes::HeifStructure& Structure() const { return structure_; }
    std::uint32_t ItemId(Eye eye) const { return eye == Eye::Left ? pair_.left : pair_.right; }
    // The size of the decoded eye (after any rotation or crop the file asks for).
    int Width(Eye eye) const;
    int Height(Eye eye) const;
    const EyeMetadata& Metadata(Eye eye) const { return metadata_[static_cast<int>(eye)]; }

    DecodedEye Decode(Eye eye) const;
    RgbImage DecodeRgb(Eye eye) const { return Decode(eye).ToRgb(); }

private:
    struct Context;
    SpatialPhoto();
    void Load(const SpatialReadOptions& options);

    std::unique_ptr<Context> context_;
    heif_boxes::HeifStructure structure_;
    heif_boxes::StereoPair pair_;
    EyeMetadata metadata_[2];
};

// Pixels of one eye to encode: interleaved 8-bit RGB, or JPEG's YCbCr 4:2:0 planes (as a JPEG
// decoder gives them raw), which go to the encoder without any colour conversion.
struct RgbView {
    int width = 0;
    int height = 0;
    const std::uint8_t* pixels = nullptr;
    std::size_t stride = 0;
};

struct SpatialWriteOptions {
    int quality = 90;  // x265 quality, 0..100
    // The cameras' properties that a headset needs to show the pair as spatial (stereo_camera.h);
    // none are written without them.
    std::optional<heif_boxes::StereoCamera> camera = {};
};

// Encodes the two eyes of a spatial photo, one at a time as they are added, and writes the file.
//
//   SpatialPhotoWriter w({.quality = 90});
//   w.AddEye(Eye::Left, leftPixels, leftMetadata);    // encoded now; the pixels may go
//   w.AddEye(Eye::Right, rightPixels, rightMetadata);
//   w.Write("photo.heic");                             // through an AtomicOutputFile
//
// The left eye is the primary image. Each eye's Exif goes into an Exif item linked to it and its
// ICC profile into its 'colr' property (with an 'nclx' one beside it for the YCbCr coding); the
// 'ster' group and the cameras' properties are added by the box writer.
class SpatialPhotoWriter {
public:
    explicit SpatialPhotoWriter(const SpatialWriteOptions& options = {});
    ~SpatialPhotoWriter();
    SpatialPhotoWriter(const SpatialPhotoWriter&) = delete;
    SpatialPhotoWriter& operator=(const SpatialPhotoWriter&) = delete;

    void AddEye(Eye eye, const RgbView& pixels, const EyeMetadata& metadata);
    void AddEye(Eye eye, const Ycbcr420View& pixels, const EyeMetadata& metadata);
    // The complete file. Both eyes must have been added.
    std::vector<std::uint8_t> Finish();
    // Finish, written to path (UTF-8) through an AtomicOutputFile: no partial file on failure.
    void Write(const std::string& path);

private:
    struct Encoder;
    void Encode(Eye eye, heif_image* image, const EyeMetadata& metadata);
    std::unique_ptr<Encoder> encoder_;
};

}  // namespace veltrane::heif

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A whole JPEG or MPO file turned, flipped or cropped losslessly: every image of the set gets
// the same transform in the DCT domain (images of other sizes, such as a gain map or a large
// thumbnail, scaled to their size), and the MPF index is written anew with the new sizes and
// offsets, each image keeping its type, flags and attribute tags.
//
//   - Each image's application and comment segments are kept. In its EXIF segment the pixel
//     sizes (PixelXDimension A002 and PixelYDimension A003 of the EXIF IFD, ImageWidth 0100 and
//     ImageLength 0101 of IFD0 where present) are set to the new size and the Orientation (0112)
//     so that viewers show the picture turned as asked (1 after auto); the JFIF segment's pixel
//     densities are exchanged with the axes. XMP (but for the lengths below) and everything
//     else stay byte for byte; the EXIF thumbnail is left as it was.
//   - A stereo set (two or more disparity or multi-angle images) stays left-first: a turn that
//     runs the rows backwards (rotate180, flip-h) exchanges the eyes, so the images change
//     places in the file and keep the MP individual numbers of their positions. A turn that
//     exchanges the axes would put the baseline upright and is refused unless forced.
//   - A file without a usable MPF index and a single image is written as a plain JPEG file.
//   - What follows the last image (a motion photo's video, Samsung's trailer: where the scan's
//     parts hook ends the last image) follows the turned images byte for byte; a container
//     directory in image 1's XMP gets the new sizes of the images after it (Item:Length).
//
// Images are transformed one at a time; the memory held is one image's coefficients, its
// compressed data and the compressed results so far. The output appears only once complete.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/images/scanner.h"
#include "core/mpo/image_role.h"
#include "imaging/transform/jpeg_transform.h"
#include "imaging/transform/transform_geometry.h"

namespace veltrane::transform {

struct SetTransformOptions {
    Operation operation = Operation::Rotate90;
    Region crop;          // image 1's region, for Operation::Crop
    bool perfect = false; // refuse rather than trim edge pixels or move the crop's corner
    bool force = false;   // turn stereo sets upright too
    ScanOptions scan;
};

struct ImageOutcome {
    std::size_t sourceNumber = 0;  // the image's number in the source file (1-based)
    ImageRole role = ImageRole::None;
    Size before, after;
    Size trimmed;                  // pixel columns and rows trimmed at the edges
    std::optional<Region> kept;    // the region a crop kept
    bool cornerMoved = false;      // image 1's crop corner was moved onto its grid
};

struct SetTransformResult {
    Turn turn = Turn::None;           // what every image was turned by
    std::uint32_t orientation = 0;    // auto: image 1's Orientation (0: it has none)
    bool eyesExchanged = false;
    bool indexed = false;             // written as an MPO file with an MPF index
    std::vector<ImageOutcome> images; // in the output's order
    std::int64_t fileSize = 0;
    std::int64_t trailerBytes = 0;    // bytes after the last image, copied unchanged
    std::string outputPath;
};

// Transforms the file at path into output (which must not be path; empty: the default name,
// DefaultTransformName). indexIgnored is told why
// an MPF index that exists was not used. Raises TransformError (BadRequest() for an operation or
// region that does not fit the file), MpoError or InOutError; nothing is written then.
SetTransformResult TransformImageSet(const std::string& path, const std::string& output,
                                     const SetTransformOptions& options,
                                     const std::function<void(const std::string& reason)>& indexIgnored = {});

// "<FILE without its extension>_<operation><FILE's extension>" beside FILE; without an
// extension ".mpo" for a set of several images, else ".jpg".
std::string DefaultTransformName(const std::string& path, Operation operation, bool severalImages);

}  // namespace veltrane::transform

// SPDX-License-Identifier: GPL-3.0-or-later
// The MPO layout: the two eyes as the images of a multi-picture file of the disparity type,
// left eye first, written by core/mpo's writer. Uncropped, each image is copied byte for byte
// but for its MPF segment, as --join copies images. Cropped (alignment or parallax), each is
// cut block for block to the eyes' overlap, its origin on the iMCU grid of both images: the two
// crops are independent images, so, unlike the side-by-side layouts, the two JPEGs need not
// share tables or sampling, and the far edges of the overlap need not lie on the grid.
#include <algorithm>
#include <cmath>
#include <future>
#include <numeric>

#include "core/mpo/mpo_error.h"
#include "core/mpo/mpo_writer.h"
#include "imaging/stereo/compose_internal.h"
#include "imaging/stereo/lossless_crop.h"
#include "imaging/stereo/spatial_photos.h"

namespace veltrane::stereo {
namespace {

int RoundToMultiple(int value, int step) {
    return static_cast<int>(std::lround(static_cast<double>(value) / step)) * step;
}

std::vector<MpoImage> ImagesOf(const MpoImages& images) {
    std::vector<MpoImage> list(2);
    for (std::size_t i = 0; i < 2; ++i) list[i].source = MpoImageSource::Memory(images.Image(i), images.names[i]);
    return list;
}

// Runs the writer, its errors worded as the stereo library's ("the left image: not a complete
// JPEG image: ...").
template <typename Write>
auto Written(Write&& write) {
    try {
        return write();
    } catch (const MpoError& e) {
        throw StereoError("the " + e.Subject() + ": " + e.what());
    }
}

}  // namespace

MpoImages ComposeMpoImages(std::span<const std::uint8_t> leftBytes, std::span<const std::uint8_t> rightBytes,
                           const StereoOptions& options) {
    // The eyes: the images in file order, or exchanged; messages name each image by its place
    // in the pair whichever eye it serves.
    const JpegGeometry first = ReadJpegGeometry(leftBytes, options.limits, "left image");
    const JpegGeometry second = ReadJpegGeometry(rightBytes, options.limits, "right image");
    if (first.height != second.height)
        throw StereoError("the two images differ in height (" + std::to_string(first.height) + " and " +
                          std::to_string(second.height) + " pixels)");
    MpoImages mpo;
    mpo.inputs = {leftBytes, rightBytes};
    mpo.names = {"left image", "right image"};
    std::array<JpegGeometry, 2> eyes = {first, second};
    if (options.swap) {
        std::swap(mpo.inputs[0], mpo.inputs[1]);
        std::swap(mpo.names[0], mpo.names[1]);
        std::swap(eyes[0], eyes[1]);
    }
    const JpegGeometry& l = eyes[0];
    const JpegGeometry& r = eyes[1];
    StereoPicture& picture = mpo.picture;
    picture.lossless = true;
    picture.width = l.width;
    picture.height = l.height;
    if (!options.align && options.parallax == 0) return mpo;

    const int gridWidth = std::lcm(l.imcuWidth, r.imcuWidth), gridHeight = std::lcm(l.imcuHeight, r.imcuHeight);
    if (options.align) picture.measured = FindAlignment(mpo.inputs[0], mpo.inputs[1], options.limits);
    // The overlap of left(x, y) and right(x + across, y + down), the shift less the parallax
    // rounded to the grid, as the lossless side-by-side layouts round it. A spatial photo's eyes
    // keep their width: the headset moves them across by the disparity adjustment.
    const bool keepWidth = options.layout == Layout::Heic;
    const Alignment shift{keepWidth ? 0 : RoundToMultiple(picture.measured.across - options.parallax, gridWidth),
                          RoundToMultiple(picture.measured.down, gridHeight)};
    if (keepWidth && shift == Alignment{}) return mpo;
    PixelArea leftArea, rightArea;
    leftArea.x = std::max(0, -shift.across);
    rightArea.x = leftArea.x + shift.across;
    leftArea.y = std::max(0, -shift.down);
    rightArea.y = leftArea.y + shift.down;
    leftArea.width = rightArea.width = std::min(l.width - leftArea.x, r.width - rightArea.x);
    leftArea.height = rightArea.height = std::min(l.height - leftArea.y, r.height - rightArea.y);
    if (leftArea.width < 1 || leftArea.height < 1) throw StereoError("the two images do not overlap");
    picture.applied = shift;
    picture.cropped = true;
    picture.width = leftArea.width;
    picture.height = leftArea.height;
    // The two crops share nothing: the right one is cut on a second thread.
    auto rightCrop = std::async(std::launch::async, [&] {
        return CropLossless(mpo.inputs[1], rightArea, options.limits, mpo.names[1]);
    });
    mpo.crops[0] = CropLossless(mpo.inputs[0], leftArea, options.limits, mpo.names[0]);
    mpo.crops[1] = rightCrop.get();
    return mpo;
}

std::vector<std::uint8_t> BuildMpoPicture(const MpoImages& images) {
    return Written([&] { return BuildMpo(ImagesOf(images)); });
}

std::int64_t WriteMpoPicture(const MpoImages& images, const std::string& path) {
    return Written([&] { return WriteMpoFile(ImagesOf(images), path).fileSize; });
}

StereoPicture ComposeSpatialPhoto(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                                  const StereoOptions& options) {
    if (!SpatialPhotosAvailable()) throw StereoError(kSpatialPhotosUnavailable);
    // The eyes as the MPO layout has them (exchanged, cropped block for block), then each one
    // decoded and encoded as HEVC.
    const MpoImages images = ComposeMpoImages(left, right, options);
    StereoPicture picture = images.picture;
    // The shift across that the eyes kept, as the adjustment that puts the stereo window where
    // the other layouts' crops put it: right(x + across) shows left(x), so a negative shift
    // (the near scene further left in the right eye) asks for the eyes to move apart.
    std::optional<ShiftDisparity> shift;
    if ((options.align || options.parallax != 0) && picture.width > 0)
        shift = ShiftDisparity{static_cast<double>(options.parallax - picture.measured.across) / picture.width,
                               options.align ? "alignment" : "parallax"};
    const ChosenCamera camera =
        ChooseSpatialCamera(options.camera, CameraSourceOf(images.inputs[0], images.inputs[1]), shift);
    picture.bytes =
        EncodeSpatialPhoto(images.Image(0), images.Image(1), options.heicQuality, camera.values, options.limits);
    picture.cameraReport = camera.report;
    picture.lossless = false;
    picture.reencodeReason = "HEVC at quality " + std::to_string(options.heicQuality);
    return picture;
}

}  // namespace veltrane::stereo

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A stereo pair held open for a window: the two JPEG files as they are, for saving at full size,
// and the two pictures decoded once at a reduced size (preview.h), from which each change of a
// setting renders the preview again.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/images/scanner.h"
#include "imaging/stereo/preview.h"
#include "imaging/stereo/stereo.h"

namespace veltrane::stereo {

class StereoSession {
public:
    // Images first and second (1-based) of the MPO file, found as scan says, or the halves of a
    // JPS file, or the eyes of a spatial photo coded as JPEG (ReadStereoPair). Raises
    // StereoError or InOutError.
    StereoSession(const std::string& file, int first, int second, int previewSide, const ScanOptions& scan = {},
                  const CodecLimits& limits = {});
    // Two complete JPEG files.
    StereoSession(std::vector<std::uint8_t> left, std::vector<std::uint8_t> right, int previewSide,
                  const CodecLimits& limits = {});
    // A spatial photo (spatial_photos.h): its eyes decoded one at a time and scaled down for the
    // preview; only the preview is held, and Save decodes the eyes again at full size. Raises
    // StereoError or InOutError.
    static StereoSession FromSpatialPhoto(const std::string& path, int previewSide, const CodecLimits& limits = {});

    // The full size of the first image.
    int Width() const { return width_; }
    int Height() const { return height_; }
    // The pictures at the reduced size.
    const Eyes& Preview() const { return eyes_; }

    // The alignment in full-size pixels, measured on the reduced pictures.
    Alignment MeasureAlignment() const;
    // RenderStereo and WiggleFrames of the reduced pictures.
    RgbImage Render(const ViewSettings& settings) const;
    std::array<RgbImage, 2> Wiggle(const ViewSettings& settings) const;
    // The picture of the full images (options.limits are replaced by the session's), written to
    // path as SaveStereo does.
    void Save(StereoOptions options, const std::string& path) const;

private:
    StereoSession() = default;
    void DecodePreview(int previewSide);

    std::vector<std::uint8_t> left_, right_;
    std::string spatialPhoto_;  // the spatial photo's path, when the pair is one
    CodecLimits limits_;
    Eyes eyes_;
    int width_ = 0, height_ = 0;
};

// Every stereo picture that a window saves: ComposeStereo of the pair, written to path through a
// temporary file, so that a failure leaves nothing. Raises StereoError or InOutError.
void SaveStereo(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right, const StereoOptions& options,
                const std::string& path);

}  // namespace veltrane::stereo

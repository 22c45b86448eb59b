// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/stereo/stereo_session.h"

#include <tuple>
#include <utility>

#include "imaging/stereo/spatial_photos.h"
#include "imaging/stereo/stereo_files.h"

namespace veltrane::stereo {

StereoSession::StereoSession(const std::string& file, int first, int second, int previewSide, const ScanOptions& scan,
                             const CodecLimits& limits)
    : limits_(limits) {
    StereoPair pair = ReadStereoPair(file, first, second, false, limits, scan);
    left_ = std::move(pair.left);
    right_ = std::move(pair.right);
    DecodePreview(previewSide);
}

StereoSession::StereoSession(std::vector<std::uint8_t> left, std::vector<std::uint8_t> right, int previewSide,
                             const CodecLimits& limits)
    : left_(std::move(left)), right_(std::move(right)), limits_(limits) {
    DecodePreview(previewSide);
}

StereoSession StereoSession::FromSpatialPhoto(const std::string& path, int previewSide, const CodecLimits& limits) {
    StereoSession session;
    session.limits_ = limits;
    session.eyes_ = DecodeSpatialEyes(path, previewSide, limits, session.width_, session.height_);
    session.spatialPhoto_ = path;
    return session;
}

void StereoSession::DecodePreview(int previewSide) {
    Decoder header(left_, limits_, "left image");
    header.ReadHeader(false);
    width_ = static_cast<int>(header.info.image_width);
    height_ = static_cast<int>(header.info.image_height);
    eyes_ = DecodeEyes(left_, right_, previewSide, limits_);
}

Alignment StereoSession::MeasureAlignment() const { return stereo::MeasureAlignment(eyes_); }

RgbImage StereoSession::Render(const ViewSettings& settings) const { return RenderStereo(eyes_, settings); }

std::array<RgbImage, 2> StereoSession::Wiggle(const ViewSettings& settings) const {
    return WiggleFrames(eyes_, settings);
}

void StereoSession::Save(StereoOptions options, const std::string& path) const {
    options.limits = limits_;
    if (!spatialPhoto_.empty()) {
        const StereoPair pair = ReadSpatialPair(spatialPhoto_, limits_);
        options.camera.source = pair.camera;
        SaveStereo(pair.left, pair.right, options, path);
        return;
    }
    SaveStereo(left_, right_, options, path);
}

StereoPair StereoSession::FullPair() const {
    if (!spatialPhoto_.empty()) return ReadSpatialPair(spatialPhoto_, limits_);
    return {left_, right_, {}, false};
}

void SaveStereo(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right, const StereoOptions& options,
                const std::string& path) {
    WritePicture(ComposeStereo(left, right, options), path);
}

}  // namespace veltrane::stereo

#include "stereo/stereo_session.h"

#include <tuple>
#include <utility>

#include "stereo/stereo_files.h"

namespace veltrane::stereo {

StereoSession::StereoSession(const std::string& file, int first, int second, int previewSide, const ScanOptions& scan,
                             const CodecLimits& limits)
    : limits_(limits) {
    std::tie(left_, right_) = ReadPair(file, first, second, scan);
    DecodePreview(previewSide);
}

StereoSession::StereoSession(std::vector<std::uint8_t> left, std::vector<std::uint8_t> right, int previewSide,
                             const CodecLimits& limits)
    : left_(std::move(left)), right_(std::move(right)), limits_(limits) {
    DecodePreview(previewSide);
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
    SaveStereo(left_, right_, options, path);
}

void SaveStereo(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right, const StereoOptions& options,
                const std::string& path) {
    WritePicture(ComposeStereo(left, right, options), path);
}

}  // namespace veltrane::stereo

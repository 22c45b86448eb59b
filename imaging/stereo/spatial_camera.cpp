// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/stereo/spatial_camera.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numbers>

#include "core/exif_edit/exif_numbers.h"
#include "core/mpo/mpf_segment.h"

namespace veltrane::stereo {
namespace {

// The stereo cameras whose lens distance is known, by their EXIF Model.
struct KnownCamera {
    const char* model;
    double baselineMm;
    const char* name;
};
constexpr KnownCamera kKnownCameras[] = {
    {"Nintendo 3DS", 35, "Nintendo 3DS"},
    {"FinePix REAL 3D W1", 77, "FUJIFILM FinePix REAL 3D W1"},
    {"FinePix REAL 3D W3", 75, "FUJIFILM FinePix REAL 3D W3"},
};

constexpr double kDefaultBaselineMm = 65;    // the eyes' mean distance
constexpr double kDefaultFov = 60;           // degrees
constexpr double kMpfBaselineMinMm = 10, kMpfBaselineMaxMm = 300;
constexpr std::uint16_t kExifModel = 0x0110, kExifFocalLength35mm = 0xA405;

// A number with at most digits decimals, trailing zeros dropped ("35", "63.81").
std::string Trimmed(double value, int digits) {
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits).ptr;
    std::string text(buffer, end);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    return text;
}

std::string Fixed(double value, int digits, bool sign = false) {
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits).ptr;
    std::string text(buffer, end);
    if (text.starts_with("-") && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return sign && !text.starts_with("-") ? "+" + text : text;
}

std::string WithReason(std::string text, const std::string& reason) {
    return reason.empty() ? text : text + " (" + reason + ")";
}

// BaselineLength of an MPF payload in millimetres (the attribute holds metres).
std::optional<double> MpfBaselineMm(std::span<const std::uint8_t> payload) {
    const auto ifd = ReadMpAttributeIfd(payload);
    if (!ifd) return std::nullopt;
    for (const MpTag& tag : ifd->tags) {
        if (tag.tag != kMpTagBaselineLength || tag.type != kTiffRational || tag.value.size() < 8) continue;
        std::uint32_t numerator = 0, denominator = 0;
        for (int i = 0; i < 4; ++i) {
            numerator = (numerator << 8) | tag.value[static_cast<std::size_t>(i)];
            denominator = (denominator << 8) | tag.value[static_cast<std::size_t>(4 + i)];
        }
        if (denominator == 0) return std::nullopt;
        return static_cast<double>(numerator) / denominator * 1000;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ParseSpatialCameraOption(const std::string& option, const std::string& text,
                                                    SpatialCameraSettings& camera) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    const bool number = !text.empty() && ec == std::errc() && ptr == end && std::isfinite(value);
    if (option == "--baseline") {
        if (!number || value <= 0 || value > 10000)
            return "--baseline takes millimetres, more than 0 and at most 10000, as in --baseline 63.5";
        camera.baselineMm = value;
    } else if (option == "--fov") {
        if (!number || value <= 0 || value >= 180)
            return "--fov takes degrees, more than 0 and less than 180, as in --fov 65";
        camera.horizontalFov = value;
    } else {
        if (!number || value < -1 || value > 1)
            return "--disparity takes a fraction of the width from -1 to 1, as in --disparity 0.03";
        camera.disparityAdjustment = value;
    }
    return std::nullopt;
}

CameraSourceMetadata CameraSourceOf(std::span<const std::uint8_t> leftJpeg, std::span<const std::uint8_t> rightJpeg) {
    CameraSourceMetadata out;
    for (const auto jpeg : {leftJpeg, rightJpeg}) {
        //   FF D8, then segments FF mm LL LL <LL - 2 bytes> up to the first scan (FF DA)
        if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) continue;
        std::size_t pos = 2;
        while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
            const std::uint8_t marker = jpeg[pos + 1];
            if (marker == 0xFF) {
                ++pos;  // a fill byte
                continue;
            }
            if (marker == 0xDA || marker == 0xD9) break;
            const std::size_t length = (std::size_t{jpeg[pos + 2]} << 8) | jpeg[pos + 3];
            if (length < 2 || length > jpeg.size() - pos - 2) break;
            const auto payload = jpeg.subspan(pos + 4, length - 2);
            if (marker == 0xE1 && payload.size() >= 6 && std::memcmp(payload.data(), "Exif\0\0", 6) == 0)
                out.exif.emplace_back(payload.begin(), payload.end());
            else if (marker == 0xE2 && payload.size() >= 4 && std::memcmp(payload.data(), "MPF\0", 4) == 0)
                out.mpf.emplace_back(payload.begin(), payload.end());
            pos += 2 + length;
        }
    }
    return out;
}

ChosenCamera ChooseSpatialCamera(const SpatialCameraSettings& settings, const CameraSourceMetadata& source,
                                 std::optional<ShiftDisparity> shift) {
    ChosenCamera chosen;
    constexpr const char* kFromSource = "from the spatial photo";

    std::string baselineReason;
    if (settings.baselineMm) {
        chosen.values.baselineMm = *settings.baselineMm;
    } else if (settings.source.baselineMm && *settings.source.baselineMm > 0) {
        chosen.values.baselineMm = *settings.source.baselineMm;
        baselineReason = kFromSource;
    } else {
        chosen.values.baselineMm = kDefaultBaselineMm;
        baselineReason = "default";
        bool found = false;
        for (const auto& mpf : source.mpf) {
            const auto mm = MpfBaselineMm(mpf);
            if (mm && *mm >= kMpfBaselineMinMm && *mm <= kMpfBaselineMaxMm) {
                chosen.values.baselineMm = *mm;
                baselineReason = "MPF BaselineLength";
                found = true;
                break;
            }
        }
        for (std::size_t i = 0; !found && i < source.exif.size(); ++i) {
            const auto model = ReadExifText(source.exif[i], ExifDirectory::Ifd0, kExifModel);
            for (const KnownCamera& camera : kKnownCameras) {
                if (model && *model == camera.model) {
                    chosen.values.baselineMm = camera.baselineMm;
                    baselineReason = camera.name;
                    found = true;
                    break;
                }
            }
        }
    }

    std::string fovReason;
    if (settings.horizontalFov) {
        chosen.values.horizontalFov = *settings.horizontalFov;
    } else if (settings.source.horizontalFov) {
        chosen.values.horizontalFov = *settings.source.horizontalFov;
        fovReason = kFromSource;
    } else {
        chosen.values.horizontalFov = kDefaultFov;
        fovReason = "default";
        const auto f35 = source.exif.empty()
                             ? std::nullopt
                             : ReadExifNumber(source.exif.front(), ExifDirectory::Exif, kExifFocalLength35mm);
        if (f35 && *f35 > 0) {
            // A 35 mm frame is 36 mm across.
            chosen.values.horizontalFov = 2 * std::atan(18.0 / *f35) * 180 / std::numbers::pi;
            fovReason = "35 mm equivalent " + std::to_string(*f35) + " mm";
        }
    }

    std::string disparityReason;
    if (settings.disparityAdjustment) {
        chosen.values.disparityAdjustment = *settings.disparityAdjustment;
    } else if (shift) {
        chosen.values.disparityAdjustment = std::clamp(shift->fraction, -1.0, 1.0);
        disparityReason = shift->reason;
    } else if (settings.source.disparityAdjustment) {
        chosen.values.disparityAdjustment = *settings.source.disparityAdjustment;
        disparityReason = kFromSource;
    }
    // The adjustment is stored in 1/10,000 of the width: what is reported is what is written.
    chosen.values.disparityAdjustment = std::round(chosen.values.disparityAdjustment * 10000) / 10000;

    chosen.report = WithReason("baseline " + Trimmed(chosen.values.baselineMm, 2) + " mm", baselineReason) + ", " +
                    WithReason("field of view " + Fixed(chosen.values.horizontalFov, 1) + "\xC2\xB0", fovReason) +
                    ", " +
                    WithReason("disparity adjustment " + Fixed(chosen.values.disparityAdjustment * 100, 2, true) + "%",
                               disparityReason);
    return chosen;
}

}  // namespace veltrane::stereo

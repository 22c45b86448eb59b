// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/stereo/spatial_rewrite.h"

#include <cstdint>
#include <string_view>

#include "core/common/ascii.h"
#include "core/common/command_report.h"
#include "core/common/exit_codes.h"
#include "core/common/file_io.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/heif_boxes/heif_image_metadata.h"
#include "core/heif_boxes/stereo_camera.h"
#include "core/mpo/mpo_join.h"
#include "imaging/stereo/spatial_camera.h"
#include "imaging/stereo/stereo_files.h"

namespace veltrane::stereo {

std::optional<WrittenPicture> RewriteSpatialCamera(const std::string& source, const StereoOptions& options,
                                                   const std::string& path) {
    namespace hb = heif_boxes;
    if (options.layout != Layout::Heic || options.swap || options.align || options.parallax != 0) return std::nullopt;
    if (!IsExistingFile(source) || !hb::IsHeifFile(source)) return std::nullopt;
    // Only the boxes up to the end of the meta box are read; the coded eyes are copied from the
    // file by the file layer.
    InputFile file(source);
    WrittenPicture written;
    try {
        const hb::HeifStructure structure = hb::ReadHeifStructure(file);
        const auto pair = structure.FindStereoPair();
        if (!pair) return std::nullopt;  // the decoding path says why
        SpatialCameraSettings settings = options.camera;
        settings.source = hb::ReadStereoCamera(structure);
        // The defaults' EXIF: each eye's Exif item as an APP1 payload.
        CameraSourceMetadata metadata;
        for (const std::uint32_t eye : {pair->left, pair->right}) {
            const auto exif = structure.MetadataItemsOf(eye, hb::MakeFourCc("Exif"));
            if (exif.empty()) continue;
            std::vector<std::uint8_t> payload = {'E', 'x', 'i', 'f', 0, 0};
            const auto tiff = hb::ExifTiffFromPayload(hb::ItemPayload(structure, file, exif.front()));
            payload.insert(payload.end(), tiff.begin(), tiff.end());
            metadata.exif.push_back(std::move(payload));
        }
        const ChosenCamera camera = ChooseSpatialCamera(settings, metadata);
        const hb::HeifItem* left = structure.FindItem(pair->left);
        written.picture.width = static_cast<int>(left->width);
        written.picture.height = static_cast<int>(left->height);
        written.picture.lossless = true;
        written.picture.cameraReport = camera.report;
        written.fileSize = static_cast<std::int64_t>(hb::WriteWithStereoCamera(structure, file, camera.values, path));
    } catch (const hb::HeifFormatError& e) {
        throw StereoError(e.what());
    }
    return written;
}

std::string RewrittenLine(const std::string& output, const WrittenPicture& written) {
    return output + ": " + std::to_string(written.picture.width) + " x " + std::to_string(written.picture.height) +
           ", " + KiB(written.fileSize) + ", lossless, " + written.picture.cameraReport;
}

std::optional<int> RunSpatialCameraRewrite(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    StereoOptions options;
    bool heicLayout = false;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (i + 1 < args.size() && (a == "--baseline" || a == "--fov" || a == "--disparity")) {
            if (ParseSpatialCameraOption(a, args[++i], options.camera)) return std::nullopt;
        } else if (i + 1 < args.size() && a == "--layout") {
            if (args[++i] != "heic") return std::nullopt;
            heicLayout = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return std::nullopt;  // anything else is --stereo's business
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) return std::nullopt;
    const std::string& source = files[0];
    const std::string& output = files[1];
    const auto heicName = [](const std::string& name) {
        return name.size() >= 5 && EqualIgnoringAsciiCase(std::string_view(name).substr(name.size() - 5), ".heic");
    };
    if (!heicLayout && !heicName(output)) return std::nullopt;
    options.layout = Layout::Heic;
    try {
        if (KindOf(output) == PathKind::Directory || IsSameFile(source, output)) return std::nullopt;
        const std::optional<WrittenPicture> written = RewriteSpatialCamera(source, options, output);
        if (!written) return std::nullopt;
        out << RewrittenLine(output, *written) << "\n";
    } catch (const InOutError& e) {
        err << "veltrane: " << e.FileName() << ": " << e.what() << "\n";
        return kExitFailure;
    } catch (const StereoError& e) {
        err << "veltrane: " << source << ": " << e.what() << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace veltrane::stereo

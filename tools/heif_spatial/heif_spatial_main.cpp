// SPDX-License-Identifier: GPL-3.0-or-later
// veltrane-spatial: a developer tool for spatial photos (not installed).
//
//   veltrane-spatial info FILE.heic               the boxes' view: items, references, groups
//   veltrane-spatial parallel FILE.heic OUT.jpg [QUALITY]
//                                                 left | right as one JPEG (default quality 95)
//   veltrane-spatial encode LEFT.jpg RIGHT.jpg OUT.heic [QUALITY]
//                                                 a spatial photo of two JPEGs (default 90),
//                                                 each eye with its Exif and ICC profile
//   veltrane-spatial exif FILE.heic N OUT.tif     the Exif TIFF bytes of image N (1 left, 2 right)
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/common/file_io.h"
#include "core/heif_boxes/heif_image_metadata.h"
#include "core/heif_boxes/heif_structure.h"
#include "imaging/heif/spatial_photo.h"
#include "imaging/stereo/spatial_photos.h"
#include "tools/heif_spatial/jpeg_eyes.h"

namespace {

using namespace veltrane;
namespace hb = veltrane::heif_boxes;

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot be read");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    AtomicOutputFile out(path);
    out.Write(bytes.data(), bytes.size());
    out.Commit();
}

int Info(const std::string& path) {
    InputFile file(path);
    const auto s = hb::ReadHeifStructure(file);
    std::printf("brand %s, handler %s, primary item %u, meta box at %llu (%llu bytes)\n",
                hb::FourCcText(s.majorBrand).c_str(), hb::FourCcText(s.handler).c_str(), s.primaryItem,
                static_cast<unsigned long long>(s.meta.offset), static_cast<unsigned long long>(s.meta.size));
    for (const auto& item : s.items) {
        std::printf("item %u %s%s", item.id, hb::FourCcText(item.type).c_str(), item.hidden ? " hidden" : "");
        if (item.width != 0) std::printf(" %ux%u", item.width, item.height);
        if (item.location)
            std::printf(" method %u, %zu extent(s)", item.location->constructionMethod, item.location->extents.size());
        if (!s.IccProfileOf(item.id).empty()) std::printf(", ICC %zu bytes", s.IccProfileOf(item.id).size());
        if (item.nclx)
            std::printf(", nclx %u/%u/%u %s", item.nclx->colourPrimaries, item.nclx->transferCharacteristics,
                        item.nclx->matrixCoefficients, item.nclx->fullRange ? "full" : "limited");
        std::printf("\n");
    }
    for (const auto& ref : s.references) {
        std::printf("reference %s from %u to", hb::FourCcText(ref.type).c_str(), ref.from);
        for (const auto to : ref.to) std::printf(" %u", to);
        std::printf("\n");
    }
    for (const auto& group : s.groups) {
        std::printf("group %s %u:", hb::FourCcText(group.type).c_str(), group.groupId);
        for (const auto id : group.entities) std::printf(" %u", id);
        std::printf("\n");
    }
    const auto images = s.NumberedImages();
    for (std::size_t n = 0; n < images.size(); ++n) {
        const auto exif = s.MetadataItemsOf(images[n], hb::MakeFourCc("Exif"));
        std::printf("image %zu: item %u, Exif %s\n", n + 1, images[n],
                    exif.empty() ? "none" : ("item " + std::to_string(exif.front())).c_str());
    }
    return 0;
}

int Main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "info" && argc == 3) return Info(argv[2]);
    if (command == "parallel" && (argc == 4 || argc == 5)) {
        const auto photo = heif::SpatialPhoto::Open(argv[2]);
        WriteAll(argv[3], heif_tool::ParallelJpeg(photo, argc == 5 ? std::stoi(argv[4]) : 95));
        return 0;
    }
    if (command == "encode" && (argc == 5 || argc == 6)) {
        WriteAll(argv[4], stereo::EncodeSpatialPhoto(ReadAll(argv[2]), ReadAll(argv[3]), argc == 6 ? std::stoi(argv[5]) : 90,
                                                     {}, {}));
        return 0;
    }
    if (command == "exif" && argc == 5) {
        WriteAll(argv[4], hb::HeifImageExifTiff(argv[2], std::stoi(argv[3])));
        return 0;
    }
    std::fprintf(stderr,
                 "usage: veltrane-spatial info FILE.heic\n"
                 "       veltrane-spatial parallel FILE.heic OUT.jpg [QUALITY]\n"
                 "       veltrane-spatial encode LEFT.jpg RIGHT.jpg OUT.heic [QUALITY]\n"
                 "       veltrane-spatial exif FILE.heic N OUT.tif\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Main(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "veltrane-spatial: %s\n", e.what());
        return 1;
    }
}

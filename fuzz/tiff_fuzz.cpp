// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the EXIF reader as the contents of a ".tif" file.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/exif/exif_reader.h"
#include "core/metadata/metadata_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    veltrane::exif::ExifReader reader(veltrane::exif::FullReaderParts);
    reader.OpenBuffer(std::span<const std::uint8_t>(data, size), veltrane::exif::SourceFormat::Tiff);
    if (const auto* directory = reader.Directory()) {
        const auto& info = *directory;
        (void)info.TagValueByName("FocalLengthin35mmFilm");
        (void)info.NumberByName("XResolution");
    }
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the EXIF reader as the contents of a ".jpg" file, and reads the
// nineteen window rows and every stored tag from the result. The rows of the reader that keeps
// only the tags they show must equal the rows of the full reader: any difference aborts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/exif/exif_reader.h"
#include "core/metadata/exif_rows.h"
#include "core/metadata/metadata_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    veltrane::exif::ExifReader reader(veltrane::exif::FullReaderParts);
    reader.OpenBuffer(bytes, veltrane::exif::SourceFormat::Jpeg);
    if (const auto* directory = reader.Directory()) {
        for (const auto& tag : directory->Tags()) (void)directory->TagValueByName(tag.TagName);
    }
    const veltrane::exif::ExifRows rows = veltrane::exif::ExifWindowRows(bytes, 1, 1024, {});
    const veltrane::exif::ExifRows full = veltrane::exif::ExifWindowRows(reader, 1, 1024);
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].Value != full[i].Value) std::abort();
    return 0;
}

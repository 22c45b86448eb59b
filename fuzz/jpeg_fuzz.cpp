// Feeds arbitrary bytes to the EXIF reader as the contents of a ".jpg" file, and reads the
// nineteen window rows and every stored tag from the result.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/exif/exif_rows.h"
#include "core/exif/jpeg_sections.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    veltrane::exif::TimgData reader(255);
    reader.OpenBuffer(bytes, "fuzz.jpg");
    if (reader.ImageInfo) {
        const auto& info = *reader.ImageInfo;
        for (int i = 0; i < info.TagCount; ++i) (void)info.TagValueByName(info.TagList[static_cast<std::size_t>(i)].TagName);
    }
    (void)veltrane::exif::ExifWindowRows(bytes, " Image 001:  1 K");
    return 0;
}

// Placeholder until the EXIF reader lands: every value row shows "-".
#include "core/exif/exif_rows.h"

namespace veltrane::exif {
namespace {
ExifRows PlaceholderRows(const std::string& listEntry) {
    static const char* const kCaptions[19] = {
        "Image: ", "Description: ", "Manufacturer: ", "Camera: ", "Software: ", "Orientation: ",
        "Date Taken: ", "Exposure: ", "Exposure Mode: ", "Exposure Program: ", "F-Number: ",
        "Metering Method: ", "Flash: ", "ISO speed: ", "EXIF Image width: ", "EXIF Image height: ",
        "X resolution: ", "Y resolution: ", "Focal Length: "};
    ExifRows rows;
    for (int i = 0; i < 19; ++i) rows[i] = {kCaptions[i], i == 0 ? listEntry : "-"};
    return rows;
}
}  // namespace

ExifRows ExifWindowRows(const std::string&, const std::string& listEntry) {
    return PlaceholderRows(listEntry);
}
ExifRows ExifWindowRows(std::span<const std::uint8_t>, const std::string& listEntry) {
    return PlaceholderRows(listEntry);
}

}  // namespace veltrane::exif

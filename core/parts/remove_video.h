// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A motion photo without its video: every other byte of the file as it was, the video's bytes
// left out, and what pointed at the video changed so that no viewer looks for it:
//   - the container directory's video item is blanked out of the XMP (spaces in its place);
//   - GCamera:MotionPhoto and GCamera:MicroVideo become 0, GCamera:MicroVideoOffset and the
//     other MicroVideo properties are blanked;
//   - Samsung's trailer loses the video's record, its directory the entry, and the offsets of
//     the records before it shrink by the bytes removed.
// The XMP keeps its length (what is blanked becomes white space, which XML allows there), so
// every segment, the MPF index and its offsets stay as they were; the video must follow the
// images, as phones write it.
#include <cstdint>
#include <string>
#include <vector>

namespace veltrane::parts {

struct RemoveVideoReport {
    std::int64_t removedBytes = 0;
    std::int64_t fileSize = 0;        // of the output
    std::vector<std::string> changes; // "container directory: the video item", ...
};

// FILE_still.EXT beside FILE (".jpg" when FILE has no extension).
std::string DefaultStillName(const std::string& path);

// Writes source without its video to dest (temporary file and rename). Raises InOutError when a
// file cannot be read or written, MpoError (subject source) when there is no video to remove or
// it cannot be removed.
RemoveVideoReport RemoveVideo(const std::string& source, const std::string& dest);

}  // namespace veltrane::parts

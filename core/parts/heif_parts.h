// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The parts of a HEIF file (HEIC, AVIF): its image items (the primary, auxiliary images such as
// gain maps and depth maps, thumbnails), its Exif and XMP items, and file-level boxes that
// phones add ('mpvd', a motion photo's video; 'sefd', Samsung's trailer).
#include <string>

#include "core/parts/file_part.h"

namespace veltrane {
class InputFile;
}

namespace veltrane::parts {

// The parts of the HEIF file, numbered from 1 in file order. Raises InOutError when the file
// cannot be read.
PartList FindHeifParts(InputFile& file);

// Writes part (one of FindHeifParts' image items) of source to destPath as a file of its own,
// atomically. Raises InOutError when it cannot be written, std::runtime_error when the part
// cannot be written in this build.
void WriteHeifPartFile(InputFile& source, const FilePart& part, const std::string& destPath);

}  // namespace veltrane::parts

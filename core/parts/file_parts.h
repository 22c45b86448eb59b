// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every part of a file, whatever it is: the images and other parts of a JPEG-based file
// (core/parts/jpeg_parts.h) or the items and boxes of a HEIF file (core/parts/heif_parts.h);
// and the files a split writes for the parts beyond the images.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/images/extraction.h"
#include "core/images/scanner.h"
#include "core/parts/file_part.h"

namespace veltrane {
class InputFile;
}

namespace veltrane::parts {

// Whether the file begins with the 'ftyp' box of a HEIF file (HEIC, HEIF, AVIF brands).
bool IsHeifFile(InputFile& file);

struct FileParts {
    bool heif = false;
    ImageIndex index;  // the JPEG images, as the image list has them (none for a HEIF file)
    PartList list;
};

// The parts of the file at path; the JPEG images are found as options say (the scan's notices
// go to listener). Raises InOutError when the file cannot be opened or read.
FileParts FindFileParts(const std::string& path, const ScanOptions& options, ScanListener& listener);

// Whether part is one of the images of the image list (an MPO's JPEGs).
bool IsImagePart(const FilePart& part);

// What the scan and the split ask about the parts beyond the images: one object for the program.
const OtherParts& PartsBeyondImages();
// Decodes image item `item` of the HEIF file source into a PNG file at pngPath; raises
// InOutError (naming the source) when it cannot.
using HeifItemDecoder = std::function<void(const std::string& source, std::uint32_t item, const std::string& pngPath)>;
// The same as PartsBeyondImages, but a split writes the image items of a HEIF file as PNG files
// through decode (split --decode).
std::unique_ptr<OtherParts> PartsDecodingHeifImages(HeifItemDecoder decode);
// options, with the last image ending before other parts and a split of all images writing
// them too.
ScanOptions WithOtherParts(ScanOptions options);

// ".mp4" (video/mp4), ".mov" (video/quicktime), ".png", ".jpg", ".heic", ".avif", ".xmp",
// ".tif" (Exif data), else ".bin".
std::string PartExtension(std::string_view mime);
// job.folder + BaseName(job.source) + the part's three-digit number + PartExtension.
std::string PartFileName(const ExtractJob& job, const FilePart& part);

// Writes part of source to destPath atomically: its byte ranges copied, data inside XMP
// decoded (from the XMP of the image that starts at primaryStart), a HEIF image item as a HEIF
// file of its own. Raises InOutError when a file cannot be read or written; a part that cannot
// be had (XMP data that no longer decodes) raises it too, naming the source.
void WritePartFile(InputFile& source, const FilePart& part, std::int64_t primaryStart, const std::string& destPath);

// Writes the parts of list that are not images into job.folder, in their order. Returns how
// many were written; raises InOutError at the first failure, the files before it stay.
int WriteOtherPartFiles(const ExtractJob& job, const PartList& list, std::int64_t primaryStart);

}  // namespace veltrane::parts

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes images of an MPO file to numbered .jpg files: all, the odd or the even ones.
#include <cstdint>
#include <string>
#include <vector>

#include "core/common/extract_mode.h"
#include "core/images/image_index.h"

namespace veltrane {

// One split: the file, the folder the images go to and which of them.
struct ExtractJob {
    std::string source;
    // Empty (the current folder) or ending with the folder separator.
    std::string folder;
    ExtractMode selection = ExtractMode::All;
};

// Whether image n (numbered from 1) is written in mode.
bool IsImageSelected(ExtractMode mode, int n);

// The source's file name without its folder and its last four characters, followed by "_".
std::string BaseName(const std::string& sourceFileName);

// job.folder + BaseName(job.source) + the three-digit image number + ".jpg".
std::string OutputFileName(const ExtractJob& job, int n);

// Appends the folder separator unless the folder already ends with one; empty stays empty.
std::string WithTrailingSeparator(std::string folder);

// Copies image n of source, as index records it, to destPath byte for byte, replacing a file
// of that name. The last image runs to the source's current end (or to where a 1000th image
// started).
void CopyImageToFile(const std::string& source, const ImageIndex& index, int n, const std::string& destPath);

// The bytes of image n of source, read into memory (for readers that work on one image at a
// time).
std::vector<std::uint8_t> ReadImageBytes(const std::string& source, const ImageIndex& index, int n);

// Writes every image of job.source that job.selection selects into job.folder, in increasing
// order. Raises InOutError at the first image that cannot be read or written; the files of
// earlier images stay. Returns the number of files written.
int ExtractImages(const ExtractJob& job, const ImageIndex& index);

}  // namespace veltrane

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The batch split: a source file, optionally an output folder or a mode word, optionally a mode
// word; no dialog. Used by the command line and by the file manager's context-menu entry.
#include <string>
#include <vector>

#include "core/images/extraction.h"
#include "core/images/scanner.h"

namespace veltrane {

// The split that the parameters (1 to 3 of them) ask for:
//   FILE                 every image, next to the source file
//   FILE odd|even        the odd or even images, into the current folder
//   FILE FOLDER          every image, into FOLDER
//   FILE X odd|even      the third parameter replaces the mode; any other word means all
// Mode words are taken in any letter case.
ExtractJob BatchJob(const std::vector<std::string>& parameters);

struct BatchOutcome {
    int imagesFound = 0;
    int filesWritten = 0;   // images and other parts
    int partsWritten = 0;   // the other parts among them (a video, a depth map)
    bool limitReached = false;  // a 1000th image start was met; later images were left out
};

// Scans job.source into index and writes the selected images, copying each image on a second
// thread as soon as its end is known, while the scan reads on. The scan's notices reach
// listener on the calling thread. Raises InOutError on the first failure (a file that cannot be
// opened, read or written); files of earlier images stay, none is left partial.
BatchOutcome ScanAndExtract(const ExtractJob& job, ImageIndex& index, const ScanOptions& options,
                            ScanListener& listener);

}  // namespace veltrane

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Splitting many MPO files in one run, each into its own folder: what the file managers' "Extract
// Images" entry starts for a selection. Files are handed out to one worker per processor core, so
// a card full of small stereo photos keeps both cores busy; a file that fails does not stop the
// others.
#include <cstddef>
#include <string>
#include <vector>

#include "core/common/extract_mode.h"
#include "core/images/scanner.h"

namespace veltrane {

// What became of one file of the run.
struct EachFileOutcome {
    std::size_t position = 0;    // of the file in the list given
    std::string file;            // as given
    int imagesWritten = 0;
    int partsWritten = 0;        // the parts beyond the images (a video, a depth map)
    bool limitReached = false;   // the file holds more images than a split takes
    std::string mpfIgnored;      // why the file's MPF index was not used, when it has one
    bool failed = false;
    std::string failedFile;      // the file that could not be read or written (source or output)
    std::string cause;           // "File not found", "Disk full", ...
};

struct EachTotals {
    std::size_t files = 0;  // distinct files of the run
    int filesSplit = 0;
    int imagesWritten = 0;
    int partsWritten = 0;
    int failures = 0;
    int filesDone() const { return filesSplit + failures; }
};

// The run reports to its caller through this; both calls come one at a time, never overlapping.
class EachListener {
public:
    virtual ~EachListener() = default;
    // A file is done (split or failed); totals already count it. Called on a worker thread.
    virtual void FileFinished(const EachFileOutcome& outcome, const EachTotals& totals) = 0;
    // Called on the thread that started the run, a few times a second while it lasts.
    virtual void StillWorking(const EachTotals& /*totals*/) {}
};

// Splits every file into the folder that holds it, writing the images that mode selects; the
// images are found as options say. A file named twice (by the same full path) is split once.
// workers is the number of files split at the same time; 0 means one per processor core.
EachTotals SplitEachBesideItself(const std::vector<std::string>& files, ExtractMode mode,
                                 const ScanOptions& options, EachListener& listener, unsigned workers = 0);

// The number of worker threads for a run of fileCount files on this machine.
unsigned EachWorkerCount(std::size_t fileCount, unsigned requested = 0);

}  // namespace veltrane

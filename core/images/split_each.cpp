// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/images/split_each.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/images/batch.h"

namespace veltrane {
namespace {

// How often the calling thread wakes up to report that the run goes on.
constexpr auto kStillWorkingInterval = std::chrono::milliseconds(250);

// With pipeline set, images are copied on a thread of their own while the scan goes on (the
// batch split of one file); else the file is scanned and then copied, on this thread only.
EachFileOutcome SplitOne(std::size_t position, const std::string& file, ExtractMode mode,
                         const ScanOptions& options, bool pipeline) {
    EachFileOutcome outcome;
    outcome.position = position;
    outcome.file = file;
    ScanNotices notices;
    try {
        if (KindOf(file) != PathKind::File) throw InOutError(ioerr::FileNotFound, file);
        const ExtractJob job{file, WithTrailingSeparator(FolderPart(FullPath(file))), mode};
        ImageIndex index;
        if (pipeline) {
            const BatchOutcome written = ScanAndExtract(job, index, options, notices);
            outcome.imagesWritten = written.filesWritten - written.partsWritten;
            outcome.partsWritten = written.partsWritten;
            outcome.limitReached = written.limitReached;
        } else {
            ScanImageOffsets(index, file, options, notices);
            outcome.imagesWritten = ExtractImages(job, index);
            if (mode == ExtractMode::All && options.otherParts != nullptr)
                outcome.partsWritten = options.otherParts->WriteOtherParts(job, index);
            outcome.limitReached = notices.limitReached;
        }
        outcome.mpfIgnored = notices.mpfIgnored;
    } catch (const InOutError& e) {
        outcome.failed = true;
        outcome.failedFile = e.FileName();
        outcome.cause = e.what();
    }
    return outcome;
}

}  // namespace

unsigned EachWorkerCount(std::size_t fileCount, unsigned requested) {
    unsigned workers = requested;
    if (workers == 0) workers = std::max(1u, std::thread::hardware_concurrency());
    if (fileCount < workers) workers = static_cast<unsigned>(std::max<std::size_t>(fileCount, 1));
    return workers;
}

EachTotals SplitEachBesideItself(const std::vector<std::string>& files, ExtractMode mode,
                                 const ScanOptions& options, EachListener& listener, unsigned workers) {
    // The same file named twice (say "a.mpo" and "./a.mpo") would have two threads replace the
    // same output files; it is split once.
    std::vector<std::size_t> todo;
    {
        std::set<std::string> seen;
        for (std::size_t i = 0; i < files.size(); ++i)
            if (seen.insert(FullPath(files[i])).second) todo.push_back(i);
    }

    // Several files keep the workers busy by themselves; a second thread per file would only
    // add thread starts. One file alone gets the batch split's overlap of reading and writing.
    const bool pipeline = todo.size() == 1;
    std::mutex mutex;
    std::condition_variable allDone;
    EachTotals totals;
    totals.files = todo.size();
    std::size_t finished = 0;
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t k = next++; k < todo.size(); k = next++) {
            const EachFileOutcome outcome = SplitOne(todo[k], files[todo[k]], mode, options, pipeline);
            std::lock_guard lock(mutex);
            if (outcome.failed) {
                ++totals.failures;
            } else {
                ++totals.filesSplit;
                totals.imagesWritten += outcome.imagesWritten;
                totals.partsWritten += outcome.partsWritten;
            }
            listener.FileFinished(outcome, totals);
            if (++finished == todo.size()) allDone.notify_all();
        }
    };

    std::vector<std::thread> threads;
    const unsigned count = EachWorkerCount(todo.size(), workers);
    try {
        for (unsigned i = 0; i < count; ++i) threads.emplace_back(work);
    } catch (const std::system_error&) {
        // Fewer threads than asked for: those that started do the work; with none, this one.
        if (threads.empty()) work();
    }
    {
        std::unique_lock lock(mutex);
        while (!allDone.wait_for(lock, kStillWorkingInterval,
                                 [&] { return finished == todo.size(); }))
            listener.StillWorking(totals);
    }
    for (std::thread& thread : threads) thread.join();
    return totals;
}

}  // namespace veltrane

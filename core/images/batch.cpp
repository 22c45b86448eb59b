// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/images/batch.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>

#include "core/common/file_io.h"
#include "core/common/native_path.h"

namespace veltrane {
namespace {

// Copies images on a thread of its own, in the order they are handed over, while the scan goes
// on; once the scan has ended the scanning thread helps with what is left. Two images can thus
// be in flight at once, so each is written under a temporary name and gets its final name only
// after every earlier image has got its own: when a copy fails, the folder holds exactly the
// images before it, and a later image that was already complete is dropped. The first failure
// stops both threads; the error of the earliest failed image is handed back by Finish.
class CopyWorker {
public:
    struct Job {
        int n;
        std::int64_t start;
        std::int64_t end;  // -1: up to the source's current end
        std::string destPath;
    };

    // Keeps its own copy of the source's name: the index is the scanning thread's.
    explicit CopyWorker(std::string sourcePath)
        : sourcePath_(std::move(sourcePath)), thread_([this] { Work(); }) {}

    ~CopyWorker() {
        if (thread_.joinable()) {
            Close(true);
            thread_.join();
        }
    }

    void Push(Job job) {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back({std::move(job), pushed_++});
        }
        wake_.notify_one();
    }

    bool Failed() const { return failed_.load(std::memory_order_relaxed); }

    // Copies what is queued, with the calling thread helping (or drops it when cancel is set),
    // and raises the first error. Returns the number of files written.
    int Finish(bool cancel) {
        Close(cancel);
        if (!cancel) Work();
        thread_.join();
        if (error_) std::rethrow_exception(error_);
        return written_;
    }

private:
    struct Queued {
        Job job;
        int sequence;  // position among the pushed jobs: the order of the final names
    };

    void Close(bool cancel) {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
            if (cancel) jobs_.clear();
        }
        wake_.notify_all();
    }

    // Takes jobs until the queue is closed and empty, or a copy has failed.
    void Work() {
        std::unique_ptr<InputFile> source;
        for (;;) {
            Queued item;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return closing_ || !jobs_.empty(); });
                if (jobs_.empty() || failed_.load()) return;
                item = std::move(jobs_.front());
                jobs_.pop_front();
            }
            const Job& job = item.job;
            try {
                if (!source) source = std::make_unique<InputFile>(sourcePath_);
                const std::int64_t end = job.end >= 0 ? job.end : source->Size();
                AtomicOutputFile out(job.destPath);
                out.CopyFrom(*source, job.start, std::max<std::int64_t>(end - job.start, 0));
                // Wait for every earlier image to be named; give up when one of them failed.
                std::unique_lock lock(mutex_);
                named_.wait(lock, [&] { return committed_ == item.sequence || failedSequence_ < item.sequence; });
                if (failedSequence_ < item.sequence) return;  // out removes the finished copy
                out.Commit();
                ++committed_;
                ++written_;
                lock.unlock();
                named_.notify_all();
            } catch (...) {
                {
                    std::lock_guard lock(mutex_);
                    if (item.sequence < failedSequence_) {
                        failedSequence_ = item.sequence;
                        error_ = std::current_exception();
                    }
                    failed_.store(true);
                    jobs_.clear();
                }
                named_.notify_all();
                return;
            }
        }
    }

    const std::string sourcePath_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable named_;  // committed_ or failedSequence_ changed
    std::deque<Queued> jobs_;
    int pushed_ = 0;
    int committed_ = 0;
    int failedSequence_ = std::numeric_limits<int>::max();
    bool closing_ = false;
    std::atomic<bool> failed_{false};
    std::exception_ptr error_;
    int written_ = 0;
    std::thread thread_;  // last: starts once everything above exists
};

// Hands every selected image to the copying thread as soon as the scan knows its end, and stops
// the scan once a copy has failed.
class PipelineListener : public ScanListener {
public:
    PipelineListener(ScanListener& inner, const ExtractJob& job, const ImageIndex& index, CopyWorker& worker)
        : inner_(inner), job_(job), index_(index), worker_(worker) {}

    bool Continue(std::int64_t scannedBytes) override {
        return !worker_.Failed() && inner_.Continue(scannedBytes);
    }
    void ImageComplete(int n, std::int64_t sizeInBytes) override { inner_.ImageComplete(n, sizeInBytes); }
    void ImageLimitReached(std::int64_t offset) override {
        limitReached = true;
        inner_.ImageLimitReached(offset);
    }
    void MpfIndexIgnored(const std::string& reason) override { inner_.MpfIndexIgnored(reason); }
    void ImageRecorded(int n, std::int64_t offset) override {
        if (n > 1 && IsImageSelected(job_.selection, n - 1))
            worker_.Push({n - 1, index_.ImageOffsets[n - 1], offset, OutputFileName(job_, n - 1)});
        inner_.ImageRecorded(n, offset);
    }

    bool limitReached = false;

private:
    ScanListener& inner_;
    const ExtractJob& job_;
    const ImageIndex& index_;
    CopyWorker& worker_;
};

}  // namespace

ExtractJob BatchJob(const std::vector<std::string>& parameters) {
    ExtractJob job;
    job.source = parameters.empty() ? std::string() : parameters[0];
    if (parameters.size() < 2) {
        job.folder = WithTrailingSeparator(FolderPart(FullPath(job.source)));
    } else if (const auto mode = ParseModeWord(parameters[1])) {
        job.selection = *mode;
    } else {
        job.folder = WithTrailingSeparator(parameters[1]);
    }
    // A third word is the mode; any word but odd or even means all.
    if (parameters.size() >= 3) job.selection = ParseModeWord(parameters[2]).value_or(ExtractMode::All);
    return job;
}

BatchOutcome ScanAndExtract(const ExtractJob& job, ImageIndex& index, const ScanOptions& options,
                            ScanListener& listener) {
    BatchOutcome outcome;
    CopyWorker worker(job.source);
    PipelineListener pipeline(listener, job, index, worker);
    try {
        ScanImageOffsets(index, job.source, options, pipeline);
    } catch (...) {
        try {
            worker.Finish(true);
        } catch (...) {
            // the scan's own error is the one reported
        }
        throw;
    }
    if (worker.Failed()) {
        worker.Finish(true);  // raises the copy error that stopped the scan
        return outcome;
    }
    const int last = index.ImageCount;
    if (last >= 1 && IsImageSelected(job.selection, last))
        worker.Push({last, index.ImageOffsets[last], index.LastEnd(), OutputFileName(job, last)});
    outcome.filesWritten = worker.Finish(false);
    // Then what the file holds beyond its images, each part after the images it follows.
    if (job.selection == ExtractMode::All && options.otherParts != nullptr)
        outcome.filesWritten += options.otherParts->WriteOtherParts(job, index);
    outcome.imagesFound = index.ImageCount;
    outcome.limitReached = pipeline.limitReached;
    return outcome;
}

}  // namespace veltrane

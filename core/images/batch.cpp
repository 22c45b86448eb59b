// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/images/batch.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <limits>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>

#include "core/common/file_io.h"
#include "core/common/native_path.h"

namespace veltrane {
namespace {

// Images up to this size are written from the bytes the scan has read: one write costs a few
// microseconds where the kernel's file-range copy of a few KiB costs tens (its set-up dominates),
// and the bytes need not be read again. Larger images are copied file to file.
constexpr std::size_t kHeldImageLimit = std::size_t{64} << 10;
// At most this many bytes of held images wait for the writing thread; beyond it images are
// copied from the file, so memory stays bounded when writing lags behind the scan.
constexpr std::int64_t kMaxQueuedHeldBytes = std::int64_t{16} << 20;

// Copies images on a thread of its own, in the order they are handed over, while the scan goes
// on; once the scan has ended the scanning thread helps with what is left. Two images can thus
// be in flight at once, so each is written under a temporary name and gets its final name only
// after every earlier image has got its own: when a copy fails, the folder holds exactly the
// images before it, and a later image that was already complete is dropped. The first failure
// stops both threads; the error of the earliest failed image is handed back by Finish. The
// thread starts with the first image handed over; when the images come from the MPF index there
// is no scan to overlap with, and the calling thread writes them all in Finish.
class CopyWorker {
public:
    struct Job {
        int n;
        std::int64_t start;
        std::int64_t end;  // -1: up to the source's current end
        std::string destPath;
        std::vector<std::uint8_t> bytes;  // the image as the scan read it; empty: copy from the file
        std::span<const std::uint8_t> borrowed;  // the same, kept alive by the caller (WriteNow)
    };

    // Keeps its own copy of the source's name: the index is the scanning thread's.
    explicit CopyWorker(std::string sourcePath) : sourcePath_(std::move(sourcePath)) {}

    ~CopyWorker() {
        if (thread_.joinable()) {
            Close(true);
            thread_.join();
        }
    }

    void Push(Job job) {
        queuedHeldBytes_.fetch_add(static_cast<std::int64_t>(job.bytes.size()), std::memory_order_relaxed);
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back({std::move(job), pushed_++});
        }
        wake_.notify_one();
        if (!thread_.joinable() && !callerOnly_) {
            try {
                thread_ = std::thread([this] { Work(); });
            } catch (const std::system_error&) {
                callerOnly_ = true;  // without a thread, Finish writes everything
            }
        }
    }

    // No scan follows (the images come from the MPF index): the images are written by the
    // calling thread in Finish, without a thread of their own.
    void CallerOnly() { callerOnly_ = true; }

    bool Failed() const { return failed_.load(std::memory_order_relaxed); }

    // Writes a small image on the calling thread when nothing is queued or being written: handing
    // it over would cost more than writing it. False (job untouched) when the thread is busy.
    bool WriteNow(Job& job, std::span<const std::uint8_t> bytes) {
        Queued item;
        {
            std::lock_guard lock(mutex_);
            if (!jobs_.empty() || committed_ != pushed_ || failed_.load()) return false;
            item = {std::move(job), pushed_++};
        }
        item.job.borrowed = bytes;
        Run(item, inlineSource_);
        return true;
    }
    std::int64_t QueuedHeldBytes() const { return queuedHeldBytes_.load(std::memory_order_relaxed); }

    // Copies what is queued, with the calling thread helping (or drops it when cancel is set),
    // and raises the first error. Returns the number of files written.
    int Finish(bool cancel) {
        Close(cancel);
        if (!cancel) Work();
        if (thread_.joinable()) thread_.join();
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
            const bool queued = !item.job.bytes.empty();
            const auto held = static_cast<std::int64_t>(item.job.bytes.size());
            const bool ok = Run(item, source);
            if (queued) queuedHeldBytes_.fetch_sub(held, std::memory_order_relaxed);
            if (!ok) return;
        }
    }

    // Writes the job's image and names it once every earlier image has its name. False when
    // it or an earlier image failed.
    bool Run(Queued& item, std::unique_ptr<InputFile>& source) {
        Job& job = item.job;
        try {
            AtomicOutputFile out(job.destPath);
            if (!job.borrowed.empty()) {
                out.Write(job.borrowed.data(), job.borrowed.size());
            } else if (!job.bytes.empty()) {
                out.Write(job.bytes.data(), job.bytes.size());
                std::vector<std::uint8_t>().swap(job.bytes);
            } else {
                if (!source) source = std::make_unique<InputFile>(sourcePath_);
                const std::int64_t end = job.end >= 0 ? job.end : source->Size();
                out.CopyFrom(*source, job.start, std::max<std::int64_t>(end - job.start, 0));
            }
            // Wait for every earlier image to be named; give up when one of them failed.
            std::unique_lock lock(mutex_);
            named_.wait(lock, [&] { return committed_ == item.sequence || failedSequence_ < item.sequence; });
            if (failedSequence_ < item.sequence) return false;  // out removes the finished copy
            out.Commit();
            ++committed_;
            ++written_;
            lock.unlock();
            named_.notify_all();
            return true;
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
            return false;
        }
    }

    std::unique_ptr<InputFile> inlineSource_;  // the calling thread's, for WriteNow

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
    std::atomic<std::int64_t> queuedHeldBytes_{0};
    std::exception_ptr error_;
    int written_ = 0;
    bool callerOnly_ = false;  // the calling thread's alone
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
    void MpfIndexUsed(const MpfIndex& index) override {
        worker_.CallerOnly();
        inner_.MpfIndexUsed(index);
    }
    void ChunkRead(std::int64_t offset, std::span<const std::uint8_t> bytes) override {
        chunk_ = bytes;
        chunkStart_ = offset;
        // The open image keeps its bytes while it may still turn out small.
        const std::size_t kept = held_.size() - heldBegin_;
        if (holding_ && heldStart_ + static_cast<std::int64_t>(kept) == offset && kept <= kHeldImageLimit) {
            held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(heldBegin_));
            heldBegin_ = 0;
            held_.insert(held_.end(), bytes.begin(), bytes.end());
        } else {
            Release();
        }
        inner_.ChunkRead(offset, bytes);
    }
    void ImageRecorded(int n, std::int64_t offset) override {
        // Image n - 1 ends at offset: its bytes go with it when they are all at hand. When the
        // copying thread is idle it is written right here, from the held bytes themselves.
        const std::int64_t size = offset - heldStart_;
        const bool held = holding_ && n > 1 && heldStart_ == index_.ImageOffsets[n - 1] && size > 0 &&
                          size <= static_cast<std::int64_t>(std::min(held_.size() - heldBegin_, kHeldImageLimit));
        if (n > 1 && IsImageSelected(job_.selection, n - 1)) {
            CopyWorker::Job job{n - 1, index_.ImageOffsets[n - 1], offset, OutputFileName(job_, n - 1), {}, {}};
            const std::span<const std::uint8_t> bytes =
                held ? std::span<const std::uint8_t>(held_.data() + heldBegin_, static_cast<std::size_t>(size))
                     : std::span<const std::uint8_t>();
            if (bytes.empty() || !worker_.WriteNow(job, bytes)) {
                if (!bytes.empty() && worker_.QueuedHeldBytes() + size <= kMaxQueuedHeldBytes)
                    job.bytes.assign(bytes.begin(), bytes.end());
                worker_.Push(std::move(job));
            }
        }
        // Image n starts at offset: its bytes read so far are the rest of the held ones, or the
        // rest of the chunk.
        if (held) {
            heldBegin_ += static_cast<std::size_t>(size);
            heldStart_ = offset;
        } else if (!chunk_.empty() && offset >= chunkStart_ &&
                   offset <= chunkStart_ + static_cast<std::int64_t>(chunk_.size())) {
            held_.assign(chunk_.begin() + (offset - chunkStart_), chunk_.end());
            heldBegin_ = 0;
            heldStart_ = offset;
            holding_ = true;
        } else {
            Release();
        }
        inner_.ImageRecorded(n, offset);
    }

    bool limitReached = false;

private:
    void Release() {
        holding_ = false;
        heldBegin_ = 0;
        std::vector<std::uint8_t>().swap(held_);
    }

    ScanListener& inner_;
    const ExtractJob& job_;
    const ImageIndex& index_;
    CopyWorker& worker_;
    // The bytes of the image that started last, from heldStart_ on, while it is small.
    std::vector<std::uint8_t> held_;
    std::size_t heldBegin_ = 0;  // held_[heldBegin_] is the byte at heldStart_
    std::int64_t heldStart_ = -1;
    bool holding_ = false;
    std::span<const std::uint8_t> chunk_;  // the chunk being searched
    std::int64_t chunkStart_ = 0;
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
        worker.Push({last, index.ImageOffsets[last], index.LastEnd(), OutputFileName(job, last), {}, {}});
    outcome.filesWritten = worker.Finish(false);
    // Then what the file holds beyond its images, each part after the images it follows.
    if (job.selection == ExtractMode::All && options.otherParts != nullptr) {
        outcome.partsWritten = options.otherParts->WriteOtherParts(job, index);
        outcome.filesWritten += outcome.partsWritten;
    }
    outcome.imagesFound = index.ImageCount;
    outcome.limitReached = pipeline.limitReached;
    return outcome;
}

}  // namespace veltrane

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/cli/file_batch.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <new>
#include <thread>

#include "core/common/file_io.h"
#include "core/common/io_error.h"

namespace veltrane {

// A list of names, read in chunks from its file or from standard input.
class FileNameSource::ListReader {
public:
    explicit ListReader(const std::string& path) {
        if (path != "-") file_ = std::make_unique<InputFile>(path);
    }

    // The next line that is not empty, without its line end; false at the end of the list.
    bool NextLine(std::string& line) {
        while (true) {
            line.clear();
            bool any = false;
            int c;
            while ((c = Get()) >= 0 && c != '\n') {
                line += static_cast<char>(c);
                any = true;
            }
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (atStart_) {
                atStart_ = false;
                if (line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
            }
            if (!line.empty()) return true;
            if (c < 0 && !any) return false;
        }
    }

private:
    int Get() {
        if (pos_ == end_) {
            end_ = file_ ? file_->Read(buffer_, sizeof buffer_) : std::fread(buffer_, 1, sizeof buffer_, stdin);
            pos_ = 0;
            if (end_ == 0) return -1;
        }
        return static_cast<unsigned char>(buffer_[pos_++]);
    }

    std::unique_ptr<InputFile> file_;
    char buffer_[16384];
    std::size_t pos_ = 0, end_ = 0;
    bool atStart_ = true;
};

FileNameSource::FileNameSource(std::vector<FileNameWord> words) : words_(std::move(words)) {}

FileNameSource::~FileNameSource() = default;

bool FileNameSource::Next(std::string& name) {
    while (error_.empty()) {
        if (list_) {
            try {
                if (list_->NextLine(name)) return true;
            } catch (const InOutError& e) {
                error_ = "veltrane: " + e.FileName() + ": " + e.what();
                return false;
            }
            list_.reset();
            continue;
        }
        if (next_ >= words_.size()) return false;
        const FileNameWord& word = words_[next_++];
        if (!word.IsList) {
            name = word.Text;
            return true;
        }
        try {
            list_ = std::make_unique<ListReader>(word.Text);
        } catch (const InOutError& e) {
            error_ = "veltrane: " + e.FileName() + ": " + e.what();
        }
    }
    return false;
}

namespace {

// The job, with anything that escapes it turned into a failure of the file.
FileReport RunJob(const FileJob& job, const std::string& path) {
    try {
        return job(path);
    } catch (const std::bad_alloc&) {
        return {{}, "veltrane: " + path + ": out of memory\n", true};
    } catch (const std::exception& e) {
        return {{}, "veltrane: " + path + ": " + e.what() + "\n", true};
    }
}

// A file in flight: its name, and its report once a worker has made it.
struct Slot {
    std::string Path;
    FileReport Report;
    bool Done = false;
};

// The worker threads and the files in flight. The calling thread reads the names, keeps up to
// window files in flight and hands on the reports in order; the workers take the files in the
// order of the names.
class Workers {
public:
    Workers(const FileJob& job, unsigned threads) : job_(job) {
        threads_.reserve(threads);
        for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
    }
    ~Workers() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        waiting_.notify_all();
        for (std::thread& thread : threads_) thread.join();
    }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    void Add(std::string path) {
        auto slot = std::make_unique<Slot>();
        slot->Path = std::move(path);
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            pending_.push_back(slot.get());
            inFlight_.push_back(std::move(slot));
        }
        waiting_.notify_one();
    }
    std::size_t InFlight() const { return inFlight_.size(); }  // read by the calling thread only
    // Waits for the oldest file's report and takes it out of the window.
    std::unique_ptr<Slot> TakeOldest() {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return inFlight_.front()->Done; });
        std::unique_ptr<Slot> slot = std::move(inFlight_.front());
        inFlight_.pop_front();
        return slot;
    }

private:
    void Work() {
        while (true) {
            Slot* slot = nullptr;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                waiting_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
                if (stopping_ || pending_.empty()) return;  // stopping: the reports are no longer wanted
                slot = pending_.front();
                pending_.pop_front();
            }
            FileReport report = RunJob(job_, slot->Path);
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                slot->Report = std::move(report);
                slot->Done = true;
            }
            done_.notify_all();
        }
    }

    const FileJob& job_;
    std::mutex mutex_;
    std::condition_variable waiting_, done_;
    std::deque<std::unique_ptr<Slot>> inFlight_;  // in the order of the names
    std::deque<Slot*> pending_;                   // not yet taken by a worker
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace

std::size_t RunFileJobs(FileNameSource& names, const FileJob& job, const FileReportSink& sink,
                        unsigned threads) {
    std::size_t failed = 0;
    const auto handOn = [&](const std::string& path, bool several, FileReport& report) {
        if (report.Failed) ++failed;
        sink(path, several, report);
    };
    std::string first, second;
    if (!names.Next(first)) return 0;
    if (!names.Next(second)) {
        FileReport report = RunJob(job, first);
        handOn(first, false, report);
        return failed;
    }

    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    threads = std::min(threads, 16u);
    // Enough files in flight that a slow one does not leave the other threads idle for long.
    const std::size_t window = std::max<std::size_t>(8, 4 * std::size_t{threads});
    Workers workers(job, threads);
    workers.Add(std::move(first));
    workers.Add(std::move(second));
    std::string name;
    bool more = true;
    while (true) {
        while (more && workers.InFlight() < window && (more = names.Next(name))) workers.Add(std::move(name));
        if (workers.InFlight() == 0) break;
        const std::unique_ptr<Slot> slot = workers.TakeOldest();
        handOn(slot->Path, true, slot->Report);
    }
    return failed;
}

}  // namespace veltrane

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Commands that read many files: --exif, --info, --tags, --iptc, --list and --mpf take any
// number of files. The names come from the command line and from lists of names ("-@ LIST"),
// which are read only as far as the files in flight need; the files are read several at a time
// on worker threads, and their reports are handed on in the order of the names. At most a fixed
// number of files is in flight, so memory stays the same whether a command reads ten files or a
// hundred thousand.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veltrane {

// A word of the command line that names files: a file name, or a list of file names.
struct FileNameWord {
    std::string Text;
    bool IsList = false;  // "-@ LIST": the file LIST (standard input for "-") names one file a line
};

// The names of the words in order. A list is read a line at a time: a "\r" before the line
// end is dropped (lists written on Windows), empty lines are skipped, and so is a UTF-8 byte
// order mark at its start. Names are UTF-8.
class FileNameSource {
public:
    explicit FileNameSource(std::vector<FileNameWord> words);
    ~FileNameSource();
    FileNameSource(const FileNameSource&) = delete;
    FileNameSource& operator=(const FileNameSource&) = delete;

    // The next name; false when there is none. A list that cannot be read ends the names
    // there, and Error says why ("veltrane: LIST: cause").
    bool Next(std::string& name);
    const std::string& Error() const { return error_; }

private:
    class ListReader;
    std::vector<FileNameWord> words_;
    std::size_t next_ = 0;
    std::unique_ptr<ListReader> list_;
    std::string error_;
};

// What the job of one file produced.
struct FileReport {
    std::string Out;  // for stdout
    std::string Err;  // for stderr: whole lines
    bool Failed = false;
};

using FileJob = std::function<FileReport(const std::string& path)>;
// Receives the reports in the order of the names; several says whether the command reads more
// than one file (known before the first report arrives).
using FileReportSink = std::function<void(const std::string& path, bool several, FileReport& report)>;

// Runs job for every name of names and hands each report to sink, on the calling thread. One
// file is read on the calling thread alone; more are read on up to `threads` worker threads
// (0: one per processor core), with at most a few files per thread in flight. An exception that
// escapes job (running out of memory) fails that file with its text. Returns the number of
// files that failed.
std::size_t RunFileJobs(FileNameSource& names, const FileJob& job, const FileReportSink& sink,
                        unsigned threads = 0);

}  // namespace veltrane

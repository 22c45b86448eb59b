// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small file layer of the splitter: a read-only source, and output files that appear under
// their final name only once they are complete. Every failure raises InOutError naming the file.
#include <cstddef>
#include <cstdint>
#include <string>

namespace veltrane {

// Folder separator of the platform, used wherever a folder path is joined with a name.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

bool IsPathSeparator(char c);

// A file opened for reading only, so read-only and shared files can be split.
class InputFile {
public:
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& Path() const { return path_; }
    std::int64_t Size() const;
    // Reads up to n bytes at the current position; returns the count, 0 at the end of file.
    std::size_t Read(void* buffer, std::size_t n);
    // Reads exactly n bytes at offset; a shorter file raises "Read beyond end of file".
    void ReadAt(std::int64_t offset, void* buffer, std::size_t n);
    int Handle() const { return fd_; }

private:
    std::string path_;
    int fd_ = -1;
};

// Writes a file that appears under its final name only on Commit, replacing a file of that name.
// On Linux the data goes to an unnamed file in the destination's folder that Commit links in;
// elsewhere to a hidden temporary name in that folder (".NAME.part-PID-N") that Commit renames.
// Destroyed without Commit, it removes what it wrote: a failed write never leaves a partial or
// empty file behind.
class AtomicOutputFile {
public:
    explicit AtomicOutputFile(std::string finalPath);
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    void Write(const void* data, std::size_t n);
    // Appends length bytes of source from offset on, through the kernel's file-range copy where
    // the platform has one, else in bounded chunks.
    void CopyFrom(InputFile& source, std::int64_t offset, std::int64_t length);
    void Commit();

private:
    void OpenTemporaryName();
    void CloseChecked();

    std::string finalPath_;
    std::string tempPath_;  // empty while the file has no name (Linux O_TMPFILE)
    int fd_ = -1;
};

// Copies length bytes of source at offset into a new file at destPath (replacing it), atomically.
void CopyRangeToFile(InputFile& source, std::int64_t offset, std::int64_t length,
                     const std::string& destPath);

}  // namespace veltrane

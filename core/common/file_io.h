// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small file layer of the splitter: a read-only source, and output files that appear under
// their final name only once they are complete. Every failure raises InOutError naming the file.
#include <cstddef>
#include <cstdint>
#include <memory>
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

// A range of an open file mapped into memory read-only, for readers that look at every byte of a
// file and write it out again: the bytes are not copied into a buffer first. Should the file
// shrink while it is mapped, its pages past the new end read as zeros instead of stopping the
// program, and Intact turns false.
class FileMapping {
public:
    // Null where the platform maps no files or the mapping fails: read the range instead.
    static std::unique_ptr<FileMapping> Map(InputFile& file, std::int64_t offset, std::size_t length);
    ~FileMapping();
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;

    const std::uint8_t* Data() const { return data_; }
    std::size_t Size() const { return size_; }
    bool Intact() const;

private:
    FileMapping() = default;
    void* base_ = nullptr;
    std::size_t mappedLength_ = 0;
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    int slot_ = -1;  // in the table of mappings that the bus-error handler guards
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
    // Overwrites n bytes at offset, which lie inside what was written; later writes still append.
    void WriteAt(std::int64_t offset, const void* data, std::size_t n);
    // Appends length bytes of source from offset on, through the kernel's file-range copy where
    // the platform has one and the range is long, else in bounded chunks.
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

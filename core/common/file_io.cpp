// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/common/file_io.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/common/process_id.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace veltrane {
namespace {

constexpr std::size_t kCopyChunk = 1 << 20;  // bounded buffer for copies without copy_file_range

[[noreturn]] void Fail(int err, const std::string& path) {
    throw InOutError(InOutCodeFromErrno(err), path);
}

#ifdef _WIN32
// Paths are UTF-8; the wide functions take any name, whatever the system's ANSI code page, and
// a path of any length (WidePathForApi).
int OpenRead(const std::string& p) {
    return ::_wopen(WidePathForApi(p).c_str(), _O_RDONLY | _O_BINARY);
}
int OpenNewExclusive(const std::string& p) {
    return ::_wopen(WidePathForApi(p).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                    _S_IREAD | _S_IWRITE);
}
void RemoveFile(const std::string& p) { ::_wremove(WidePathForApi(p).c_str()); }
std::int64_t SeekTo(int fd, std::int64_t off) { return ::_lseeki64(fd, off, SEEK_SET); }
long long RawRead(int fd, void* b, std::size_t n) {
    return ::_read(fd, b, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30)));
}
long long RawWrite(int fd, const void* b, std::size_t n) {
    return ::_write(fd, b, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30)));
}
int CloseFd(int fd) { return ::_close(fd); }
bool ReplaceFile(const std::string& from, const std::string& to) {
    return ::MoveFileExW(WidePathForApi(from).c_str(), WidePathForApi(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING) != 0;
}
int LastRenameError() {
    switch (::GetLastError()) {
    case ERROR_ACCESS_DENIED: return EACCES;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND: return ENOENT;
    case ERROR_DISK_FULL: return ENOSPC;
    default: return static_cast<int>(::GetLastError());
    }
}
#else
int OpenRead(const std::string& p) { return ::open(p.c_str(), O_RDONLY | O_CLOEXEC); }
int OpenNewExclusive(const std::string& p) {
    return ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
void RemoveFile(const std::string& p) { std::remove(p.c_str()); }
std::int64_t SeekTo(int fd, std::int64_t off) { return ::lseek(fd, off, SEEK_SET); }
long long RawRead(int fd, void* b, std::size_t n) { return ::read(fd, b, n); }
long long RawWrite(int fd, const void* b, std::size_t n) { return ::write(fd, b, n); }
int CloseFd(int fd) { return ::close(fd); }
bool ReplaceFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}
int LastRenameError() { return errno; }
#endif

// The folder part of path with its separator: what comes before FileNamePart.
std::string FolderOf(const std::string& path) {
    return path.substr(0, path.size() - FileNamePart(path).size());
}

// The one scheme of temporary names for outputs that are not complete yet: a hidden name in the
// destination's folder, "." + the final name + ".part-" + the process number + "-" + a counter,
// so that two threads or two programs writing the same file never share one.
std::string TemporaryNameFor(const std::string& finalPath) {
    static std::atomic<unsigned> counter{0};
    const std::string folder = FolderOf(finalPath);
    static const std::string pid = std::to_string(CurrentProcessId());
    return folder + "." + finalPath.substr(folder.size()) + ".part-" + pid + "-" +
           std::to_string(counter.fetch_add(1));
}

}  // namespace

bool IsPathSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/' || c == ':';
#else
    return c == '/';
#endif
}

InputFile::InputFile(const std::string& path) : path_(path) {
    fd_ = OpenRead(path);
    if (fd_ < 0) Fail(errno, path);
}

InputFile::~InputFile() {
    if (fd_ >= 0) CloseFd(fd_);
}

std::int64_t InputFile::Size() const {
#ifdef _WIN32
    struct _stati64 st;
    if (::_fstati64(fd_, &st) != 0) Fail(errno, path_);
#else
    struct stat st;
    if (::fstat(fd_, &st) != 0) Fail(errno, path_);
#endif
    return static_cast<std::int64_t>(st.st_size);
}

std::size_t InputFile::Read(void* buffer, std::size_t n) {
    for (;;) {
        long long got = RawRead(fd_, buffer, n);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) Fail(errno, path_);
    }
}

void InputFile::ReadAt(std::int64_t offset, void* buffer, std::size_t n) {
    if (SeekTo(fd_, offset) < 0) Fail(errno, path_);
    auto* p = static_cast<unsigned char*>(buffer);
    while (n > 0) {
        std::size_t got = Read(p, n);
        if (got == 0) throw InOutError(ioerr::ReadBeyondEnd, path_);
        p += got;
        n -= got;
    }
}

AtomicOutputFile::AtomicOutputFile(std::string finalPath) : finalPath_(std::move(finalPath)) {
#ifdef __linux__
    const std::string folder = FolderOf(finalPath_);
    // An unnamed file in the destination folder (O_TMPFILE): nothing can be left behind under
    // any name, and naming it on Commit costs one link instead of a create and a rename.
    static const bool procFds = ::access("/proc/self/fd", X_OK) == 0;
    if (procFds) {
        fd_ = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ >= 0) return;
    }
#endif
    OpenTemporaryName();
}

void AtomicOutputFile::OpenTemporaryName() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath_ = TemporaryNameFor(finalPath_);
        fd_ = OpenNewExclusive(tempPath_);
        if (fd_ >= 0) return;
        if (errno != EEXIST) break;
    }
    const int err = errno;
    tempPath_.clear();
    Fail(err, finalPath_);
}

AtomicOutputFile::~AtomicOutputFile() {
    if (fd_ >= 0) CloseFd(fd_);
    if (!tempPath_.empty()) RemoveFile(tempPath_);
}

void AtomicOutputFile::Write(const void* data, std::size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (n > 0) {
        long long put = RawWrite(fd_, p, n);
        if (put < 0) {
            if (errno == EINTR) continue;
            Fail(errno, finalPath_);
        }
        if (put == 0) Fail(ENOSPC, finalPath_);
        p += put;
        n -= static_cast<std::size_t>(put);
    }
}

void AtomicOutputFile::CopyFrom(InputFile& source, std::int64_t offset, std::int64_t length) {
#ifdef __linux__
    // In-kernel copy: no user-space buffer, and on many file systems no data copy at all.
    off_t in = static_cast<off_t>(offset);
    std::int64_t left = length;
    bool kernelCopy = true;
    while (left > 0 && kernelCopy) {
        ssize_t n = ::copy_file_range(source.Handle(), &in, fd_, nullptr,
                                      static_cast<std::size_t>(std::min<std::int64_t>(left, 1 << 30)), 0);
        if (n > 0) {
            left -= n;
        } else if (n == 0) {
            throw InOutError(ioerr::ReadBeyondEnd, source.Path());
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                   errno == EBADF) {
            kernelCopy = false;  // fall back to reads and writes for what is left
        } else if (errno == ENOSPC || errno == EFBIG || errno == EDQUOT) {
            Fail(errno, finalPath_);
        } else {
            Fail(errno, source.Path());
        }
    }
    offset = static_cast<std::int64_t>(in);
    length = left;
    if (length == 0) return;
#endif
    std::vector<unsigned char> buffer(static_cast<std::size_t>(
        std::min<std::int64_t>(length, static_cast<std::int64_t>(kCopyChunk))));
    while (length > 0) {
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(length, static_cast<std::int64_t>(buffer.size())));
        source.ReadAt(offset, buffer.data(), n);
        Write(buffer.data(), n);
        offset += static_cast<std::int64_t>(n);
        length -= static_cast<std::int64_t>(n);
    }
}

void AtomicOutputFile::Commit() {
#ifdef __linux__
    if (tempPath_.empty()) {
        // The unnamed file gets its final name; a file already there is replaced by linking
        // under a temporary name first and renaming that over it.
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, finalPath_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            CloseChecked();
            return;
        }
        if (errno != EEXIST) Fail(errno, finalPath_);
        for (int attempt = 0; attempt < 100 && tempPath_.empty(); ++attempt) {
            const std::string candidate = TemporaryNameFor(finalPath_);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0)
                tempPath_ = candidate;
            else if (errno != EEXIST)
                Fail(errno, finalPath_);
        }
        if (tempPath_.empty()) Fail(EEXIST, finalPath_);
    }
#endif
    CloseChecked();
    if (!ReplaceFile(tempPath_, finalPath_)) Fail(LastRenameError(), finalPath_);
    tempPath_.clear();
}

void AtomicOutputFile::CloseChecked() {
    const int fd = fd_;
    fd_ = -1;
    if (CloseFd(fd) != 0) Fail(errno, finalPath_);
}

void CopyRangeToFile(InputFile& source, std::int64_t offset, std::int64_t length,
                     const std::string& destPath) {
    AtomicOutputFile out(destPath);
    out.CopyFrom(source, offset, length);
    out.Commit();
}

}  // namespace veltrane

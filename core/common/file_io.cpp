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
#include <csignal>

#include <sys/mman.h>
#include <unistd.h>
#endif

namespace veltrane {
namespace {

constexpr std::size_t kCopyChunk = 1 << 20;  // bounded buffer for copies without copy_file_range
#ifdef __linux__
// The in-kernel copy is used where source and output lie alike in pages of this size; other
// ranges are written from mappings of this many bytes of the source at a time.
constexpr off_t kPageAlignment = 4096;
constexpr std::int64_t kMappedCopyWindow = std::int64_t{2} << 20;
#endif
// Ranges up to this size are read and written: the file-range copy's set-up costs more than
// copying a few KiB through a buffer (tens of microseconds against a few).
constexpr std::int64_t kShortCopy = std::int64_t{64} << 10;

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
long long RawWriteAt(int fd, const void* b, std::size_t n, std::int64_t off) {
    const std::int64_t end = ::_lseeki64(fd, 0, SEEK_END);
    if (end < 0 || ::_lseeki64(fd, off, SEEK_SET) < 0) return -1;
    const long long put = RawWrite(fd, b, n);
    const int err = errno;
    if (::_lseeki64(fd, end, SEEK_SET) < 0) return -1;
    errno = err;
    return put;
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
long long RawWriteAt(int fd, const void* b, std::size_t n, std::int64_t off) {
    return ::pwrite(fd, b, n, static_cast<off_t>(off));
}
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

void AtomicOutputFile::WriteAt(std::int64_t offset, const void* data, std::size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (n > 0) {
        long long put = RawWriteAt(fd_, p, n, offset);
        if (put < 0) {
            if (errno == EINTR) continue;
            Fail(errno, finalPath_);
        }
        if (put == 0) Fail(ENOSPC, finalPath_);
        p += put;
        n -= static_cast<std::size_t>(put);
        offset += put;
    }
}

void AtomicOutputFile::CopyFrom(InputFile& source, std::int64_t offset, std::int64_t length) {
#ifdef __linux__
    if (length <= kShortCopy) {
        unsigned char buffer[kShortCopy];
        const auto n = static_cast<std::size_t>(std::max<std::int64_t>(length, 0));
        for (std::size_t done = 0; done < n;) {
            const ssize_t got = ::pread(source.Handle(), buffer + done, n - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
            if (got == 0) throw InOutError(ioerr::ReadBeyondEnd, source.Path());
            if (got < 0) {
                if (errno == EINTR) continue;
                Fail(errno, source.Path());
            }
            done += static_cast<std::size_t>(got);
        }
        Write(buffer, n);
        return;
    }
    // In-kernel copy: no user-space buffer, and on many file systems no data copy at all. That
    // needs the source and the output at the same place in their pages: a range that starts
    // elsewhere in its page (a motion photo's video after its JPEG) has the kernel shift every
    // page across two, slower than one copy from a mapping of the source (further below).
    off_t in = static_cast<off_t>(offset);
    std::int64_t left = length;
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    bool kernelCopy = at >= 0 && (in - at) % kPageAlignment == 0;
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
    // Written from a mapping of the source, a window at a time: one copy of the data where a
    // buffer takes two. A source that shrinks meanwhile is an error, as for any read past its end.
    while (length > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(length, kMappedCopyWindow));
        const std::unique_ptr<FileMapping> mapping = FileMapping::Map(source, offset, n);
        if (!mapping) break;
        if (offset > source.Size() || static_cast<std::int64_t>(n) > source.Size() - offset)
            throw InOutError(ioerr::ReadBeyondEnd, source.Path());
        Write(mapping->Data(), n);
        if (!mapping->Intact()) throw InOutError(ioerr::ReadBeyondEnd, source.Path());
        offset += static_cast<std::int64_t>(n);
        length -= static_cast<std::int64_t>(n);
    }
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

#ifdef __linux__
namespace {

// Gives the unnamed file fd the name path; 0 or the error. Linking the descriptor itself
// (AT_EMPTY_PATH) spares the lookup of its /proc/self/fd entry, but needs a privilege that most
// users lack: once refused it is not tried again.
int LinkUnnamedFile(int fd, const std::string& path) {
    static std::atomic<bool> emptyPathRefused{false};
    if (!emptyPathRefused.load(std::memory_order_relaxed)) {
        if (::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return 0;
        if (errno != ENOENT && errno != EPERM && errno != EINVAL) return errno;
        emptyPathRefused.store(true, std::memory_order_relaxed);
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

}  // namespace
#endif

void AtomicOutputFile::Commit() {
#ifdef __linux__
    if (tempPath_.empty()) {
        // The unnamed file gets its final name; a file already there is replaced by linking
        // under a temporary name first and renaming that over it.
        const int linked = LinkUnnamedFile(fd_, finalPath_);
        if (linked == 0) {
            CloseChecked();
            return;
        }
        if (linked != EEXIST) Fail(linked, finalPath_);
        for (int attempt = 0; attempt < 100 && tempPath_.empty(); ++attempt) {
            const std::string candidate = TemporaryNameFor(finalPath_);
            const int result = LinkUnnamedFile(fd_, candidate);
            if (result == 0)
                tempPath_ = candidate;
            else if (result != EEXIST)
                Fail(result, finalPath_);
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

#ifndef _WIN32
namespace {

// The mappings in use, for the bus-error handler: a file that shrinks under a mapping makes the
// pages past its end fault. The handler puts a page of zeros in the place of such a page and
// marks the mapping; any other bus error gets the default action.
constexpr int kMappingSlots = 64;
struct MappingSlot {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> faulted{false};
    std::atomic<bool> used{false};
};
MappingSlot mappingSlots[kMappingSlots];
struct sigaction previousBusAction;

void OnBusError(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (MappingSlot& slot : mappingSlots) {
        if (address >= slot.begin.load() && address < slot.end.load()) {
            const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
            void* at = reinterpret_cast<void*>(address & ~(page - 1));
            if (::mmap(at, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
                slot.faulted.store(true);
                return;
            }
        }
    }
    // Not a page of a mapping: what would have happened without the handler happens.
    if (previousBusAction.sa_flags & SA_SIGINFO) {
        if (previousBusAction.sa_sigaction != nullptr) return previousBusAction.sa_sigaction(signal, info, context);
    } else if (previousBusAction.sa_handler != SIG_DFL && previousBusAction.sa_handler != SIG_IGN) {
        return previousBusAction.sa_handler(signal);
    }
    ::signal(SIGBUS, SIG_DFL);
}

bool GuardBusErrors() {
    static const bool guarded = [] {
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        return ::sigaction(SIGBUS, &action, &previousBusAction) == 0;
    }();
    return guarded;
}

}  // namespace
#endif

std::unique_ptr<FileMapping> FileMapping::Map(InputFile& file, std::int64_t offset, std::size_t length) {
#ifdef _WIN32
    (void)file, (void)offset, (void)length;
    return nullptr;
#else
    if (length == 0 || offset < 0 || !GuardBusErrors()) return nullptr;
    int slot = -1;
    for (int i = 0; i < kMappingSlots && slot < 0; ++i) {
        bool expected = false;
        if (mappingSlots[i].used.compare_exchange_strong(expected, true)) slot = i;
    }
    if (slot < 0) return nullptr;
    const auto page = static_cast<std::int64_t>(::sysconf(_SC_PAGESIZE));
    const std::int64_t aligned = offset - offset % page;
    const auto mappedLength = static_cast<std::size_t>(offset - aligned) + length;
    void* base = ::mmap(nullptr, mappedLength, PROT_READ, MAP_PRIVATE | MAP_POPULATE, file.Handle(), static_cast<off_t>(aligned));
    if (base == MAP_FAILED) {
        mappingSlots[slot].used.store(false);
        return nullptr;
    }
    std::unique_ptr<FileMapping> mapping(new FileMapping);
    mapping->base_ = base;
    mapping->mappedLength_ = mappedLength;
    mapping->data_ = static_cast<const std::uint8_t*>(base) + (offset - aligned);
    mapping->size_ = length;
    mapping->slot_ = slot;
    MappingSlot& s = mappingSlots[slot];
    s.faulted.store(false);
    s.begin.store(reinterpret_cast<std::uintptr_t>(base));
    s.end.store(reinterpret_cast<std::uintptr_t>(base) + mappedLength);
    return mapping;
#endif
}

FileMapping::~FileMapping() {
#ifndef _WIN32
    MappingSlot& s = mappingSlots[slot_];
    s.end.store(0);  // first: an empty range while begin is still set
    s.begin.store(0);
    ::munmap(base_, mappedLength_);
    s.used.store(false);
#endif
}

bool FileMapping::Intact() const {
#ifdef _WIN32
    return true;
#else
    return !mappingSlots[slot_].faulted.load();
#endif
}

void CopyRangeToFile(InputFile& source, std::int64_t offset, std::int64_t length,
                     const std::string& destPath) {
    AtomicOutputFile out(destPath);
    out.CopyFrom(source, offset, length);
    out.Commit();
}

}  // namespace veltrane

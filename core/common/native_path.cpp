#include "core/common/native_path.h"

#include <sys/stat.h>
#include <sys/types.h>

#include "core/common/file_io.h"

#ifdef _WIN32
#include <windows.h>

#include "core/common/unicode_text.h"
#else
#include <climits>
#include <cstdlib>
#include <unistd.h>
#endif

namespace veltrane {

#ifdef _WIN32
namespace {

// Calls a Win32 function that fills a wide buffer and returns the length it wrote, or the size
// it needs (terminator included) when the buffer is too small; the text in UTF-8, or "" on failure.
template <typename Fill>
std::string WideResult(Fill fill) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD n = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::string();
        if (n < buffer.size()) return Utf8FromWide(std::wstring_view(buffer.data(), n));
        buffer.resize(n);
    }
    return std::string();
}

}  // namespace
#endif

std::string FullPath(const std::string& path) {
    if (path.empty()) return CurrentFolder();
#ifdef _WIN32
    const std::wstring wide = WideFromUtf8(path);
    const std::string full = WideResult([&wide](wchar_t* buffer, DWORD size) {
        return ::GetFullPathNameW(wide.c_str(), size, buffer, nullptr);
    });
    return full.empty() ? path : full;
#else
    if (path[0] == '/') return path;
    std::string folder = CurrentFolder();
    if (folder.empty()) return path;
    if (folder.back() != '/') folder += '/';
    return folder + path;
#endif
}

std::string FolderPart(const std::string& path) {
    std::size_t i = path.size();
    while (i > 0 && !IsPathSeparator(path[i - 1])) --i;
    std::string folder = path.substr(0, i);
    // Keep a root ("/" or "C:\") whole; drop the separator of any other folder.
    if (folder.size() > 1 && IsPathSeparator(folder.back()) &&
        !(folder.size() == 3 && folder[1] == ':'))
        folder.pop_back();
    return folder;
}

std::string FileNamePart(const std::string& path) {
    std::size_t start = path.size();
    while (start > 0 && !IsPathSeparator(path[start - 1])) --start;
    return path.substr(start);
}

std::string CurrentFolder() {
#ifdef _WIN32
    return WideResult([](wchar_t* buffer, DWORD size) { return ::GetCurrentDirectoryW(size, buffer); });
#else
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
#endif
}

std::string TempFolder() {
#ifdef _WIN32
    std::string folder =
        WideResult([](wchar_t* buffer, DWORD size) { return ::GetTempPathW(size, buffer); });
#else
    const char* tmpdir = std::getenv("TMPDIR");
    std::string folder = tmpdir != nullptr && tmpdir[0] == '/' ? tmpdir : "/tmp";
#endif
    if (!folder.empty() && !IsPathSeparator(folder.back())) folder += kPathSeparator;
    return folder;
}

PathKind KindOf(const std::string& path) {
#ifdef _WIN32
    struct _stati64 st;
    if (::_wstati64(WideFromUtf8(path).c_str(), &st) != 0) return PathKind::Missing;
#else
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return PathKind::Missing;
#endif
    switch (st.st_mode & S_IFMT) {
        case S_IFREG: return PathKind::File;
        case S_IFDIR: return PathKind::Directory;
        default: return PathKind::Other;
    }
}

bool IsExistingFile(const std::string& path) {
    return KindOf(path) == PathKind::File;
}

std::int64_t EntrySize(const std::string& path) {
#ifdef _WIN32
    struct _stati64 st;
    if (::_wstati64(WideFromUtf8(path).c_str(), &st) != 0) return -1;
#else
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return -1;
#endif
    return static_cast<std::int64_t>(st.st_size);
}

bool IsOwnFolder(const std::string& path) {
#ifdef _WIN32
    const DWORD attributes = ::GetFileAttributesW(WideFromUtf8(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
#else
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
#endif
}

bool CreateOwnFolder(const std::string& path) {
#ifdef _WIN32
    if (::CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr)) return true;
#else
    if (::mkdir(path.c_str(), 0700) == 0) return true;
#endif
    return IsOwnFolder(path);
}

}  // namespace veltrane

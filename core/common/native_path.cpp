#include "core/common/native_path.h"

#include <sys/stat.h>
#include <sys/types.h>

#include "core/common/file_io.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <climits>
#include <cstdlib>
#include <unistd.h>
#endif

namespace veltrane {

std::string FullPath(const std::string& path) {
    if (path.empty()) return CurrentFolder();
#ifdef _WIN32
    char buffer[MAX_PATH * 4];
    const DWORD n = ::GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : path;
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

std::string CurrentFolder() {
#ifdef _WIN32
    char buffer[MAX_PATH * 4];
    const DWORD n = ::GetCurrentDirectoryA(sizeof buffer, buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
#else
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
#endif
}

PathKind KindOf(const std::string& path) {
#ifdef _WIN32
    struct _stati64 st;
    if (::_stati64(path.c_str(), &st) != 0) return PathKind::Missing;
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
    if (::_stati64(path.c_str(), &st) != 0) return -1;
#else
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return -1;
#endif
    return static_cast<std::int64_t>(st.st_size);
}

}  // namespace veltrane

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/common/native_path.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <string_view>

#include "core/common/file_io.h"

#ifdef _WIN32
#include <windows.h>

#include "core/common/unicode_text.h"
#else
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>
#endif

namespace veltrane {
namespace {

// Both separators count in Windows paths, on every platform (ExtendedLengthPath is plain text).
bool IsWindowsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// "C:\..." or "\\server\...": a path that names the same file whatever the current folder.
bool IsFullyQualified(const std::string& path) {
    if (path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == ':' && IsWindowsSeparator(path[2])) return true;
    return path.size() >= 2 && IsWindowsSeparator(path[0]) && IsWindowsSeparator(path[1]);
}

// The part of path from pos up to the next separator (or the end); moves pos past it.
std::string_view NextPart(const std::string& path, std::size_t& pos) {
    const std::size_t start = pos;
    while (pos < path.size() && !IsWindowsSeparator(path[pos])) ++pos;
    std::string_view part(path.data() + start, pos - start);
    if (pos < path.size()) ++pos;
    return part;
}

}  // namespace

std::string ExtendedLengthPath(const std::string& path) {
    // Already extended ("\\?\") or a device path ("\\.\"): the system takes it as it is.
    if (path.size() >= 4 && IsWindowsSeparator(path[0]) && IsWindowsSeparator(path[1]) &&
        (path[2] == '?' || path[2] == '.') && IsWindowsSeparator(path[3]))
        return path;
    if (!IsFullyQualified(path)) return path;
    std::string root;
    std::size_t pos = 0;
    if (path[1] == ':') {
        root = std::string("\\\\?\\") + path[0] + ":\\";
        pos = 3;
    } else {
        // \\server\share\...: the server and the share are the root, which ".." never leaves.
        pos = 2;
        const std::string_view server = NextPart(path, pos);
        const std::string_view share = NextPart(path, pos);
        if (server.empty() || share.empty()) return path;
        root = "\\\\?\\UNC\\" + std::string(server) + "\\" + std::string(share) + "\\";
    }
    std::vector<std::string_view> parts;
    while (pos < path.size()) {
        const std::string_view part = NextPart(path, pos);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string extended = root;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) extended += '\\';
        extended += parts[i];
    }
    if (!parts.empty() && IsWindowsSeparator(path.back())) extended += '\\';
    return extended;
}

#ifdef _WIN32
std::wstring WidePathForApi(const std::string& path) {
    std::wstring wide = WideFromUtf8(path);
    const bool qualified = IsFullyQualified(path);
    if (qualified && wide.size() < kLongPathLength) return wide;
    // A relative name is long when the current folder put before it makes it so.
    const std::string full = qualified ? path : FullPath(path);
    if (!qualified && WideFromUtf8(full).size() < kLongPathLength) return wide;
    return WideFromUtf8(ExtendedLengthPath(full));
}

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

#ifdef _WIN32
namespace {

struct EntryFacts {
    PathKind kind = PathKind::Missing;
    std::int64_t size = -1;
};

// What the entry at path is, and its size, links followed. The entry is opened for no access at
// all, which reads its attributes whatever other programs have it open for (the C runtime's
// stat would refuse the "?" of the extended-length form as a wildcard). Devices and pipes are
// "other".
EntryFacts FactsOf(const std::string& path) {
    EntryFacts facts;
    HANDLE entry = ::CreateFileW(WidePathForApi(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (entry == INVALID_HANDLE_VALUE) return facts;
    BY_HANDLE_FILE_INFORMATION info{};
    facts.kind = PathKind::Other;
    if (::GetFileType(entry) == FILE_TYPE_DISK && ::GetFileInformationByHandle(entry, &info)) {
        facts.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Directory : PathKind::File;
        facts.size = static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
    }
    ::CloseHandle(entry);
    return facts;
}

}  // namespace
#endif

PathKind KindOf(const std::string& path) {
#ifdef _WIN32
    return FactsOf(path).kind;
#else
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return PathKind::Missing;
    switch (st.st_mode & S_IFMT) {
        case S_IFREG: return PathKind::File;
        case S_IFDIR: return PathKind::Directory;
        default: return PathKind::Other;
    }
#endif
}

bool IsExistingFile(const std::string& path) {
    return KindOf(path) == PathKind::File;
}

std::int64_t EntrySize(const std::string& path) {
#ifdef _WIN32
    return FactsOf(path).size;
#else
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
#endif
}

bool EntryExists(const std::string& path) {
#ifdef _WIN32
    return ::GetFileAttributesW(WidePathForApi(path).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
#endif
}

std::vector<std::string> FolderEntryNames(const std::string& folder) {
    std::vector<std::string> names;
    if (folder.empty()) return names;
#ifdef _WIN32
    std::string pattern = folder;
    if (!pattern.empty() && !IsPathSeparator(pattern.back())) pattern += kPathSeparator;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileExW(WidePathForApi(pattern + "*").c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(Utf8FromWide(name));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
#else
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, std::filesystem::directory_options::skip_permission_denied, ec);
    for (const std::filesystem::directory_iterator end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
#endif
    return names;
}

bool RemoveTree(const std::string& path) {
#ifdef _WIN32
    const std::wstring wide = WidePathForApi(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return !EntryExists(path);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ::DeleteFileW(wide.c_str()) != 0;
    // A link to a folder (a junction or a symbolic link) is a folder entry of its own: removing
    // it leaves what it points to alone.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        std::string folder = path;
        if (!IsPathSeparator(folder.back())) folder += kPathSeparator;
        for (const std::string& name : FolderEntryNames(path)) RemoveTree(folder + name);
    }
    return ::RemoveDirectoryW(wide.c_str()) != 0;
#else
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    return !EntryExists(path);
#endif
}

bool IsOwnFolder(const std::string& path) {
#ifdef _WIN32
    const DWORD attributes = ::GetFileAttributesW(WidePathForApi(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
#else
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
#endif
}

bool CreateOwnFolder(const std::string& path) {
#ifdef _WIN32
    if (::CreateDirectoryW(WidePathForApi(path).c_str(), nullptr)) return true;
#else
    if (::mkdir(path.c_str(), 0700) == 0) return true;
#endif
    return IsOwnFolder(path);
}

namespace {

#ifdef _WIN32
// The volume and file index of an existing file, through a handle that reads nothing.
bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = ::CreateFileW(WideFromUtf8(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
    ::CloseHandle(h);
    return ok;
}
#endif

}  // namespace

bool IsSameFile(const std::string& a, const std::string& b) {
#ifdef _WIN32
    BY_HANDLE_FILE_INFORMATION ia, ib;
    if (FileIdentity(a, ia) && FileIdentity(b, ib))
        return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
               ia.nFileIndexLow == ib.nFileIndexLow;
#else
    struct stat sa, sb;
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
#endif
    return FullPath(a) == FullPath(b);
}

}  // namespace veltrane

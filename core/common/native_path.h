#pragma once
// File-system queries on narrow paths in the platform's own encoding (UTF-8 on Linux, the ANSI
// code page on Windows, which is what the command line delivers there). std::filesystem's narrow
// conversions assume UTF-8 on Windows, so the splitter does not use them for user paths.
#include <cstdint>
#include <string>

namespace veltrane {

// The absolute form of path (resolved against the current folder); path itself on failure.
std::string FullPath(const std::string& path);
// The folder part of an absolute path, without its final separator.
std::string FolderPart(const std::string& path);
// The current working folder.
std::string CurrentFolder();

// What path names: nothing, a regular file, a folder, or anything else (a device, a pipe, a
// socket), following links.
enum class PathKind { Missing, File, Directory, Other };
PathKind KindOf(const std::string& path);
// Whether path names a regular file: the one test of "does this file exist" before a file is
// read. Devices and pipes are not files here; reading one could wait forever.
bool IsExistingFile(const std::string& path);
// Size in bytes of the entry at path, or -1 when there is none.
std::int64_t EntrySize(const std::string& path);

}  // namespace veltrane

#pragma once
// File-system queries on paths in UTF-8, on every platform. On Windows they go through the wide
// (UTF-16) functions, so a name outside the system's ANSI code page is found all the same.
#include <cstdint>
#include <string>

namespace veltrane {

// The absolute form of path (resolved against the current folder); path itself on failure.
std::string FullPath(const std::string& path);
// The folder part of an absolute path, without its final separator.
std::string FolderPart(const std::string& path);
// The name part of a path: what follows its last folder separator (the whole path when it has
// none).
std::string FileNamePart(const std::string& path);
// The current working folder.
std::string CurrentFolder();
// The system's folder for temporary files, ending with the folder separator: GetTempPathW on
// Windows (TMP, TEMP, USERPROFILE or the Windows folder), else TMPDIR or /tmp.
std::string TempFolder();

// What path names: nothing, a regular file, a folder, or anything else (a device, a pipe, a
// socket), following links.
enum class PathKind { Missing, File, Directory, Other };
PathKind KindOf(const std::string& path);
// Whether path names a regular file: the one test of "does this file exist" before a file is
// read. Devices and pipes are not files here; reading one could wait forever.
bool IsExistingFile(const std::string& path);
// Size in bytes of the entry at path, or -1 when there is none.
std::int64_t EntrySize(const std::string& path);

// Whether path is a folder itself (not a link to one) that belongs to the user running the
// program. On Windows every folder counts as the user's: the temporary folder is the user's own.
bool IsOwnFolder(const std::string& path);
// Creates the folder at path for the user alone (no access for others), or accepts the one
// there when IsOwnFolder holds for it. Returns whether such a folder is there now; a folder of
// somebody else, a link or a file of that name is never used.
bool CreateOwnFolder(const std::string& path);

}  // namespace veltrane

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File-system queries on paths in UTF-8, on every platform. On Windows they go through the wide
// (UTF-16) functions, so a name outside the system's ANSI code page is found all the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
// Whether the two paths name the same file: the same device and file number (so links and
// other spellings of a path count), or the same full path when either does not exist.
bool IsSameFile(const std::string& a, const std::string& b);
// Size in bytes of the entry at path, or -1 when there is none.
std::int64_t EntrySize(const std::string& path);

// Whether anything has the name path, a link included (even one whose target is gone): links are
// not followed.
bool EntryExists(const std::string& path);
// The names of the entries of folder, "." and ".." left out, in no particular order; none when
// the folder cannot be read.
std::vector<std::string> FolderEntryNames(const std::string& folder);
// Removes path: a file, a link (never what it points to), or a folder with everything in it.
// Goes on past what cannot be removed (a file that a viewer holds open on Windows); returns
// whether nothing is left at path.
bool RemoveTree(const std::string& path);

// Whether path is a folder itself (not a link to one) that belongs to the user running the
// program. On Windows every folder counts as the user's: the temporary folder is the user's own.
bool IsOwnFolder(const std::string& path);
// Creates the folder at path for the user alone (no access for others), or accepts the one
// there when IsOwnFolder holds for it. Returns whether such a folder is there now; a folder of
// somebody else, a link or a file of that name is never used.
bool CreateOwnFolder(const std::string& path);

// Windows file functions take at most MAX_PATH (260) units, the terminating NUL included, and
// CreateDirectoryW 12 fewer (room for an 8.3 name). A longer path reaches the file system in
// the extended-length form below, whether the system's long-path setting is on or not.
inline constexpr std::size_t kLongPathLength = 260 - 12;

// The extended-length form of a fully qualified path: "\\?\C:\folder\name" for a drive path,
// "\\?\UNC\server\share\name" for a network one. The system hands that form to the file system as
// it stands, so this does what it otherwise would do itself: every / becomes \, repeated
// separators become one, "." parts go and ".." takes the part before it away (never the drive
// or the share). A trailing separator stays. A path in that form already, a device path
// ("\\.\") and a path that is not fully qualified (relative, "C:name", "\name") come back as
// they are. Plain text work, the same on every platform.
std::string ExtendedLengthPath(const std::string& path);

#ifdef _WIN32
// What every wide file and folder function of the program is given for path: its UTF-16 form,
// and from kLongPathLength units on (counted once a relative path is resolved against the
// current folder) the extended-length form of the full path.
std::wstring WidePathForApi(const std::string& path);
#endif

}  // namespace veltrane

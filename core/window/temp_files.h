#pragma once
// The temporary copies that previews and the EXIF window read: "vltr" + tick count + ".jpg" in
// the system's temporary folder, all removed when the main window closes.
#include <cstdint>
#include <string>

namespace veltrane::window {

inline constexpr const char* kTempFilePrefix = "vltr";
inline constexpr const char* kTempFileMask = "vltr*";

// folder + "vltr" + tick in decimal (no padding) + ".jpg"; folder ends with its separator.
std::string TempImageFileName(const std::string& folder, std::uint32_t tick);

// The name for a new temporary copy. Normally TempImageFileName(folder, tick); when a file of
// that name exists already (two requests within one millisecond), the next tick number that is
// free, so that a copy handed to a viewer is never replaced by another image under its feet.
std::string NewTempImageFileName(const std::string& folder, std::uint32_t tick);

// Deletes every file of folder whose name matches mask ('*' any run of characters, '?' one
// character). Folders are left alone; files that cannot be deleted stay, and nothing is reported.
void DeleteFilesByMask(const std::string& folder, const std::string& mask);

// Whether name matches mask, as DeleteFilesByMask matches.
bool MatchesMask(const std::string& name, const std::string& mask);

}  // namespace veltrane::window

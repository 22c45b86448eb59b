// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The temporary files of a window: the copies that previews and the EXIF window read and the
// pictures that Show Stereo opens, "vltr" + tick count + ".jpg". They live in a folder of their
// own for each run of the program, "veltrane-" + its process number, in the system's temporary
// folder. Closing the window removes that folder with what is in it; a start removes the folders
// of runs whose process has ended (a run that was killed, a preview a viewer held open), and
// nothing else: other windows' previews and other programs' files stay.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace veltrane::window {

inline constexpr const char* kTempFilePrefix = "vltr";
inline constexpr const char* kRunFolderPrefix = "veltrane-";

// folder + "vltr" + tick in decimal (no padding) + extension (".jpg", or ".mp4" for a video
// and so on); folder ends with its separator.
std::string TempImageFileName(const std::string& folder, std::uint32_t tick, std::string_view extension = ".jpg");

// The name for a new temporary copy. Normally TempImageFileName(folder, tick); when a file of
// that name exists already (two requests within one millisecond), the next tick number that is
// free, so that a copy handed to a viewer is never replaced by another image under its feet.
std::string NewTempImageFileName(const std::string& folder, std::uint32_t tick, std::string_view extension = ".jpg");

// The folder of the run of process processId: systemTemp + "veltrane-" + the number + the
// separator. systemTemp ends with its separator.
std::string RunFolder(const std::string& systemTemp, std::int64_t processId);

// The process number in the name of a run folder ("veltrane-1234"), or -1 for any other name.
std::int64_t ProcessOfRunFolder(const std::string& name);

// Removes folder and everything in it. What cannot be removed (a file a viewer holds open on
// Windows) stays, and nothing is reported.
void RemoveFolder(const std::string& folder);

// Removes the run folders in systemTemp whose process has ended, as isRunning tells: never the
// folder of ownProcess, never a folder of somebody else, never anything that is no run folder.
void RemoveFoldersOfEndedRuns(const std::string& systemTemp, std::int64_t ownProcess,
                              const std::function<bool(std::int64_t)>& isRunning);

}  // namespace veltrane::window

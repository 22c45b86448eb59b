// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// New camera values for a spatial photo whose eyes stay as they are: the file copied with only
// its meta box rebuilt (heif_boxes::WriteWithStereoCamera), nothing decoded. It needs the core
// alone, so that the program can run it without loading the image libraries' module.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace veltrane::stereo {

struct WrittenPicture;

// The line --stereo prints for it: "OUTPUT: W x H, N K, lossless, " and the cameras' values.
std::string RewrittenLine(const std::string& output, const WrittenPicture& written);

// --stereo's arguments when they ask for nothing but this: FILE OUTPUT, `--layout heic` or an
// OUTPUT ending .heic, and --baseline, --fov, --disparity with valid values, FILE a spatial photo
// and OUTPUT neither FILE nor a folder. Then the file is written, the line that --stereo prints
// (or its error) printed, and the exit status returned; otherwise nothing happens and nothing is
// returned, and --stereo itself runs (and says what is wrong, if anything is).
std::optional<int> RunSpatialCameraRewrite(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace veltrane::stereo

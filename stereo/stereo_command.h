#pragma once
// veltrane --stereo [--layout cross|parallel|anaglyph] [--pair L,R] [--align] FILE [OUTPUT]
// veltrane --stereo [options] LEFT.jpg RIGHT.jpg OUTPUT
#include <iosfwd>
#include <string>
#include <vector>

#include "core/images/scanner.h"
#include "stereo/stereo.h"

namespace veltrane::stereo {

// The default output beside source: its name without the extension, then ".jps" (cross),
// "_parallel.jpg" or "_anaglyph.jpg".
std::string DefaultStereoName(const std::string& source, Layout layout);

// Reads images first and second (1-based, as numbered in the file's image list) of an MPO file;
// says on err why the file's MPF index was not used, when it has one that is not usable. The
// images are found as options say. Raises StereoError or InOutError.
std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>> ReadPair(const std::string& file, int first,
                                                                        int second, std::ostream& err,
                                                                        const ScanOptions& options = {});

// Writes the picture to path through a temporary file in the same folder: never a partial file.
void WritePicture(const StereoPicture& picture, const std::string& path);

// The command; arguments after --stereo, the images of an MPO file found as scan says. Returns
// the exit status.
int RunStereoCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     const ScanOptions& scan = {});

}  // namespace veltrane::stereo

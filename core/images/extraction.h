#pragma once
// Writes the images of the index to numbered .jpg files: all, the odd or the even ones.
#include <cstdint>
#include <string>
#include <vector>

#include "core/images/image_index.h"

namespace veltrane {

// The window's three mode buttons; exactly one is checked, All at every start.
enum class ModeButton { All, Odd, Even };

// The platform's folder dialog. Returns the chosen folder's full path, or an empty string when
// the user cancels or the chosen item has no file-system path.
class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    virtual std::string BrowseForFolder(const std::string& title, const std::string& initialFolder,
                                        bool allowNewFolder) = 0;
};

// Whether image n is written: a mode word of the command line decides when there is one
// ("odd"/"even" in any letter case; any other word selects every image), else the mode button.
bool IsImageSelected(const ImageIndex& index, int n, ModeButton checked);

// The source's file name without its folder and its last four characters, followed by "_".
std::string BaseName(const std::string& sourceFileName);

// OutputFolder + BaseName + the three-digit image number + ".jpg".
std::string OutputFileName(const ImageIndex& index, int n);

// Appends the folder separator unless the folder already ends with one; empty stays empty.
std::string WithTrailingSeparator(std::string folder);

// Copies image n of the index to destPath, byte for byte, replacing a file of that name. The
// last image runs to the source's current end (or to where a 1000th image started).
void CopyImageToFile(const ImageIndex& index, int n, const std::string& destPath);

// The bytes of image n, read into memory (for readers that work on one image at a time).
std::vector<std::uint8_t> ReadImageBytes(const ImageIndex& index, int n);

// Writes every selected image into index.OutputFolder, in increasing order. Raises InOutError
// at the first image that cannot be read or written; the files of earlier images stay.
// Returns the number of files written.
int ExtractImages(const ImageIndex& index, ModeButton checked);

// The Extract command: without command-line parameters the folder is asked for first
// ("Select output folder", the current folder preselected, new folders allowed); a cancelled
// choice writes nothing. With parameters, OutputFolder is used as the command line set it.
// Returns the number of files written.
int RunExtractCommand(ImageIndex& index, ModeButton checked, bool startedWithParameters,
                      FolderPicker& picker);

}  // namespace veltrane

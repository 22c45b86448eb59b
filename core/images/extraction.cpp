#include "core/images/extraction.h"

#include <algorithm>

#include "core/common/ascii.h"
#include "core/common/file_io.h"
#include "core/common/native_path.h"

namespace veltrane {
namespace {

std::string ThreeDigits(int n) {
    std::string s = "000" + std::to_string(n);
    return s.substr(s.size() - 3);
}

}  // namespace

bool IsImageSelected(const ImageIndex& index, int n, ModeButton checked) {
    if (!index.ExtractMode.empty()) {
        const std::string mode = UpperAscii(index.ExtractMode);
        if (mode == "ODD") return n % 2 == 1;
        if (mode == "EVEN") return n % 2 == 0;
        return true;
    }
    if (checked == ModeButton::Odd && n % 2 == 0) return false;
    if (checked == ModeButton::Even && n % 2 == 1) return false;
    return true;
}

std::string BaseName(const std::string& sourceFileName) {
    std::size_t start = sourceFileName.size();
    while (start > 0 && !IsPathSeparator(sourceFileName[start - 1])) --start;
    std::string name = sourceFileName.substr(start);
    name.resize(name.size() > 4 ? name.size() - 4 : 0);
    return name + "_";
}

std::string OutputFileName(const ImageIndex& index, int n) {
    return index.OutputFolder + BaseName(index.SourceFileName) + ThreeDigits(n) + ".jpg";
}

std::string WithTrailingSeparator(std::string folder) {
    if (!folder.empty() && !IsPathSeparator(folder.back())) folder += kPathSeparator;
    return folder;
}

void CopyImageToFile(const ImageIndex& index, int n, const std::string& destPath) {
    InputFile source(index.SourceFileName);
    const std::int64_t start = index.ImageStart(n);
    const std::int64_t end = index.ImageEnd(n, source.Size());
    CopyRangeToFile(source, start, std::max<std::int64_t>(end - start, 0), destPath);
}

std::vector<std::uint8_t> ReadImageBytes(const ImageIndex& index, int n) {
    InputFile source(index.SourceFileName);
    const std::int64_t start = index.ImageStart(n);
    const std::int64_t end = index.ImageEnd(n, source.Size());
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max<std::int64_t>(end - start, 0)));
    if (!bytes.empty()) source.ReadAt(start, bytes.data(), bytes.size());
    return bytes;
}

int ExtractImages(const ImageIndex& index, ModeButton checked) {
    if (index.ImageCount <= 0) return 0;
    int written = 0;
    for (int n = 1; n <= index.ImageCount; ++n) {
        if (!IsImageSelected(index, n, checked)) continue;
        CopyImageToFile(index, n, OutputFileName(index, n));
        ++written;
    }
    return written;
}

int RunExtractCommand(ImageIndex& index, ModeButton checked, bool startedWithParameters,
                      FolderPicker& picker) {
    if (!startedWithParameters) {
        std::string folder = picker.BrowseForFolder("Select output folder", CurrentFolder(), true);
        if (folder.empty()) return 0;
        index.OutputFolder = WithTrailingSeparator(std::move(folder));
    }
    return ExtractImages(index, checked);
}

}  // namespace veltrane

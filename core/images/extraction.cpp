// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/images/extraction.h"

#include <algorithm>

#include "core/common/file_io.h"
#include "core/common/native_path.h"

namespace veltrane {
namespace {

std::string ThreeDigits(int n) {
    std::string s = "000" + std::to_string(n);
    return s.substr(s.size() - 3);
}

}  // namespace

bool IsImageSelected(ExtractMode mode, int n) {
    switch (mode) {
        case ExtractMode::Odd: return n % 2 == 1;
        case ExtractMode::Even: return n % 2 == 0;
        case ExtractMode::All: break;
    }
    return true;
}

std::string BaseName(const std::string& sourceFileName) {
    std::string name = FileNamePart(sourceFileName);
    name.resize(name.size() > 4 ? name.size() - 4 : 0);
    return name + "_";
}

std::string OutputFileName(const ExtractJob& job, int n) {
    return job.folder + BaseName(job.source) + ThreeDigits(n) + ".jpg";
}

std::string WithTrailingSeparator(std::string folder) {
    if (!folder.empty() && !IsPathSeparator(folder.back())) folder += kPathSeparator;
    return folder;
}

void CopyImageToFile(const std::string& source, const ImageIndex& index, int n, const std::string& destPath) {
    InputFile file(source);
    const std::int64_t start = index.ImageStart(n);
    const std::int64_t end = index.ImageEnd(n, file.Size());
    CopyRangeToFile(file, start, std::max<std::int64_t>(end - start, 0), destPath);
}

std::vector<std::uint8_t> ReadImageBytes(const std::string& source, const ImageIndex& index, int n) {
    InputFile file(source);
    const std::int64_t start = index.ImageStart(n);
    const std::int64_t end = index.ImageEnd(n, file.Size());
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max<std::int64_t>(end - start, 0)));
    if (!bytes.empty()) file.ReadAt(start, bytes.data(), bytes.size());
    return bytes;
}

int ExtractImages(const ExtractJob& job, const ImageIndex& index) {
    int written = 0;
    for (int n = 1; n <= index.ImageCount; ++n) {
        if (!IsImageSelected(job.selection, n)) continue;
        CopyImageToFile(job.source, index, n, OutputFileName(job, n));
        ++written;
    }
    return written;
}

}  // namespace veltrane

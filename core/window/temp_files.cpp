#include "core/window/temp_files.h"

#include <filesystem>
#include <system_error>

namespace veltrane::window {
namespace fs = std::filesystem;
namespace {

// The window's paths are UTF-8 on every platform; std::filesystem's narrow strings are the ANSI
// code page on Windows, so paths go through its UTF-8 forms.
fs::path FromUtf8(const std::string& path) {
    return fs::path(std::u8string(path.begin(), path.end()));
}

std::string ToUtf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

std::string TempImageFileName(const std::string& folder, std::uint32_t tick) {
    return folder + kTempFilePrefix + std::to_string(tick) + ".jpg";
}

std::string NewTempImageFileName(const std::string& folder, std::uint32_t tick) {
    // A bounded search: a thousand files of consecutive numbers means something else is going
    // on, and then the tick's own name is replaced as it would have been.
    for (std::uint32_t step = 0; step < 1000; ++step) {
        std::string name = TempImageFileName(folder, tick + step);
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(FromUtf8(name), ec))) return name;
    }
    return TempImageFileName(folder, tick);
}

bool MatchesMask(const std::string& name, const std::string& mask) {
    // Iterative wildcard match with one backtracking point (the last '*').
    std::size_t n = 0, m = 0;
    std::size_t starAt = std::string::npos, resumeAt = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || mask[m] == name[n])) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starAt = m++;
            resumeAt = n;
        } else if (starAt != std::string::npos) {
            m = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

void DeleteFilesByMask(const std::string& folder, const std::string& mask) {
    std::error_code ec;
    fs::directory_iterator it(FromUtf8(folder), fs::directory_options::skip_permission_denied, ec);
    if (ec) return;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) return;
        const fs::path& path = it->path();
        if (!MatchesMask(ToUtf8(path.filename()), mask)) continue;
        std::error_code statusError;
        if (fs::is_directory(fs::symlink_status(path, statusError))) continue;
        std::error_code removeError;
        fs::remove(path, removeError);
    }
}

}  // namespace veltrane::window

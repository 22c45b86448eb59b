// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/common/program_path.h"

#ifdef _WIN32
#include <windows.h>

#include <vector>

#include "core/common/unicode_text.h"
#else
#include <filesystem>
#endif

namespace veltrane {

std::string RunningProgramPath() {
#ifdef _WIN32
    // The function cuts the name to the buffer and then returns the buffer's size: grow until
    // the name fits (paths reach 32767 units).
    for (DWORD size = MAX_PATH + 1; size <= 65536; size *= 2) {
        std::vector<wchar_t> buffer(size);
        const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), size);
        if (n == 0) return std::string();
        if (n < size) return Utf8FromWide(std::wstring_view(buffer.data(), n));
    }
    return std::string();
#else
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
#endif
}

}  // namespace veltrane

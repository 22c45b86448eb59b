#include "core/common/program_path.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <filesystem>
#endif

namespace veltrane {

std::string RunningProgramPath() {
#ifdef _WIN32
    char buffer[MAX_PATH + 1];
    const DWORD n = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
#else
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
#endif
}

}  // namespace veltrane

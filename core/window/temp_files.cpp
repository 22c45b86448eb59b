// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/window/temp_files.h"

#include <string_view>

#include "core/common/file_io.h"
#include "core/common/native_path.h"

namespace veltrane::window {

std::string TempImageFileName(const std::string& folder, std::uint32_t tick, std::string_view extension) {
    return folder + kTempFilePrefix + std::to_string(tick) + std::string(extension);
}

std::string NewTempImageFileName(const std::string& folder, std::uint32_t tick, std::string_view extension) {
    // A bounded search: a thousand files of consecutive numbers means something else is going
    // on, and then the tick's own name is replaced as it would have been.
    for (std::uint32_t step = 0; step < 1000; ++step) {
        std::string name = TempImageFileName(folder, tick + step, extension);
        if (!EntryExists(name)) return name;
    }
    return TempImageFileName(folder, tick, extension);
}

std::string RunFolder(const std::string& systemTemp, std::int64_t processId) {
    return systemTemp + kRunFolderPrefix + std::to_string(processId) + kPathSeparator;
}

std::int64_t ProcessOfRunFolder(const std::string& name) {
    const std::string_view prefix = kRunFolderPrefix;
    // Digits only, without a leading zero, as the folders are named.
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 18 || name.compare(0, prefix.size(), prefix) != 0 ||
        name[prefix.size()] == '0')
        return -1;
    std::int64_t id = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return -1;
        id = id * 10 + (name[i] - '0');
    }
    return id;
}

void RemoveFolder(const std::string& folder) { RemoveTree(folder); }

void RemoveFoldersOfEndedRuns(const std::string& systemTemp, std::int64_t ownProcess,
                              const std::function<bool(std::int64_t)>& isRunning) {
    std::string temp = systemTemp;
    if (!temp.empty() && !IsPathSeparator(temp.back())) temp += kPathSeparator;
    for (const std::string& name : FolderEntryNames(systemTemp)) {
        const std::int64_t process = ProcessOfRunFolder(name);
        if (process < 0 || process == ownProcess || isRunning(process)) continue;
        const std::string folder = temp + name;
        if (IsOwnFolder(folder)) RemoveFolder(folder);
    }
}

}  // namespace veltrane::window

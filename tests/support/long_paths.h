// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files and folders at the end of long paths, made and read with the program's own file layer:
// on Windows the C++ library's file functions stop at MAX_PATH (260 characters).
#include <string>

#include "core/common/file_io.h"
#include "core/common/native_path.h"
#include "tests/support/temp_dir.h"

namespace veltrane::testing {

// Creates nested folders of 40-character names in folder (which ends with its separator) until
// the path, with its separator, is at least length characters long; returns it.
inline std::string MakeLongFolder(std::string folder, std::size_t length) {
    for (int level = 0; folder.size() < length; ++level) {
        folder += "nested-folder-" + std::to_string(100 + level) + "-of-a-long-path-abcdefgh";
        if (!CreateOwnFolder(folder)) return {};
        folder += kPathSeparator;
    }
    return folder;
}

inline void WriteWithFileLayer(const std::string& path, const Bytes& bytes) {
    AtomicOutputFile out(path);
    out.Write(bytes.data(), bytes.size());
    out.Commit();
}

inline Bytes ReadWithFileLayer(const std::string& path) {
    InputFile in(path);
    Bytes bytes(static_cast<std::size_t>(in.Size()));
    if (!bytes.empty()) in.ReadAt(0, bytes.data(), bytes.size());
    return bytes;
}

}  // namespace veltrane::testing

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Input/output failures of the splitter, carrying the run-time texts that users see:
// "File not found", "File access denied", "Read beyond end of file", "Disk full", "I/O error %d".
#include <stdexcept>
#include <string>

namespace veltrane {

class InOutError : public std::runtime_error {
public:
    // code is the run-time error number: 2 not found, 5 access denied, 100 read beyond end
    // of file, 101 disk full, anything else the platform's own error number.
    InOutError(int code, std::string fileName);

    int Code() const noexcept { return code_; }
    const std::string& FileName() const noexcept { return fileName_; }

    // The run-time text alone, e.g. "File not found" or "I/O error 21".
    static std::string TextOf(int code);

private:
    int code_;
    std::string fileName_;
};

namespace ioerr {
inline constexpr int FileNotFound = 2;
inline constexpr int AccessDenied = 5;
inline constexpr int ReadBeyondEnd = 100;
inline constexpr int DiskFull = 101;
}  // namespace ioerr

// Maps an errno value (or a Windows error number on Windows) to the run-time error number.
int InOutCodeFromErrno(int err);

}  // namespace veltrane

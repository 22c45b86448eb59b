// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/common/io_error.h"

#include <cerrno>

namespace veltrane {

InOutError::InOutError(int code, std::string fileName)
    : std::runtime_error(TextOf(code)), code_(code), fileName_(std::move(fileName)) {}

std::string InOutError::TextOf(int code) {
    switch (code) {
    case ioerr::FileNotFound: return "File not found";
    case ioerr::AccessDenied: return "File access denied";
    case ioerr::ReadBeyondEnd: return "Read beyond end of file";
    case ioerr::DiskFull: return "Disk full";
    default: return "I/O error " + std::to_string(code);
    }
}

int InOutCodeFromErrno(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR: return ioerr::FileNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return ioerr::AccessDenied;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return ioerr::DiskFull;
    default: return err;
    }
}

}  // namespace veltrane

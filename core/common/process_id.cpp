// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/common/process_id.h"

#include <cerrno>
#include <limits>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace veltrane {

std::int64_t CurrentProcessId() {
#ifdef _WIN32
    return static_cast<std::int64_t>(::GetCurrentProcessId());
#else
    return static_cast<std::int64_t>(::getpid());
#endif
}

bool IsProcessRunning(std::int64_t id) {
#ifdef _WIN32
    if (id < 1 || id > std::numeric_limits<DWORD>::max()) return false;
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
    if (process == nullptr) return ::GetLastError() != ERROR_INVALID_PARAMETER;
    // A process that has ended stays known while anybody holds a handle to it.
    DWORD exitCode = 0;
    const bool ended = ::GetExitCodeProcess(process, &exitCode) && exitCode != STILL_ACTIVE;
    ::CloseHandle(process);
    return !ended;
#else
    if (id < 1 || id > std::numeric_limits<pid_t>::max()) return false;
    // Signal 0 is not sent: the call only checks that the process exists.
    if (::kill(static_cast<pid_t>(id), 0) == 0) return true;
    return errno != ESRCH;
#endif
}

}  // namespace veltrane

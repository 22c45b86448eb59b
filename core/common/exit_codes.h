// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Exit statuses of the program, the same for every command and front end.

namespace veltrane {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the job could not be done (file missing, I/O error)
inline constexpr int kExitUsage = 2;    // the arguments are wrong

}  // namespace veltrane

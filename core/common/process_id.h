// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Process numbers: this program's own, and whether another one still runs. Files that belong to
// one run of the program are kept in a folder named after its process, so that a later run can
// tell the leftovers of a run that ended from those of a run that goes on.
#include <cstdint>

namespace veltrane {

// The number of this process.
std::int64_t CurrentProcessId();

// Whether a process of that number runs now, whoever started it. A process that cannot be asked
// about (another user's, say) counts as running; only a number that names no process at all
// does not. Numbers below 1 name no process.
bool IsProcessRunning(std::int64_t id);

}  // namespace veltrane

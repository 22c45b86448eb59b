// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user guide that the main window's link opens: an HTML page installed beside the program.
#include <QString>

namespace veltrane::gui {

// Where the guide is looked for, in order: <program's folder>/../share/doc/veltrane/
// user-guide.html (an installed program, or one run from its build folder, which mirrors that
// layout), then <sourceDir>/docs/user-guide.html (a source tree named by the developer). Returns
// the first that exists, or an empty string.
QString UserGuidePath(const QString& programPath, const QString& sourceDir);

// The guide of this program as a file:// address, or an empty string when there is none; the
// source tree of the environment variable VELTRANE_SOURCE_DIR is the fallback.
QString UserGuideUrl(const QString& programPath);

}  // namespace veltrane::gui

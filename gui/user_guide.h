#pragma once
// The user guide that the main window's link opens: an HTML page installed beside the program.
#include <QString>

namespace veltrane::gui {

// Where the guide is looked for, in order: <program's folder>/../share/doc/veltrane/
// user-guide.html (an installed program), then <sourceDir>/docs/user-guide.html (a program run
// from its build folder). Returns the first that exists, or an empty string.
QString UserGuidePath(const QString& programPath, const QString& sourceDir);

// The guide of this build as a file:// address, or an empty string when there is none.
QString UserGuideUrl(const QString& programPath);

}  // namespace veltrane::gui

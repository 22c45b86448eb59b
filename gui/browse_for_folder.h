// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folder picker of the Extract command.
#include <QString>

class QFileDialog;
class QWidget;

namespace veltrane::gui {

// Asks the user for a folder. Returns the chosen folder's full path, or an empty string when
// the user cancels or the choice is no folder of the file system. initialFolder, when not
// empty, is the folder the dialog opens on, so that confirming at once chooses it; without
// allowNewFolder the dialog offers no way to create a folder.
QString BrowseForFolder(QWidget* owner, const QString& title, const QString& initialFolder,
                        bool allowNewFolder);

// Sets up dialog as BrowseForFolder shows it.
void ConfigureFolderDialog(QFileDialog& dialog, const QString& title, const QString& initialFolder,
                           bool allowNewFolder);

}  // namespace veltrane::gui

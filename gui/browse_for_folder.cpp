// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/browse_for_folder.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace veltrane::gui {

void ConfigureFolderDialog(QFileDialog& dialog, const QString& title, const QString& initialFolder,
                           bool allowNewFolder) {
    dialog.setWindowTitle(title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    // Qt's own dialog hides its "Create New Folder" button for a read-only model; the desktop's
    // dialogs do not all honour that, so they are used only when new folders are welcome.
    dialog.setOption(QFileDialog::ReadOnly, !allowNewFolder);
    dialog.setOption(QFileDialog::DontUseNativeDialog, !allowNewFolder);
    if (!initialFolder.isEmpty()) dialog.setDirectory(initialFolder);
}

QString BrowseForFolder(QWidget* owner, const QString& title, const QString& initialFolder,
                        bool allowNewFolder) {
    QFileDialog dialog(owner);
    ConfigureFolderDialog(dialog, title, initialFolder, allowNewFolder);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return {};
    const QFileInfo folder(chosen.first());
    if (!folder.isDir()) return {};  // a virtual place, or something that vanished meanwhile
    return QDir::toNativeSeparators(folder.absoluteFilePath());
}

}  // namespace veltrane::gui

// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/qt_services.h"

#include <chrono>

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "core/common/native_path.h"
#include "gui/browse_for_folder.h"
#include "gui/text.h"

namespace veltrane::gui {

void ConfigureOpenDialog(QFileDialog& dialog, const QString& title, const QString& filter) {
    dialog.setWindowTitle(title);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setNameFilter(filter);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
}

std::string QtOpenFileDialog::GetOpenFileName(const std::string& title, const std::string& filterName,
                                              const std::string&) {
    QFileDialog dialog(owner_);
    // Qt's filter entries carry their patterns in the description: "MPO files (*.mpo)".
    ConfigureOpenDialog(dialog, QString::fromStdString(title), QString::fromStdString(filterName));
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? std::string() : PathToCore(chosen.first());
}

std::string QtSaveFileDialog::GetSaveFileName(const std::string& title, const std::vector<std::string>& typeList,
                                              const std::vector<std::string>& suggestedPathList, int& chosenType) {
    QStringList types, suggestedPaths;
    for (const std::string& type : typeList) types << QString::fromStdString(type);
    for (const std::string& path : suggestedPathList) suggestedPaths << PathFromCore(path);
    QFileDialog dialog(owner_, QString::fromStdString(title));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setNameFilters(types);
    const qsizetype first = chosenType >= 0 && chosenType < types.size() ? chosenType : 0;
    if (first < types.size()) dialog.selectNameFilter(types[first]);
    if (first < suggestedPaths.size()) dialog.selectFile(suggestedPaths[first]);
    // Choosing another file type offers that type's name.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& type) {
        const qsizetype i = types.indexOf(type);
        if (i >= 0 && i < suggestedPaths.size()) dialog.selectFile(suggestedPaths[i]);
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    chosenType = static_cast<int>(types.indexOf(dialog.selectedNameFilter()));
    return PathToCore(dialog.selectedFiles().first());
}

std::string QtFolderPicker::BrowseForFolder(const std::string& title, const std::string& initialFolder,
                                            bool allowNewFolder) {
    return PathToCore(gui::BrowseForFolder(owner_, QString::fromStdString(title), PathFromCore(initialFolder),
                                           allowNewFolder));
}

void QtDesktopLauncher::OpenFile(const std::string& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(PathFromCore(path)));
}

void QtDesktopLauncher::OpenUrl(const std::string& url) {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

void QtMessageBoxes::ShowError(const std::string& text) {
    QMessageBox::critical(owner_, QString::fromLatin1(kApplicationTitle), QString::fromStdString(text));
}

void QtMessageBoxes::ShowInformation(const std::string& text) {
    QMessageBox::information(owner_, QString::fromLatin1(kApplicationTitle), QString::fromStdString(text));
}

std::string SystemTempFolder::TempFolder() { return veltrane::TempFolder(); }

std::uint32_t SystemTickCounter::TickCount() {
    // The monotonic clock counts from the system's start on Linux, like the tick count.
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count()));
}

}  // namespace veltrane::gui

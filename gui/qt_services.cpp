#include "gui/qt_services.h"

#include <chrono>

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

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

QString QtOpenFileDialog::GetOpenFileName(QWidget* owner, const QString& title, const QString& filter) {
    QFileDialog dialog(owner);
    ConfigureOpenDialog(dialog, title, filter);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

QString QtSaveFileDialog::GetSaveFileName(QWidget* owner, const QString& title, const QStringList& types,
                                          const QStringList& suggestedPaths, int& chosenType) {
    QFileDialog dialog(owner, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setNameFilters(types);
    if (!suggestedPaths.isEmpty()) dialog.selectFile(suggestedPaths.first());
    // Choosing another file type offers that type's name.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& type) {
        const qsizetype i = types.indexOf(type);
        if (i >= 0 && i < suggestedPaths.size()) dialog.selectFile(suggestedPaths[i]);
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    chosenType = static_cast<int>(types.indexOf(dialog.selectedNameFilter()));
    return dialog.selectedFiles().first();
}

std::string QtFolderPicker::BrowseForFolder(const std::string& title, const std::string& initialFolder,
                                            bool allowNewFolder) {
    return PathToCore(gui::BrowseForFolder(owner_, FromCp1252(title), PathFromCore(initialFolder),
                                           allowNewFolder));
}

void QtDesktopLauncher::OpenFile(const std::string& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(PathFromCore(path)));
}

void QtDesktopLauncher::OpenUrl(const QString& url) { QDesktopServices::openUrl(QUrl(url)); }

void QtMessageBoxes::ShowError(QWidget* owner, const QString& text) {
    QMessageBox::critical(owner, QString::fromLatin1(kApplicationTitle), text);
}

void QtMessageBoxes::ShowInformation(QWidget* owner, const QString& text) {
    QMessageBox::information(owner, QString::fromLatin1(kApplicationTitle), text);
}

std::string SystemTempFolder::TempFolder() {
    return PathToCore(QDir::toNativeSeparators(QDir::tempPath() + QLatin1Char('/')));
}

std::uint32_t SystemTickCounter::TickCount() {
    // The monotonic clock counts from the system's start on Linux, like the tick count.
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count()));
}

}  // namespace veltrane::gui

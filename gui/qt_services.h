// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's desktop services as Qt provides them.
#include "gui/services.h"

#include <QString>

class QFileDialog;
class QWidget;

namespace veltrane::gui {

// Qt's own file dialog rather than the desktop's: its name filters match in any letter case,
// so "*.mpo" also finds the upper-case names that cameras write.
class QtOpenFileDialog : public OpenFileDialog {
public:
    // The dialog is placed over owner (may be null).
    explicit QtOpenFileDialog(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }
    std::string GetOpenFileName(const std::string& title, const std::string& filterName,
                                const std::string& pattern) override;

private:
    QWidget* owner_;
};

// Sets up dialog as QtOpenFileDialog shows it.
void ConfigureOpenDialog(QFileDialog& dialog, const QString& title, const QString& filter);

class QtSaveFileDialog : public SaveFileDialog {
public:
    explicit QtSaveFileDialog(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }
    std::string GetSaveFileName(const std::string& title, const std::vector<std::string>& types,
                                const std::vector<std::string>& suggestedPaths, int& chosenType) override;

private:
    QWidget* owner_;
};

class QtFolderPicker : public FolderPicker {
public:
    // The dialog is placed over owner (may be null).
    explicit QtFolderPicker(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }
    std::string BrowseForFolder(const std::string& title, const std::string& initialFolder,
                                bool allowNewFolder) override;

private:
    QWidget* owner_;
};

class QtDesktopLauncher : public DesktopLauncher {
public:
    void OpenFile(const std::string& path) override;
    void OpenUrl(const std::string& url) override;
};

class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }
    void ShowError(const std::string& text) override;
    void ShowInformation(const std::string& text) override;

private:
    QWidget* owner_;
};

// The system's temporary folder, as the core finds it (TMPDIR or /tmp).
class SystemTempFolder : public TempFolderProvider {
public:
    std::string TempFolder() override;
};

class SystemTickCounter : public TickCounter {
public:
    std::uint32_t TickCount() override;
};

}  // namespace veltrane::gui

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's desktop services as Win32 provides them: the common file dialogs, the shell's
// folder browser, ShellExecute, message boxes, the temporary folder and the tick count. Dialogs
// are placed over an owner window, set once the main window exists.
#include <windows.h>

#include <string>
#include <vector>

#include "core/window/window_services.h"

namespace veltrane::win32 {

class Win32OpenFileDialog : public window::OpenFileDialog {
public:
    void SetOwner(HWND owner) { owner_ = owner; }
    std::string GetOpenFileName(const std::string& title, const std::string& filterName,
                                const std::string& pattern) override;

private:
    HWND owner_ = nullptr;
};

// GetSaveFileNameW with an entry of its file-type list per type. Choosing another type offers
// that type's suggested name in the folder the dialog shows; the dialog asks before it replaces
// a file.
class Win32SaveFileDialog : public window::SaveFileDialog {
public:
    void SetOwner(HWND owner) { owner_ = owner; }
    std::string GetSaveFileName(const std::string& title, const std::vector<std::string>& types,
                                const std::vector<std::string>& suggestedPaths, int& chosenType) override;

private:
    HWND owner_ = nullptr;
};

// The file-type list of the common dialogs for types such as "JPS cross (*.jps)": pairs of
// NUL-terminated strings, the type as it is and the pattern in its last parentheses ("*.*"
// without any), ended by one more NUL.
std::wstring FileTypeFilter(const std::vector<std::string>& types);

// SHBrowseForFolderW, with the initial folder selected once the dialog is up.
class Win32FolderPicker : public window::FolderPicker {
public:
    void SetOwner(HWND owner) { owner_ = owner; }
    std::string BrowseForFolder(const std::string& title, const std::string& initialFolder,
                                bool allowNewFolder) override;

private:
    HWND owner_ = nullptr;
};

class Win32DesktopLauncher : public window::DesktopLauncher {
public:
    void SetOwner(HWND owner) { owner_ = owner; }
    void OpenFile(const std::string& path) override;
    void OpenUrl(const std::string& url) override;

private:
    HWND owner_ = nullptr;
};

class Win32MessageBoxes : public window::MessageBoxes {
public:
    void SetOwner(HWND owner) { owner_ = owner; }
    void ShowError(const std::string& text) override;
    void ShowInformation(const std::string& text) override;

private:
    HWND owner_ = nullptr;
};

// GetTempPathW, as the core asks for it.
class Win32TempFolder : public window::TempFolderProvider {
public:
    std::string TempFolder() override;
};

class Win32TickCounter : public window::TickCounter {
public:
    std::uint32_t TickCount() override;
};

}  // namespace veltrane::win32

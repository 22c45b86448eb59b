#include "gui_win32/win32_services.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "core/common/native_path.h"
#include "gui_win32/win32_text.h"

// commdlg.h names GetOpenFileNameW by the interface's method name.
#undef GetOpenFileName

namespace veltrane::win32 {
namespace {

// Selects the initial folder (lpData) as soon as the folder browser is up.
int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data != 0) ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

}  // namespace

std::string Win32OpenFileDialog::GetOpenFileName(const std::string& title, const std::string& filterName,
                                                 const std::string& pattern) {
    // The filter is pairs of NUL-terminated strings, ended by one more NUL; the dialog matches
    // patterns in any letter case.
    std::wstring filter = Widen(filterName);
    filter.push_back(L'\0');
    filter += Widen(pattern);
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    const std::wstring caption = Widen(title);
    std::vector<wchar_t> file(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner_;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = caption.c_str();
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
    if (!::GetOpenFileNameW(&dialog)) return {};
    return Narrow(file.data());
}

std::string Win32FolderPicker::BrowseForFolder(const std::string& title, const std::string& initialFolder,
                                               bool allowNewFolder) {
    const std::wstring caption = Widen(title);
    const std::wstring initial = Widen(initialFolder);
    BROWSEINFOW info{};
    info.hwndOwner = owner_;
    info.lpszTitle = caption.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | (allowNewFolder ? 0 : BIF_NONEWFOLDERBUTTON);
    info.lpfn = BrowseCallback;
    info.lParam = initial.empty() ? 0 : reinterpret_cast<LPARAM>(initial.c_str());
    PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
    if (chosen == nullptr) return {};
    std::vector<wchar_t> path(32768, L'\0');
    // An item without a file-system path (a virtual folder) counts as no choice.
    const bool hasPath = ::SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT);
    ::CoTaskMemFree(chosen);
    return hasPath ? Narrow(path.data()) : std::string();
}

void Win32DesktopLauncher::OpenFile(const std::string& path) {
    ::ShellExecuteW(owner_, L"open", Widen(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Win32DesktopLauncher::OpenUrl(const std::string& url) {
    ::ShellExecuteW(owner_, L"open", Widen(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Win32MessageBoxes::ShowError(const std::string& text) {
    ::MessageBoxW(owner_, Widen(text).c_str(), Widen(window::kApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
}

void Win32MessageBoxes::ShowInformation(const std::string& text) {
    ::MessageBoxW(owner_, Widen(text).c_str(), Widen(window::kApplicationTitle).c_str(),
                  MB_OK | MB_ICONINFORMATION);
}

std::string Win32TempFolder::TempFolder() { return veltrane::TempFolder(); }

std::uint32_t Win32TickCounter::TickCount() { return ::GetTickCount(); }

}  // namespace veltrane::win32

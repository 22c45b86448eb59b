// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui_win32/win32_services.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <dlgs.h>

#include <algorithm>
#include <vector>

#include "core/common/native_path.h"
#include "gui_win32/win32_text.h"

// commdlg.h names GetOpenFileNameW and GetSaveFileNameW by the interfaces' method names.
#undef GetOpenFileName
#undef GetSaveFileName

namespace veltrane::win32 {
namespace {

// Selects the initial folder (lpData) as soon as the folder browser is up.
int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data != 0) ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

// What the save dialog's hook needs: the name to offer for each file type.
struct SaveDialogNames {
    std::vector<std::wstring> names;
};

// The hook of the save dialog (an Explorer-style dialog's child): when the user chooses another
// file type, the name box gets that type's name. lpOFN->nFilterIndex is the new type, 1-based.
UINT_PTR CALLBACK SaveDialogHook(HWND hook, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_NOTIFY) return 0;
    const auto* notify = reinterpret_cast<const OFNOTIFYW*>(lParam);
    if (notify->hdr.code != CDN_TYPECHANGE) return 0;
    const auto* names = reinterpret_cast<const SaveDialogNames*>(notify->lpOFN->lCustData);
    const DWORD type = notify->lpOFN->nFilterIndex;
    if (names == nullptr || type < 1 || type > names->names.size()) return 0;
    HWND dialog = ::GetParent(hook);
    // The name box is a combo box (cmb13) in today's dialogs, an edit box (edt1) in old ones.
    const int box = ::GetDlgItem(dialog, cmb13) != nullptr ? cmb13 : edt1;
    ::SendMessageW(dialog, CDM_SETCONTROLTEXT, static_cast<WPARAM>(box),
                   reinterpret_cast<LPARAM>(names->names[type - 1].c_str()));
    return 0;
}

// The extension of a pattern such as "*.jps", without its dot; "" for none or a wildcard.
std::wstring ExtensionOf(const std::wstring& pattern) {
    const std::size_t dot = pattern.rfind(L'.');
    if (dot == std::wstring::npos) return {};
    std::wstring extension = pattern.substr(dot + 1);
    return extension.find_first_of(L"*?;") == std::wstring::npos ? extension : std::wstring();
}

// The pattern of a file type "Name (*.ext)".
std::wstring PatternOf(const std::wstring& type) {
    const std::size_t open = type.rfind(L'('), close = type.rfind(L')');
    if (open == std::wstring::npos || close == std::wstring::npos || close <= open + 1) return L"*.*";
    return type.substr(open + 1, close - open - 1);
}

}  // namespace

std::wstring FileTypeFilter(const std::vector<std::string>& types) {
    std::wstring filter;
    for (const std::string& type : types) {
        const std::wstring wide = Widen(type);
        filter += wide;
        filter.push_back(L'\0');
        filter += PatternOf(wide);
        filter.push_back(L'\0');
    }
    filter.push_back(L'\0');
    return filter;
}

std::string Win32SaveFileDialog::GetSaveFileName(const std::string& title, const std::vector<std::string>& types,
                                                 const std::vector<std::string>& suggestedPaths, int& chosenType) {
    const int count = static_cast<int>(types.size());
    const int first = chosenType >= 0 && chosenType < count ? chosenType : 0;
    // The dialog shows the suggested file's folder with its name in the name box; a change of
    // type changes the name only, in whatever folder the user went to.
    SaveDialogNames names;
    for (const std::string& path : suggestedPaths) names.names.push_back(Widen(FileNamePart(path)));
    names.names.resize(types.size());
    const std::string suggested = first < static_cast<int>(suggestedPaths.size()) ? suggestedPaths[first] : "";
    const std::wstring folder = Widen(FolderPart(suggested));
    const std::wstring filter = FileTypeFilter(types);
    const std::wstring caption = Widen(title);
    // A name typed without an extension gets the chosen type's.
    const std::wstring extension = count > 0 ? ExtensionOf(PatternOf(Widen(types[first]))) : std::wstring();
    // Room for a path of the longest length Windows allows, not just MAX_PATH.
    std::vector<wchar_t> file(32768, L'\0');
    const std::wstring name = first < count ? names.names[first] : std::wstring();
    std::copy_n(name.c_str(), std::min(name.size(), file.size() - 1), file.begin());
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner_;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = static_cast<DWORD>(first + 1);
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = caption.c_str();
    dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER |
                   OFN_ENABLEHOOK | OFN_ENABLESIZING;
    dialog.lpfnHook = &SaveDialogHook;
    dialog.lCustData = reinterpret_cast<LPARAM>(&names);
    if (!::GetSaveFileNameW(&dialog)) return {};
    if (dialog.nFilterIndex >= 1 && dialog.nFilterIndex <= static_cast<DWORD>(count))
        chosenType = static_cast<int>(dialog.nFilterIndex) - 1;
    else
        chosenType = first;
    return Narrow(file.data());
}

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

#include "gui_win32/win32_entry.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "core/common/native_path.h"
#include "core/common/number_format.h"
#include "core/registration/context_menu_registration.h"
#include "gui_win32/win32_services.h"
#include "gui_win32/win32_text.h"
#include "gui_win32/win32_windows.h"

namespace veltrane::win32 {
namespace {

bool IsFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool HasHandle(DWORD which) {
    HANDLE handle = ::GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

std::string UserGuidePath(const std::string& programPath) {
    const std::string programFolder = FolderPart(programPath);
    const std::wstring folder = programFolder.empty() ? std::wstring(L".") : Widen(programFolder);
    // Installed, the guide is in doc\ beside the program; no build path is compiled in, but a
    // developer may name a source tree in VELTRANE_SOURCE_DIR.
    wchar_t source[MAX_PATH] = {};
    const DWORD sourceLength = ::GetEnvironmentVariableW(L"VELTRANE_SOURCE_DIR", source, MAX_PATH);
    std::vector<std::wstring> candidates = {folder + L"\\doc\\user-guide.html",
                                            folder + L"\\..\\share\\doc\\veltrane\\user-guide.html"};
    if (sourceLength > 0 && sourceLength < MAX_PATH) candidates.push_back(std::wstring(source) + L"\\docs\\user-guide.html");
    for (const std::wstring& candidate : candidates) {
        if (!IsFile(candidate)) continue;
        wchar_t full[MAX_PATH * 4] = {};
        const DWORD length = ::GetFullPathNameW(candidate.c_str(), MAX_PATH * 4, full, nullptr);
        return length > 0 && length < MAX_PATH * 4 ? Narrow(full) : Narrow(candidate);
    }
    return {};
}

int RunWindow(const std::string& programPath) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    // The shell's folder browser with its new-folder button needs OLE on this thread.
    const HRESULT ole = ::OleInitialize(nullptr);
    RegisterWindowClasses(instance);

    Win32OpenFileDialog openDialog;
    Win32FolderPicker folders;
    Win32DesktopLauncher desktop;
    Win32MessageBoxes messages;
    Win32TempFolder temp;
    Win32TickCounter ticks;
    window::SystemProcesses processes;
    const std::unique_ptr<ContextMenuRegistration> registration = CreatePlatformRegistration();
    int status = 0;
    {
        window::WindowServices services{openDialog, folders, desktop, messages, temp, ticks, processes,
                                *registration, programPath, UserGuidePath(programPath)};
        services.Numbers = NumberFormatOfUserLocale();
        MainWindow mainWindow(instance, services);
        openDialog.SetOwner(mainWindow.Handle());
        folders.SetOwner(mainWindow.Handle());
        desktop.SetOwner(mainWindow.Handle());
        messages.SetOwner(mainWindow.Handle());
        status = mainWindow.Run(SW_SHOWNORMAL);
    }
    if (SUCCEEDED(ole)) ::OleUninitialize();
    return status;
}

void ShowBatchFailure(const std::string& message) {
    ::MessageBoxW(nullptr, Widen(message).c_str(), Widen(window::kApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
}

bool AttachToParentConsole() {
    if (HasHandle(STD_OUTPUT_HANDLE) && HasHandle(STD_ERROR_HANDLE)) return true;  // redirected
    if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return HasHandle(STD_OUTPUT_HANDLE) || HasHandle(STD_ERROR_HANDLE);
    // The C runtime found no streams at start-up; connect them to the console now.
    if (!HasHandle(STD_OUTPUT_HANDLE)) std::freopen("CONOUT$", "w", stdout);
    if (!HasHandle(STD_ERROR_HANDLE)) std::freopen("CONOUT$", "w", stderr);
    return true;
}

}  // namespace veltrane::win32

// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui_win32/win32_entry.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "core/common/exit_codes.h"
#include "core/common/native_path.h"
#include "core/common/number_format.h"
#include "core/registration/context_menu_registration.h"
#include "gui_win32/win32_services.h"
#include "gui_win32/win32_stereo_window.h"
#include "gui_win32/win32_text.h"
#include "gui_win32/win32_windows.h"
#ifdef VELTRANE_WITH_STEREO
#include "imaging/services/library_stereo_previewer.h"
#include "imaging/services/stereo_writer.h"
#endif

namespace veltrane::win32 {
namespace {

// The value of an environment variable in UTF-8, "" when it is not set.
std::string EnvironmentVariable(const wchar_t* name) {
    std::wstring value(::GetEnvironmentVariableW(name, nullptr, 0), L'\0');
    if (value.empty()) return {};
    value.resize(::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
    return Narrow(value);
}

bool HasHandle(DWORD which) {
    HANDLE handle = ::GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

std::string UserGuidePath(const std::string& programPath) {
    const std::string programFolder = FolderPart(programPath);
    const std::string folder = programFolder.empty() ? std::string(".") : programFolder;
    // Installed, the guide is in doc\ beside the program; no build path is compiled in, but a
    // developer may name a source tree in VELTRANE_SOURCE_DIR.
    std::vector<std::string> candidates = {folder + "\\doc\\user-guide.html",
                                           folder + "\\..\\share\\doc\\veltrane\\user-guide.html"};
    const std::string source = EnvironmentVariable(L"VELTRANE_SOURCE_DIR");
    if (!source.empty()) candidates.push_back(source + "\\docs\\user-guide.html");
    for (const std::string& candidate : candidates)
        if (IsExistingFile(candidate)) return FullPath(candidate);
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
#ifdef VELTRANE_WITH_STEREO
    // Save Stereo of the main window, and the Stereo window's pictures; the Stereo window's
    // dialogs and message boxes are placed over it.
    Win32SaveFileDialog saveDialog;
    stereo_services::LibraryStereoWriter stereoWriter;
    stereo_services::LibraryStereoPreviewer previewer;
    Win32SaveFileDialog stereoSaveDialog;
    Win32MessageBoxes stereoMessages;
#endif
    int status = kExitOk;
    try {
        window::WindowServices services{openDialog, folders, desktop, messages, temp, ticks, processes,
                                        *registration, programPath, UserGuidePath(programPath)};
        services.Numbers = NumberFormatOfUserLocale();
#ifdef VELTRANE_WITH_STEREO
        services.Stereo = &stereoWriter;
        services.SaveDialog = &saveDialog;
#endif
        MainWindow mainWindow(instance, services);
        openDialog.SetOwner(mainWindow.Handle());
        folders.SetOwner(mainWindow.Handle());
        desktop.SetOwner(mainWindow.Handle());
        messages.SetOwner(mainWindow.Handle());
#ifdef VELTRANE_WITH_STEREO
        saveDialog.SetOwner(mainWindow.Handle());
        StereoWindow stereoWindow(instance, {previewer, stereoSaveDialog, stereoMessages});
        stereoSaveDialog.SetOwner(stereoWindow.Handle());
        stereoMessages.SetOwner(stereoWindow.Handle());
        mainWindow.SetStereoWindow(&stereoWindow);
        status = mainWindow.Run(SW_SHOWNORMAL);
        mainWindow.SetStereoWindow(nullptr);
#else
        status = mainWindow.Run(SW_SHOWNORMAL);
#endif
    } catch (const WindowCreationError& e) {
        ShowBatchFailure(std::string("veltrane: ") + e.what());
        status = kExitFailure;
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

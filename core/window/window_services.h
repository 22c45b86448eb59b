#pragma once
// The desktop services the main window uses, each behind a small interface with no toolkit in
// it: the Qt window and the Win32 window bring their own implementations, the tests bring
// recording fakes. Texts are UTF-8; paths are the core's paths (UTF-8 on Windows, the file
// system's bytes on Linux).
#include <cstdint>
#include <string>

#include "core/registration/context_menu_registration.h"
#include "core/images/extraction.h"

namespace veltrane::window {

// The platform's open-file dialog.
class OpenFileDialog {
public:
    virtual ~OpenFileDialog() = default;
    // filterName is a description such as "MPO files (*.mpo)", pattern its pattern ("*.mpo"),
    // matched in any letter case. Returns the chosen file's path, or "" when the user cancels.
    virtual std::string GetOpenFileName(const std::string& title, const std::string& filterName,
                                        const std::string& pattern) = 0;
};

// The desktop's default actions: a file opens in its default application, an address in the
// browser. Neither reports whether something was opened.
class DesktopLauncher {
public:
    virtual ~DesktopLauncher() = default;
    virtual void OpenFile(const std::string& path) = 0;
    virtual void OpenUrl(const std::string& url) = 0;
};

// The application's message boxes, captioned with the program's title and placed over the
// main window.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // The standard error message: an exception's text, after which the program goes on.
    virtual void ShowError(const std::string& text) = 0;
    virtual void ShowInformation(const std::string& text) = 0;
};

// The system's folder for temporary files, ending with the folder separator.
class TempFolderProvider {
public:
    virtual ~TempFolderProvider() = default;
    virtual std::string TempFolder() = 0;
};

// Milliseconds since the system started, wrapping at 2^32.
class TickCounter {
public:
    virtual ~TickCounter() = default;
    virtual std::uint32_t TickCount() = 0;
};

struct WindowServices {
    OpenFileDialog& OpenDialog;
    FolderPicker& Folders;
    DesktopLauncher& Desktop;
    MessageBoxes& Messages;
    TempFolderProvider& Temp;
    TickCounter& Ticks;
    ContextMenuRegistration& Registration;
    std::string ProgramPath;   // the running executable, for the registration
    std::string UserGuideUrl;  // what the link label opens; empty opens nothing
};

// The program's title, the caption of its windows and message boxes.
inline constexpr const char* kApplicationTitle = "Veltrane";

}  // namespace veltrane::window

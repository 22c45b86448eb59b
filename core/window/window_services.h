// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop services the main window uses, each behind a small interface with no toolkit in
// it: the Qt window and the Win32 window bring their own implementations, the tests bring
// recording fakes. Texts are UTF-8; paths are the core's paths (UTF-8 on Windows, the file
// system's bytes on Linux).
#include <cstdint>
#include <string>
#include <vector>

#include "core/common/process_id.h"
#include "core/common/number_format.h"
#include "core/registration/context_menu_registration.h"
#include "core/window/stereo_previewer.h"

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

// The platform's folder dialog. Returns the chosen folder's full path, or an empty string when
// the user cancels or the chosen item has no file-system path.
class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    virtual std::string BrowseForFolder(const std::string& title, const std::string& initialFolder,
                                        bool allowNewFolder) = 0;
};

// The platform's save-file dialog with a choice of file types. suggestedPaths[i] is the name
// offered while file type i is chosen; chosenType is the type chosen first (0 when it is not one
// of types). Returns the chosen path, or "" when the user cancels, and the index of the chosen
// file type in chosenType.
class SaveFileDialog {
public:
    virtual ~SaveFileDialog() = default;
    virtual std::string GetSaveFileName(const std::string& title, const std::vector<std::string>& types,
                                        const std::vector<std::string>& suggestedPaths, int& chosenType) = 0;
};

// One layout that Save Stereo offers: what it writes, and its entry in the dialog's list of
// file types ("JPS cross, right eye first (*.jps)").
struct StereoLayoutChoice {
    StereoFileType type = StereoFileType::CrossJps;
    std::string fileType;
};

// Stereo pictures of images 1 and 2 of an MPO file, made by a library outside the core.
class StereoWriter {
public:
    virtual ~StereoWriter() = default;
    // The layouts that Save Stereo offers, in the order of the dialog's list.
    virtual std::vector<StereoLayoutChoice> Layouts() = 0;
    // The name offered for a picture of type of source.
    virtual std::string SuggestedPath(const std::string& source, StereoFileType type) = 0;
    // Writes the picture of type to path. Raises an exception whose text users see.
    virtual void Write(const std::string& source, StereoFileType type, const std::string& path) = 0;
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

// The running programs. The window keeps its temporary files in a folder named after its
// process, and at its start removes the folders of processes that have ended.
class ProcessTable {
public:
    virtual ~ProcessTable() = default;
    // The process number of this program.
    virtual std::int64_t ThisProcess() = 0;
    // Whether a process of that number runs now.
    virtual bool IsRunning(std::int64_t process) = 0;
};

// The system's own process table.
class SystemProcesses : public ProcessTable {
public:
    std::int64_t ThisProcess() override { return CurrentProcessId(); }
    bool IsRunning(std::int64_t process) override { return IsProcessRunning(process); }
};

struct WindowServices {
    OpenFileDialog& OpenDialog;
    FolderPicker& Folders;
    DesktopLauncher& Desktop;
    MessageBoxes& Messages;
    TempFolderProvider& Temp;
    TickCounter& Ticks;
    ProcessTable& Processes;
    ContextMenuRegistration& Registration;
    std::string ProgramPath;   // the running executable, for the registration
    std::string UserGuideUrl;  // what the link label opens; empty opens nothing
    // "Save Stereo...": stays hidden without a writer or a dialog. ("Show Stereo" opens the
    // Stereo window: MainWindowModel::SetStereoWindow.)
    StereoWriter* Stereo = nullptr;
    SaveFileDialog* SaveDialog = nullptr;
    // How the EXIF window writes numbers with decimals (the user's decimal separator).
    NumberFormat Numbers{};
};

// The program's title, the caption of its windows and message boxes.
inline constexpr const char* kApplicationTitle = "Veltrane";

}  // namespace veltrane::window

#pragma once
// The desktop services the main window uses, each behind a small interface: the Qt
// implementations live in qt_services.h, the tests bring recording fakes. TForm1 receives them
// all in one TForm1Services.
#include <cstdint>
#include <string>

#include <QString>
#include <QStringList>

#include "core/registration/context_menu_registration.h"
#include "core/images/extraction.h"

class QWidget;

namespace veltrane::gui {

// The platform's open-file dialog.
class OpenFileDialog {
public:
    virtual ~OpenFileDialog() = default;
    // filter is one entry such as "MPO files (*.mpo)"; its patterns match in any letter case.
    // Returns the chosen file's path, or an empty string when the user cancels.
    virtual QString GetOpenFileName(QWidget* owner, const QString& title, const QString& filter) = 0;
};

// The desktop's default actions: a file opens in its default application, an address in the
// browser. Neither reports whether something was opened.
class DesktopLauncher {
public:
    virtual ~DesktopLauncher() = default;
    virtual void OpenFile(const std::string& path) = 0;
    virtual void OpenUrl(const QString& url) = 0;
};

// The application's message boxes, captioned with the program's title.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // The standard error message: an exception's text, after which the program goes on.
    virtual void ShowError(QWidget* owner, const QString& text) = 0;
    virtual void ShowInformation(QWidget* owner, const QString& text) = 0;
};

// The platform's save-file dialog with a choice of file types. suggestedPaths[i] is the name
// offered while file type i is chosen. Returns the chosen path, or an empty string when the
// user cancels, and the index of the chosen file type in chosenType.
class SaveFileDialog {
public:
    virtual ~SaveFileDialog() = default;
    virtual QString GetSaveFileName(QWidget* owner, const QString& title, const QStringList& types,
                                    const QStringList& suggestedPaths, int& chosenType) = 0;
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

struct TForm1Services {
    OpenFileDialog& OpenDialog;
    FolderPicker& Folders;
    DesktopLauncher& Desktop;
    MessageBoxes& Messages;
    TempFolderProvider& Temp;
    TickCounter& Ticks;
    ContextMenuRegistration& Registration;
    std::string ProgramPath;  // the running executable, for the registration
    QString UserGuideUrl;     // what the link label opens; empty opens nothing
    SaveFileDialog* SaveDialog = nullptr;  // "Save Stereo..."; without it the entry stays hidden
};

}  // namespace veltrane::gui

// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up of the desktop window: check for a display, then the application object, the main
// window (whose creation checks the context-menu registration), the hidden EXIF and Stereo
// windows and the event loop.
#include "gui/gui_entry.h"

#include <iostream>
#include <memory>

#include <QApplication>
#include <QMessageBox>

#include "core/common/exit_codes.h"
#include "core/common/number_format.h"
#include "core/registration/context_menu_registration.h"
#include "gui/app_icon.h"
#include "gui/display_check.h"
#include "gui/exif_window.h"
#include "gui/main_window.h"
#include "gui/qt_services.h"
#include "gui/stereo_window.h"
#include "gui/text.h"
#include "gui/user_guide.h"
#include "imaging/services/library_stereo_previewer.h"
#include "imaging/services/stereo_writer.h"

namespace veltrane::gui {

int RunInteractive(int argc, char** argv, const std::string& programPath) {
    if (DetectDisplay() == DisplayKind::None) {
        std::cerr << "veltrane: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set).\n"
                  << "To split an MPO file without a window: veltrane FILE [FOLDER | odd | even] [odd | even]\n"
                  << "Try 'veltrane --help'.\n";
        return kExitFailure;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    QApplication::setApplicationVersion(QStringLiteral(VELTRANE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("veltrane"));
    QApplication::setWindowIcon(AppIcon());

    QtOpenFileDialog openDialog;
    QtFolderPicker folders;
    QtDesktopLauncher desktop;
    QtMessageBoxes messages;
    SystemTempFolder temp;
    SystemTickCounter ticks;
    window::SystemProcesses processes;
    const std::unique_ptr<ContextMenuRegistration> registration = CreatePlatformRegistration();
    QtSaveFileDialog saveDialog;
    stereo_services::LibraryStereoWriter stereo;
    WindowServices services{openDialog, folders, desktop,       messages,    temp,
                            ticks,      processes, *registration, programPath,
                            UserGuideUrl(PathFromCore(programPath)).toStdString(), &stereo, &saveDialog};
    services.Numbers = NumberFormatOfUserLocale();

    MainWindow mainWindow(services);
    openDialog.SetOwner(&mainWindow);
    folders.SetOwner(&mainWindow);
    messages.SetOwner(&mainWindow);
    saveDialog.SetOwner(&mainWindow);
    mainWindow.show();
    ExifWindow exifWindow;
    mainWindow.SetExifWindow(&exifWindow);
    // The Stereo window's dialogs and message boxes are placed over it.
    stereo_services::LibraryStereoPreviewer previewer;
    QtSaveFileDialog stereoSaveDialog;
    QtMessageBoxes stereoMessages;
    QtOpenFileDialog stereoOpenDialog;
    StereoWindow stereoWindow({previewer, stereoSaveDialog, stereoMessages, &stereoOpenDialog});
    stereoSaveDialog.SetOwner(&stereoWindow);
    stereoOpenDialog.SetOwner(&stereoWindow);
    stereoMessages.SetOwner(&stereoWindow);
    stereoWindow.setWindowIcon(AppIcon());
    mainWindow.SetStereoWindow(&stereoWindow);
    const int status = QApplication::exec();
    mainWindow.SetStereoWindow(nullptr);
    return status;
}

void ShowBatchFailure(int argc, char** argv, const std::string& message) {
    // Only where somebody can see it: an offscreen box would wait for a click forever.
    if (DetectDisplay() != DisplayKind::Screen) return;
    std::unique_ptr<QApplication> app;
    if (QApplication::instance() == nullptr) app = std::make_unique<QApplication>(argc, argv);
    QMessageBox::critical(nullptr, QString::fromLatin1(kApplicationTitle), QString::fromLocal8Bit(message));
}

}  // namespace veltrane::gui

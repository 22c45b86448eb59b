#pragma once
// The desktop services of TForm1Services as Qt provides them.
#include "gui/services.h"

class QFileDialog;

namespace veltrane::gui {

// Qt's own file dialog rather than the desktop's: its name filters match in any letter case,
// so "*.mpo" also finds the upper-case names that cameras write.
class QtOpenFileDialog : public OpenFileDialog {
public:
    QString GetOpenFileName(QWidget* owner, const QString& title, const QString& filter) override;
};

// Sets up dialog as QtOpenFileDialog shows it.
void ConfigureOpenDialog(QFileDialog& dialog, const QString& title, const QString& filter);

class QtSaveFileDialog : public SaveFileDialog {
public:
    QString GetSaveFileName(QWidget* owner, const QString& title, const QStringList& types,
                            const QStringList& suggestedPaths, int& chosenType) override;
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
    void OpenUrl(const QString& url) override;
};

class QtMessageBoxes : public MessageBoxes {
public:
    void ShowError(QWidget* owner, const QString& text) override;
    void ShowInformation(QWidget* owner, const QString& text) override;
};

class SystemTempFolder : public TempFolderProvider {
public:
    std::string TempFolder() override;
};

class SystemTickCounter : public TickCounter {
public:
    std::uint32_t TickCount() override;
};

// The program's title, the caption of its message boxes.
inline constexpr const char* kApplicationTitle = "Veltrane";

}  // namespace veltrane::gui

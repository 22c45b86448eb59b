// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: Open, Extract, the All/Odd/Even choice, the image list with its menu, the
// context-menu check box, the status panel and the link to the user guide. A thin view over the
// window model of the core: it builds the Qt controls, hands what the user asks for to the
// model's handlers and shows what the model decides.
#include <string>

#include <QWidget>

#include "core/window/main_window_model.h"

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QListView;
class QMenu;
class QMimeData;
class QPushButton;
class QRadioButton;

namespace veltrane::gui {

class ExifWindow;
class StereoWindow;
class ImageListModel;
class LinkLabel;

class MainWindow : public QWidget, private window::MainWindowView {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 265;
    static constexpr int kClientHeight = 255;
    static constexpr int kListItemHeight = 13;

    // Builds the window and starts the model (which checks the context-menu registration).
    explicit MainWindow(window::WindowServices services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The EXIF window that "EXIF Info" fills; created after the main window.
    void SetExifWindow(ExifWindow* exifWindow) { exifWindow_ = exifWindow; }
    // The Stereo window that "Show Stereo" opens (without one the entry is hidden).
    void SetStereoWindow(StereoWindow* stereoWindow);

    // The controls, in the order of the design.
    QPushButton* openButton;       // "&Open MPO"
    QListView* imageList;          // the images of the open file, over ImageListModel
    QPushButton* extractButton;    // "E&xtract Images"
    QGroupBox* modeGroup;          // " Extract "
    QRadioButton* allButton;       // "&All"
    QRadioButton* oddButton;       // "O&dd"
    QRadioButton* evenButton;      // "&Even"
    QCheckBox* contextMenuBox;     // "Enable &context menu entry for MPO files"
    LinkLabel* guideLink;          // "VLTR Home Page": the user guide
    QMenu* listMenu;               // the image list's menu
    QAction* showImageAction;      // "Show Image"
    QAction* showExifAction;       // "EXIF Info"
    QAction* showStereoAction;     // "Show Stereo": the Stereo window with the selected pair
    QAction* saveStereoAction;     // "Save Stereo...": a layout of images 1 and 2 to a file
    QLabel* statusPanel;
    QFrame* separatorLine;         // the line above the check box

    const window::MainWindowModel& Model() const { return model_; }
    // The row selected in the list, or -1.
    int SelectedRow() const;
    // The list's hint exactly as set (its tooltip shows the same two lines).
    QString ListHint() const { return QString::fromStdString(model_.ListHint()); }

    // The .mpo file among dropped data, or an empty string.
    static QString DroppedOpenedFile(const QMimeData* data);
    // Whether the drop holds a file the window opens: an .mpo file, or a spatial photo that
    // the Stereo window shows.
    bool AcceptsDroppedFiles(const QMimeData* mime) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // What the model shows.
    void ClearList() override;
    void AppendListLine(const std::string& text) override;
    void SetControls(const window::ControlStates& states) override;
    void SetStatusText(const std::string& text) override;
    void SetStatusHint(const std::string& hint) override;
    void SetListHint(const std::string& hint) override;
    void SetContextMenuBox(bool checked) override;
    void RepaintList() override;
    void ProcessPendingEvents() override;
    void ShowExifWindow(const std::vector<window::ExifRowText>& rows) override;

    void BuildControls(const std::string& userGuideUrl);
    void ConnectControls();
    ExtractMode CheckedMode() const;
    void RequestPreview(window::MainWindowModel::PreviewKind kind);

    window::MainWindowModel model_;
    ImageListModel* listModel_ = nullptr;
    window::DesktopLauncher& desktop_;
    ExifWindow* exifWindow_ = nullptr;
};

}  // namespace veltrane::gui

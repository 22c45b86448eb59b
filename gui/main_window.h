#pragma once
// TForm1, the main window: Open, Extract, the All/Odd/Even choice, the drawn image list with
// its menu, the context-menu check box, the status panel and the link to the user guide.
// A thin view over the window model of the core: it builds the Qt controls, forwards their
// events to the model and shows what the model decides.
#include <cstdint>
#include <string>

#include <QWidget>

#include "core/images/image_index.h"
#include "core/window/main_window_model.h"
#include "gui/services.h"

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QMimeData;
class QPainter;
class QPushButton;
class QRadioButton;

namespace veltrane::gui {

class THyperLabel;
class TForm2;

class TForm1 : public QWidget, private window::MainWindowView {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 265;
    static constexpr int kClientHeight = 255;
    static constexpr int kListItemHeight = 13;

    // Builds the window and runs FormCreate (the start-up check of the registration).
    explicit TForm1(TForm1Services services, QWidget* parent = nullptr);
    ~TForm1() override;

    // The EXIF window that "EXIF Info" fills; created after the main window, as at start-up.
    void SetExifWindow(TForm2* form2) { Form2_ = form2; }

    // The components, in the order of the form's design.
    QPushButton* Button2;       // "&Open MPO"
    QListWidget* ListBox1;      // the image list, drawn by ListBox1DrawItem
    QPushButton* Button1;       // "E&xtract Images"
    QGroupBox* GroupBox1;       // " Extract "
    QRadioButton* RadioButton1; // "&All"
    QRadioButton* RadioButton2; // "O&dd"
    QRadioButton* RadioButton3; // "&Even"
    QCheckBox* CheckBox1;       // "Enable &context menu entry for MPO files"
    THyperLabel* HyperLabel1;   // "VLTR Home Page"
    QMenu* PopupMenu1;          // the image list's menu
    QAction* ShowImage1;        // "Show Image"
    QAction* ShowEXIF1;         // "EXIF Info"
    QAction* ShowStereo1;       // "Show Stereo": aligned anaglyph of images 1 and 2
    QAction* SaveStereo1;       // "Save Stereo...": a layout of images 1 and 2 to a file
    QLabel* Panel1;             // the status panel
    QFrame* Bevel1;             // the line above the check box

    // Event handlers.
    void Button2Click();
    void FormCreate();
    void Button1Click();
    void RadioButton1Click();
    void CheckBox1Click(bool checked);
    void ListBox1Click(QObject* sender);
    void ListBox1Click1();
    void ListBox1DrawItem(QPainter& canvas, int Index, const QRect& Rect);
    void ShowStereo1Click();
    void SaveStereo1Click();
    void FormClose();

    // The Open command after its dialog: also what a dropped .mpo file does.
    void OpenMpoFile(const QString& path);

    const window::MainWindowModel& Model() const { return model_; }
    const ImageIndex& Images() const { return model_.Images(); }
    ExtractMode CheckedModeButton() const;
    // The selected list entry, or -1.
    int SelectedIndex() const;
    bool Scanning() const { return model_.Scanning(); }
    // The list's hint exactly as set (its tooltip shows the same two lines).
    QString ListHint() const { return QString::fromStdString(model_.ListHint()); }

    // The .mpo file among dropped data, or an empty string.
    static QString DroppedMpoFile(const QMimeData* data);

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
    void WireActions();

    window::MainWindowModel model_;
    DesktopLauncher& desktop_;
    TForm2* Form2_ = nullptr;
};

}  // namespace veltrane::gui

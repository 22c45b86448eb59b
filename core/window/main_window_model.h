#pragma once
// What the main window (TForm1) and the EXIF window (TForm2) decide, without any toolkit: the
// open file and its list, the mode buttons, the selection, the scan lock, the handlers of every
// control, the list colours, the enabled states, the status panel and the EXIF rows. A front-end
// builds the controls, forwards their events to the model and shows what the model hands to its
// MainWindowView; the Qt window and the Win32 window are two such views.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/images/extraction.h"
#include "core/images/image_index.h"
#include "core/images/scanner.h"
#include "core/window/window_services.h"

namespace veltrane::window {

// Which controls can be used; the view applies all of them at once.
struct ControlStates {
    bool OpenButton = true;      // Button2
    bool ContextMenuBox = true;  // CheckBox1
    bool ExtractButton = false;  // Button1
    bool ImageList = false;      // ListBox1
    bool ModeButtons = false;    // RadioButton1 to 3
    bool ShowImage = false;      // the menu's "Show Image"
    bool ShowExif = false;       // the menu's "EXIF Info"
    bool ShowStereo = false;     // the menu's "Show Stereo" is there (a pair is open)
    bool SaveStereo = false;     // the menu's "Save Stereo..." is there
    bool operator==(const ControlStates&) const = default;
};

struct ExifRowText {
    std::string Caption;  // UTF-8
    std::string Value;    // UTF-8
};

// The list entry colours, 0xRRGGBB.
inline constexpr std::uint32_t kIncludedColour = 0xFFFFFF;  // written in the checked mode
inline constexpr std::uint32_t kLeftOutColour = 0xEEEEEE;   // left out by the checked mode
inline constexpr std::uint32_t kSelectedColour = 0xCCCCCC;

// The list's hint: the first line until a file has been opened, both lines after.
inline constexpr const char* kFirstHintLine = " Double click for image preview ";
inline constexpr const char* kSecondHintLine = " Right click for menu ";
inline constexpr const char* kReadyText = "Ready.";

// The EXIF window's row background: white for the even rows 0 to 18, grey 245 for the odd
// ones; any other row keeps the colour chosen before (previous).
std::uint32_t ExifRowColour(int row, std::uint32_t previous);

// An error's text as UTF-8. The core's texts are Windows-1252, but some carry a file path, which
// is UTF-8: text that is valid UTF-8 is taken as such (Windows-1252 text with letters beyond
// ASCII practically never is).
std::string ErrorTextToUtf8(const std::string& text);

// The window's side of the model: what the model shows. Every text is UTF-8.
class MainWindowView {
public:
    virtual ~MainWindowView() = default;
    virtual void ClearList() = 0;
    virtual void AppendListLine(const std::string& text) = 0;
    virtual void SetControls(const ControlStates& states) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // The status panel's tooltip ("" for none): the whole of a notice that the panel shortens.
    virtual void SetStatusHint(const std::string& hint) = 0;
    // The list's tooltip; two lines are separated by '\n'.
    virtual void SetListHint(const std::string& hint) = 0;
    // Ticks or clears the context-menu box without the box's click handler running.
    virtual void SetContextMenuBox(bool checked) = 0;
    // Draws the list again (its colours follow the mode and the selection).
    virtual void RepaintList() = 0;
    // Lets the window handle what is waiting (input, painting, a close), then returns.
    virtual void ProcessPendingEvents() = 0;
    // Fills the EXIF window with rows and shows it where it was, if it is hidden.
    virtual void ShowExifWindow(const std::vector<ExifRowText>& rows) = 0;
};

class MainWindowModel : private ScanListener {
public:
    // How long the scan may read without letting the window handle its events: well below the
    // 100 ms within which a close stops it.
    static constexpr int kEventIntervalMs = 20;
    void SetEventIntervalMs(int ms) { eventIntervalMs_ = ms; }

    enum class PreviewKind { ShowImage, ShowExif };

    MainWindowModel(WindowServices services, MainWindowView& view);
    MainWindowModel(const MainWindowModel&) = delete;
    MainWindowModel& operator=(const MainWindowModel&) = delete;

    // The banner that the list shows before any file is opened.
    static std::vector<std::string> BannerLines();

    // The handlers. The view calls Start once its controls exist (it shows the first state and
    // runs FormCreate, the start-up check of the registration).
    void Start();
    void FormCreate();
    void Button2Click();                     // Open: the dialog, then OpenMpoFile
    void OpenMpoFile(const std::string& path);
    void Button1Click();                     // Extract
    void RadioButton1Click(ModeButton mode); // any mode button became checked
    void CheckBox1Click(bool checked);
    void ListBox1Click1(int selectedIndex);  // the selection changed (-1: none)
    void ListBox1Click(PreviewKind kind);    // double click, "Show Image" or "EXIF Info"
    void ShowStereo1Click();                 // the aligned anaglyph of images 1 and 2
    void SaveStereo1Click();                 // a layout of images 1 and 2, to a chosen file
    void FormClose();                        // also stops a running scan
    // Dropped files: the first .mpo file among them is opened; returns whether one was.
    bool DropFiles(const std::vector<std::string>& paths);

    // The background of list entry index, remembered as the colour last drawn.
    std::uint32_t ListBox1DrawItem(int index);

    // The .mpo file (any letter case of the extension) among paths, or "".
    static std::string DroppedMpoFile(const std::vector<std::string>& paths);
    bool AcceptsDrop() const { return !scanning_ && !closing_; }

    const ImageIndex& Images() const { return images_; }
    ModeButton Mode() const { return mode_; }
    int SelectedIndex() const { return selected_; }
    bool Scanning() const { return scanning_; }
    bool Closing() const { return closing_; }
    const std::vector<std::string>& ListLines() const { return lines_; }
    const std::string& StatusText() const { return status_; }
    // The hint as the form sets it: the two lines joined by "\n\r".
    const std::string& ListHint() const { return hint_; }
    const ControlStates& Controls() const { return controls_; }
    bool ContextMenuBoxChecked() const { return registeredBox_; }
    const std::string& UserGuideUrl() const { return services_.UserGuideUrl; }
    void OpenUserGuide();

private:
    // The scan's services.
    void AppendListLine(const std::string& line) override;
    void ProcessPendingEvents() override;
    void ChunkScanned(std::int64_t scannedBytes) override;
    void ImageLimitReached(std::int64_t offset) override;
    void MpfIndexIgnored(const std::string& reason) override;
    void LetEventsRun();

    void UpdateControls();
    void ShowExif();
    template <typename Command>
    void RunCommand(Command&& command);

    WindowServices services_;
    MainWindowView& view_;
    ImageIndex images_;
    std::vector<std::string> lines_;
    std::string status_ = kReadyText;
    std::string hint_ = kFirstHintLine;
    ControlStates controls_;
    ModeButton mode_ = ModeButton::All;
    int selected_ = -1;
    bool registeredBox_ = false;
    bool opened_ = false;  // a file with images has been opened
    bool scanning_ = false;
    bool closing_ = false;  // the window closed; a running scan stops
    bool limitReached_ = false;
    std::string mpfNotice_;  // "MPF index ignored: ..." of the file last opened, or empty
    int eventIntervalMs_ = kEventIntervalMs;
    std::int64_t lastEventsAt_ = 0;  // steady clock, ms, when the scan last let events run
};

}  // namespace veltrane::window

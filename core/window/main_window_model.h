// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the main window and the EXIF window decide, without any toolkit: the open file and its
// list, the extraction mode, the selection, the scan lock, what every command does, the list
// colours, the enabled states, the status panel and the EXIF rows. A front-end builds the
// controls, forwards what the user asks for to the model's handlers and shows what the model
// hands to its MainWindowView; the Qt window and the Win32 window are two such views.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/common/extract_mode.h"
#include "core/images/image_index.h"
#include "core/images/scanner.h"
#include "core/parts/file_part.h"
#include "core/window/window_services.h"

namespace veltrane::window {

class StereoWindowModel;

// Which controls can be used; the view applies all of them at once.
struct ControlStates {
    bool OpenButton = true;
    bool ContextMenuBox = true;  // "Enable context menu entry for MPO files"
    bool ExtractButton = false;
    bool ImageList = false;
    bool ModeButtons = false;    // All, Odd and Even
    bool ShowImage = false;      // the list menu's "Show Image"
    bool ShowExif = false;       // the list menu's "EXIF Info"
    bool ShowStereo = false;     // the list menu's "Show Stereo" is there (a pair is open, a Stereo window exists)
    bool SaveStereo = false;     // the list menu's "Save Stereo..." is there
    bool operator==(const ControlStates&) const = default;
};

struct ExifRowText {
    std::string Caption;  // UTF-8
    std::string Value;    // UTF-8
};

// The list entry colours, 0xRRGGBB.
inline constexpr std::uint32_t kIncludedColour = 0xFFFFFF;  // written in the chosen mode
inline constexpr std::uint32_t kLeftOutColour = 0xEEEEEE;   // left out by the chosen mode
inline constexpr std::uint32_t kSelectedColour = 0xCCCCCC;

// The list's hint: the first line until a file has been opened, both lines after.
inline constexpr const char* kFirstHintLine = " Double click for image preview ";
inline constexpr const char* kSecondHintLine = " Right click for menu ";
inline constexpr const char* kReadyText = "Ready.";

// The files the main window opens, by extension (any letter case): MPO files and phone photos.
// The Open dialog offers them and a drop onto the window takes them, in both toolkits.
inline constexpr std::array<std::string_view, 3> kOpenedExtensions = {".mpo", ".jpg", ".jpeg"};
// The Open dialog's filter, "MPO and JPEG files (*.mpo *.jpg *.jpeg)", and its pattern
// "*.mpo;*.jpg;*.jpeg", both from kOpenedExtensions.
std::string OpenFilterName();
std::string OpenFilterPattern();
// Whether name (a file name or path) ends in one of kOpenedExtensions.
bool IsOpenedFileName(std::string_view name);

// The EXIF window's row background: white for the even rows 0 to 18, grey 245 for the odd ones,
// white beyond them.
constexpr std::uint32_t ExifRowColour(int row) {
    return row >= 0 && row <= 18 && row % 2 == 1 ? 0xF5F5F5u : 0xFFFFFFu;
}

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
    // Ticks or clears the context-menu box without ContextMenuEntryToggled running.
    virtual void SetContextMenuBox(bool checked) = 0;
    // The list's colours have changed (they follow the mode and the selection): draw it again,
    // asking RowColour for each row.
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

    // What a preview shows: the image in the desktop's viewer, or its EXIF data in the EXIF window.
    enum class PreviewKind { ShowImage, ShowExif };

    MainWindowModel(WindowServices services, MainWindowView& view);
    MainWindowModel(const MainWindowModel&) = delete;
    MainWindowModel& operator=(const MainWindowModel&) = delete;

    // The banner that the list shows before any file is opened.
    static std::vector<std::string> BannerLines();

    // The handlers. The view calls Start once its controls exist: it shows the first state and
    // checks the registration.
    void Start();
    // An existing context-menu entry is written again for this program, keeping its mode word,
    // and the box is ticked.
    void CheckRegistrationAtStart();
    // Open: asks for a file, then OpenFile.
    void OpenRequested();
    // Lists the images of the MPO file at path; refused while a scan runs.
    void OpenFile(const std::string& path);
    // Extract: asks for a folder and writes the images of the chosen mode into it.
    void ExtractRequested();
    // One of the mode buttons became checked.
    void ModeChosen(ExtractMode mode);
    // The context-menu box was ticked or cleared by the user.
    void ContextMenuEntryToggled(bool checked);
    // The list's selection changed to row (-1: none).
    void SelectionChanged(int row);
    // A double click, "Show Image" or "EXIF Info" on the selected image.
    void PreviewRequested(PreviewKind kind);
    // "Show Stereo": the Stereo window opens with the pair StereoPairOf the selection.
    void ShowStereoRequested();
    // "Save Stereo...": a layout of images 1 and 2, written to a chosen file.
    void SaveStereoRequested();
    // The window closes; also stops a running scan.
    void WindowClosing();
    // Dropped files: the first file among them that Open takes (kOpenedExtensions) is opened;
    // without one, the first spatial photo opens in the Stereo window. Returns whether a file was
    // opened.
    bool FilesDropped(const std::vector<std::string>& paths);
    // The link label: the user guide in the browser.
    void OpenUserGuide();

    // The background of list row, 0xRRGGBB: the selected row, else whether the chosen mode
    // writes the image of that row.
    std::uint32_t RowColour(int row) const;

    // The first existing file among paths that Open takes (IsOpenedFileName), or "".
    static std::string DroppedOpenedFile(const std::vector<std::string>& paths);
    // The first .heic or .heif file among paths when a Stereo window can show it, or "".
    std::string DroppedSpatialPhoto(const std::vector<std::string>& paths) const;

    // The window that "Show Stereo" opens (none: the entry stays hidden). It is closed with
    // this one.
    void SetStereoWindow(StereoWindowModel* stereoWindow);
    // The images (1-based) that "Show Stereo" shows for list row selected (-1: none) of a file
    // of count >= 2 images: the selected image and the next one, as a stereo camera stores its
    // pairs; the last image with the one before it; images 1 and 2 when none is selected.
    static std::pair<int, int> StereoPairOf(int selected, int count);
    bool AcceptsDrop() const { return !scanning_ && !closing_; }

    const ImageIndex& Images() const { return images_; }
    // The parts of the open file beyond its images, listed after them (a video, a depth map).
    const std::vector<parts::FilePart>& OtherParts() const { return otherParts_; }
    // The file whose images are listed ("" before the first Open).
    const std::string& Source() const { return source_; }
    ExtractMode Mode() const { return mode_; }
    int SelectedRow() const { return selected_; }
    bool Scanning() const { return scanning_; }
    bool Closing() const { return closing_; }
    const std::vector<std::string>& ListLines() const { return lines_; }
    const std::string& StatusText() const { return status_; }
    // The hint as the form sets it: the two lines joined by "\n\r".
    const std::string& ListHint() const { return hint_; }
    const ControlStates& Controls() const { return controls_; }
    bool ContextMenuBoxChecked() const { return registeredBox_; }
    const std::string& UserGuideUrl() const { return services_.UserGuideUrl; }

private:
    // What the scan tells the window.
    bool Continue(std::int64_t scannedBytes) override;
    void ImageComplete(int n, std::int64_t sizeInBytes) override;
    void ImageLimitReached(std::int64_t offset) override;
    void MpfIndexIgnored(const std::string& reason) override;
    void MpfIndexUsed(const MpfIndex& index) override;
    void LetEventsRun();

    void UpdateControls();
    void ShowExif(const std::string& imageFile, int n);
    void ListOtherParts();
    // This run's folder of temporary files, and a new name in it (the folder is made when needed).
    std::string OwnRunFolder();
    std::string NewPreviewFileName(std::string_view extension = ".jpg");
    template <typename Command>
    void RunCommand(Command&& command);

    WindowServices services_;
    MainWindowView& view_;
    StereoWindowModel* stereoWindow_ = nullptr;
    std::string source_;
    ImageIndex images_;
    // The open file's images are views of one scene (a stereo pair or more): its MPF index lists
    // disparity or multi-angle images, or it has no index that could be used.
    bool stereoSet_ = false;
    std::vector<std::int64_t> imageSizes_;  // of images 1 to ImageCount, in bytes
    std::vector<parts::FilePart> otherParts_;  // rows ImageCount on
    std::vector<std::string> lines_;
    std::string status_ = kReadyText;
    std::string hint_ = kFirstHintLine;
    ControlStates controls_;
    ExtractMode mode_ = ExtractMode::All;
    int selected_ = -1;
    bool registeredBox_ = false;
    bool opened_ = false;  // a file with images has been opened
    bool scanning_ = false;
    bool closing_ = false;  // the window closed; a running scan stops
    bool limitReached_ = false;
    std::string mpfNotice_;  // "MPF index ignored: ..." of the file last opened, or empty
    int eventIntervalMs_ = kEventIntervalMs;
    std::int64_t lastEventsAt_ = 0;  // steady clock, ms, when the scan last let events run
    int imagesAtLastEvents_ = 0;     // how many images the scan had recorded then
};

}  // namespace veltrane::window

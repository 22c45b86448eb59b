// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the Stereo window decides, without any toolkit: the pair it shows, the view (anaglyph,
// parallel, cross or the wiggle animated in place), the anaglyph kind, the alignment, the
// parallax, the swap, the enabled states and what Save offers and writes. The window shows a
// preview rendered from the pair decoded at a reduced size; Save writes from the full images.
// The Qt window and the Win32 window draw it through StereoWindowView and forward the user's
// choices to the handlers.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/window/stereo_previewer.h"
#include "core/window/window_services.h"

namespace veltrane::window {

// The captions of the two choice lists, in the order the lists show them.
struct StereoViewEntry {
    StereoView view;
    const char* caption;
};
inline constexpr std::array<StereoViewEntry, 4> kStereoViews = {{
    {StereoView::Anaglyph, "Anaglyph"},
    {StereoView::Parallel, "Parallel, left eye first"},
    {StereoView::Cross, "Cross-eyed, right eye first"},
    {StereoView::Wiggle, "Wiggle"},
}};

struct AnaglyphKindEntry {
    AnaglyphKind kind;
    const char* caption;
};
inline constexpr std::array<AnaglyphKindEntry, 7> kAnaglyphKinds = {{
    {AnaglyphKind::Dubois, "Red-cyan, Dubois"},
    {AnaglyphKind::AmberBlue, "Amber-blue, Dubois"},
    {AnaglyphKind::GreenMagenta, "Green-magenta, Dubois"},
    {AnaglyphKind::Gray, "Red-cyan, gray"},
    {AnaglyphKind::Color, "Red-cyan, color"},
    {AnaglyphKind::HalfColor, "Red-cyan, half-color"},
    {AnaglyphKind::Optimized, "Red-cyan, optimized"},
}};

// The file types of Save, in the order of the dialog's list. An optional type is offered only
// when the previewer says it can write it (StereoPreviewer::CanSave).
struct StereoFileTypeEntry {
    StereoFileType type;
    const char* filter;  // the dialog's entry, with its pattern
    bool optional;
};
inline constexpr std::array<StereoFileTypeEntry, 10> kStereoFileTypes = {{
    {StereoFileType::CrossJps, "JPS cross, right eye first (*.jps)", false},
    {StereoFileType::Parallel, "Parallel, left eye first (*.jpg)", false},
    {StereoFileType::Anaglyph, "Anaglyph of the chosen kind (*.jpg)", false},
    {StereoFileType::OverUnder, "Over/under, left eye above (*.jpg)", false},
    {StereoFileType::HalfSideBySide, "Half side by side, for 3D TVs (*.jpg)", false},
    {StereoFileType::HalfOverUnder, "Half over/under, for 3D TVs (*.jpg)", false},
    {StereoFileType::InterlacedPng, "Row-interlaced, for passive 3D monitors (*.png)", false},
    {StereoFileType::WiggleGif, "Wiggle animation (*.gif)", false},
    {StereoFileType::WiggleWebp, "Wiggle animation (*.webp)", false},
    {StereoFileType::Mpo, "MPO, both images (*.mpo)", true},
}};

// The file type that Save chooses first for a view.
StereoFileType DefaultFileType(StereoView view);

// What the Stereo window's controls show and whether they can be used; the view applies all of
// it at once, without the controls reporting the changes back as the user's.
struct StereoControls {
    StereoView view = StereoView::Anaglyph;
    AnaglyphKind anaglyph = AnaglyphKind::Dubois;
    bool align = true;
    bool alignFull = false;       // full alignment: rotation, scale and vertical offset too
    bool swap = false;
    int parallax = 0;
    int parallaxMin = 0, parallaxMax = 0;  // the slider's range, full-size pixels
    std::string parallaxText = "0 px";     // the slider's value beside it
    std::string statusText;                // the pair, its size and the alignment
    bool viewChoice = false;
    bool anaglyphChoice = false;  // only while the anaglyph is shown
    bool alignBox = false;        // not when the pair cannot be aligned
    bool alignFullBox = false;    // not when full alignment refused the pair
    bool swapBox = false;
    bool parallaxSlider = false;
    bool saveButton = false;
    bool openButton = false;      // when the window has an open dialog
    bool operator==(const StereoControls&) const = default;
};

// The window's side of the model: what the model shows. Texts are UTF-8.
class StereoWindowView {
public:
    virtual ~StereoWindowView() = default;
    // Shows the window (raised, when already shown) with caption title.
    virtual void ShowWindow(const std::string& title) = 0;
    // Hides the window.
    virtual void HideWindow() = 0;
    // The picture to show, scaled to fit; an empty one clears it.
    virtual void ShowPicture(const RgbPicture& picture) = 0;
    virtual void SetControls(const StereoControls& controls) = 0;
    // From now on call AnimationTimerFired every intervalMs milliseconds; 0 stops the calls.
    virtual void SetAnimationTimer(int intervalMs) = 0;
    // Runs call soon on the interface thread, after the events waiting; may be called from any
    // thread. A call for a window that has gone is dropped.
    virtual void CallOnInterfaceThread(std::function<void()> call) = 0;
};

struct StereoWindowServices {
    StereoPreviewer& Previewer;
    SaveFileDialog& SaveDialog;
    MessageBoxes& Messages;
    OpenFileDialog* OpenDialog = nullptr;  // "Open..." (none: the window opens what it is given)
};

// What "Open..." offers: spatial photos (HEIF), MPO files and JPS files. The dialog's entry and
// its patterns, separated by semicolons.
inline constexpr const char* kStereoOpenFilter = "Stereo photos (*.heic *.heif *.mpo *.jps)";
inline constexpr const char* kStereoOpenPatterns = "*.heic;*.heif;*.mpo;*.jps";

class StereoWindowModel {
public:
    // The preview's longer side is at least this many pixels (a 4000 x 3000 pair decodes at 1/4,
    // 1000 x 750): sharp enough in a window, small enough for a slider.
    static constexpr int kPreviewSide = 1000;
    // Each wiggle frame's time, shown and saved.
    static constexpr int kFrameDelayMs = 150;

    StereoWindowModel(StereoWindowServices services, StereoWindowView& view);
    StereoWindowModel(const StereoWindowModel&) = delete;
    StereoWindowModel& operator=(const StereoWindowModel&) = delete;

    // The handlers.
    // Opens images first and second of the MPO file source and shows the window with their
    // anaglyph; the view, the parallax and the swap start afresh, the anaglyph kind and the
    // Align box stay as the user left them. A failure is shown in a message box.
    void OpenPair(const std::string& source, int first, int second);
    // Opens the stereo pair of a file: the two eyes of a spatial photo (a HEIF file), or images
    // 1 and 2 of an MPO file, or the halves of a JPS file; otherwise as OpenPair.
    void OpenFile(const std::string& path);
    // "Open...": asks for a file, then OpenFile.
    void OpenRequested();
    void ViewChosen(StereoView view);
    void AnaglyphKindChosen(AnaglyphKind kind);
    void AlignToggled(bool align);
    // The "Full" box: full alignment (rotation, scale, vertical offset) of the pair, measured
    // and warped at full size off the interface thread; the status says so meanwhile, and the
    // slider and the choices stay live on the uncorrected pair until it is done.
    void AlignFullToggled(bool full);
    void SwapToggled(bool swap);
    // The slider moved; the value is kept within the slider's range.
    void ParallaxChanged(int parallax);
    // "Save...": asks for a file and a file type, and writes the pair as the window shows it.
    void SaveRequested();
    // The animation's timer: the wiggle shows its other frame.
    void AnimationTimerFired();
    // The window is closed (by the user, or with the main window): the animation stops and the
    // pair's memory is let go.
    void WindowClosing();
    // The main window closes: this one is hidden and closes as well.
    void CloseWindow();

    // The parallax slider's range for a pair of that width: a twentieth of it either way.
    static int ParallaxLimit(int fullWidth);
    // The file types that Save offers now, in the order of the dialog's list.
    std::vector<StereoFileType> SaveTypes();

    bool PairOpen() const { return open_; }
    const StereoControls& Controls() const { return controls_; }
    // What the preview is rendered with now.
    StereoRenderSettings RenderSettings() const;
    // The measured alignment (file order), once it has been measured.
    const std::optional<StereoShift>& MeasuredShift() const { return measured_; }
    // Which wiggle frame is shown (0: the left eye's).
    int ShownFrame() const { return shownFrame_; }

private:
    template <typename Command>
    void RunCommand(Command&& command);
    // The opening common to OpenPair and OpenFile: open asks the previewer for the pair.
    template <typename Open>
    void OpenWith(const std::string& source, Open&& open);
    void UpdateControls();
    // Measures the alignment if it is not known; when that fails the Align box is cleared and
    // greyed out, and the message shown.
    void EnsureAlignment();
    void Rerender();
    void StopAnimation();
    std::string StatusText() const;
    // Starts full alignment of the open pair unless it has run; FullAlignmentEnded takes its
    // result on the interface thread (run: the start it belongs to; a later pair's start makes
    // it stale).
    void StartFullAlignment();
    void FullAlignmentEnded(unsigned run);

    StereoWindowServices services_;
    StereoWindowView& view_;
    bool open_ = false;
    std::string source_;
    int first_ = 0, second_ = 0;
    bool spatialPhoto_ = false;  // the pair is a spatial photo's eyes
    StereoPairSize size_;
    std::optional<StereoShift> measured_;
    bool alignable_ = true;
    StereoView shown_ = StereoView::Anaglyph;
    AnaglyphKind anaglyph_ = AnaglyphKind::Dubois;
    bool align_ = true;
    bool alignFull_ = false;
    enum class FullState { NotStarted, Running, Done, Refused } full_ = FullState::NotStarted;
    unsigned fullRun_ = 0;
    std::string fullWords_;  // the correction, once done
    bool swap_ = false;
    int parallax_ = 0;
    std::vector<RgbPicture> frames_;  // the wiggle's two frames while it is shown
    int shownFrame_ = 0;
    bool animating_ = false;
    StereoControls controls_;
};

}  // namespace veltrane::window

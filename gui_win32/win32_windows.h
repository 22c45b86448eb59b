// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window on Windows, in plain Win32: the main window with its owner-drawn image list, list
// menu, link label, check box and status panel, and the EXIF window with its report list and
// Close button (the Stereo window is in win32_stereo_window.h). All are views over the
// toolkit-neutral window model; they build the controls, forward their notifications to the
// model and show what it decides. All are laid out at 96 dpi and drawn at the DPI of their
// monitor (dpi_scaling.h).
#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/window/main_window_model.h"
#include "gui_win32/dpi_scaling.h"
#include "gui_win32/win32_controls.h"

namespace veltrane::win32 {

class StereoWindow;

// Control and command identifiers.
enum : int {
    kOpenButtonId = 101,  // "&Open MPO"
    kImageListId,         // the images of the open file
    kExtractButtonId,     // "E&xtract Images"
    kModeGroupId,         // " Extract ", around the three mode buttons
    kAllButtonId,         // "&All"
    kOddButtonId,         // "O&dd"
    kEvenButtonId,        // "&Even"
    kContextMenuBoxId,    // "Enable &context menu entry for MPO files"
    kStatusPanelId,       // "Ready.", then the open file's name
    kGuideLinkId,         // "VLTR Home Page": the user guide
    kSeparatorLineId,     // the line above the check box
    kShowImageId = 201,   // the list menu's "Show Image"
    kShowExifId,          // the list menu's "EXIF Info"
    kShowStereoId,        // the list menu's "Show Stereo", there for a stereo set
    kSaveStereoId,        // the list menu's "Save Stereo...", there for a stereo set
    kExifListId = 301,    // the EXIF window's fields
    kExifCloseId,         // the EXIF window's "&Close"
};

// The designed sizes, at 96 dpi.
inline constexpr int kMainClientWidth = 265;
inline constexpr int kMainClientHeight = 255;
inline constexpr int kListItemHeight = 13;
inline constexpr int kExifClientWidth = 354;
inline constexpr int kExifClientHeight = 384;

// Registers the window classes and the common controls; call once before creating windows.
// Creating a window raises WindowCreationError when the system refuses it.
void RegisterWindowClasses(HINSTANCE instance);

// Gives a message to the dialog navigation (Tab, arrows, Alt+letter) of the window it belongs
// to, else translates and dispatches it. Every message loop of the window uses this.
void DispatchWindowMessage(MSG& message);

class ExifWindow {
public:
    explicit ExifWindow(HINSTANCE instance);
    ~ExifWindow();
    ExifWindow(const ExifWindow&) = delete;
    ExifWindow& operator=(const ExifWindow&) = delete;

    HWND Handle() const { return window_; }
    HWND List() const { return list_; }
    HWND CloseButton() const { return close_; }
    // The dots per inch the window is laid out for.
    UINT Dpi() const { return dpi_; }

    // Replaces every row; shows the window where it was if it is hidden.
    void ShowRows(const std::vector<window::ExifRowText>& rows);
    int RowCount() const;
    std::string Caption(int row) const;
    std::string Value(int row) const;
    // Close, Escape or the frame's close box: the window is hidden, not destroyed.
    void CloseRequested();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    // Fonts, column widths and places for dpi.
    void ApplyDpi(UINT dpi);
    void PlaceAnchoredControls();
    std::string CellText(int row, int column) const;

    HWND window_ = nullptr;
    HWND list_ = nullptr;
    HWND close_ = nullptr;
    UINT dpi_ = kDesignDpi;
    FontHandle font_;
};

class MainWindow : private window::MainWindowView {
public:
    // Creates the main window (hidden) and its EXIF window, and runs the model's start-up.
    MainWindow(HINSTANCE instance, window::WindowServices services);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    HWND Handle() const { return window_; }
    HWND Control(int id) const { return ::GetDlgItem(window_, id); }
    // The dots per inch the window is laid out for.
    UINT Dpi() const { return dpi_; }
    HMENU ListMenu() const { return listMenu_; }
    ExifWindow& Exif() { return *exif_; }
    const window::MainWindowModel& Model() const { return model_; }
    // The link label's colour as drawn now (0xRRGGBB).
    std::uint32_t LinkColour() const { return link_.Colour; }
    bool Destroyed() const { return window_ == nullptr; }

    // Shows the window and handles its messages until it is closed; returns the exit code.
    int Run(int show);
    // The Stereo window that "Show Stereo" opens (without one the entry is not in the menu). It
    // is closed with this window; set none before it goes.
    void SetStereoWindow(StereoWindow* stereoWindow);

private:
    struct LinkState {
        std::uint32_t Colour = 0x000080;   // navy at rest
        std::uint32_t Hyper = 0x0000FF;    // while the mouse is over it
        std::uint32_t Pressed = 0xFF0000;  // while a button is held on it
        std::uint32_t Saved = 0x000080;    // the colour when the mouse entered
        bool Inside = false;
        bool Down = false;
    };

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

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK LinkProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR self);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleLink(HWND label, UINT message, WPARAM wParam, LPARAM lParam);
    void SetLinkColour(std::uint32_t colour);
    void SetTooltip(int id, std::wstring& storage, const std::string& text);
    void BuildControls();
    // Creates the fonts for dpi_ and gives them to the controls.
    void UseFontsForDpi();
    // Places every control for dpi_.
    void LayOutControls();
    void ApplyDpi(UINT dpi);
    // A control's notification or a menu command.
    void Command(int id, int code);
    void DrawListRow(const DRAWITEMSTRUCT& item);
    void ShowListMenu(int x, int y);
    void FilesDropped(HDROP drop);
    void CloseRequested();
    // A close that came while a scan ran takes effect once the scan is over: checked after each
    // message the window handles, as a scan runs inside the handling of the click or the drop
    // that started it.
    void DestroyIfCloseWaits();
    // What the destructor frees; also when the constructor fails half way.
    void Release();

    HINSTANCE instance_;
    window::MainWindowModel model_;
    HWND window_ = nullptr;
    HWND tooltip_ = nullptr;
    HMENU listMenu_ = nullptr;
    UINT dpi_ = kDesignDpi;
    FontHandle font_;
    FontHandle linkFont_;
    HBRUSH white_ = nullptr;
    std::unique_ptr<ExifWindow> exif_;
    std::wstring hint_;
    std::wstring statusHint_;
    LinkState link_;
    bool destroyWhenScanEnds_ = false;
};

}  // namespace veltrane::win32

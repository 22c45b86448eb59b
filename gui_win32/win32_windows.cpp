// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui_win32/win32_windows.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>

#include "gui_win32/win32_stereo_window.h"
#include "gui_win32/win32_text.h"

namespace veltrane::win32 {
namespace {

constexpr const wchar_t* kMainClass = L"VeltraneMainWindow";
constexpr const wchar_t* kExifClass = L"VeltraneExifWindow";
// The link label's subclass (its hover and click colours).
constexpr UINT_PTR kLinkSubclassId = 1;

COLORREF ToColorRef(std::uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// The check box caption, the widest of the main window, and the room beside its box; the
// form's font is the designed "MS Sans Serif" where that caption fits (FormFont).
constexpr const wchar_t* kCheckBoxCaption = L"Enable context menu entry for MPO files";
constexpr int kCheckBoxTextRoom = 227 - 18;
constexpr const wchar_t* kGuideLinkCaption = L"VLTR Home Page";

// The main window's controls as designed at 96 dpi, in the tab order of the design; the group
// box and the labels take no focus.
constexpr DesignRect kImageListBounds{104, 16, 145, 169};
constexpr DesignRect kStatusPanelBounds{104, 184, 145, 25};
constexpr DesignRect kGuideLinkBounds{9, 195, 85, 14};
constexpr ControlDesign kMainControls[] = {
    {kOpenButtonId, L"BUTTON", L"&Open MPO", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 0, {8, 16, 89, 25}},
    {kImageListId, L"LISTBOX", L"",
     WS_TABSTOP | WS_GROUP | WS_VSCROLL | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
     WS_EX_CLIENTEDGE, kImageListBounds},
    {kExtractButtonId, L"BUTTON", L"E&xtract Images", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 0, {8, 48, 89, 25}},
    {kModeGroupId, L"BUTTON", L" Extract ", BS_GROUPBOX | WS_GROUP, 0, {8, 80, 89, 105}},
    {kAllButtonId, L"BUTTON", L"&All", WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 0, {16, 104, 60, 17}},
    {kOddButtonId, L"BUTTON", L"O&dd", BS_AUTORADIOBUTTON, 0, {16, 128, 60, 17}},
    {kEvenButtonId, L"BUTTON", L"&Even", BS_AUTORADIOBUTTON, 0, {16, 152, 60, 17}},
    {kSeparatorLineId, L"STATIC", L"", SS_ETCHEDHORZ | WS_GROUP, 0, {0, 224, kMainClientWidth, 2}},
    {kContextMenuBoxId, L"BUTTON", L"Enable &context menu entry for MPO files",  // kCheckBoxCaption
     WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX, 0, {8, 232, 227, 17}},
    {kStatusPanelId, L"STATIC", L"Ready.", SS_CENTER | SS_CENTERIMAGE | WS_BORDER | SS_NOPREFIX | WS_GROUP, 0,
     kStatusPanelBounds},
    {kGuideLinkId, L"STATIC", kGuideLinkCaption, SS_NOTIFY | SS_NOPREFIX, 0, kGuideLinkBounds},
};

// Not WS_CLIPCHILDREN: the group box draws only its frame, the window fills its inside.
constexpr DWORD kMainStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kMainExStyle = WS_EX_ACCEPTFILES | WS_EX_CONTROLPARENT;
constexpr DWORD kExifStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;

// The EXIF window's layout as designed: its place on the screen, the list leaves this much
// below it, and the Close button keeps its distance to the bottom edge and its place about the
// middle. The list's first column is as wide as kFieldColumnWidth, the second fills the rest.
constexpr int kExifLeft = 221, kExifTop = 265;
constexpr int kExifListBottomGap = kExifClientHeight - 340;
constexpr int kCloseLeft = 144, kCloseTop = 351, kCloseWidth = 75, kCloseHeight = 25;
constexpr int kFieldColumnWidth = 120;
constexpr int kExifMinClientWidth = 240, kExifMinClientHeight = 160;

}  // namespace

void RegisterWindowClasses(HINSTANCE instance) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    WNDCLASSEXW main{};
    main.cbSize = sizeof main;
    main.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        return ::DefWindowProcW(w, m, wp, lp);
    };
    main.hInstance = instance;
    main.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    main.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    if (main.hIcon == nullptr) main.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    main.lpszClassName = kMainClass;
    WNDCLASSEXW exif = main;
    exif.lpszClassName = kExifClass;
    WNDCLASSEXW stereo = main;
    stereo.lpszClassName = kStereoWindowClass;
    // The procedures are set per window (see the constructors), so that each finds its object.
    ::RegisterClassExW(&main);
    ::RegisterClassExW(&exif);
    ::RegisterClassExW(&stereo);
}

void DispatchWindowMessage(MSG& message) {
    HWND root = message.hwnd != nullptr ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (root != nullptr && UsesDialogNavigation(root) && ::IsDialogMessageW(root, &message))
        return;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
}

// ---- the EXIF window ----

ExifWindow::ExifWindow(HINSTANCE instance) {
    window_ = CreateWindowChecked(0, kExifClass, L" EXIF Information", kExifStyle,
                                  DesignFrame(kExifLeft, kExifTop, kExifClientWidth, kExifClientHeight, kExifStyle, 0),
                                  nullptr, nullptr, instance);
    try {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ExifWindow::WindowProc));
        MarkForDialogNavigation(window_);
        dpi_ = WindowDpi(window_);
        const POINT place{kExifLeft, kExifTop};
        SizeClientForDpi(window_, kExifClientWidth, kExifClientHeight, kExifStyle, 0, dpi_, &place);
        font_ = DialogFont(dpi_, false, L"Arial");

        list_ = CreateControl(window_,
                              {kExifListId, WC_LISTVIEWW, L"",
                               WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_NOSORTHEADER | LVS_SHOWSELALWAYS,
                               WS_EX_CLIENTEDGE, {0, 0, kExifClientWidth, kExifClientHeight - kExifListBottomGap}},
                              dpi_, font_.get());
        ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT;
        column.pszText = const_cast<wchar_t*>(L"Field");
        ListView_InsertColumn(list_, 0, &column);
        column.pszText = const_cast<wchar_t*>(L"Image");
        ListView_InsertColumn(list_, 1, &column);

        close_ = CreateControl(window_,
                               {kExifCloseId, L"BUTTON", L"&Close", WS_TABSTOP | BS_PUSHBUTTON, 0,
                                {kCloseLeft, kCloseTop, kCloseWidth, kCloseHeight}},
                               dpi_, font_.get());
        ApplyDpi(dpi_);
    } catch (...) {
        ::DestroyWindow(window_);
        throw;
    }
}

ExifWindow::~ExifWindow() {
    if (window_ != nullptr) ::DestroyWindow(window_);
}

void ExifWindow::ApplyDpi(UINT dpi) {
    if (dpi != dpi_) {
        FontHandle font = DialogFont(dpi, false, L"Arial");
        SetFontOfControls(window_, font.get());
        font_ = std::move(font);  // the old font goes once no control uses it
        dpi_ = dpi;
    }
    ListView_SetColumnWidth(list_, 0, Scaled(kFieldColumnWidth, dpi_));
    ListView_SetColumnWidth(list_, 1,
                            Scaled(kExifClientWidth - kFieldColumnWidth - 4, dpi_) - SystemMetric(SM_CXVSCROLL, dpi_));
    PlaceAnchoredControls();
}

void ExifWindow::ShowRows(const std::vector<window::ExifRowText>& rows) {
    ::SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list_);
    int index = 0;
    for (const window::ExifRowText& row : rows) {
        std::wstring caption = Widen(row.Caption), value = Widen(row.Value);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = index;
        item.pszText = caption.data();
        ListView_InsertItem(list_, &item);
        ListView_SetItemText(list_, index, 1, value.data());
        ++index;
    }
    ::SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list_, nullptr, TRUE);
    if (!::IsWindowVisible(window_)) ::ShowWindow(window_, SW_SHOWNORMAL);
}

int ExifWindow::RowCount() const { return ListView_GetItemCount(list_); }

std::string ExifWindow::CellText(int row, int column) const {
    wchar_t text[1024] = {};
    ListView_GetItemText(list_, row, column, text, 1024);
    return Narrow(text);
}

std::string ExifWindow::Caption(int row) const { return CellText(row, 0); }
std::string ExifWindow::Value(int row) const { return CellText(row, 1); }

void ExifWindow::CloseRequested() { ::ShowWindow(window_, SW_HIDE); }

void ExifWindow::PlaceAnchoredControls() {
    // The list is anchored to all four edges, the button to the bottom edge only.
    if (list_ == nullptr || close_ == nullptr) return;  // sized before they are made
    RECT client{};
    ::GetClientRect(window_, &client);
    const int width = client.right, height = client.bottom;
    ::MoveWindow(list_, 0, 0, width, std::max(0, height - Scaled(kExifListBottomGap, dpi_)), TRUE);
    ::MoveWindow(close_, Scaled(kCloseLeft, dpi_) + (width - Scaled(kExifClientWidth, dpi_)) / 2,
                 height - Scaled(kExifClientHeight - kCloseTop, dpi_), Scaled(kCloseWidth, dpi_),
                 Scaled(kCloseHeight, dpi_), TRUE);
}

LRESULT CALLBACK ExifWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ExifWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY) {
        DetachFromObject(window);
        if (self != nullptr && self->window_ == window) self->window_ = nullptr;
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    if (self == nullptr || self->window_ != window) return ::DefWindowProcW(window, message, wParam, lParam);
    return self->Handle(message, wParam, lParam);
}

LRESULT ExifWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        PlaceAnchoredControls();
        return 0;
    case WM_GETMINMAXINFO: {
        const SIZE least = FrameSizeFor(Scaled(kExifMinClientWidth, dpi_), Scaled(kExifMinClientHeight, dpi_),
                                        kExifStyle, 0, dpi_);
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {least.cx, least.cy};
        return 0;
    }
    case WM_DPICHANGED:
        // Moved to a monitor of another DPI: Windows suggests the frame scaled alike.
        ApplyDpi(HIWORD(wParam));
        MoveToSuggestedRect(window_, lParam);
        PlaceAnchoredControls();
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kExifCloseId || LOWORD(wParam) == IDCANCEL) CloseRequested();
        return 0;
    case WM_CLOSE:
        CloseRequested();  // only hidden: the main window's close ends the program
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom != kExifListId || header->code != NM_CUSTOMDRAW) break;
        auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
        if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
        if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
            draw->clrTextBk = ToColorRef(window::ExifRowColour(static_cast<int>(draw->nmcd.dwItemSpec)));
            draw->clrText = RGB(0, 0, 0);
            return CDRF_NEWFONT;
        }
        return CDRF_DODEFAULT;
    }
    default:
        break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

// ---- the main window ----

MainWindow::MainWindow(HINSTANCE instance, window::WindowServices services)
    : instance_(instance), model_(services, *this) {
    // Created hidden at the designed size, then sized for the DPI of the monitor it is on.
    window_ = CreateWindowChecked(kMainExStyle, kMainClass, Widen(window::kApplicationTitle), kMainStyle,
                                  DesignFrame(CW_USEDEFAULT, CW_USEDEFAULT, kMainClientWidth, kMainClientHeight,
                                              kMainStyle, kMainExStyle),
                                  nullptr, nullptr, instance);
    try {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MainWindow::WindowProc));
        MarkForDialogNavigation(window_);
        dpi_ = WindowDpi(window_);
        SizeClientForDpi(window_, kMainClientWidth, kMainClientHeight, kMainStyle, kMainExStyle, dpi_);
        white_ = ::CreateSolidBrush(RGB(255, 255, 255));
        BuildControls();
        exif_ = std::make_unique<ExifWindow>(instance);
        model_.Start();
    } catch (...) {
        Release();
        throw;
    }
}

MainWindow::~MainWindow() { Release(); }

void MainWindow::Release() {
    exif_.reset();
    if (window_ != nullptr) ::DestroyWindow(window_);
    if (listMenu_ != nullptr) ::DestroyMenu(listMenu_);
    listMenu_ = nullptr;
    if (white_ != nullptr) ::DeleteObject(white_);
    white_ = nullptr;
}

void MainWindow::BuildControls() {
    font_ = FormFont(dpi_, false, L"MS Sans Serif", kCheckBoxCaption, kCheckBoxTextRoom);
    linkFont_ = FormFont(dpi_, true, L"Arial", kGuideLinkCaption, kGuideLinkBounds.width);
    for (const ControlDesign& design : kMainControls) {
        CreateControl(window_, design, dpi_, design.id == kGuideLinkId ? linkFont_.get() : font_.get());
        if (design.id == kEvenButtonId) ::SendMessageW(Control(kAllButtonId), BM_SETCHECK, BST_CHECKED, 0);
    }
    ::SetWindowSubclass(Control(kGuideLinkId), &MainWindow::LinkProc, kLinkSubclassId, reinterpret_cast<DWORD_PTR>(this));

    listMenu_ = ::CreatePopupMenu();
    ::AppendMenuW(listMenu_, MF_STRING, kShowImageId, L"Show Image");
    ::AppendMenuW(listMenu_, MF_STRING, kShowExifId, L"EXIF Info");

    tooltip_ = CreateWindowChecked(WS_EX_TOPMOST, TOOLTIPS_CLASSW, L"", WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   {CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT}, window_, nullptr,
                                   instance_);
    LayOutControls();
    ::SetFocus(Control(kOpenButtonId));
}

void MainWindow::UseFontsForDpi() {
    FontHandle font = FormFont(dpi_, false, L"MS Sans Serif", kCheckBoxCaption, kCheckBoxTextRoom);
    FontHandle linkFont = FormFont(dpi_, true, L"Arial", kGuideLinkCaption, kGuideLinkBounds.width);
    SetFontOfControls(window_, font.get());
    ::SendMessageW(Control(kGuideLinkId), WM_SETFONT, reinterpret_cast<WPARAM>(linkFont.get()), TRUE);
    // The old fonts go once no control uses them.
    font_ = std::move(font);
    linkFont_ = std::move(linkFont);
}

void MainWindow::LayOutControls() {
    for (const ControlDesign& design : kMainControls) PlaceControl(window_, design, dpi_);
    // The status panel hangs from the list: its top border line lies on the list's bottom edge
    // line, one pixel at every DPI, as designed.
    const RECT list = Scaled(kImageListBounds, dpi_);
    const RECT status = Scaled(kStatusPanelBounds, dpi_);
    ::MoveWindow(Control(kStatusPanelId), status.left, list.bottom - 1, status.right - status.left,
                 status.bottom - status.top, TRUE);
    // A label sizes itself to its caption: what the designed font needs, or more for another.
    const RECT link = Scaled(kGuideLinkBounds, dpi_);
    ::MoveWindow(Control(kGuideLinkId), link.left, link.top,
                 std::max<int>(link.right - link.left, TextWidth(linkFont_.get(), kGuideLinkCaption) + 1),
                 link.bottom - link.top, TRUE);
    ::SendMessageW(Control(kImageListId), LB_SETITEMHEIGHT, 0, Scaled(kListItemHeight, dpi_));
    ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Scaled(400, dpi_));
}

void MainWindow::ApplyDpi(UINT dpi) {
    if (dpi == dpi_) return;
    dpi_ = dpi;
    UseFontsForDpi();
    LayOutControls();
}

int MainWindow::Run(int show) {
    ::ShowWindow(window_, show);
    ::UpdateWindow(window_);
    MSG message;
    while (window_ != nullptr && ::GetMessageW(&message, nullptr, 0, 0) > 0) DispatchWindowMessage(message);
    return 0;
}

void MainWindow::SetStereoWindow(StereoWindow* stereoWindow) {
    model_.SetStereoWindow(stereoWindow != nullptr ? &stereoWindow->Model() : nullptr);
}

// ---- what the model shows ----

void MainWindow::ClearList() { ::SendMessageW(Control(kImageListId), LB_RESETCONTENT, 0, 0); }

void MainWindow::AppendListLine(const std::string& text) {
    ::SendMessageW(Control(kImageListId), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
}

void MainWindow::SetControls(const window::ControlStates& states) {
    ::EnableWindow(Control(kOpenButtonId), states.OpenButton);
    ::EnableWindow(Control(kContextMenuBoxId), states.ContextMenuBox);
    ::EnableWindow(Control(kExtractButtonId), states.ExtractButton);
    ::EnableWindow(Control(kImageListId), states.ImageList);
    for (int id : {kAllButtonId, kOddButtonId, kEvenButtonId}) ::EnableWindow(Control(id), states.ModeButtons);
    ::EnableMenuItem(listMenu_, kShowImageId, MF_BYCOMMAND | (states.ShowImage ? MF_ENABLED : MF_GRAYED));
    ::EnableMenuItem(listMenu_, kShowExifId, MF_BYCOMMAND | (states.ShowExif ? MF_ENABLED : MF_GRAYED));
    // A menu item has no hidden state: the stereo entries are taken out and put back, in order.
    ::DeleteMenu(listMenu_, kShowStereoId, MF_BYCOMMAND);
    ::DeleteMenu(listMenu_, kSaveStereoId, MF_BYCOMMAND);
    if (states.ShowStereo) ::AppendMenuW(listMenu_, MF_STRING, kShowStereoId, L"Show Stereo");
    if (states.SaveStereo) ::AppendMenuW(listMenu_, MF_STRING, kSaveStereoId, L"Save Stereo\u2026");
}

void MainWindow::SetStatusText(const std::string& text) {
    ::SetWindowTextW(Control(kStatusPanelId), Widen(text).c_str());
}

// Sets the tooltip of control to text (kept in storage); an empty text removes it.
void MainWindow::SetTooltip(int id, std::wstring& storage, const std::string& text) {
    storage = Widen(text);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(Control(id));
    tool.lpszText = storage.data();
    ::SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    if (!storage.empty()) ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void MainWindow::SetListHint(const std::string& hint) { SetTooltip(kImageListId, hint_, hint); }

void MainWindow::SetStatusHint(const std::string& hint) { SetTooltip(kStatusPanelId, statusHint_, hint); }

void MainWindow::SetContextMenuBox(bool checked) {
    // BM_SETCHECK sends no notification, so the box's click handler does not run.
    ::SendMessageW(Control(kContextMenuBoxId), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void MainWindow::RepaintList() { ::InvalidateRect(Control(kImageListId), nullptr, TRUE); }

void MainWindow::ProcessPendingEvents() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));  // for the outer loop
            return;
        }
        DispatchWindowMessage(message);
    }
}

void MainWindow::ShowExifWindow(const std::vector<window::ExifRowText>& rows) { exif_->ShowRows(rows); }

// ---- messages ----

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY) DetachFromObject(window);
    if (self == nullptr || self->window_ != window) return ::DefWindowProcW(window, message, wParam, lParam);
    const LRESULT result = self->Handle(message, wParam, lParam);
    self->DestroyIfCloseWaits();
    return result;
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_MEASUREITEM:
        reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = static_cast<UINT>(Scaled(kListItemHeight, dpi_));
        return TRUE;
    case WM_DRAWITEM:
        if (wParam == kImageListId) {
            DrawListRow(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        }
        break;
    case WM_CTLCOLORSTATIC: {
        HWND control = reinterpret_cast<HWND>(lParam);
        HDC dc = reinterpret_cast<HDC>(wParam);
        if (control == Control(kStatusPanelId)) {
            ::SetBkColor(dc, RGB(255, 255, 255));
            return reinterpret_cast<LRESULT>(white_);
        }
        if (control == Control(kGuideLinkId)) {
            ::SetTextColor(dc, ToColorRef(link_.Colour));
            ::SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    }
    case WM_CTLCOLORLISTBOX:
        return reinterpret_cast<LRESULT>(white_);  // white also while disabled
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == Control(kImageListId)) {
            ShowListMenu(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            return 0;
        }
        break;
    case WM_DROPFILES:
        FilesDropped(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_GETDPISCALEDSIZE: {
        // The client area keeps its designed size at every DPI: the frame that Windows then
        // suggests with WM_DPICHANGED is exactly the one around it.
        const UINT dpi = static_cast<UINT>(wParam);
        *reinterpret_cast<SIZE*>(lParam) = FrameSizeFor(Scaled(kMainClientWidth, dpi), Scaled(kMainClientHeight, dpi),
                                                        kMainStyle, kMainExStyle, dpi);
        return TRUE;
    }
    case WM_DPICHANGED:
        ApplyDpi(HIWORD(wParam));
        MoveToSuggestedRect(window_, lParam);
        return 0;
    case WM_CLOSE:
        CloseRequested();
        return 0;
    case WM_DESTROY:
        window_ = nullptr;
        ::PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

void MainWindow::Command(int id, int code) {
    using Kind = window::MainWindowModel::PreviewKind;
    HWND list = Control(kImageListId);
    switch (id) {
    case kOpenButtonId:
        if (code == BN_CLICKED) model_.OpenRequested();
        break;
    case kExtractButtonId:
        if (code == BN_CLICKED) model_.ExtractRequested();
        break;
    case kAllButtonId:
    case kOddButtonId:
    case kEvenButtonId:
        if (code == BN_CLICKED) {
            model_.ModeChosen(id == kOddButtonId    ? ExtractMode::Odd
                              : id == kEvenButtonId ? ExtractMode::Even
                                                    : ExtractMode::All);
        }
        break;
    case kContextMenuBoxId:
        if (code == BN_CLICKED)
            model_.ContextMenuEntryToggled(::SendMessageW(Control(kContextMenuBoxId), BM_GETCHECK, 0, 0) == BST_CHECKED);
        break;
    case kImageListId:
        if (code == LBN_SELCHANGE || code == LBN_SELCANCEL)
            model_.SelectionChanged(static_cast<int>(::SendMessageW(list, LB_GETCURSEL, 0, 0)));
        if (code == LBN_DBLCLK) {
            model_.SelectionChanged(static_cast<int>(::SendMessageW(list, LB_GETCURSEL, 0, 0)));
            model_.PreviewRequested(Kind::ShowImage);
        }
        break;
    case kShowImageId:
        model_.PreviewRequested(Kind::ShowImage);
        break;
    case kShowExifId:
        model_.PreviewRequested(Kind::ShowExif);
        break;
    case kShowStereoId:
        model_.ShowStereoRequested();
        break;
    case kSaveStereoId:
        model_.SaveStereoRequested();
        break;
    default:
        break;
    }
}

void MainWindow::DestroyIfCloseWaits() {
    if (destroyWhenScanEnds_ && !model_.Scanning() && window_ != nullptr) ::DestroyWindow(window_);
}

void MainWindow::DrawListRow(const DRAWITEMSTRUCT& item) {
    if (item.itemID == static_cast<UINT>(-1)) {
        if (item.itemState & ODS_FOCUS) ::DrawFocusRect(item.hDC, &item.rcItem);
        return;
    }
    const int index = static_cast<int>(item.itemID);
    HBRUSH brush = ::CreateSolidBrush(ToColorRef(model_.RowColour(index)));
    ::FillRect(item.hDC, &item.rcItem, brush);
    ::DeleteObject(brush);
    const auto length = ::SendMessageW(item.hwndItem, LB_GETTEXTLEN, item.itemID, 0);
    if (length > 0) {
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        ::SendMessageW(item.hwndItem, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(length));
        RECT rect = item.rcItem;
        ::SetBkMode(item.hDC, TRANSPARENT);
        ::SetTextColor(item.hDC, RGB(0, 0, 0));
        ::DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &rect,
                    DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    }
    if (item.itemState & ODS_FOCUS) ::DrawFocusRect(item.hDC, &item.rcItem);
}

void MainWindow::ShowListMenu(int x, int y) {
    if (x == -1 && y == -1) {  // from the keyboard: below the selected entry
        HWND list = Control(kImageListId);
        RECT rect{};
        const auto selected = ::SendMessageW(list, LB_GETCURSEL, 0, 0);
        if (selected < 0 || ::SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(selected),
                                           reinterpret_cast<LPARAM>(&rect)) == LB_ERR)
            ::GetClientRect(list, &rect);
        POINT at{rect.left, rect.bottom};
        ::ClientToScreen(list, &at);
        x = at.x;
        y = at.y;
    }
    ::TrackPopupMenu(listMenu_, TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, window_, nullptr);
}

void MainWindow::FilesDropped(HDROP drop) {
    std::vector<std::string> paths;
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(::DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        paths.push_back(Narrow(path));
    }
    ::DragFinish(drop);
    model_.FilesDropped(paths);
}

void MainWindow::CloseRequested() {
    model_.WindowClosing();
    if (model_.Scanning()) {
        // The scan returns at its next look at the events; the window goes away after it.
        destroyWhenScanEnds_ = true;
        ::ShowWindow(window_, SW_HIDE);
        return;
    }
    ::DestroyWindow(window_);
}

// ---- the link label ----

void MainWindow::SetLinkColour(std::uint32_t colour) {
    link_.Colour = colour;
    ::InvalidateRect(Control(kGuideLinkId), nullptr, TRUE);
}

LRESULT CALLBACK MainWindow::LinkProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                      DWORD_PTR self) {
    return reinterpret_cast<MainWindow*>(self)->HandleLink(label, message, wParam, lParam);
}

LRESULT MainWindow::HandleLink(HWND label, UINT message, WPARAM wParam, LPARAM lParam) {
    auto enter = [&] {
        link_.Saved = link_.Colour;
        SetLinkColour(link_.Down ? link_.Pressed : link_.Hyper);
        link_.Inside = true;
    };
    auto leave = [&] {
        SetLinkColour(link_.Saved);
        link_.Inside = false;
    };
    // While a button is held the label has the mouse captured: crossing its edge is followed
    // from the pointer's position.
    auto follow = [&] {
        RECT rect{};
        ::GetClientRect(label, &rect);
        const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const bool inside = ::PtInRect(&rect, at) != FALSE;
        if (inside && !link_.Inside) enter();
        if (!inside && link_.Inside) leave();
    };
    switch (message) {
    case WM_SETCURSOR:
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    case WM_MOUSEMOVE:
        if (link_.Down) {
            follow();
        } else if (!link_.Inside) {
            enter();
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, label, 0};
            ::TrackMouseEvent(&track);
        }
        return 0;
    case WM_MOUSELEAVE:
        if (link_.Inside && !link_.Down) leave();
        return 0;
    case WM_LBUTTONDOWN:
        if (!link_.Inside) enter();
        SetLinkColour(link_.Pressed);
        link_.Down = true;
        ::SetCapture(label);
        return 0;
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(label, &MainWindow::LinkProc, kLinkSubclassId);
        break;
    case WM_LBUTTONUP: {
        if (!link_.Down) return 0;
        follow();
        const bool open = link_.Inside;
        SetLinkColour(link_.Inside ? link_.Hyper : link_.Saved);
        link_.Down = false;
        ::ReleaseCapture();
        if (open) model_.OpenUserGuide();
        return 0;
    }
    default:
        break;
    }
    return ::DefSubclassProc(label, message, wParam, lParam);
}

}  // namespace veltrane::win32

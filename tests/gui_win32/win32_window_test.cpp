// SPDX-License-Identifier: GPL-3.0-or-later
// The Win32 window, created for real (under wine on a virtual X display) over fake dialogs and
// driven with window messages as a user's clicks would send them.
#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/registration/context_menu_registration.h"
#include "core/common/image_list_line.h"
#include "gui_win32/win32_services.h"
#include "gui_win32/win32_stereo_window.h"
#include "gui_win32/win32_text.h"
#include "imaging/align/pair_alignment.h"
#include "gui_win32/win32_windows.h"
#include "tests/window/stereo_fakes.h"
#include "tests/window/window_fakes.h"
#ifdef VELTRANE_WITH_STEREO
#include "imaging/services/library_stereo_previewer.h"
#include "imaging/services/stereo_writer.h"
#endif

namespace veltrane::win32 {
namespace {

using veltrane::testing::FileNames;
using veltrane::testing::ReadBytes;
using window::test::FakeServices;

// Colour of a pixel of control's client area as PrintWindow draws it.
std::uint32_t PixelOf(HWND control, POINT at) {
    RECT client{};
    ::GetClientRect(control, &client);
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    ::PrintWindow(control, dc, PW_CLIENTONLY);
    const COLORREF pixel = ::GetPixel(dc, at.x, at.y);
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    return (GetRValue(pixel) << 16) | (GetGValue(pixel) << 8) | GetBValue(pixel);
}

// The background of list entry row: a pixel near its right end, clear of the text.
std::uint32_t RowColour(HWND list, int row) {
    RECT rect{};
    ::SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect));
    return PixelOf(list, {rect.right - 4, (rect.top + rect.bottom) / 2});
}

std::string ListText(HWND list, int row) {
    std::wstring text(static_cast<std::size_t>(::SendMessageW(list, LB_GETTEXTLEN, row, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::SendMessageW(list, LB_GETTEXT, row, reinterpret_cast<LPARAM>(text.data()))));
    return Narrow(text);
}

// Files dropped from Explorer, as WM_DROPFILES hands them over.
HDROP DropOf(const std::vector<std::wstring>& paths) {
    std::size_t chars = 1;
    for (const std::wstring& path : paths) chars += path.size() + 1;
    HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(drop + 1);
    for (const std::wstring& path : paths) {
        std::memcpy(text, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
        text += path.size() + 1;
    }
    ::GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

// Where control lies in the client area of window.
RECT PlaceOf(HWND window, HWND control) {
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The pixel height of the font a control draws with (negative: the character height).
LONG FontHeightOf(HWND control) {
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight;
}

// Gives window the DPI of another monitor as Windows does when it is moved there: with the
// frame around its client area scaled from client (the size at 96 dpi) as the suggestion.
void MoveToMonitorOf(HWND window, UINT dpi, SIZE client) {
    RECT frame{}, suggested{0, 0, Scaled(client.cx, dpi), Scaled(client.cy, dpi)};
    ::GetWindowRect(window, &frame);
    // Wine keeps drawing the frame at the display's DPI: the suggestion uses what it draws.
    ::AdjustWindowRectEx(&suggested, static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongW(window, GWL_EXSTYLE)));
    ::OffsetRect(&suggested, frame.left - suggested.left, frame.top - suggested.top);
    ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

// The main window laid out for dpi: the designed client area scaled, the designed places and
// fonts scaled, every control inside the window, and no control over another but where the
// design puts it so: the group box frames the mode buttons, and the status panel's top border
// lies on the list's bottom edge line.
void ExpectLaidOutFor(const MainWindow& mainWindow, UINT dpi) {
    SCOPED_TRACE("at " + std::to_string(dpi) + " dpi");
    HWND window = mainWindow.Handle();
    EXPECT_EQ(mainWindow.Dpi(), dpi);
    RECT client{};
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.right, Scaled(kMainClientWidth, dpi));
    EXPECT_EQ(client.bottom, Scaled(kMainClientHeight, dpi));
    const int ids[] = {kOpenButtonId,  kImageListId,      kExtractButtonId, kModeGroupId,
                       kAllButtonId,   kOddButtonId,      kEvenButtonId,    kSeparatorLineId,
                       kContextMenuBoxId, kStatusPanelId, kGuideLinkId};
    auto isModeButton = [](int id) { return id == kAllButtonId || id == kOddButtonId || id == kEvenButtonId; };
    for (int a : ids) {
        const RECT place = PlaceOf(window, mainWindow.Control(a));
        EXPECT_TRUE(place.left >= 0 && place.top >= 0 && place.right <= client.right && place.bottom <= client.bottom &&
                    !::IsRectEmpty(&place))
            << a << " lies at " << place.left << "," << place.top << "," << place.right << "," << place.bottom;
        for (int b : ids) {
            if (b <= a) continue;
            const RECT other = PlaceOf(window, mainWindow.Control(b));
            RECT overlap{};
            if (!::IntersectRect(&overlap, &place, &other)) continue;
            if (a == kModeGroupId && isModeButton(b)) {
                EXPECT_TRUE(::EqualRect(&overlap, &other)) << b << " sticks out of the group box";
            } else if (a == kImageListId && b == kStatusPanelId) {
                EXPECT_EQ(overlap.bottom - overlap.top, 1) << "the list and the status panel share more than a line";
            } else {
                ADD_FAILURE() << "controls " << a << " and " << b << " overlap";
            }
        }
    }
    const RECT open = PlaceOf(window, mainWindow.Control(kOpenButtonId));
    const RECT designed = Scaled(DesignRect{8, 16, 89, 25}, dpi);
    EXPECT_TRUE(::EqualRect(&open, &designed));
    EXPECT_EQ(FontHeightOf(mainWindow.Control(kOpenButtonId)), -Scaled(11, dpi));
    EXPECT_EQ(FontHeightOf(mainWindow.Control(kGuideLinkId)), -Scaled(11, dpi));
    EXPECT_EQ(::SendMessageW(mainWindow.Control(kImageListId), LB_GETITEMHEIGHT, 0, 0), Scaled(kListItemHeight, dpi));
}

// The EXIF window laid out for dpi: its list over the client area but for the Close button's
// strip, the button inside at its designed distance from the bottom edge.
void ExpectLaidOutFor(const ExifWindow& exif, UINT dpi) {
    SCOPED_TRACE("EXIF window at " + std::to_string(dpi) + " dpi");
    EXPECT_EQ(exif.Dpi(), dpi);
    RECT client{};
    ::GetClientRect(exif.Handle(), &client);
    EXPECT_EQ(client.right, Scaled(kExifClientWidth, dpi));
    const RECT list = PlaceOf(exif.Handle(), exif.List());
    const RECT close = PlaceOf(exif.Handle(), exif.CloseButton());
    EXPECT_EQ(list.right, client.right);
    EXPECT_LT(list.bottom, close.top);
    EXPECT_EQ(close.bottom, client.bottom - Scaled(8, dpi));
    EXPECT_EQ(close.right - close.left, Scaled(75, dpi));
    EXPECT_EQ(FontHeightOf(exif.CloseButton()), -Scaled(11, dpi));
}

// The Stereo window laid out for dpi: every control inside the client area, none over another,
// the fonts and the buttons scaled, the picture area from the top left corner to the rows of
// controls, which keep their designed distance to the bottom edge.
void ExpectLaidOutFor(const StereoWindow& stereo, UINT dpi) {
    SCOPED_TRACE("Stereo window at " + std::to_string(dpi) + " dpi");
    EXPECT_EQ(stereo.Dpi(), dpi);
    HWND window = stereo.Handle();
    RECT client{};
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.right, Scaled(kStereoClientWidth, dpi));
    EXPECT_EQ(client.bottom, Scaled(kStereoClientHeight, dpi));
    std::vector<HWND> controls;
    for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT))
        controls.push_back(child);
    EXPECT_EQ(controls.size(), 14u);
    for (std::size_t a = 0; a < controls.size(); ++a) {
        const RECT place = PlaceOf(window, controls[a]);
        const int id = ::GetDlgCtrlID(controls[a]);
        EXPECT_TRUE(place.left >= 0 && place.top >= 0 && place.right <= client.right && place.bottom <= client.bottom &&
                    !::IsRectEmpty(&place))
            << id << " lies at " << place.left << "," << place.top << "," << place.right << "," << place.bottom;
        for (std::size_t b = a + 1; b < controls.size(); ++b) {
            const RECT other = PlaceOf(window, controls[b]);
            RECT overlap{};
            EXPECT_FALSE(::IntersectRect(&overlap, &place, &other))
                << "controls " << id << " and " << ::GetDlgCtrlID(controls[b]) << " overlap";
        }
        if (id != kStereoParallaxSliderId) {  // a trackbar has no font
            EXPECT_EQ(FontHeightOf(controls[a]), -Scaled(11, dpi)) << id;
        }
    }
    const RECT picture = PlaceOf(window, stereo.Control(kStereoPictureId));
    EXPECT_EQ(picture.left, Scaled(8, dpi));
    EXPECT_EQ(picture.top, Scaled(8, dpi));
    const RECT close = PlaceOf(window, stereo.Control(kStereoCloseButtonId));
    EXPECT_EQ(close.right - close.left, Scaled(75, dpi));
    EXPECT_EQ(close.bottom - close.top, Scaled(25, dpi));
    EXPECT_EQ(client.bottom - close.bottom, Scaled(8, dpi));
}

// The properties left on each window of this thread after its WM_NCDESTROY was handled.
std::vector<std::string> leftProperties;
int windowsDestroyed = 0;

LRESULT CALLBACK AfterWindowProcedure(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_NCDESTROY) {
        ++windowsDestroyed;
        ::EnumPropsExW(
            call->hwnd,
            [](HWND, LPWSTR name, HANDLE, ULONG_PTR) -> BOOL {
                leftProperties.push_back(IS_INTRESOURCE(name) ? "an atom" : Narrow(name));
                return TRUE;
            },
            0);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// The Stereo window's previewer, counting the pictures it renders.
class CountingPreviewer : public window::StereoPreviewer {
public:
    explicit CountingPreviewer(window::StereoPreviewer& inner) : inner_(inner) {}
    window::StereoPairSize OpenPair(const std::string& source, int first, int second, int previewSide) override {
        return inner_.OpenPair(source, first, second, previewSide);
    }
    void ClosePair() override { inner_.ClosePair(); }
    window::StereoShift MeasureAlignment() override { return inner_.MeasureAlignment(); }
    std::vector<window::RgbPicture> Render(const window::StereoRenderSettings& settings) override {
        ++Renders;
        return inner_.Render(settings);
    }
    bool CanSave(window::StereoFileType type) override { return inner_.CanSave(type); }
    std::string SuggestedPath(window::StereoFileType type) override { return inner_.SuggestedPath(type); }
    void Save(const window::StereoSaveSettings& settings, const std::string& path) override {
        inner_.Save(settings, path);
    }
    int Renders = 0;

private:
    window::StereoPreviewer& inner_;
};

class Win32Window : public ::testing::Test, protected FakeServices {
protected:
    static void SetUpTestSuite() { RegisterWindowClasses(::GetModuleHandleW(nullptr)); }

    void SetUp() override {
        registry = CreatePlatformRegistration();
        registry->Unregister();
        stereoWindow = std::make_unique<StereoWindow>(::GetModuleHandleW(nullptr),
                                                      window::StereoWindowServices{previewer, saveDialog, messages});
        OpenMainWindow();
    }

    void TearDown() override {
        mainWindow.reset();
        stereoWindow.reset();
        registry->Unregister();
        DropWaitingMessages();
    }

    window::WindowServices Services() {
        window::WindowServices services{openDialog, folders,   desktop,
                                        messages,   temp,      ticks,
                                        processes,  *registry, "C:\\Veltrane\\veltrane.exe",
                                        "C:\\Veltrane\\guide.html"};
#ifdef VELTRANE_WITH_STEREO
        services.Stereo = &stereoWriter;
        services.SaveDialog = &saveDialog;
#endif
        return services;
    }
    void OpenMainWindow() {
        mainWindow = std::make_unique<MainWindow>(::GetModuleHandleW(nullptr), Services());
        if (stereoWindow != nullptr) mainWindow->SetStereoWindow(stereoWindow.get());
        ::ShowWindow(mainWindow->Handle(), SW_SHOWNORMAL);
        ::UpdateWindow(mainWindow->Handle());
    }
    // Handles what waits in the queue, as the message loop would.
    static void HandleWaitingMessages() {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchWindowMessage(message);
    }
    // The quit message of a closed window, and whatever else is left.
    static void DropWaitingMessages() {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    std::string WriteMpo(const std::string& name, const std::vector<window::test::Bytes>& parts) {
        const std::string path = files / name;
        veltrane::testing::WriteBytes(path, samples::JoinImages(parts));
        return path;
    }

    void Click(int id) { ::SendMessageW(mainWindow->Control(id), BM_CLICK, 0, 0); }
    void Select(int row) {
        ::SendMessageW(List(), LB_SETCURSEL, static_cast<WPARAM>(row), 0);
        ::SendMessageW(mainWindow->Handle(), WM_COMMAND, MAKEWPARAM(kImageListId, LBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(List()));
    }
    void Command(int id) { ::SendMessageW(mainWindow->Handle(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    HWND List() const { return mainWindow->Control(kImageListId); }
    int Count() const { return static_cast<int>(::SendMessageW(List(), LB_GETCOUNT, 0, 0)); }
    bool Enabled(int id) const { return ::IsWindowEnabled(mainWindow->Control(id)) != FALSE; }
    bool Checked(int id) const { return ::SendMessageW(mainWindow->Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

    const std::vector<window::test::Bytes> images = window::test::FourSampleImages();
    std::unique_ptr<ContextMenuRegistration> registry;
    veltrane::testing::TempDir files;
#ifdef VELTRANE_WITH_STEREO
    stereo_services::LibraryStereoWriter stereoWriter;
    stereo_services::LibraryStereoPreviewer library;
    CountingPreviewer previewer{library};
#else
    window::test::FakePreviewer fake;
    CountingPreviewer previewer{fake};
#endif
    std::unique_ptr<StereoWindow> stereoWindow;
    std::unique_ptr<MainWindow> mainWindow;
};

TEST_F(Win32Window, IsLaidOutAsDesignedAndStartsWithTheBannerAndOnlyOpenAndTheBoxUsable) {
    RECT client{};
    ::GetClientRect(mainWindow->Handle(), &client);
    EXPECT_EQ(client.right, kMainClientWidth);
    EXPECT_EQ(client.bottom, kMainClientHeight);
    EXPECT_EQ(Narrow(WindowText(mainWindow->Handle())), "Veltrane");
    EXPECT_FALSE(::GetWindowLongW(mainWindow->Handle(), GWL_STYLE) & (WS_MAXIMIZEBOX | WS_THICKFRAME));
    struct Placement {
        int id;
        RECT rect;
        const char* caption;
        bool enabled;
    };
    const Placement cases[] = {
        {kOpenButtonId, {8, 16, 97, 41}, "&Open MPO", true},
        {kImageListId, {104, 16, 249, 185}, "", false},
        {kExtractButtonId, {8, 48, 97, 73}, "E&xtract Images", false},
        {kModeGroupId, {8, 80, 97, 185}, " Extract ", true},
        {kAllButtonId, {16, 104, 76, 121}, "&All", false},
        {kOddButtonId, {16, 128, 76, 145}, "O&dd", false},
        {kEvenButtonId, {16, 152, 76, 169}, "&Even", false},
        {kContextMenuBoxId, {8, 232, 235, 249}, "Enable &context menu entry for MPO files", true},
        {kStatusPanelId, {104, 184, 249, 209}, "Ready.", true},
    };
    for (const Placement& c : cases) {
        SCOPED_TRACE(c.caption);
        RECT rect{};
        ::GetWindowRect(mainWindow->Control(c.id), &rect);
        ::MapWindowPoints(nullptr, mainWindow->Handle(), reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_TRUE(::EqualRect(&rect, &c.rect)) << rect.left << "," << rect.top << "," << rect.right << ","
                                                 << rect.bottom;
        if (c.id != kImageListId) {
            EXPECT_EQ(Narrow(WindowText(mainWindow->Control(c.id))), c.caption);
        }
        EXPECT_EQ(Enabled(c.id), c.enabled);
    }
    EXPECT_TRUE(Checked(kAllButtonId));
    EXPECT_FALSE(Checked(kContextMenuBoxId));
    ASSERT_EQ(Count(), 2);
    EXPECT_EQ(ListText(List(), 0), "Veltrane " VELTRANE_VERSION);
    EXPECT_EQ(RowColour(List(), 0), 0xFFFFFFu);
    // Tab goes Open, list, Extract, the mode buttons' group, the check box.
    std::vector<int> order;
    HWND at = mainWindow->Control(kOpenButtonId);
    for (int i = 0; i < 4; ++i) {
        order.push_back(::GetDlgCtrlID(at));
        at = ::GetNextDlgTabItem(mainWindow->Handle(), at, FALSE);
    }
    EXPECT_EQ(order, (std::vector<int>{kOpenButtonId, kContextMenuBoxId, kOpenButtonId, kContextMenuBoxId}));
    // The link label opens the guide on a click and shows the hover colour after it.
    EXPECT_EQ(mainWindow->LinkColour(), 0x000080u);
    HWND link = mainWindow->Control(kGuideLinkId);
    ::SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(mainWindow->LinkColour(), 0xFF0000u);
    ::SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(mainWindow->LinkColour(), 0x0000FFu);
    EXPECT_EQ(desktop.OpenedUrls, std::vector<std::string>{"C:\\Veltrane\\guide.html"});
}

TEST_F(Win32Window, OpensListsColoursExtractsPreviewsShowsExifRegistersAndCleansUpOnClose) {
    openDialog.Answer = WriteMpo("four.mpo", images);
    Click(kOpenButtonId);
    EXPECT_EQ(openDialog.Filter, "MPO and JPEG files (*.mpo *.jpg *.jpeg)");
    ASSERT_EQ(Count(), 4);
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(ListText(List(), row), ImageListLine(row + 1, static_cast<std::int64_t>(images[row].size())));
    EXPECT_EQ(Narrow(WindowText(mainWindow->Control(kStatusPanelId))), "four.mpo");
    for (int id : {kImageListId, kExtractButtonId, kAllButtonId, kOddButtonId, kEvenButtonId}) EXPECT_TRUE(Enabled(id));

    // The mode buttons shade what they leave out; the selected entry is grey.
    Select(3);
    struct Case {
        int button;
        std::uint32_t rows[4];
    };
    const Case cases[] = {
        {kOddButtonId, {0xFFFFFF, 0xEEEEEE, 0xFFFFFF, 0xCCCCCC}},
        {kEvenButtonId, {0xEEEEEE, 0xFFFFFF, 0xEEEEEE, 0xCCCCCC}},
        {kAllButtonId, {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xCCCCCC}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        Click(c.button);
        EXPECT_TRUE(Checked(c.button));
        for (int row = 0; row < 4; ++row) EXPECT_EQ(RowColour(List(), row), c.rows[row]) << row;
    }

    // Extract in the checked mode, into the fake dialog's folder.
    Click(kOddButtonId);
    veltrane::testing::TempDir out;
    folders.Answer = out.Path().string();
    Click(kExtractButtonId);
    EXPECT_EQ(FileNames(out.Path()), (std::vector<std::string>{"four_001.jpg", "four_003.jpg"}));
    // Alt+X, through the message loop's dialog navigation, is Extract again.
    MSG altX{mainWindow->Handle(), WM_SYSCHAR, 'x', 1 << 29, 0, {}};
    DispatchWindowMessage(altX);
    EXPECT_EQ(folders.Calls, 2);

    // The popup menu's commands: the preview and the EXIF window.
    Command(kShowImageId);
    ASSERT_EQ(desktop.OpenedFiles.size(), 1u);
    EXPECT_EQ(desktop.OpenedBytes[0], images[3]);
    ExifWindow& exif = mainWindow->Exif();
    EXPECT_FALSE(::IsWindowVisible(exif.Handle()));
    Select(0);
    Command(kShowExifId);
    EXPECT_TRUE(::IsWindowVisible(exif.Handle()));
    ASSERT_EQ(exif.RowCount(), 19);
    EXPECT_EQ(exif.Caption(0), "Image: ");
    EXPECT_EQ(exif.Value(0), ListText(List(), 0).substr(1));
    EXPECT_EQ(exif.Caption(2), "Manufacturer: ");
    EXPECT_EQ(exif.Value(2), "Veltrane");
    RECT client{}, close{};
    ::GetClientRect(exif.Handle(), &client);
    ::GetWindowRect(exif.CloseButton(), &close);
    ::MapWindowPoints(nullptr, exif.Handle(), reinterpret_cast<POINT*>(&close), 2);
    EXPECT_EQ(client.right, kExifClientWidth);
    EXPECT_EQ(close.bottom, client.bottom - 8);  // the Close button lies inside the window
    ::SendMessageW(exif.CloseButton(), BM_CLICK, 0, 0);
    EXPECT_FALSE(::IsWindowVisible(exif.Handle()));

    // The check box registers the checked mode in the registry and removes it again.
    Click(kContextMenuBoxId);
    EXPECT_TRUE(registry->IsRegistered());
    EXPECT_EQ(registry->RegisteredModeWord(), "odd");
    Click(kContextMenuBoxId);
    EXPECT_FALSE(registry->IsRegistered());
    EXPECT_TRUE(messages.Errors.empty());

    // A dropped .mpo opens like Open; closing removes the temporary copies and the window.
    const std::string pair = WriteMpo("Pair.MPO", {images[0], images[1]});
    ::SendMessageW(mainWindow->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf({Widen(pair)})), 0);
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(Narrow(WindowText(mainWindow->Control(kStatusPanelId))), "Pair.MPO");
    EXPECT_EQ(FileNames(temp.Dir.Path()), std::vector<std::string>{"veltrane-4242"});
    EXPECT_EQ(FileNames(std::filesystem::path(TempFile(""))).size(), 2u);  // the preview and the EXIF copy
    ::SendMessageW(mainWindow->Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(mainWindow->Destroyed());
    EXPECT_TRUE(FileNames(temp.Dir.Path()).empty());
}

TEST_F(Win32Window, OpensPreviewsAndExtractsFromAJapaneseNamedFolder) {
    const std::filesystem::path folder = files.Path() / std::filesystem::path(u8"\u5199\u771f \u7acb\u4f53");
    std::filesystem::create_directory(folder);
    const std::filesystem::path mpo = folder / std::filesystem::path(u8"\u65c5\u884c.mpo");
    veltrane::testing::WriteBytes(mpo, samples::JoinImages(images));
    openDialog.Answer = Narrow(mpo.wstring());
    Click(kOpenButtonId);
    EXPECT_TRUE(messages.Errors.empty());
    ASSERT_EQ(Count(), 4);
    EXPECT_EQ(WindowText(mainWindow->Control(kStatusPanelId)), L"\u65c5\u884c.mpo");
    Select(1);
    Command(kShowImageId);
    ASSERT_EQ(desktop.OpenedBytes.size(), 1u);
    EXPECT_EQ(desktop.OpenedBytes[0], images[1]);
    folders.Answer = Narrow(folder.wstring());
    Click(kExtractButtonId);
    EXPECT_TRUE(std::filesystem::exists(folder / std::filesystem::path(u8"\u65c5\u884c_004.jpg")));
}

#ifdef VELTRANE_WITH_STEREO
TEST(StereoPicture, FitsItsAreaWithItsProportionsKeptNeverEnlargedAndCentred) {
    struct Case {
        SIZE picture, area;
        RECT drawn;
    };
    const Case cases[] = {
        {{320, 240}, {584, 337}, {132, 48, 452, 288}},  // smaller: as it is
        {{1000, 750}, {584, 337}, {67, 0, 516, 337}},   // too high: as high as the area
        {{1954, 750}, {584, 337}, {0, 56, 584, 280}},   // too wide: as wide as the area
        {{5000, 1}, {100, 100}, {0, 49, 100, 50}},      // a line stays a line
        {{0, 0}, {584, 337}, {0, 0, 0, 0}},             // none
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.picture.cx) + " x " + std::to_string(c.picture.cy));
        const RECT drawn = FittedPicture(c.picture, c.area);
        EXPECT_TRUE(::EqualRect(&drawn, &c.drawn))
            << drawn.left << "," << drawn.top << "," << drawn.right << "," << drawn.bottom;
    }
}

// The captions of the list menu's entries, in order, with "(greyed)" after a greyed one.
std::vector<std::string> MenuEntries(HMENU menu) {
    std::vector<std::string> entries;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = {};
        ::GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
        const bool greyed = (::GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED) != 0;
        entries.push_back(Narrow(text) + (greyed ? " (greyed)" : ""));
    }
    return entries;
}

// A stereo pair of 320 x 240 pixels whose red square stands 40 pixels apart in the two eyes.
std::vector<window::test::Bytes> StereoPair() {
    samples::SampleExif exif;
    exif.width = 320;
    exif.height = 240;
    return {samples::SampleStereoImage(0, exif), samples::SampleStereoImage(1, exif)};
}

TEST_F(Win32Window, HasTheStereoEntriesForAStereoPairAndSaveStereoWritesTheChosenLayout) {
    struct Case {
        const char* file;
        std::vector<window::test::Bytes> images;
        std::vector<std::string> entries;  // the list menu with an image selected
    };
    const Case cases[] = {
        {"one.mpo", {images[0]}, {"Show Image", "EXIF Info"}},
        {"pair.mpo", {images[0], images[1]}, {"Show Image", "EXIF Info", "Show Stereo", "Save Stereo\xE2\x80\xA6"}},
    };
    EXPECT_EQ(MenuEntries(mainWindow->ListMenu()), (std::vector<std::string>{"Show Image (greyed)", "EXIF Info (greyed)"}));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        openDialog.Answer = WriteMpo(c.file, c.images);
        Click(kOpenButtonId);
        Select(0);
        EXPECT_EQ(MenuEntries(mainWindow->ListMenu()), c.entries);
    }
    // Without a Stereo window there is nothing for Show Stereo to open.
    mainWindow->SetStereoWindow(nullptr);
    openDialog.Answer = WriteMpo("trip.mpo", StereoPair());
    Click(kOpenButtonId);
    EXPECT_EQ(MenuEntries(mainWindow->ListMenu()),
              (std::vector<std::string>{"Show Image (greyed)", "EXIF Info (greyed)", "Save Stereo\xE2\x80\xA6"}));

    // Save Stereo: the dialog offers the four layouts with their names beside the file, and
    // the chosen one is written.
    saveDialog.ChosenType = 1;
    saveDialog.Answer = files / "parallel.jpg";
    Command(kSaveStereoId);
    EXPECT_EQ(saveDialog.Title, "Save Stereo");
    // (And the same four fully aligned, where the build can align.)
    ASSERT_EQ(saveDialog.Types.size(), align::FullAlignmentAvailable() ? 8u : 4u);
    EXPECT_EQ(saveDialog.SuggestedPaths[1], files / "trip_parallel.jpg");
    EXPECT_EQ(ReadBytes(files / "parallel.jpg").at(0), 0xFF);  // a JPEG file
    EXPECT_TRUE(messages.Errors.empty());
}

TEST_F(Win32Window, ShowStereoDrawsThePairAndTheControlsReachTheModel) {
    openDialog.Answer = WriteMpo("trip.mpo", StereoPair());
    Click(kOpenButtonId);
    Select(0);
    EXPECT_FALSE(::IsWindowVisible(stereoWindow->Handle()));
    Command(kShowStereoId);
    ASSERT_TRUE(messages.Errors.empty()) << messages.Errors[0];
    HWND window = stereoWindow->Handle();
    ASSERT_TRUE(::IsWindowVisible(window));
    EXPECT_EQ(Narrow(WindowText(window)), "Stereo - trip.mpo");
    auto text = [&](int id) { return Narrow(WindowText(stereoWindow->Control(id))); };
    auto enabled = [&](int id) { return ::IsWindowEnabled(stereoWindow->Control(id)) != FALSE; };
    EXPECT_EQ(text(kStereoStatusId).rfind("Images 1 and 2, 320 x 240; aligned: ", 0), 0u) << text(kStereoStatusId);

    // The aligned anaglyph (narrower than an eye by the shift), at its own size in the larger
    // area, centred and drawn.
    const SIZE anaglyph = stereoWindow->PictureSize();
    EXPECT_TRUE(anaglyph.cy == 240 && anaglyph.cx > 240 && anaglyph.cx < 320) << anaglyph.cx << " x " << anaglyph.cy;
    const RECT drawn = stereoWindow->PictureRect();
    EXPECT_EQ(drawn.right - drawn.left, anaglyph.cx);
    const POINT middle{(drawn.left + drawn.right) / 2, (drawn.top + drawn.bottom) / 2};
    ::UpdateWindow(window);
    EXPECT_NE(PixelOf(stereoWindow->Control(kStereoPictureId), middle), 0x303030u);
    EXPECT_NE(PixelOf(stereoWindow->Control(kStereoPictureId), {1, 1}), stereoWindow->PicturePixel(0, 0));

    // Two steps of a drag before the window handles its messages: one render, of the last.
    HWND slider = stereoWindow->Control(kStereoParallaxSliderId);
    EXPECT_EQ(::SendMessageW(slider, TBM_GETRANGEMAX, 0, 0), 16);  // a twentieth of the width
    const int rendersBefore = previewer.Renders;
    for (const int step : {4, 10}) {
        ::SendMessageW(slider, TBM_SETPOS, TRUE, step);
        ::SendMessageW(window, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, step), reinterpret_cast<LPARAM>(slider));
    }
    EXPECT_EQ(stereoWindow->Model().RenderSettings().parallax, 0);
    HandleWaitingMessages();
    EXPECT_EQ(previewer.Renders, rendersBefore + 1);
    EXPECT_EQ(stereoWindow->Model().RenderSettings().parallax, 10);
    EXPECT_EQ(text(kStereoParallaxValueId), "+10 px");
    EXPECT_NE(stereoWindow->PictureSize().cx, anaglyph.cx);

    // The boxes and the lists, as a user's choice notifies the window.
    ::SendMessageW(stereoWindow->Control(kStereoSwapBoxId), BM_CLICK, 0, 0);
    EXPECT_TRUE(stereoWindow->Model().RenderSettings().swap);
    ::SendMessageW(stereoWindow->Control(kStereoAlignBoxId), BM_CLICK, 0, 0);
    EXPECT_EQ(stereoWindow->Model().RenderSettings().shift, window::StereoShift{});
    EXPECT_EQ(text(kStereoStatusId), "Images 1 and 2, 320 x 240");
    auto choose = [&](int id, int index) {
        HWND box = stereoWindow->Control(id);
        ::SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
    };
    choose(kStereoLayoutBoxId, 1);  // parallel: both eyes side by side
    EXPECT_EQ(stereoWindow->Model().RenderSettings().view, window::StereoView::Parallel);
    EXPECT_GT(stereoWindow->PictureSize().cx, 2 * 240);
    EXPECT_FALSE(enabled(kStereoGlassesBoxId));
    choose(kStereoLayoutBoxId, 3);  // the wiggle, animated by the window's timer
    EXPECT_TRUE(stereoWindow->Animating());
    auto squareRow = [&] {  // a row through the red square, which stands apart in the two eyes
        std::vector<std::uint32_t> row;
        for (int x = 0; x < stereoWindow->PictureSize().cx; ++x) row.push_back(stereoWindow->PicturePixel(x, 80));
        return row;
    };
    const std::vector<std::uint32_t> firstFrame = squareRow();
    ::SendMessageW(window, WM_TIMER, 1, 0);
    EXPECT_EQ(stereoWindow->Model().ShownFrame(), 1);
    EXPECT_NE(squareRow(), firstFrame);
    choose(kStereoLayoutBoxId, 0);
    EXPECT_FALSE(stereoWindow->Animating());
    EXPECT_TRUE(enabled(kStereoGlassesBoxId));
    choose(kStereoGlassesBoxId, 2);
    EXPECT_EQ(stereoWindow->Model().RenderSettings().anaglyph, window::AnaglyphKind::GreenMagenta);

    // Save offers every file type, the shown layout's first, and writes the chosen one.
    saveDialog.KeepsOfferedType = true;
    saveDialog.Answer = files / "trip_anaglyph.jpg";
    ::SendMessageW(stereoWindow->Control(kStereoSaveButtonId), BM_CLICK, 0, 0);
    EXPECT_EQ(saveDialog.Types.size(), window::kStereoFileTypes.size());
    EXPECT_EQ(saveDialog.Types[static_cast<std::size_t>(saveDialog.OfferedType)],
              "Anaglyph of the chosen kind (*.jpg)");
    EXPECT_EQ(ReadBytes(files / "trip_anaglyph.jpg").at(0), 0xFF);
    EXPECT_TRUE(messages.Errors.empty());

    // Close hides the window and lets the pair go; so does the main window's close.
    ::SendMessageW(stereoWindow->Control(kStereoCloseButtonId), BM_CLICK, 0, 0);
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_FALSE(stereoWindow->Model().PairOpen());
    EXPECT_EQ(stereoWindow->PictureSize().cx, 0);
    Command(kShowStereoId);
    EXPECT_TRUE(::IsWindowVisible(window));
    ::SendMessageW(mainWindow->Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_FALSE(stereoWindow->Model().PairOpen());
}

// The script of a save dialog run by a thread timer inside the dialog's own message loop: it
// reads the name box, chooses the third file type, reads the name box again, types the answer
// and presses Save.
struct SaveDialogScript {
    std::wstring answer;
    std::vector<std::string> types;
    std::wstring nameAtStart, nameForThirdType;
    bool ran = false;
};
SaveDialogScript* saveScript = nullptr;

void CALLBACK RunSaveDialogScript(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM found) -> BOOL {
            wchar_t name[16] = {};
            ::GetClassNameW(window, name, 16);
            if (std::wstring(name) != L"#32770" || !::IsWindowVisible(window)) return TRUE;
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&dialog));
    if (dialog == nullptr) return;  // not up yet: the next tick looks again
    ::KillTimer(nullptr, timer);
    SaveDialogScript& script = *saveScript;
    script.ran = true;
    HWND nameBox = ::GetDlgItem(dialog, cmb13) != nullptr ? ::GetDlgItem(dialog, cmb13) : ::GetDlgItem(dialog, edt1);
    HWND typeBox = ::GetDlgItem(dialog, cmb1);
    script.nameAtStart = WindowText(nameBox);
    std::vector<std::string> types;
    for (int i = 0; i < static_cast<int>(::SendMessageW(typeBox, CB_GETCOUNT, 0, 0)); ++i) {
        std::wstring type(static_cast<std::size_t>(::SendMessageW(typeBox, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        type.resize(static_cast<std::size_t>(::SendMessageW(typeBox, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(type.data()))));
        types.push_back(Narrow(type));
    }
    script.types = types;
    // As a click in the open list: the selection changes, then the list closes on it.
    ::SendMessageW(typeBox, CB_SETCURSEL, 2, 0);
    for (const int code : {CBN_SELCHANGE, CBN_SELENDOK})
        ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(cmb1, code), reinterpret_cast<LPARAM>(typeBox));
    script.nameForThirdType = WindowText(nameBox);
    ::SetWindowTextW(nameBox, script.answer.c_str());
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
}

TEST_F(Win32Window, TheSaveDialogOffersEachTypesNameAndAnswersWithTheChosenType) {
    const std::vector<std::string> types = {"JPS cross, right eye first (*.jps)", "Parallel, left eye first (*.jpg)",
                                            "Wiggle animation (*.gif)"};
    const std::vector<std::string> names = {files / "trip.jps", files / "trip_parallel.jpg", files / "trip_wiggle.gif"};
    SaveDialogScript script;
    script.answer = Widen(files / "chosen.gif");
    saveScript = &script;
    Win32SaveFileDialog dialog;
    dialog.SetOwner(mainWindow->Handle());
    int chosen = 1;
    ::SetTimer(nullptr, 0, 50, &RunSaveDialogScript);
    const std::string path = dialog.GetSaveFileName("Save Stereo", types, names, chosen);
    saveScript = nullptr;
    ASSERT_TRUE(script.ran);
    EXPECT_EQ(script.types, types);
    EXPECT_EQ(script.nameAtStart, L"trip_parallel.jpg");
    EXPECT_EQ(script.nameForThirdType, L"trip_wiggle.gif");
    EXPECT_EQ(path, files / "chosen.gif");
    EXPECT_EQ(chosen, 2);
}
#endif

TEST_F(Win32Window, CloseWhileALongScanRunsStopsItAndTheWindowGoesAway) {
    window::test::Bytes big = images[0];
    big.resize(8u << 20, 0x00);
    const std::string path = WriteMpo("long.mpo", {big, images[1]});
    // A scan starts from the Open button or from a drop; the close waits in the queue for the
    // scan's first look at the events.
    for (const bool dropped : {false, true}) {
        SCOPED_TRACE(dropped ? "dropped" : "opened");
        if (dropped) {
            DropWaitingMessages();
            OpenMainWindow();
        }
        openDialog.Answer = path;
        ::PostMessageW(mainWindow->Handle(), WM_CLOSE, 0, 0);
        if (dropped)
            ::SendMessageW(mainWindow->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf({Widen(path)})), 0);
        else
            Click(kOpenButtonId);
        EXPECT_TRUE(mainWindow->Destroyed());
        EXPECT_FALSE(mainWindow->Model().Scanning());
        EXPECT_EQ(mainWindow->Model().Images().ImageCount, 1);
        EXPECT_TRUE(messages.Errors.empty());
    }
}

TEST_F(Win32Window, FollowsMovesToMonitorsOfOtherDpis) {
    ExpectLaidOutFor(*mainWindow, 96);
    ExifWindow& exif = mainWindow->Exif();
    for (const UINT dpi : {144u, 120u, 192u, 96u}) {
        MoveToMonitorOf(mainWindow->Handle(), dpi, {kMainClientWidth, kMainClientHeight});
        ExpectLaidOutFor(*mainWindow, dpi);
        MoveToMonitorOf(exif.Handle(), dpi, {kExifClientWidth, kExifClientHeight});
        ExpectLaidOutFor(exif, dpi);
        // At 192 dpi the Stereo window's designed size is more than the test's screen holds.
        if (dpi > 144) continue;
        MoveToMonitorOf(stereoWindow->Handle(), dpi, {kStereoClientWidth, kStereoClientHeight});
        ExpectLaidOutFor(*stereoWindow, dpi);
    }
}

TEST_F(Win32Window, LeavesNoPropertyOrSubclassWhenItGoesAndAWindowTheSystemRefusesIsAnError) {
    leftProperties.clear();
    windowsDestroyed = 0;
    HHOOK hook = ::SetWindowsHookExW(WH_CALLWNDPROCRET, &AfterWindowProcedure, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    mainWindow.reset();
    stereoWindow.reset();
    ::UnhookWindowsHookEx(hook);
    EXPECT_GE(windowsDestroyed, 15 + 14);  // the three windows, their controls and the tooltip
    // Wine keeps properties of its own on some windows (its X11 driver's, its theme's) until
    // they are gone; any other is the program's, or a subclass's that it did not remove.
    for (const std::string& name : leftProperties)
        EXPECT_TRUE(name.rfind("__wine_", 0) == 0 || name == "ux_theme") << name << " is left";

    // The window classes are registered for this program: another module has none. The error
    // names the window and the system's reason.
    try {
        MainWindow other(::GetModuleHandleW(L"kernel32.dll"), Services());
        ADD_FAILURE() << "a window without a class was created";
    } catch (const WindowCreationError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("cannot create the window VeltraneMainWindow \"Veltrane\": ", 0), 0u)
            << e.what();
    }
}

// Runs in a wine prefix whose display is at 144 dpi (ctest's test_gui_win32_144dpi): the
// program starts per-monitor aware, as its manifest says, and lays its windows out for it.
class Win32WindowAt144Dpi : public Win32Window {};

TEST_F(Win32WindowAt144Dpi, OpensAt398By383WithTheControlsScaledAndApart) {
    if (std::getenv("VELTRANE_TEST_DPI") == nullptr) GTEST_SKIP() << "runs in the 144-dpi prefix of its ctest entry";
    EXPECT_EQ(::GetAwarenessFromDpiAwarenessContext(::GetThreadDpiAwarenessContext()), DPI_AWARENESS_PER_MONITOR_AWARE);
    ASSERT_EQ(mainWindow->Dpi(), 144u) << "the display of the prefix is not at 144 dpi";
    RECT client{};
    ::GetClientRect(mainWindow->Handle(), &client);
    EXPECT_EQ(client.right, 398);
    EXPECT_EQ(client.bottom, 383);
    ExpectLaidOutFor(*mainWindow, 144);
    ExpectLaidOutFor(mainWindow->Exif(), 144);
    ExpectLaidOutFor(*stereoWindow, 144);
}

}  // namespace
}  // namespace veltrane::win32

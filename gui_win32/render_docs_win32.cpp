// SPDX-License-Identifier: GPL-3.0-or-later
// veltrane-render-docs-win32: renders the Win32 main window (with the bundled sample opened and
// its first image selected), the filled EXIF window and the Stereo window (showing the stereo
// pair PAIR, by default the bundled sample, as an aligned anaglyph pushed back 12 pixels),
// frames included, to BMP files. Used by scripts/render-docs.sh under wine on a virtual X
// display (in a wine desktop window, so that wine draws the frames), which turns them into PNG
// files; it hands over the painted scene of the Qt window's picture as PAIR.
//
//   veltrane-render-docs-win32 FOLDER [PAIR]
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/common/native_path.h"
#include <commctrl.h>

#include "core/window/scripted_services.h"
#include "gui_win32/win32_services.h"
#include "gui_win32/win32_stereo_window.h"
#include "gui_win32/win32_text.h"
#include "gui_win32/win32_windows.h"
#include "tools/samples/jpeg_writer.h"
#ifdef VELTRANE_WITH_STEREO
#include "imaging/services/library_stereo_previewer.h"
#endif

namespace {

using namespace veltrane;

// Handles what is waiting for half a second, so that every window has painted.
void LetWindowsPaint() {
    MSG message;
    for (int round = 0; round < 20; ++round) {
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) win32::DispatchWindowMessage(message);
        ::Sleep(25);
    }
}

// Writes what the screen shows of window (frame and all) as a 24-bit BMP file. The window must
// be on top; wine's PrintWindow leaves the child controls out.
bool SaveWindow(HWND window, const std::wstring& path) {
    RECT frame{};
    ::GetWindowRect(window, &frame);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    ::SetForegroundWindow(window);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    LetWindowsPaint();
    const bool drawn = ::BitBlt(dc, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY) != FALSE;
    ::GdiFlush();
    const DWORD stride = static_cast<DWORD>((width * 3 + 3) & ~3);
    const DWORD imageSize = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;  // "BM"
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + imageSize;
    info.bmiHeader.biSizeImage = imageSize;
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(static_cast<const char*>(bits), static_cast<std::streamsize>(imageSize));
    const bool written = drawn && out.good();
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    return written;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: veltrane-render-docs-win32 FOLDER [PAIR]\n");
        return 2;
    }
    const std::wstring folder = std::wstring(argv[1]) + L"\\";
    const std::string scratch = TempFolder();
    const std::string sample = scratch + "stereo-pair.mpo";
    if (!samples::WriteFile(sample, samples::SampleMpo())) return 1;
    const std::string pair = argc == 3 ? win32::Narrow(argv[2]) : sample;

    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    win32::RegisterWindowClasses(instance);
    window::ChosenFile openDialog(sample);
    window::NoFolder folders;
    window::NoDesktop desktop;
    window::MessagesToStderr messages("veltrane-render-docs-win32");
    window::FolderOf tempFolder(scratch);
    window::CountingTicks ticks;
    window::SystemProcesses processes;
    window::InMemoryRegistration registration;
    bool ok = false;
    {
        win32::MainWindow mainWindow(instance, {openDialog, folders, desktop, messages, tempFolder, ticks,
                                                processes, registration, {}, {}});
        ::SetWindowPos(mainWindow.Handle(), nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ::ShowWindow(mainWindow.Handle(), SW_SHOWNORMAL);
        ::SendMessageW(mainWindow.Control(win32::kOpenButtonId), BM_CLICK, 0, 0);
        HWND list = mainWindow.Control(win32::kImageListId);
        ::SendMessageW(list, LB_SETCURSEL, 0, 0);
        ::SendMessageW(mainWindow.Handle(), WM_COMMAND, MAKEWPARAM(win32::kImageListId, LBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(list));
        ::SendMessageW(mainWindow.Handle(), WM_COMMAND, MAKEWPARAM(win32::kShowExifId, 0), 0);
        ::SetFocus(list);
        LetWindowsPaint();
        ok = !messages.failed;
        ok = SaveWindow(mainWindow.Handle(), folder + L"win32-main-window.bmp") && ok;
        ok = SaveWindow(mainWindow.Exif().Handle(), folder + L"win32-exif-window.bmp") && ok;
#ifdef VELTRANE_WITH_STEREO
        // The Stereo window as Show Stereo opens it, its stereo window moved back with the slider.
        stereo_services::LibraryStereoPreviewer previewer;
        win32::Win32SaveFileDialog saveDialog;
        win32::StereoWindow stereoWindow(instance, {previewer, saveDialog, messages});
        mainWindow.SetStereoWindow(&stereoWindow);
        ::SetWindowPos(stereoWindow.Handle(), nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        stereoWindow.Model().OpenPair(pair, 1, 2);
        HWND slider = stereoWindow.Control(win32::kStereoParallaxSliderId);
        ::SendMessageW(slider, TBM_SETPOS, TRUE, 12);
        ::SendMessageW(stereoWindow.Handle(), WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider));
        ::SetFocus(slider);
        LetWindowsPaint();
        ok = !messages.failed && ok;
        ok = SaveWindow(stereoWindow.Handle(), folder + L"win32-stereo-window.bmp") && ok;
        ::SendMessageW(mainWindow.Handle(), WM_CLOSE, 0, 0);
        mainWindow.SetStereoWindow(nullptr);
#else
        ::SendMessageW(mainWindow.Handle(), WM_CLOSE, 0, 0);
#endif
    }
    ::DeleteFileW(win32::Widen(sample).c_str());
    return ok ? 0 : 1;
}

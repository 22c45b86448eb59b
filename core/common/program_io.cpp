// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/common/program_io.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include "core/common/unicode_text.h"
#endif

namespace veltrane {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    if (LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        std::vector<std::string> args;
        for (int i = 1; i < count; ++i) args.push_back(Utf8FromWide(wide[i]));
        ::LocalFree(wide);
        return args;
    }
#endif
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

#ifdef _WIN32
namespace {

bool IsConsole(DWORD which) {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

}  // namespace

Utf8Console::Utf8Console() {
    if (!IsConsole(STD_OUTPUT_HANDLE) && !IsConsole(STD_ERROR_HANDLE)) return;
    const UINT current = ::GetConsoleOutputCP();
    if (current != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) savedCodePage_ = current;
}

Utf8Console::~Utf8Console() {
    if (savedCodePage_ != 0) ::SetConsoleOutputCP(savedCodePage_);
}
#else
Utf8Console::Utf8Console() = default;
Utf8Console::~Utf8Console() = default;
#endif

}  // namespace veltrane

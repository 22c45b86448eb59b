// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's edges with whoever started it: its arguments and its console text, both UTF-8
// inside the program on every platform.
#include <string>
#include <vector>

namespace veltrane {

// The arguments after the program's name, in UTF-8. On Windows they are read again from the
// wide command line (GetCommandLineW), because argv holds them in the ANSI code page, where a
// name such as a Japanese folder's is already lost; elsewhere argv is used as it is.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// While it lives, text written to a Windows console is shown as UTF-8 (the console's output code
// page is set to UTF-8 and restored at the end). Redirected output is UTF-8 bytes anyway; on other
// platforms this does nothing.
class Utf8Console {
public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

#ifdef _WIN32
private:
    unsigned savedCodePage_ = 0;  // the code page to restore, 0 when nothing was changed
#endif
};

}  // namespace veltrane

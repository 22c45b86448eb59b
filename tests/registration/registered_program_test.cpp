// SPDX-License-Identifier: GPL-3.0-or-later
// Which program an existing entry runs, read back from its texts, and how the start-up check
// treats an entry of another program: left alone while that program exists, taken over once it
// is gone.
#include <gtest/gtest.h>

#include "core/registration/registration_texts.h"
#include "core/window/scripted_services.h"
#include "tests/support/temp_dir.h"

namespace veltrane {
namespace {

using window::InMemoryRegistration;

TEST(RegisteredProgram, IsReadBackFromTheDesktopEntryAndTheRegistryCommand) {
    for (const char* path : {"/usr/bin/veltrane", "/home/a b/it's \"$HOME\" `x` 100%/veltrane",
                             "/opt/v\xC3\xA9ltrane/bin/veltrane", "/tmp/line\nbreak/veltrane"}) {
        SCOPED_TRACE(path);
        for (const char* mode : {"", "odd", "even"}) {
            EXPECT_EQ(ProgramOfDesktopEntry(ApplicationDesktopEntry(path, mode)), path);
            // Registry paths hold no double quote (Windows forbids it in names).
            if (std::string(path).find('"') == std::string::npos) {
                EXPECT_EQ(ProgramOfRegistryCommand(RegistryCommandLine(path, mode)), path);
            }
        }
    }
    for (const char* text : {"", "[Desktop Entry]\nName=x\n", "[Other]\nExec=/bin/x %f\n",
                             "[Desktop Entry]\nExec=\"/bin/unclosed %f\n"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ProgramOfDesktopEntry(text), "");
    }
    EXPECT_EQ(ProgramOfRegistryCommand("C:\\veltrane.exe \"%1\""), "");
    EXPECT_EQ(ProgramOfRegistryCommand("\"C:\\unclosed.exe"), "");
}

TEST(RefreshRegistration, TakesOverOnlyAStaleEntryOrItsOwn) {
    testing::TempDir dir;
    const std::string installed = dir.Write("veltrane", std::string("#!"));
    const std::string running = (dir.Path() / "build" / "veltrane").string();
    struct Case {
        const char* what;
        std::string registered;
        std::string expectedProgram;
        int expectedWrites;
    };
    const Case cases[] = {
        {"program gone", (dir.Path() / "gone" / "veltrane").string(), running, 1},
        {"this program", running, running, 0},
        {"another program that exists", installed, installed, 0},
        {"a folder, not a program", dir.Path().string(), running, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InMemoryRegistration registration(c.registered, "odd");
        EXPECT_TRUE(RefreshRegistration(registration, running));
        EXPECT_EQ(registration.ProgramPath, c.expectedProgram);
        EXPECT_EQ(registration.ModeWord, "odd");
        EXPECT_EQ(registration.Writes, c.expectedWrites);
    }
}

}  // namespace
}  // namespace veltrane

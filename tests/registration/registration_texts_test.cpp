// SPDX-License-Identifier: GPL-3.0-or-later
// The texts of every entry, checked without writing them: the six registry values of Windows and
// the freedesktop files, with the quoting each format needs.
#include "core/registration/registration_texts.h"

#include <gtest/gtest.h>

#include "core/common/unicode_text.h"

namespace veltrane {
namespace {

constexpr const char* kWindowsProgram = "C:\\Program Files\\Veltrane\\veltrane.exe";

TEST(RegistryEntries, AreTheSixKeysInTheirOrderForEachMode) {
    struct Case {
        const char* mode;
        const char* command;
    };
    const Case cases[] = {
        {"", "\"C:\\Program Files\\Veltrane\\veltrane.exe\" \"%1\""},
        {"odd", "\"C:\\Program Files\\Veltrane\\veltrane.exe\" \"%1\" odd"},
        {"EVEN", "\"C:\\Program Files\\Veltrane\\veltrane.exe\" \"%1\" even"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        const std::vector<RegistryEntry> expected = {
            {".mpo", "MPO (Multi Picture Object)"},
            {"MPO (Multi Picture Object)", "Multiple JPEG images stored in a single file"},
            {"MPO (Multi Picture Object)\\DefaultIcon",
             "C:\\Program Files\\Veltrane\\veltrane.exe,0"},
            {"MPO (Multi Picture Object)\\Shell", "This_Is_Our_Default_Action"},
            {"MPO (Multi Picture Object)\\Shell\\Extract JPEGs", "Extract Images"},
            {"MPO (Multi Picture Object)\\Shell\\Extract JPEGs\\command", c.command},
        };
        EXPECT_EQ(RegistryEntries(kWindowsProgram, c.mode), expected);
    }
}

TEST(ModeWordOfRegistryCommand, ReadsTheWordAfterThePlaceholderOnly) {
    const std::pair<const char*, const char*> cases[] = {
        {"\"C:\\v.exe\" \"%1\"", ""},
        {"\"C:\\v.exe\" \"%1\" odd", "odd"},
        {"\"C:\\v.exe\" \"%1\"  EVEN ", "even"},
        {"\"C:\\v.exe\" \"%1\" all", ""},
        {"\"C:\\odd\\v.exe\" \"%1\"", ""},
        {"\"C:\\v.exe\" odd", ""},
        {"", ""},
    };
    for (const auto& [command, word] : cases) {
        SCOPED_TRACE(command);
        EXPECT_EQ(ModeWordOfRegistryCommand(command), word);
    }
}

TEST(NormalizeModeWord, AcceptsOddEvenAndNothingInAnyCase) {
    EXPECT_EQ(NormalizeModeWord(""), "");
    EXPECT_EQ(NormalizeModeWord("Odd"), "odd");
    EXPECT_EQ(NormalizeModeWord("EVEN"), "even");
    EXPECT_EQ(NormalizeModeWord("all"), std::nullopt);
    EXPECT_EQ(NormalizeModeWord("odd "), std::nullopt);
}

TEST(DesktopExecArgument, QuotesEveryPathAndEscapesWhatTheQuotingRulesReserve) {
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/bin/veltrane", "\"/usr/bin/veltrane\""},
        {"/opt/my apps/veltrane", "\"/opt/my apps/veltrane\""},
        {"/opt/say \"hi\"/v", "\"/opt/say \\\"hi\\\"/v\""},
        {"/opt/$HOME/`x`/v", "\"/opt/\\$HOME/\\`x\\`/v\""},
        {"/opt/a\\b/v", "\"/opt/a\\\\b/v\""},
        {"/opt/100%f/v", "\"/opt/100%%f/v\""},
        {"/opt/it's/v", "\"/opt/it's/v\""},
        {"/opt/St\xC3\xA9r\xC3\xA9o/v", "\"/opt/St\xC3\xA9r\xC3\xA9o/v\""},
    };
    for (const auto& [path, quoted] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(DesktopExecArgument(path), quoted);
    }
}

TEST(DesktopExecValue, AppliesTheStringEscapesAfterTheQuoting) {
    // One backslash of the path: \\ for the quoting, each of those doubled for the file.
    EXPECT_EQ(DesktopExecValue("/a\\b", ""), "\"/a\\\\\\\\b\" --each -- %F");
    EXPECT_EQ(DesktopExecValue("/a\nb", "odd"), "\"/a\\nb\" --each odd -- %F");
    EXPECT_EQ(DesktopStringEscape(" lead\ttab\r"), "\\slead\\ttab\\r");
}

TEST(SplitDesktopExec, ReadsBackEveryWrittenCommand) {
    const char* const paths[] = {
        "/usr/bin/veltrane",
        "/opt/my apps/veltrane",
        "/opt/say \"hi\"/v",
        "/opt/$HOME/`x`/v",
        "/opt/a\\b/v",
        "/opt/100%f %F %%/v",
        "/opt/it's\ttab\nline/v",
        "/opt/St\xC3\xA9r\xC3\xA9o/v",
    };
    for (const char* path : paths) {
        for (const char* mode : {"", "odd", "even"}) {
            SCOPED_TRACE(std::string(path) + " / " + mode);
            std::vector<std::string> expected = {path, "--each"};
            if (*mode != '\0') expected.push_back(mode);
            expected.push_back("--");
            expected.push_back("%F");
            EXPECT_EQ(SplitDesktopExec(DesktopExecValue(path, mode)), expected);
        }
    }
}

TEST(SplitDesktopExec, RejectsAnUnclosedQuote) {
    EXPECT_EQ(SplitDesktopExec("\"/usr/bin/v %f"), std::nullopt);
    EXPECT_EQ(SplitDesktopExec("v  \"\"  %f"), (std::vector<std::string>{"v", "", "%f"}));
}

TEST(ShellQuote, WrapsInSingleQuotesAndSplicesInnerOnes) {
    EXPECT_EQ(ShellQuote("/usr/bin/v"), "'/usr/bin/v'");
    EXPECT_EQ(ShellQuote("it's $x"), "'it'\\''s $x'");
    EXPECT_EQ(ShellQuote(""), "''");
}

TEST(XmlEscape, ReplacesTheFiveMarkupCharacters) {
    EXPECT_EQ(XmlEscape("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
    EXPECT_EQ(XmlEscape("St\xC3\xA9r\xC3\xA9o"), "St\xC3\xA9r\xC3\xA9o");
}

TEST(IsValidUtf8, AcceptsWellFormedTextOnly) {
    const std::pair<const char*, bool> cases[] = {
        {"plain", true},
        {"St\xC3\xA9r\xC3\xA9o", true},
        {"\xE2\x82\xAC", true},
        {"\xF0\x9F\x93\xB7", true},
        {"caf\xE9", false},
        {"\xC3", false},
        {"\xC0\xAF", false},
        {"\xED\xA0\x80", false},
        {"\xF4\x90\x80\x80", false},
    };
    for (const auto& [text, valid] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(IsValidUtf8(text), valid);
    }
}

TEST(MimePackageXml, DefinesTheMpoTypeAsAJpegSubClass) {
    const std::string xml = MimePackageXml();
    EXPECT_NE(xml.find("<mime-type type=\"image/x-mpo\">"), std::string::npos);
    EXPECT_NE(xml.find("<comment>Multiple JPEG images stored in a single file</comment>"),
              std::string::npos);
    EXPECT_NE(xml.find("<sub-class-of type=\"image/jpeg\"/>"), std::string::npos);
    EXPECT_NE(xml.find("<glob pattern=\"*.mpo\"/>"), std::string::npos);
}

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        if (line.rfind(prefix, 0) == 0) lines.push_back(line);
        pos = end + 1;
    }
    return lines;
}

TEST(DesktopFiles, ShowTheSameEntryAndRunTheSameCommand) {
    const std::string program = "/opt/my \"apps\"/veltrane";
    const std::string exec = "Exec=" + DesktopExecValue(program, "even");
    const std::string application = ApplicationDesktopEntry(program, "even");
    const std::string menu = KdeServiceMenu(program, "even");
    EXPECT_EQ(LinesStartingWith(application, "Exec="), std::vector<std::string>{exec});
    EXPECT_EQ(LinesStartingWith(menu, "Exec="), (std::vector<std::string>{exec, exec}));
    EXPECT_EQ(LinesStartingWith(application, "Name="),
              std::vector<std::string>{"Name=Extract Images"});
    EXPECT_EQ(LinesStartingWith(menu, "Name="),
              (std::vector<std::string>{"Name=Extract Images", "Name=Extract Images"}));
    // The application entry names no type, so it never becomes the handler that opens .mpo files.
    EXPECT_EQ(LinesStartingWith(application, "MimeType="), std::vector<std::string>{});
    EXPECT_EQ(LinesStartingWith(menu, "MimeType="),
              std::vector<std::string>{"MimeType=image/x-mpo;"});
    for (const std::string& file : {application, menu}) {
        EXPECT_EQ(LinesStartingWith(file, "NoDisplay="),
                  std::vector<std::string>{"NoDisplay=true"});
        EXPECT_EQ(LinesStartingWith(file, "Icon=").front(), "Icon=veltrane");
    }
    EXPECT_EQ(LinesStartingWith(menu, "Actions="),
              std::vector<std::string>{"Actions=extractImages;"});

    const std::string nemo = NemoAction(program, "even");
    EXPECT_EQ(LinesStartingWith(nemo, "Exec="),
              std::vector<std::string>{"Exec='/opt/my \"apps\"/veltrane' --each even -- %F"});
    EXPECT_EQ(LinesStartingWith(nemo, "Name="), std::vector<std::string>{"Name=Extract Images"});
    EXPECT_EQ(LinesStartingWith(nemo, "Extensions="), std::vector<std::string>{"Extensions=mpo;"});
    EXPECT_EQ(LinesStartingWith(nemo, "Selection="),
              std::vector<std::string>{"Selection=notnone"});

    const std::string script = NautilusScript(program, "even");
    EXPECT_EQ(script.rfind("#!/bin/sh\n", 0), 0u);
    EXPECT_EQ(LinesStartingWith(script, "program="),
              std::vector<std::string>{"program='/opt/my \"apps\"/veltrane'"});
    EXPECT_NE(script.find("exec \"$program\" --each even -- \"$@\""), std::string::npos);
}

TEST(ModeWordOfDesktopEntry, ReadsTheWordThatWasWritten) {
    const char* const programs[] = {"/usr/bin/veltrane", "/opt/odd %f odd/veltrane"};
    for (const char* program : programs) {
        for (const char* mode : {"", "odd", "even"}) {
            SCOPED_TRACE(std::string(program) + " / " + mode);
            EXPECT_EQ(ModeWordOfDesktopEntry(ApplicationDesktopEntry(program, mode)), mode);
            EXPECT_EQ(ModeWordOfDesktopEntry(KdeServiceMenu(program, mode)), mode);
        }
    }
    EXPECT_EQ(ModeWordOfDesktopEntry("[Desktop Entry]\r\nExec=v %f ODD\r\n"), "odd");
    EXPECT_EQ(ModeWordOfDesktopEntry("[Desktop Entry]\nExec=v --each EVEN -- %F\n"), "even");
    EXPECT_EQ(ModeWordOfDesktopEntry("[Desktop Entry]\nExec=v --each -- %F\n"), "");
    EXPECT_EQ(ModeWordOfDesktopEntry("[Desktop Action a]\nExec=v %f odd\n"), "");
    EXPECT_EQ(ModeWordOfDesktopEntry("[Desktop Entry]\nExec=\"v %f odd\n"), "");
    EXPECT_EQ(ModeWordOfDesktopEntry(""), "");
}

}  // namespace
}  // namespace veltrane

// SPDX-License-Identifier: GPL-3.0-or-later
// The registration in the real registry of a Windows build (run under wine), read back through
// the plain registry functions, and the registered command run end to end.
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "core/cli/commands.h"
#include "core/common/exit_codes.h"
#include "core/common/unicode_text.h"
#include "core/registration/context_menu_registration.h"
#include "core/registration/registration_texts.h"
#include "tests/support/script_names.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane {
namespace {

// The default value of a key under HKEY_CLASSES_ROOT in UTF-8, read with the oldest registry call.
std::optional<std::string> DefaultValue(const std::string& key) {
    wchar_t buffer[1024];
    LONG size = sizeof buffer;
    if (::RegQueryValueW(HKEY_CLASSES_ROOT, WideFromUtf8(key).c_str(), buffer, &size) !=
            ERROR_SUCCESS ||
        size < 2)
        return std::nullopt;
    return Utf8FromWide(std::wstring_view(buffer, static_cast<std::size_t>(size) / 2 - 1));
}

bool KeyExists(const std::string& key) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(handle);
    return true;
}

std::filesystem::path FolderOfThisProgram() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return std::filesystem::path(std::wstring(buffer, n)).parent_path();
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Each test starts and ends without the registration; a ".mpo" key found at the start comes back.
class AWindowsRegistration : public ::testing::Test {
protected:
    void SetUp() override {
        savedExtension_ = DefaultValue(".mpo");
        Clean();
    }
    void TearDown() override {
        Clean();
        if (savedExtension_)
            ::RegSetValueA(HKEY_CLASSES_ROOT, ".mpo", REG_SZ, savedExtension_->c_str(),
                           static_cast<DWORD>(savedExtension_->size()));
    }
    static void Clean() {
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, "MPO (Multi Picture Object)");
        ::RegDeleteKeyA(HKEY_CLASSES_ROOT, "MPO (Multi Picture Object)");
        ::RegDeleteKeyA(HKEY_CLASSES_ROOT, ".mpo");
    }

private:
    std::optional<std::string> savedExtension_;
};

TEST_F(AWindowsRegistration, WritesTheSixValuesForAllAndForEven) {
    const std::string program = "C:\\Program Files\\Veltrane\\veltrane.exe";
    auto registration = CreatePlatformRegistration();
    EXPECT_FALSE(registration->IsRegistered());
    for (const char* mode : {"", "even"}) {
        SCOPED_TRACE(mode);
        registration->Register(program, mode);
        for (const RegistryEntry& entry : RegistryEntries(program, mode)) {
            SCOPED_TRACE(entry.Key);
            EXPECT_EQ(DefaultValue(entry.Key), entry.Value);
        }
        EXPECT_TRUE(registration->IsRegistered());
        EXPECT_EQ(registration->RegisteredModeWord(), mode);
    }
    EXPECT_EQ(DefaultValue(std::string(kCommandKey)),
              "\"C:\\Program Files\\Veltrane\\veltrane.exe\" \"%1\" even");
}

TEST_F(AWindowsRegistration, UnregisteringLeavesOnlyTheExtensionKey) {
    auto registration = CreatePlatformRegistration();
    registration->Register("C:\\Veltrane\\veltrane.exe", "odd");
    registration->Unregister();
    EXPECT_FALSE(registration->IsRegistered());
    for (const RegistryEntry& entry : RegistryEntries("C:\\Veltrane\\veltrane.exe", "odd")) {
        SCOPED_TRACE(entry.Key);
        EXPECT_EQ(KeyExists(entry.Key), entry.Key == ".mpo");
    }
    EXPECT_EQ(DefaultValue(".mpo"), "MPO (Multi Picture Object)");
    EXPECT_EQ(registration->RegisteredModeWord(), "");
}

TEST_F(AWindowsRegistration, FollowsAMovedProgramAndKeepsTheModeWord) {
    auto registration = CreatePlatformRegistration();
    registration->Register("C:\\Old\\veltrane.exe", "odd");
    EXPECT_TRUE(RefreshRegistration(*registration, "D:\\New place\\veltrane.exe"));
    EXPECT_EQ(DefaultValue(std::string(kCommandKey)), "\"D:\\New place\\veltrane.exe\" \"%1\" odd");
    EXPECT_EQ(DefaultValue("MPO (Multi Picture Object)\\DefaultIcon"),
              "D:\\New place\\veltrane.exe,0");
}

// The program runs from a Japanese-named folder, so its own path in the registry is not ASCII
// either; the command runs on files in folders of every script.
TEST_F(AWindowsRegistration, RunsTheRegisteredCommandOnTheClickedFile) {
    namespace fs = std::filesystem;
    const fs::path scratch =
        fs::temp_directory_path() / ("veltrane reg " + std::to_string(::GetCurrentProcessId()));
    const fs::path programFolder = scratch / testing::PathFromUtf8(testing::kScriptNames[2].name);
    fs::create_directories(programFolder);
    fs::copy_file(FolderOfThisProgram() / "veltrane.exe", programFolder / "veltrane.exe");
    const std::string program = testing::Utf8Path(programFolder / "veltrane.exe");

    std::ostringstream out, err;
    ASSERT_EQ(RunRegisterCommand({}, out, err, program), kExitOk) << err.str();
    EXPECT_EQ(out.str(),
              "Registered \"Extract Images\" for .mpo files (all images) in HKEY_CLASSES_ROOT\n");
    const auto registered = DefaultValue(std::string(kCommandKey));
    ASSERT_TRUE(registered);
    EXPECT_EQ(*registered, "\"" + program + "\" \"%1\"");

    const samples::Bytes mpo = samples::SampleMpo();
    for (const char* name : {"ascii", testing::kScriptNames[0].name, testing::kScriptNames[1].name,
                             testing::kScriptNames[2].name}) {
        SCOPED_TRACE(name);
        const fs::path folder = scratch / "clicked" / testing::PathFromUtf8(name);
        fs::create_directories(folder);
        const std::string source = testing::Utf8Path(folder / "stereo pair.mpo");
        ASSERT_TRUE(samples::WriteFile(source, mpo));

        std::wstring command = WideFromUtf8(*registered);
        command.replace(command.find(L"%1"), 2, WideFromUtf8(source));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     folder.c_str(), &startup, &process));
        ::WaitForSingleObject(process.hProcess, INFINITE);
        DWORD status = 1;
        ::GetExitCodeProcess(process.hProcess, &status);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        EXPECT_EQ(status, 0u);

        const std::string first = ReadText(folder / "stereo pair_001.jpg");
        const std::string second = ReadText(folder / "stereo pair_002.jpg");
        EXPECT_EQ(first + second, std::string(mpo.begin(), mpo.end()));
        // The batch run's start-up check found the entry right and left it as it was.
        EXPECT_EQ(DefaultValue(std::string(kCommandKey)), *registered);
    }
    std::error_code ignored;
    fs::remove_all(scratch, ignored);

    out.str("");
    EXPECT_EQ(RunUnregisterCommand({}, out, err), kExitOk);
    EXPECT_EQ(out.str(), "Removed \"Extract Images\" for .mpo files from HKEY_CLASSES_ROOT\n");
    EXPECT_FALSE(KeyExists("MPO (Multi Picture Object)"));
}

}  // namespace
}  // namespace veltrane
#endif

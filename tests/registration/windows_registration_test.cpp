// The registration in the real registry of a Windows build (run under wine), read back through
// the plain registry functions, and the registered command run end to end.
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>

#include "core/cli/command_line.h"
#include "core/cli/commands.h"
#include "core/registration/context_menu_registration.h"
#include "core/registration/registration_texts.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane {
namespace {

// The default value of a key under HKEY_CLASSES_ROOT, read with the oldest registry call.
std::optional<std::string> DefaultValue(const std::string& key) {
    char buffer[1024];
    LONG size = sizeof buffer;
    if (::RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), buffer, &size) != ERROR_SUCCESS ||
        size <= 0)
        return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(size - 1));
}

bool KeyExists(const std::string& key) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(handle);
    return true;
}

std::string FolderOfThisProgram() {
    char buffer[MAX_PATH + 1];
    const DWORD n = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path(buffer, n);
    return path.substr(0, path.find_last_of('\\') + 1);
}

std::string ReadText(const std::string& path) {
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

TEST_F(AWindowsRegistration, RunsTheRegisteredCommandOnTheClickedFile) {
    const std::string program = FolderOfThisProgram() + "veltrane.exe";
    std::ostringstream out, err;
    ASSERT_EQ(RunRegisterCommand({}, out, err, program), kExitOk) << err.str();
    EXPECT_EQ(out.str(),
              "Registered \"Extract Images\" for .mpo files (all images) in HKEY_CLASSES_ROOT\n");
    const auto registered = DefaultValue(std::string(kCommandKey));
    ASSERT_TRUE(registered);

    char temp[MAX_PATH + 1];
    ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
    const std::string folder =
        std::string(temp) + "veltrane reg " + std::to_string(::GetCurrentProcessId()) + "\\";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    const std::string source = folder + "stereo pair.mpo";
    const samples::Bytes mpo = samples::SampleMpo();
    ASSERT_TRUE(samples::WriteFile(source, mpo));

    std::string command = *registered;
    command.replace(command.find("%1"), 2, source);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 folder.c_str(), &startup, &process))
        << command;
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    ::GetExitCodeProcess(process.hProcess, &status);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    EXPECT_EQ(status, 0u);

    const std::string first = ReadText(folder + "stereo pair_001.jpg");
    const std::string second = ReadText(folder + "stereo pair_002.jpg");
    EXPECT_EQ(first + second, std::string(mpo.begin(), mpo.end()));
    // The batch run's start-up check found the entry right and left it as it was.
    EXPECT_EQ(DefaultValue(std::string(kCommandKey)), *registered);

    for (const char* name : {"stereo pair.mpo", "stereo pair_001.jpg", "stereo pair_002.jpg"})
        ::DeleteFileA((folder + name).c_str());
    ::RemoveDirectoryA(folder.c_str());

    out.str("");
    EXPECT_EQ(RunUnregisterCommand({}, out, err), kExitOk);
    EXPECT_EQ(out.str(), "Removed \"Extract Images\" for .mpo files from HKEY_CLASSES_ROOT\n");
    EXPECT_FALSE(KeyExists("MPO (Multi Picture Object)"));
}

}  // namespace
}  // namespace veltrane
#endif

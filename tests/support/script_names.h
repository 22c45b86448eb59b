#pragma once
// Folder names beyond ASCII for the tests of paths: one per script, and no single ANSI code page
// holds all three, so on Windows they pass only when every path goes through the wide functions.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace veltrane::testing {

struct ScriptName {
    const char* script;
    const char* name;  // UTF-8
};

inline constexpr ScriptName kScriptNames[] = {
    {"Latin with accents", "vr\xC3\xA9g \xC3\xA0 l'\xC3\xA9t\xC3\xA9"},    // vrég à l'été
    {"Greek", "\xCF\x83\xCF\x84\xCE\xB5\xCF\x81\xCE\xB5\xCF\x8C"},            // στερεό
    {"Japanese", "\xE7\xAB\x8B\xE4\xBD\x93\xE5\x86\x99\xE7\x9C\x9F"},        // 立体写真
};

// UTF-8 text to a path and back, independent of the platform's narrow encoding.
inline std::filesystem::path PathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}
inline std::string Utf8Path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Points the system's temporary folder at folder (TMP on Windows, TMPDIR elsewhere) until it goes
// out of scope.
class TempFolderOverride {
public:
    explicit TempFolderOverride(const std::filesystem::path& folder) {
#ifdef _WIN32
        wchar_t old[32768];
        const DWORD n = ::GetEnvironmentVariableW(kName, old, 32768);
        if (n > 0 && n < 32768) saved_ = std::wstring(old, n);
        ::SetEnvironmentVariableW(kName, folder.wstring().c_str());
#else
        if (const char* old = std::getenv(kName)) saved_ = old;
        ::setenv(kName, folder.c_str(), 1);
#endif
    }
    ~TempFolderOverride() {
#ifdef _WIN32
        ::SetEnvironmentVariableW(kName, saved_ ? saved_->c_str() : nullptr);
#else
        if (saved_)
            ::setenv(kName, saved_->c_str(), 1);
        else
            ::unsetenv(kName);
#endif
    }
    TempFolderOverride(const TempFolderOverride&) = delete;
    TempFolderOverride& operator=(const TempFolderOverride&) = delete;

private:
#ifdef _WIN32
    static constexpr const wchar_t* kName = L"TMP";
    std::optional<std::wstring> saved_;
#else
    static constexpr const char* kName = "TMPDIR";
    std::optional<std::string> saved_;
#endif
};

}  // namespace veltrane::testing

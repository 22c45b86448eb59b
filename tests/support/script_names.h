// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Folder names beyond ASCII for the tests of paths: one per script, and no single ANSI code page
// holds all three, so on Windows they pass only when every path goes through the wide functions.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

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

// Points the system's temporary folder (TMP on Windows, TMPDIR elsewhere) at folder until it
// goes out of scope.
class TempFolderOverride {
public:
    explicit TempFolderOverride(const std::filesystem::path& folder) {
        if (const auto* old = Get()) saved_ = old;
        Set(folder.c_str());
    }
    ~TempFolderOverride() { Set(saved_ ? saved_->c_str() : nullptr); }
    TempFolderOverride(const TempFolderOverride&) = delete;
    TempFolderOverride& operator=(const TempFolderOverride&) = delete;

private:
#ifdef _WIN32
    static const wchar_t* Get() { return ::_wgetenv(L"TMP"); }
    static void Set(const wchar_t* v) { ::_wputenv((std::wstring(L"TMP=") + (v ? v : L"")).c_str()); }
#else
    static const char* Get() { return std::getenv("TMPDIR"); }
    static void Set(const char* v) { v ? ::setenv("TMPDIR", v, 1) : ::unsetenv("TMPDIR"); }
#endif
    std::optional<std::filesystem::path::string_type> saved_;
};

}  // namespace veltrane::testing

// SPDX-License-Identifier: GPL-3.0-or-later
// HKEY_CLASSES_ROOT through the wide (UTF-16) Win32 registry functions: key names and values
// are UTF-8 inside the program, so a program path outside the ANSI code page is stored whole.
#ifdef _WIN32
#include <windows.h>

#include "core/common/unicode_text.h"
#include "core/registration/registry_registration.h"

namespace veltrane {
namespace {

// Longest default value that is read back; the registration's values are far shorter.
constexpr DWORD kMaxValueBytes = 1u << 16;

class OpenKey {
public:
    explicit OpenKey(HKEY key) : key_(key) {}
    ~OpenKey() { ::RegCloseKey(key_); }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY Get() const { return key_; }

private:
    HKEY key_;
};

class ClassesRootStore : public RegistryStore {
public:
    bool OpenWithFullAccess(const std::string& key) override {
        HKEY handle = nullptr;
        if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, WideFromUtf8(key).c_str(), 0, KEY_ALL_ACCESS, &handle) !=
            ERROR_SUCCESS)
            return false;
        ::RegCloseKey(handle);
        return true;
    }

    std::optional<std::string> ReadDefaultValue(const std::string& key) override {
        HKEY handle = nullptr;
        if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, WideFromUtf8(key).c_str(), 0, KEY_QUERY_VALUE, &handle) !=
            ERROR_SUCCESS)
            return std::nullopt;
        const OpenKey open(handle);
        DWORD type = 0;
        DWORD size = 0;
        if (::RegQueryValueExW(handle, nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ) || size > kMaxValueBytes)
            return std::nullopt;
        std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = size;
        if (::RegQueryValueExW(handle, nullptr, nullptr, &type,
                               reinterpret_cast<BYTE*>(data.data()), &got) != ERROR_SUCCESS ||
            got > size)
            return std::nullopt;
        data.resize(got / sizeof(wchar_t));
        // The stored terminator (or several) is not part of the text.
        while (!data.empty() && data.back() == L'\0') data.pop_back();
        return Utf8FromWide(data);
    }

    void WriteDefaultValue(const std::string& key, const std::string& value) override {
        HKEY handle = nullptr;
        if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, WideFromUtf8(key).c_str(), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &handle,
                              nullptr) != ERROR_SUCCESS)
            throw RegistrationError("Failed to create key " + key);
        const OpenKey open(handle);
        const std::wstring wide = WideFromUtf8(value);
        const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);  // with the terminator
        if (bytes >= kMaxValueBytes ||
            ::RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                             static_cast<DWORD>(bytes)) != ERROR_SUCCESS)
            throw RegistrationError("Failed to set data for '" + key + "'");
    }

    void DeleteTree(const std::string& key) override {
        const std::wstring wide = WideFromUtf8(key);
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, wide.c_str());
        ::RegDeleteKeyW(HKEY_CLASSES_ROOT, wide.c_str());
    }
};

}  // namespace

std::unique_ptr<RegistryStore> CreateClassesRootStore() {
    return std::make_unique<ClassesRootStore>();
}

}  // namespace veltrane
#endif

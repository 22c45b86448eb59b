// HKEY_CLASSES_ROOT through the Win32 registry functions (ANSI names and values, like every
// text of the program).
#ifdef _WIN32
#include <windows.h>

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
        if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_ALL_ACCESS, &handle) !=
            ERROR_SUCCESS)
            return false;
        ::RegCloseKey(handle);
        return true;
    }

    std::optional<std::string> ReadDefaultValue(const std::string& key) override {
        HKEY handle = nullptr;
        if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &handle) !=
            ERROR_SUCCESS)
            return std::nullopt;
        const OpenKey open(handle);
        DWORD type = 0;
        DWORD size = 0;
        if (::RegQueryValueExA(handle, nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ) || size > kMaxValueBytes)
            return std::nullopt;
        std::string data(size, '\0');
        DWORD got = size;
        if (::RegQueryValueExA(handle, nullptr, nullptr, &type,
                               reinterpret_cast<BYTE*>(data.data()), &got) != ERROR_SUCCESS ||
            got > size)
            return std::nullopt;
        data.resize(got);
        // The stored terminator (or several) is not part of the text.
        while (!data.empty() && data.back() == '\0') data.pop_back();
        return data;
    }

    void WriteDefaultValue(const std::string& key, const std::string& value) override {
        HKEY handle = nullptr;
        if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &handle, nullptr) != ERROR_SUCCESS)
            throw RegistrationError("Failed to create key " + key);
        const OpenKey open(handle);
        if (value.size() >= kMaxValueBytes ||
            ::RegSetValueExA(handle, nullptr, 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
            throw RegistrationError("Failed to set data for '" + key + "'");
    }

    void DeleteTree(const std::string& key) override {
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
        ::RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
    }
};

}  // namespace

std::unique_ptr<RegistryStore> CreateClassesRootStore() {
    return std::make_unique<ClassesRootStore>();
}

}  // namespace veltrane
#endif

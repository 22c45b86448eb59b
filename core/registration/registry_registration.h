// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The registration in the Windows registry: six keys under HKEY_CLASSES_ROOT, each with a default
// string value (see RegistryEntries). The registry itself sits behind RegistryStore, so the
// order of writes, the error texts and the skipping of unchanged values are the same code on
// every platform; the Win32 store exists only in Windows builds.
#include <memory>
#include <optional>
#include <string>

#include "core/registration/context_menu_registration.h"

namespace veltrane {

// The four registry operations that the registration needs, on keys of one root.
class RegistryStore {
public:
    virtual ~RegistryStore() = default;
    // Whether the key exists and opens with full access rights.
    virtual bool OpenWithFullAccess(const std::string& key) = 0;
    // The key's default value when the key exists and that value is a string.
    virtual std::optional<std::string> ReadDefaultValue(const std::string& key) = 0;
    // Creates the key with its missing parents and sets its default value. Raises
    // RegistrationError "Failed to create key KEY" or "Failed to set data for 'KEY'".
    virtual void WriteDefaultValue(const std::string& key, const std::string& value) = 0;
    // Deletes the key with all its subkeys; failures are ignored.
    virtual void DeleteTree(const std::string& key) = 0;
};

class RegistryRegistration : public ContextMenuRegistration {
public:
    explicit RegistryRegistration(std::unique_ptr<RegistryStore> store);

    // Whether "MPO (Multi Picture Object)" opens with full access.
    bool IsRegistered() override;
    // Writes the six entries in order; a value that already holds the right text is not written
    // again. Keys written before a failure stay.
    void Register(const std::string& programPath, const std::string& modeWord) override;
    // Deletes "MPO (Multi Picture Object)" with its subkeys; ".mpo" stays.
    void Unregister() override;
    std::string RegisteredModeWord() override;
    std::string RegisteredProgramPath() override;
    std::string Location() const override { return "HKEY_CLASSES_ROOT"; }

    RegistryStore& Store() { return *store_; }

private:
    std::unique_ptr<RegistryStore> store_;
};

#ifdef _WIN32
// The registry's class root, HKEY_CLASSES_ROOT, through the Win32 registry functions.
std::unique_ptr<RegistryStore> CreateClassesRootStore();
#endif

}  // namespace veltrane

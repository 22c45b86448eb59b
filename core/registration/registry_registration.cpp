// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/registration/registry_registration.h"

#include "core/registration/registration_texts.h"

namespace veltrane {

RegistryRegistration::RegistryRegistration(std::unique_ptr<RegistryStore> store)
    : store_(std::move(store)) {}

bool RegistryRegistration::IsRegistered() {
    return store_->OpenWithFullAccess(std::string(kContextMenuClassKey));
}

void RegistryRegistration::Register(const std::string& programPath, const std::string& modeWord) {
    const auto word = NormalizeModeWord(modeWord);
    if (!word) throw RegistrationError("Failed to register: unknown mode word " + modeWord);
    for (const RegistryEntry& entry : RegistryEntries(programPath, *word)) {
        if (store_->ReadDefaultValue(entry.Key) != entry.Value)
            store_->WriteDefaultValue(entry.Key, entry.Value);
    }
}

void RegistryRegistration::Unregister() {
    store_->DeleteTree(std::string(kContextMenuClassKey));
}

std::string RegistryRegistration::RegisteredProgramPath() {
    return ProgramOfRegistryCommand(
        store_->ReadDefaultValue(std::string(kCommandKey)).value_or(""));
}

std::string RegistryRegistration::RegisteredModeWord() {
    return ModeWordOfRegistryCommand(
        store_->ReadDefaultValue(std::string(kCommandKey)).value_or(""));
}

}  // namespace veltrane

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Extract Images" entry of the file manager's context menu for .mpo files: one interface,
// implemented by the registry on Windows and by freedesktop files elsewhere, and in memory for
// the window's tests.
#include <memory>
#include <stdexcept>
#include <string>

namespace veltrane {

// A registration that could not be written; what() is the text users see, for instance
// "Failed to create key MPO (Multi Picture Object)\Shell".
class RegistrationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ContextMenuRegistration {
public:
    virtual ~ContextMenuRegistration() = default;
    // Whether the registration exists.
    virtual bool IsRegistered() = 0;
    // Writes the whole registration for the program at programPath; modeWord is "", "odd" or
    // "even" and follows the file in the registered command. Raises RegistrationError.
    virtual void Register(const std::string& programPath, const std::string& modeWord) = 0;
    // Removes the registration; failures are ignored.
    virtual void Unregister() = 0;
    // The mode word that the existing registration carries: "", "odd" or "even".
    virtual std::string RegisteredModeWord() = 0;
    // The program that the existing registration runs, as written in it; empty when there is
    // none or it cannot be told.
    virtual std::string RegisteredProgramPath() { return {}; }
    // Where the registration lives, for messages: "HKEY_CLASSES_ROOT" or the data folder.
    virtual std::string Location() const { return {}; }
};

// The platform's own registration (the registry on Windows, freedesktop files on Linux).
std::unique_ptr<ContextMenuRegistration> CreatePlatformRegistration();

// The start-up check: when a registration exists it is written again for programPath, keeping
// its mode word, so that a moved program updates its entry; parts that are already right are
// not rewritten. An entry that runs another program which still exists is left alone: that
// program owns it (a development build started beside an installed /usr/bin/veltrane must not
// take over its entry). So only an entry of this program, or a stale one whose program no
// longer exists, is written. Returns whether a registration exists. Raises RegistrationError.
bool RefreshRegistration(ContextMenuRegistration& registration, const std::string& programPath);

}  // namespace veltrane

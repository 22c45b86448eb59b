// SPDX-License-Identifier: GPL-3.0-or-later
// veltrane --register-context-menu [odd|even], --unregister-context-menu, and the start-up check.
#include "core/cli/registration_commands.h"

#include <optional>
#include <ostream>

#include "core/cli/commands.h"
#include "core/common/exit_codes.h"
#include "core/common/extract_mode.h"

namespace veltrane {
namespace {

const char* const kEntry = "\"Extract Images\" for .mpo files";

std::string Where(const ContextMenuRegistration& registration, const char* preposition) {
    const std::string location = registration.Location();
    return location.empty() ? std::string() : std::string(" ") + preposition + " " + location;
}

}  // namespace

int RunRegisterCommandOn(ContextMenuRegistration& registration,
                         const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                         const std::string& programPath) {
    // No word registers All; one word must be odd or even.
    const auto mode = args.empty() ? std::optional(ExtractMode::All)
                      : args.size() == 1 ? ParseModeWord(args[0])
                                         : std::nullopt;
    if (!mode) {
        err << "veltrane: --register-context-menu takes odd, even or nothing\n"
               "Try 'veltrane --help'.\n";
        return kExitUsage;
    }
    if (programPath.empty()) {
        err << "veltrane: cannot tell where this program is, so nothing was registered\n";
        return kExitFailure;
    }
    const std::string word(ModeWord(*mode));
    try {
        registration.Register(programPath, word);
    } catch (const RegistrationError& e) {
        err << "veltrane: " << e.what() << "\n";
        return kExitFailure;
    }
    out << "Registered " << kEntry << " (" << (word.empty() ? "all" : word) << " images)"
        << Where(registration, "in") << "\n";
    return kExitOk;
}

int RunUnregisterCommandOn(ContextMenuRegistration& registration,
                           const std::vector<std::string>& args, std::ostream& out,
                           std::ostream& err) {
    if (!args.empty()) {
        err << "veltrane: --unregister-context-menu takes no arguments\nTry 'veltrane --help'.\n";
        return kExitUsage;
    }
    if (!registration.IsRegistered()) {
        out << kEntry << " was not registered" << Where(registration, "in")
            << "; nothing to remove\n";
        return kExitOk;
    }
    registration.Unregister();
    if (registration.IsRegistered()) {
        err << "veltrane: could not remove " << kEntry << Where(registration, "from") << "\n";
        return kExitFailure;
    }
    out << "Removed " << kEntry << Where(registration, "from") << "\n";
    return kExitOk;
}

int RunRegisterCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                       const std::string& programPath) {
    return RunRegisterCommandOn(*CreatePlatformRegistration(), args, out, err, programPath);
}

int RunUnregisterCommand(const std::vector<std::string>& args, std::ostream& out,
                         std::ostream& err) {
    return RunUnregisterCommandOn(*CreatePlatformRegistration(), args, out, err);
}

bool RefreshContextMenuRegistration(const std::string& programPath) {
    bool registered = false;
    try {
        auto registration = CreatePlatformRegistration();
        registered = registration->IsRegistered();
        if (registered) RefreshRegistration(*registration, programPath);
    } catch (const std::exception&) {
        // The start-up check never stops a start; the old entry stays as it was.
    }
    return registered;
}

}  // namespace veltrane

#pragma once
// A registration kept in memory that records what was asked of it: for the tests of the window's
// check box and of the start-up check, and for the window pictures of the documentation, which
// must not touch the desktop they are made on. Like the real ones, it writes only what differs.
#include <string>

#include "core/registration/context_menu_registration.h"

namespace veltrane {

class InMemoryRegistration : public ContextMenuRegistration {
public:
    bool Registered = false;
    std::string ProgramPath;  // of the last registration
    std::string ModeWord;     // "", "odd" or "even", of the last registration
    int Writes = 0;           // Register calls that created or changed the registration
    int RegisterCalls = 0;
    int UnregisterCalls = 0;
    // When not empty, Register raises RegistrationError with this text and changes nothing.
    std::string FailureMessage;

    InMemoryRegistration() = default;
    InMemoryRegistration(std::string programPath, std::string modeWord)
        : Registered(true), ProgramPath(std::move(programPath)), ModeWord(std::move(modeWord)) {}

    bool IsRegistered() override { return Registered; }

    void Register(const std::string& programPath, const std::string& modeWord) override {
        ++RegisterCalls;
        if (!FailureMessage.empty()) throw RegistrationError(FailureMessage);
        if (Registered && ProgramPath == programPath && ModeWord == modeWord) return;
        Registered = true;
        ProgramPath = programPath;
        ModeWord = modeWord;
        ++Writes;
    }

    void Unregister() override {
        ++UnregisterCalls;
        Registered = false;
        ProgramPath.clear();
        ModeWord.clear();
    }

    std::string RegisteredModeWord() override { return Registered ? ModeWord : std::string(); }

    std::string RegisteredProgramPath() override {
        return Registered ? ProgramPath : std::string();
    }

    std::string Location() const override { return "memory"; }
};

}  // namespace veltrane

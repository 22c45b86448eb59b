// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Desktop services that answer without asking anybody, for running the window unattended (the
// pictures of the documentation, the tests): the open dialog returns one chosen file, the folder
// dialog is cancelled, nothing is launched, messages go to stderr and count as a failure, and
// the context-menu registration is kept in memory.
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "core/registration/context_menu_registration.h"
#include "core/window/window_services.h"

namespace veltrane::window {

class ChosenFile : public OpenFileDialog {
public:
    explicit ChosenFile(std::string path) : path_(std::move(path)) {}
    std::string GetOpenFileName(const std::string&, const std::string&, const std::string&) override {
        return path_;
    }

private:
    std::string path_;
};

class NoFolder : public FolderPicker {
public:
    std::string BrowseForFolder(const std::string&, const std::string&, bool) override { return {}; }
};

class NoDesktop : public DesktopLauncher {
public:
    void OpenFile(const std::string&) override {}
    void OpenUrl(const std::string&) override {}
};

class MessagesToStderr : public MessageBoxes {
public:
    explicit MessagesToStderr(std::string program) : program_(std::move(program)) {}
    void ShowError(const std::string& text) override {
        std::fprintf(stderr, "%s: %s\n", program_.c_str(), text.c_str());
        failed = true;
    }
    void ShowInformation(const std::string& text) override { ShowError(text); }
    bool failed = false;

private:
    std::string program_;
};

class FolderOf : public TempFolderProvider {
public:
    explicit FolderOf(std::string folder) : folder_(std::move(folder)) {}
    std::string TempFolder() override { return folder_; }

private:
    std::string folder_;
};

class CountingTicks : public TickCounter {
public:
    std::uint32_t TickCount() override { return ++tick_; }

private:
    std::uint32_t tick_ = 1000;
};

// A registration kept in memory that records what was asked of it, so that a window run
// unattended never touches the desktop it runs on. Like the real ones, it writes only what
// differs.
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

    std::string RegisteredProgramPath() override { return Registered ? ProgramPath : std::string(); }

    std::string Location() const override { return "memory"; }
};

}  // namespace veltrane::window

#pragma once
// Desktop services that answer without asking anybody, for running the window unattended (the
// screenshots of the documentation): the open dialog returns one chosen file, the folder
// dialog is cancelled, nothing is launched, messages go to stderr and count as a failure.
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

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

}  // namespace veltrane::window

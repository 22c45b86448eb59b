// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recording fakes of the window's desktop services, shared by the tests of the window model and
// of the Qt window.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/window/scripted_services.h"
#include "core/window/window_services.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane::window::test {

using Bytes = std::vector<std::uint8_t>;

class FakeOpenDialog : public OpenFileDialog {
public:
    std::string GetOpenFileName(const std::string& title, const std::string& filterName,
                                const std::string& pattern) override {
        ++Calls;
        Title = title;
        Filter = filterName;
        Pattern = pattern;
        return Answer;
    }
    std::string Answer;  // empty: the user cancels
    std::string Title, Filter, Pattern;
    int Calls = 0;
};

class FakeFolderPicker : public FolderPicker {
public:
    std::string BrowseForFolder(const std::string& title, const std::string& initialFolder,
                                bool allowNewFolder) override {
        ++Calls;
        Title = title;
        InitialFolder = initialFolder;
        AllowNewFolder = allowNewFolder;
        return Answer;
    }
    std::string Answer;  // empty: the user cancels
    std::string Title, InitialFolder;
    bool AllowNewFolder = false;
    int Calls = 0;
};

class FakeSaveDialog : public SaveFileDialog {
public:
    std::string GetSaveFileName(const std::string& title, const std::vector<std::string>& types,
                                const std::vector<std::string>& suggestedPaths, int& chosenType) override {
        ++Calls;
        Title = title;
        Types = types;
        SuggestedPaths = suggestedPaths;
        OfferedType = chosenType;
        if (!KeepsOfferedType) chosenType = ChosenType;
        return Answer;
    }
    std::string Answer;  // empty: the user cancels
    int ChosenType = 0;
    bool KeepsOfferedType = false;  // the user leaves the type that the dialog chose first
    int OfferedType = -1;           // the type chosen first
    std::string Title;
    std::vector<std::string> Types, SuggestedPaths;
    int Calls = 0;
};

// Keeps what each opened file held at the moment it was handed over.
class FakeDesktop : public DesktopLauncher {
public:
    void OpenFile(const std::string& path) override {
        OpenedFiles.push_back(path);
        OpenedBytes.push_back(veltrane::testing::ReadBytes(path));
    }
    void OpenUrl(const std::string& url) override { OpenedUrls.push_back(url); }
    std::vector<std::string> OpenedFiles;
    std::vector<Bytes> OpenedBytes;
    std::vector<std::string> OpenedUrls;
};

class FakeMessages : public MessageBoxes {
public:
    void ShowError(const std::string& text) override { Errors.push_back(text); }
    void ShowInformation(const std::string& text) override { Notes.push_back(text); }
    std::vector<std::string> Errors, Notes;
};

class FakeTempFolder : public TempFolderProvider {
public:
    std::string TempFolder() override { return Dir.Folder(); }
    std::string operator/(const std::string& name) { return Dir / name; }
    veltrane::testing::TempDir Dir;
};

class FakeTicks : public TickCounter {
public:
    std::uint32_t TickCount() override {
        const std::uint32_t now = Now;
        Now += Step;
        return now;
    }
    std::uint32_t Now = 123456;
    std::uint32_t Step = 17;
};

// This process is 4242; others run when they are in Running.
class FakeProcesses : public ProcessTable {
public:
    std::int64_t ThisProcess() override { return This; }
    bool IsRunning(std::int64_t process) override {
        return process == This || std::find(Running.begin(), Running.end(), process) != Running.end();
    }
    std::int64_t This = 4242;
    std::vector<std::int64_t> Running;
};

inline const std::string kProgramPath = "/opt/veltrane/bin/veltrane";

// Every service as a fake, and the services record that hands them to a window.
struct FakeServices {
    WindowServices Services(std::string userGuideUrl = "file:///guide.html") {
        return {openDialog,   folders,      desktop,      messages, temp, ticks, processes, registration,
                kProgramPath, std::move(userGuideUrl), nullptr, &saveDialog};
    }
    // The path of a temporary file of this run: in the run's own folder of the temporary folder.
    std::string TempFile(const std::string& name) const {
        return (temp.Dir.Path() / ("veltrane-" + std::to_string(processes.This)) / name).string();
    }
    FakeOpenDialog openDialog;
    FakeSaveDialog saveDialog;
    FakeFolderPicker folders;
    FakeDesktop desktop;
    FakeMessages messages;
    FakeTempFolder temp;
    FakeTicks ticks;
    FakeProcesses processes;
    InMemoryRegistration registration;
};

// Four small sample images with EXIF data, of both byte orders.
inline std::vector<Bytes> FourSampleImages() {
    return {samples::SampleStereoImage(0), samples::SampleStereoImage(1),
            samples::SampleStereoImage(0, {}, samples::ByteOrder::Big),
            samples::SampleStereoImage(1, {}, samples::ByteOrder::Big)};
}

}  // namespace veltrane::window::test

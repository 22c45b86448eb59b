// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The registration on freedesktop desktops, as files in the user's data folder ($XDG_DATA_HOME,
// by default ~/.local/share):
//
//   mime/packages/veltrane-mpo.xml                    the file type image/x-mpo (*.mpo); stays
//                                                     when the entry is switched off
//   applications/veltrane-extract-images.desktop      hidden application "Extract Images" for
//                                                     image/x-mpo; its presence is the state
//   kio/servicemenus/veltrane-extract-images.desktop  Dolphin's service menu (executable)
//   nemo/actions/veltrane-extract-images.nemo_action  Nemo's action
//   nautilus/scripts/Extract Images                   Nautilus' script (executable)
//
// Each file is written under a temporary name and renamed into place, and only when its text or
// mode differs; the MIME and desktop caches are refreshed only after a change.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/registration/context_menu_registration.h"

namespace veltrane {

// Runs a program found on PATH with the given arguments, without a shell, input and output tied
// to the null device, and waits for it. Returns whether it ran and exited with status 0; a
// program that is not installed is no error. Does nothing on Windows.
bool RunToolQuietly(const std::vector<std::string>& command);

// $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share; empty when neither is set.
std::filesystem::path UserDataHome(const char* xdgDataHome, const char* home);

class FreedesktopRegistration : public ContextMenuRegistration {
public:
    // Runs one cache tool (update-mime-database or update-desktop-database with its folder).
    using ToolRunner = std::function<void(const std::vector<std::string>& command)>;

    // dataHome is the data folder; an empty one means there is none (nothing is registered and
    // registering fails).
    explicit FreedesktopRegistration(std::filesystem::path dataHome,
                                     ToolRunner runTool = RunToolQuietly);

    bool IsRegistered() override;
    // Raises RegistrationError when a folder or file cannot be written, when there is no data
    // folder, or when the program path is not UTF-8 (desktop files must be). Files written
    // before a failure stay.
    void Register(const std::string& programPath, const std::string& modeWord) override;
    // Removes every file but the MIME package; failures are ignored.
    void Unregister() override;
    std::string RegisteredModeWord() override;
    std::string RegisteredProgramPath() override;
    std::string Location() const override { return dataHome_.string(); }

    const std::filesystem::path& DataHome() const { return dataHome_; }

private:
    std::filesystem::path dataHome_;
    ToolRunner runTool_;
};

}  // namespace veltrane

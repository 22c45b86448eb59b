// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The texts of the "Extract Images" registration, built by pure functions so that every entry
// (the six registry values of Windows, each freedesktop file) can be checked without writing it.
//
// Every entry writes the images beside the clicked file. On Windows, Explorer starts the program
// once per selected file, in that file's folder: the program, the file and, for Odd or Even, the
// mode word. The freedesktop entries take a whole selection in one run of the multi-file form:
// the program, --each, the mode word for Odd or Even, "--" and the files. Program paths are UTF-8
// on every platform (the Windows registry stores them as UTF-16).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane {

// The type key of the registration; its presence is the registration state on Windows.
inline constexpr std::string_view kContextMenuClassKey = "MPO (Multi Picture Object)";
// The text of the menu entry.
inline constexpr std::string_view kMenuEntryText = "Extract Images";
// The description of the file type.
inline constexpr std::string_view kFileTypeDescription =
    "Multiple JPEG images stored in a single file";
// The registry's name of the verb, its default-verb value and the command key.
inline constexpr std::string_view kVerbKey = "MPO (Multi Picture Object)\\Shell\\Extract JPEGs";
inline constexpr std::string_view kCommandKey =
    "MPO (Multi Picture Object)\\Shell\\Extract JPEGs\\command";
// The freedesktop names: MIME type and icon.
inline constexpr std::string_view kMpoMimeType = "image/x-mpo";
inline constexpr std::string_view kIconName = "veltrane";

// "odd" or "even" in any letter case gives the word in lower case, "" gives "" (All); any other
// word gives nothing.
std::optional<std::string> NormalizeModeWord(std::string_view word);

// "" for All, " odd" or " even": what follows the file in the registered command.
std::string ModeSuffix(std::string_view modeWord);

// ---- Windows registry ------------------------------------------------------------------------

// One key under HKEY_CLASSES_ROOT and its default (unnamed) REG_SZ value.
struct RegistryEntry {
    std::string Key;
    std::string Value;
    bool operator==(const RegistryEntry&) const = default;
};

// "PROGRAM" "%1"[ odd|even]
std::string RegistryCommandLine(std::string_view programPath, std::string_view modeWord);

// The six keys of the registration with their values, in the order they are written:
//   .mpo                                                   MPO (Multi Picture Object)
//   MPO (Multi Picture Object)                             Multiple JPEG images stored in ...
//   MPO (Multi Picture Object)\DefaultIcon                 PROGRAM,0
//   MPO (Multi Picture Object)\Shell                       This_Is_Our_Default_Action
//   MPO (Multi Picture Object)\Shell\Extract JPEGs         Extract Images
//   MPO (Multi Picture Object)\Shell\Extract JPEGs\command "PROGRAM" "%1"[ odd|even]
std::vector<RegistryEntry> RegistryEntries(std::string_view programPath, std::string_view modeWord);

// The mode word after the quoted "%1" of a registered command: "odd", "even" or "".
std::string ModeWordOfRegistryCommand(std::string_view command);

// The program of a registered command: the text of its leading double quotes; "" when the
// command does not begin with a quoted path.
std::string ProgramOfRegistryCommand(std::string_view command);

// ---- freedesktop -----------------------------------------------------------------------------

// The files of the registration, relative to the user's data folder ($XDG_DATA_HOME).
inline constexpr std::string_view kMimePackageFile = "mime/packages/veltrane-mpo.xml";
inline constexpr std::string_view kApplicationFile = "applications/veltrane-extract-images.desktop";
inline constexpr std::string_view kServiceMenuFile =
    "kio/servicemenus/veltrane-extract-images.desktop";
inline constexpr std::string_view kNemoActionFile =
    "nemo/actions/veltrane-extract-images.nemo_action";
inline constexpr std::string_view kNautilusScriptFile = "nautilus/scripts/Extract Images";

// &, <, >, " and ' as XML character entities.
std::string XmlEscape(std::string_view text);

// A value of a desktop entry file: backslash, line feed, tab and carriage return as \\, \n, \t,
// \r, and a leading blank as \s.
std::string DesktopStringEscape(std::string_view text);

// One argument of a desktop entry's Exec key, before DesktopStringEscape: always in double quotes,
// with ", `, $ and \ preceded by a backslash and % doubled, so no character of a path is taken
// for a field code or a reserved character.
std::string DesktopExecArgument(std::string_view argument);

// " --each[ odd|even] --": what follows the program in every freedesktop entry, before the files.
std::string EachOptionWords(std::string_view modeWord);

// The value of the Exec key as it stands in the file: "PROGRAM" --each[ odd|even] -- %F.
std::string DesktopExecValue(std::string_view programPath, std::string_view modeWord);

// Reads an Exec value as it stands in a file back into its arguments: string escapes first, then
// the quoting rules; %% becomes %, field codes stay as they are ("%f"). Nothing for an unclosed
// quote.
std::optional<std::vector<std::string>> SplitDesktopExec(std::string_view value);

// A word for the POSIX shell: in single quotes, each ' written as '\''.
std::string ShellQuote(std::string_view word);

// shared-mime-info package: image/x-mpo, a sub-class of image/jpeg, glob *.mpo.
std::string MimePackageXml();

// The hidden application entry "Extract Images"; its presence is the registration state. It names
// no MIME type, so it never becomes what opening an .mpo file runs.
std::string ApplicationDesktopEntry(std::string_view programPath, std::string_view modeWord);

// The KDE (Dolphin) service menu with the one action "Extract Images".
std::string KdeServiceMenu(std::string_view programPath, std::string_view modeWord);

// The Nemo action for one or more selected *.mpo files.
std::string NemoAction(std::string_view programPath, std::string_view modeWord);

// The Nautilus script: runs the program once for the selected paths ending in .mpo (any case).
std::string NautilusScript(std::string_view programPath, std::string_view modeWord);

// The mode word of the Exec key in a desktop entry's [Desktop Entry] group: the argument after
// --each (or after %f, as older versions wrote) when it is "odd" or "even" (any case), else "".
std::string ModeWordOfDesktopEntry(std::string_view fileText);

// The program of that Exec key: its first argument, unquoted; "" when there is none.
std::string ProgramOfDesktopEntry(std::string_view fileText);

}  // namespace veltrane

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/registration/registration_texts.h"

#include <cstdint>

#include "core/common/extract_mode.h"

namespace veltrane {
namespace {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::string ValidModeWord(std::string_view word) {
    return NormalizeModeWord(word).value_or(std::string());
}

constexpr std::string_view kWrittenBy =
    "# Written by Veltrane for its \"Extract Images\" entry of .mpo files; removed when the\n"
    "# entry is switched off.\n";

}  // namespace

std::optional<std::string> NormalizeModeWord(std::string_view word) {
    if (word.empty()) return std::string();
    const auto mode = ParseModeWord(word);
    if (!mode) return std::nullopt;
    return std::string(ModeWord(*mode));
}

std::string ModeSuffix(std::string_view modeWord) {
    const std::string word = ValidModeWord(modeWord);
    return word.empty() ? std::string() : " " + word;
}

// ---- Windows registry ------------------------------------------------------------------------

std::string RegistryCommandLine(std::string_view programPath, std::string_view modeWord) {
    std::string command = "\"";
    command += programPath;
    command += "\" \"%1\"";
    command += ModeSuffix(modeWord);
    return command;
}

std::vector<RegistryEntry> RegistryEntries(std::string_view programPath,
                                           std::string_view modeWord) {
    const std::string type(kContextMenuClassKey);
    std::vector<RegistryEntry> entries;
    entries.push_back({".mpo", type});
    entries.push_back({type, std::string(kFileTypeDescription)});
    entries.push_back({type + "\\DefaultIcon", std::string(programPath) + ",0"});
    entries.push_back({type + "\\Shell", "This_Is_Our_Default_Action"});
    entries.push_back({std::string(kVerbKey), std::string(kMenuEntryText)});
    entries.push_back({std::string(kCommandKey), RegistryCommandLine(programPath, modeWord)});
    return entries;
}

std::string ModeWordOfRegistryCommand(std::string_view command) {
    const std::string_view placeholder = "\"%1\"";
    const std::size_t at = command.rfind(placeholder);
    if (at == std::string_view::npos) return {};
    return ValidModeWord(TrimBlanks(command.substr(at + placeholder.size())));
}

std::string ProgramOfRegistryCommand(std::string_view command) {
    if (command.empty() || command.front() != '"') return {};
    const std::size_t close = command.find('"', 1);
    return close == std::string_view::npos ? std::string() : std::string(command.substr(1, close - 1));
}

// ---- freedesktop -----------------------------------------------------------------------------

std::string XmlEscape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&apos;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string DesktopStringEscape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '\n': escaped += "\\n"; break;
        case '\t': escaped += "\\t"; break;
        case '\r': escaped += "\\r"; break;
        case ' ': escaped += i == 0 ? "\\s" : " "; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string DesktopExecArgument(std::string_view argument) {
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string EachOptionWords(std::string_view modeWord) {
    return " --each" + ModeSuffix(modeWord) + " --";
}

std::string DesktopExecValue(std::string_view programPath, std::string_view modeWord) {
    return DesktopStringEscape(DesktopExecArgument(programPath) + EachOptionWords(modeWord) +
                               " %F");
}

std::optional<std::vector<std::string>> SplitDesktopExec(std::string_view value) {
    // The string escapes of the file format come first.
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's': text += ' '; break;
        case 'n': text += '\n'; break;
        case 't': text += '\t'; break;
        case 'r': text += '\r'; break;
        case '\\': text += '\\'; break;
        default: text += '\\'; text += value[i];
        }
    }
    // Then the quoting: blanks separate arguments outside double quotes; inside them a backslash
    // takes the next ", `, $ or \ literally.
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < text.size() &&
                       std::string_view("\"`$\\").find(text[i + 1]) != std::string_view::npos) {
                current += text[++i];
            } else if (c == '%' && i + 1 < text.size() && text[i + 1] == '%') {
                current += text[++i];
            } else {
                current += c;
            }
        } else if (c == ' ' || c == '\t') {
            if (inArgument) arguments.push_back(current);
            current.clear();
            inArgument = false;
        } else if (c == '"') {
            quoted = true;
            inArgument = true;
        } else if (c == '%' && i + 1 < text.size() && text[i + 1] == '%') {
            current += text[++i];
            inArgument = true;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (quoted) return std::nullopt;
    if (inArgument) arguments.push_back(current);
    return arguments;
}

std::string ShellQuote(std::string_view word) {
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

std::string MimePackageXml() {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!-- Written by Veltrane: the file type of .mpo files (Multi-Picture Object), kept when\n"
        "     its \"Extract Images\" entry is switched off. -->\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    xml += "  <mime-type type=\"" + XmlEscape(kMpoMimeType) + "\">\n";
    xml += "    <comment>" + XmlEscape(kFileTypeDescription) + "</comment>\n";
    xml += "    <sub-class-of type=\"image/jpeg\"/>\n";
    xml += "    <glob pattern=\"*.mpo\"/>\n";
    xml += "  </mime-type>\n";
    xml += "</mime-info>\n";
    return xml;
}

std::string ApplicationDesktopEntry(std::string_view programPath, std::string_view modeWord) {
    // No MimeType key: an application that lists image/x-mpo becomes the handler that opening
    // the file (double-click, Enter, xdg-open) runs when no other application lists the type.
    // Without it, .mpo files keep opening in the viewer of image/jpeg, their parent type, and
    // extraction is offered by the context-menu entries only.
    std::string entry(kWrittenBy);
    entry += "[Desktop Entry]\n";
    entry += "Type=Application\n";
    entry += "Name=" + DesktopStringEscape(kMenuEntryText) + "\n";
    entry += "Comment=Write the images of an MPO file to separate JPEG files\n";
    entry += "Icon=" + DesktopStringEscape(kIconName) + "\n";
    entry += "Exec=" + DesktopExecValue(programPath, modeWord) + "\n";
    entry += "NoDisplay=true\n";
    entry += "Terminal=false\n";
    return entry;
}

std::string KdeServiceMenu(std::string_view programPath, std::string_view modeWord) {
    // Type Application keeps the file valid for desktop-file-validate; Dolphin reads a service
    // menu by its MimeType and Actions keys (Plasma 5 also by X-KDE-ServiceTypes).
    const std::string name = DesktopStringEscape(kMenuEntryText);
    const std::string icon = DesktopStringEscape(kIconName);
    const std::string exec = DesktopExecValue(programPath, modeWord);
    std::string menu(kWrittenBy);
    menu += "[Desktop Entry]\n";
    menu += "Type=Application\n";
    menu += "Name=" + name + "\n";
    menu += "Icon=" + icon + "\n";
    menu += "Exec=" + exec + "\n";
    menu += "MimeType=" + std::string(kMpoMimeType) + ";\n";
    menu += "NoDisplay=true\n";
    menu += "Actions=extractImages;\n";
    menu += "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n";
    menu += "X-KDE-Priority=TopLevel\n";
    menu += "\n";
    menu += "[Desktop Action extractImages]\n";
    menu += "Name=" + name + "\n";
    menu += "Icon=" + icon + "\n";
    menu += "Exec=" + exec + "\n";
    return menu;
}

std::string NemoAction(std::string_view programPath, std::string_view modeWord) {
    // Nemo splits Exec like a shell after putting each selected path, in double quotes with its
    // special characters escaped (Quote=double), where %F stands. Any number of files: the
    // program splits each into its own folder, whatever folder Nemo starts it in.
    std::string action(kWrittenBy);
    action += "[Nemo Action]\n";
    action += "Active=true\n";
    action += "Name=" + std::string(kMenuEntryText) + "\n";
    action += "Comment=Write the images of each selected MPO file to separate JPEG files\n";
    action += "Exec=" + ShellQuote(programPath) + EachOptionWords(modeWord) + " %F\n";
    action += "Icon-Name=" + std::string(kIconName) + "\n";
    action += "Selection=notnone\n";
    action += "Extensions=mpo;\n";
    action += "Quote=double\n";
    return action;
}

std::string NautilusScript(std::string_view programPath, std::string_view modeWord) {
    // Nautilus hands local selections over in NAUTILUS_SCRIPT_SELECTED_FILE_PATHS, one full path
    // a line, and as arguments (names relative to the folder it starts the script in). The .mpo
    // files among them go to one run of the program, which splits each beside itself.
    std::string script = "#!/bin/sh\n";
    script += "# " + std::string(kMenuEntryText) +
              ": written by Veltrane for .mpo files; removed when its entry is switched off.\n";
    script += "# Splits every selected .mpo file (any letter case); other files are left alone.\n";
    script += "program=" + ShellQuote(programPath) + "\n";
    script += "if [ -n \"${NAUTILUS_SCRIPT_SELECTED_FILE_PATHS:-}\" ]; then\n";
    script += "    set -f\n";
    script += "    IFS='\n'\n";
    script += "    set -- $NAUTILUS_SCRIPT_SELECTED_FILE_PATHS\n";
    script += "    unset IFS\n";
    script += "    set +f\n";
    script += "fi\n";
    // The loop walks the list as it was; each kept path is put back at the end of it.
    script += "for path do\n";
    script += "    shift\n";
    script += "    case \"$path\" in\n";
    script += "        *://*) ;;\n";  // a remote file has no path to split
    script += "        *.[mM][pP][oO]) set -- \"$@\" \"$path\" ;;\n";
    script += "    esac\n";
    script += "done\n";
    script += "[ $# -eq 0 ] || exec \"$program\"" + EachOptionWords(modeWord) +
              " \"$@\" </dev/null\n";
    return script;
}

namespace {

// The arguments of the Exec key in a desktop entry's [Desktop Entry] group; nothing when it has
// none or its quoting is broken.
std::optional<std::vector<std::string>> MainGroupExecArguments(std::string_view fileText) {
    bool inMainGroup = false;
    std::size_t pos = 0;
    while (pos < fileText.size()) {
        std::size_t end = fileText.find('\n', pos);
        if (end == std::string_view::npos) end = fileText.size();
        std::string_view line = fileText.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty() && line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup) continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || TrimBlanks(line.substr(0, equals)) != "Exec")
            continue;
        return SplitDesktopExec(TrimBlanks(line.substr(equals + 1)));
    }
    return std::nullopt;
}

}  // namespace

std::string ModeWordOfDesktopEntry(std::string_view fileText) {
    const auto arguments = MainGroupExecArguments(fileText);
    if (!arguments) return {};
    // PROGRAM --each [odd|even] -- %F, or PROGRAM %f [odd|even] as older versions wrote.
    for (std::size_t i = 1; i + 1 < arguments->size(); ++i) {
        const std::string& word = (*arguments)[i];
        if (word == "--each" || word == "%f" || word == "%F")
            return ValidModeWord((*arguments)[i + 1]);
    }
    return {};
}

std::string ProgramOfDesktopEntry(std::string_view fileText) {
    const auto arguments = MainGroupExecArguments(fileText);
    return arguments && !arguments->empty() ? arguments->front() : std::string();
}

}  // namespace veltrane

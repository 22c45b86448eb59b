// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/registration/freedesktop_registration.h"

#include <atomic>
#include <fstream>
#include <optional>
#include <stdexcept>

#include "core/common/unicode_text.h"
#include "core/registration/registration_texts.h"

#ifdef _WIN32
#include <process.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
extern char** environ;
#endif

namespace fs = std::filesystem;

namespace veltrane {
namespace {

// Longest registration file read back for comparison; anything longer is not ours.
constexpr std::uintmax_t kMaxOwnFileBytes = 1u << 20;

constexpr fs::perms kPlainFile =
    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;
constexpr fs::perms kExecutableFile =
    kPlainFile | fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;

int ProcessId() {
#ifdef _WIN32
    return ::_getpid();
#else
    return static_cast<int>(::getpid());
#endif
}

std::optional<std::string> ReadSmallFile(const fs::path& path) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kMaxOwnFileBytes) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (static_cast<std::uintmax_t>(in.gcount()) != size ||
        in.peek() != std::char_traits<char>::eof())
        return std::nullopt;
    return text;
}

bool IsUpToDate(const fs::path& path, const std::string& text, fs::perms mode) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (ec || !fs::is_regular_file(status) || (status.permissions() & fs::perms::mask) != mode)
        return false;
    return ReadSmallFile(path) == text;
}

// Writes text to path unless the file already holds it with that mode: a temporary file in the
// same folder, renamed over the old one, so readers see the old file or the new one, never a
// part. Returns whether it wrote.
bool WriteIfChanged(const fs::path& path, const std::string& text, fs::perms mode) {
    if (IsUpToDate(path, text, mode)) return false;
    const fs::path folder = path.parent_path();
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        throw RegistrationError("Failed to create folder " + folder.string() + ": " + ec.message());

    static std::atomic<unsigned> counter{0};
    std::string tempName = ".";
    tempName += path.filename().string();
    tempName += ".tmp";
    tempName += std::to_string(ProcessId());
    tempName += '-';
    tempName += std::to_string(++counter);
    const fs::path temp = folder / tempName;
    auto fail = [&](const std::string& why) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return RegistrationError("Failed to write " + path.string() + ": " + why);
    };
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) throw fail("cannot write the file");
    }
    fs::permissions(temp, mode, fs::perm_options::replace, ec);
    if (ec) throw fail(ec.message());
    fs::rename(temp, path, ec);
    if (ec) throw fail(ec.message());
    return true;
}

}  // namespace

bool RunToolQuietly(const std::vector<std::string>& command) {
#ifdef _WIN32
    (void)command;
    return false;
#else
    if (command.empty()) return false;
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    if (::posix_spawn_file_actions_init(&actions) != 0) return false;
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
}

fs::path UserDataHome(const char* xdgDataHome, const char* home) {
    // Relative values of XDG_DATA_HOME are invalid and ignored.
    if (xdgDataHome != nullptr && *xdgDataHome != '\0' && fs::path(xdgDataHome).is_absolute())
        return fs::path(xdgDataHome);
    if (home != nullptr && *home != '\0') return fs::path(home) / ".local" / "share";
    return {};
}

FreedesktopRegistration::FreedesktopRegistration(fs::path dataHome, ToolRunner runTool)
    : dataHome_(std::move(dataHome)), runTool_(std::move(runTool)) {}

bool FreedesktopRegistration::IsRegistered() {
    if (dataHome_.empty()) return false;
    std::error_code ec;
    return fs::exists(dataHome_ / kApplicationFile, ec) && !ec;
}

void FreedesktopRegistration::Register(const std::string& programPath,
                                       const std::string& modeWord) {
    const auto word = NormalizeModeWord(modeWord);
    if (!word) throw RegistrationError("Failed to register: unknown mode word " + modeWord);
    if (dataHome_.empty())
        throw RegistrationError("Failed to register: neither XDG_DATA_HOME nor HOME is set");
    if (!IsValidUtf8(programPath))
        throw RegistrationError("Failed to register: the program path " + programPath +
                                " is not UTF-8");

    struct File {
        std::string_view name;
        std::string text;
        fs::perms mode;
    };
    // The application entry goes last: it is the registration state, so a registration that
    // failed half-way does not count as one.
    const File files[] = {
        {kMimePackageFile, MimePackageXml(), kPlainFile},
        {kServiceMenuFile, KdeServiceMenu(programPath, *word), kExecutableFile},
        {kNemoActionFile, NemoAction(programPath, *word), kPlainFile},
        {kNautilusScriptFile, NautilusScript(programPath, *word), kExecutableFile},
        {kApplicationFile, ApplicationDesktopEntry(programPath, *word), kPlainFile},
    };
    bool mimeChanged = false;
    bool applicationChanged = false;
    auto refreshCaches = [&] {
        if (mimeChanged) runTool_({"update-mime-database", (dataHome_ / "mime").string()});
        if (applicationChanged)
            runTool_({"update-desktop-database", (dataHome_ / "applications").string()});
    };
    try {
        for (const File& file : files) {
            if (!WriteIfChanged(dataHome_ / file.name, file.text, file.mode)) continue;
            if (file.name == kMimePackageFile) mimeChanged = true;
            if (file.name == kApplicationFile) applicationChanged = true;
        }
    } catch (const RegistrationError&) {
        refreshCaches();
        throw;
    }
    refreshCaches();
}

void FreedesktopRegistration::Unregister() {
    if (dataHome_.empty()) return;
    std::error_code ec;
    const bool removedApplication = fs::remove(dataHome_ / kApplicationFile, ec);
    for (std::string_view name : {kServiceMenuFile, kNemoActionFile, kNautilusScriptFile})
        fs::remove(dataHome_ / name, ec);
    if (removedApplication)
        runTool_({"update-desktop-database", (dataHome_ / "applications").string()});
}

std::string FreedesktopRegistration::RegisteredProgramPath() {
    if (dataHome_.empty()) return {};
    return ProgramOfDesktopEntry(ReadSmallFile(dataHome_ / kApplicationFile).value_or(""));
}

std::string FreedesktopRegistration::RegisteredModeWord() {
    if (dataHome_.empty()) return {};
    return ModeWordOfDesktopEntry(ReadSmallFile(dataHome_ / kApplicationFile).value_or(""));
}

}  // namespace veltrane

// SPDX-License-Identifier: GPL-3.0-or-later
// The freedesktop registration in a temporary data folder, checked with the desktop's own tools
// (desktop-file-validate, update-mime-database, xdg-mime, gio) where they are installed.
#ifndef _WIN32
#include "core/registration/freedesktop_registration.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "core/cli/commands.h"
#include "core/common/exit_codes.h"
#include "core/registration/registration_texts.h"
#include "tools/samples/jpeg_writer.h"

namespace fs = std::filesystem;

namespace veltrane {
namespace {

// A name with a blank, both quotes, a dollar, a backtick, a backslash and an é; and one with a
// percent sign too, which GLib's launcher cannot take in a program path (it looks for the
// program before it turns %% back into %).
const std::string kAwkward = "it's \"odd\" $HOME `x` a\\b St\xC3\xA9r\xC3\xA9o";
const std::string kAwkwardWithPercent = kAwkward + " 100%";

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteExecutable(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    fs::permissions(path, fs::perms::owner_all);
}

struct ShellRun {
    int status;
    std::string output;
};

// Runs a shell command line, collecting its output and errors.
ShellRun RunShell(const std::string& command) {
    ShellRun run{-1, {}};
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    run.status = ::pclose(pipe);
    return run;
}

bool HaveTool(const std::string& name) {
    return RunShell("command -v " + ShellQuote(name)).status == 0;
}

// A program that appends its arguments, each in <>, as one line to a log file.
fs::path RecordingProgram(const fs::path& folder, const fs::path& log) {
    const fs::path program = folder / "record";
    WriteExecutable(program, "#!/bin/sh\nfor a; do printf '<%s>' \"$a\"; done >> " +
                                 ShellQuote(log.string()) + "\necho >> " +
                                 ShellQuote(log.string()) + "\n");
    return program;
}

bool WaitForFile(const fs::path& path) {
    for (int i = 0; i < 600 && !fs::exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return fs::exists(path);
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

fs::path MakeTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "veltrane-reg-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

// Every test works in a folder of its own, with XDG_DATA_HOME and XDG_CONFIG_HOME inside it.
class AFreedesktopRegistration : public ::testing::Test {
protected:
    ~AFreedesktopRegistration() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // A registration whose cache refreshes are only recorded.
    FreedesktopRegistration Recording() {
        return FreedesktopRegistration(
            data, [this](const std::vector<std::string>& command) { toolRuns.push_back(command); });
    }

    std::set<std::string> FilesUnderData() const {
        std::set<std::string> files;
        if (!fs::exists(data)) return files;
        for (const auto& entry : fs::recursive_directory_iterator(data))
            if (!entry.is_directory()) files.insert(fs::relative(entry.path(), data).string());
        return files;
    }

    const fs::path root = MakeTempFolder();
    const fs::path data = root / "data";
    std::vector<std::vector<std::string>> toolRuns;

private:
    ScopedEnv dataEnv_{"XDG_DATA_HOME", data.string()};
    ScopedEnv configEnv_{"XDG_CONFIG_HOME", (root / "config").string()};
};

const std::set<std::string> kAllFiles = {
    std::string(kMimePackageFile), std::string(kApplicationFile), std::string(kServiceMenuFile),
    std::string(kNemoActionFile), std::string(kNautilusScriptFile)};

TEST_F(AFreedesktopRegistration, WritesEveryFileWithItsTextAndMode) {
    auto registration = Recording();
    registration.Register("/opt/veltrane/veltrane", "odd");

    EXPECT_EQ(FilesUnderData(), kAllFiles);  // and no temporary file is left behind
    EXPECT_EQ(ReadText(data / kApplicationFile),
              ApplicationDesktopEntry("/opt/veltrane/veltrane", "odd"));
    EXPECT_EQ(ReadText(data / kNautilusScriptFile),
              NautilusScript("/opt/veltrane/veltrane", "odd"));
    for (const std::string& name : kAllFiles) {
        SCOPED_TRACE(name);
        const bool executable = name == kServiceMenuFile || name == kNautilusScriptFile;
        const fs::perms mode = fs::status(data / name).permissions();
        EXPECT_EQ((mode & fs::perms::owner_exec) != fs::perms::none, executable);
    }
    EXPECT_TRUE(registration.IsRegistered());
    EXPECT_EQ(registration.RegisteredModeWord(), "odd");
    EXPECT_EQ(toolRuns, (std::vector<std::vector<std::string>>{
                            {"update-mime-database", (data / "mime").string()},
                            {"update-desktop-database", (data / "applications").string()}}));
}

TEST_F(AFreedesktopRegistration, UnregisteringKeepsOnlyTheMimePackage) {
    auto registration = Recording();
    registration.Register("/usr/bin/veltrane", "");
    toolRuns.clear();
    registration.Unregister();
    EXPECT_FALSE(registration.IsRegistered());
    EXPECT_EQ(FilesUnderData(), std::set<std::string>{std::string(kMimePackageFile)});
    EXPECT_EQ(toolRuns, (std::vector<std::vector<std::string>>{
                            {"update-desktop-database", (data / "applications").string()}}));
    toolRuns.clear();
    registration.Unregister();
    EXPECT_TRUE(toolRuns.empty());
}

TEST_F(AFreedesktopRegistration, LeavesAnUnchangedRegistrationUntouched) {
    auto registration = Recording();
    registration.Register("/usr/bin/veltrane", "even");
    auto identity = [&] {
        std::vector<std::pair<ino_t, std::int64_t>> ids;
        for (const std::string& name : kAllFiles) {
            struct stat st {};
            ::stat((data / name).c_str(), &st);
            ids.emplace_back(st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec);
        }
        return ids;
    };
    const auto before = identity();
    toolRuns.clear();

    EXPECT_TRUE(RefreshRegistration(registration, "/usr/bin/veltrane"));
    EXPECT_EQ(identity(), before);
    EXPECT_TRUE(toolRuns.empty());
}

TEST_F(AFreedesktopRegistration, FollowsAMovedProgramAndKeepsTheModeWord) {
    auto registration = Recording();
    registration.Register("/old/place/veltrane", "even");
    const std::string mimeBefore = ReadText(data / kMimePackageFile);
    toolRuns.clear();

    EXPECT_TRUE(RefreshRegistration(registration, "/new/place/veltrane"));
    EXPECT_EQ(ReadText(data / kApplicationFile),
              ApplicationDesktopEntry("/new/place/veltrane", "even"));
    EXPECT_EQ(ReadText(data / kServiceMenuFile), KdeServiceMenu("/new/place/veltrane", "even"));
    EXPECT_EQ(registration.RegisteredModeWord(), "even");
    // Only the desktop database needs a refresh: the file type did not change.
    EXPECT_EQ(toolRuns, (std::vector<std::vector<std::string>>{
                            {"update-desktop-database", (data / "applications").string()}}));
}

// Entries written by earlier versions named the MIME type (so extraction became what opening an
// .mpo file ran) and started the program once per file; the next start rewrites them.
TEST_F(AFreedesktopRegistration, RewritesAnEntryOfAnEarlierVersionKeepingItsModeWord) {
    auto registration = Recording();
    registration.Register("/usr/bin/veltrane", "odd");
    std::ofstream(data / kApplicationFile, std::ios::binary | std::ios::trunc)
        << "[Desktop Entry]\nType=Application\nName=Extract Images\n"
           "Exec=\"/usr/bin/veltrane\" %f odd\nMimeType=image/x-mpo;\nNoDisplay=true\n";
    toolRuns.clear();

    EXPECT_TRUE(RefreshRegistration(registration, "/usr/bin/veltrane"));
    EXPECT_EQ(ReadText(data / kApplicationFile), ApplicationDesktopEntry("/usr/bin/veltrane", "odd"));
    EXPECT_EQ(toolRuns, (std::vector<std::vector<std::string>>{
                            {"update-desktop-database", (data / "applications").string()}}));
}

TEST_F(AFreedesktopRegistration, RestoresAServiceMenuThatLostItsExecutableBit) {
    auto registration = Recording();
    registration.Register("/usr/bin/veltrane", "");
    fs::permissions(data / kServiceMenuFile,
                    fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::remove);
    RefreshRegistration(registration, "/usr/bin/veltrane");
    EXPECT_NE(fs::status(data / kServiceMenuFile).permissions() & fs::perms::owner_exec,
              fs::perms::none);
}

TEST_F(AFreedesktopRegistration, WritesNothingWhenNothingIsRegistered) {
    auto registration = Recording();
    EXPECT_FALSE(RefreshRegistration(registration, "/usr/bin/veltrane"));
    EXPECT_FALSE(fs::exists(data));
    EXPECT_TRUE(toolRuns.empty());
}

TEST_F(AFreedesktopRegistration, DoesNotCountAHalfWrittenRegistration) {
    fs::create_directories(data);
    std::ofstream(data / "applications") << "a file where the folder belongs";
    auto registration = Recording();
    try {
        registration.Register("/usr/bin/veltrane", "");
        FAIL() << "no error raised";
    } catch (const RegistrationError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(
                      "Failed to create folder " + (data / "applications").string(), 0),
                  0u)
            << e.what();
    }
    EXPECT_FALSE(registration.IsRegistered());
    // The file type was written, so its cache is refreshed all the same.
    EXPECT_EQ(toolRuns, (std::vector<std::vector<std::string>>{
                            {"update-mime-database", (data / "mime").string()}}));
}

TEST_F(AFreedesktopRegistration, RefusesAProgramPathThatIsNotUtf8OrAnUnknownModeWord) {
    auto registration = Recording();
    EXPECT_THROW(registration.Register("/opt/caf\xE9/veltrane", ""), RegistrationError);
    EXPECT_THROW(registration.Register("/usr/bin/veltrane", "all"), RegistrationError);
    EXPECT_FALSE(fs::exists(data));
}

TEST(UserDataHome, PrefersAnAbsoluteXdgDataHomeOverHome) {
    EXPECT_EQ(UserDataHome("/x/data", "/home/u"), fs::path("/x/data"));
    EXPECT_EQ(UserDataHome("relative/data", "/home/u"), fs::path("/home/u/.local/share"));
    EXPECT_EQ(UserDataHome("", "/home/u"), fs::path("/home/u/.local/share"));
    EXPECT_EQ(UserDataHome(nullptr, "/home/u"), fs::path("/home/u/.local/share"));
    EXPECT_EQ(UserDataHome(nullptr, nullptr), fs::path());
    FreedesktopRegistration nowhere{fs::path()};
    EXPECT_FALSE(nowhere.IsRegistered());
    EXPECT_THROW(nowhere.Register("/usr/bin/veltrane", ""), RegistrationError);
}

TEST_F(AFreedesktopRegistration, WritesDesktopFilesThatDesktopFileValidateAccepts) {
    if (!HaveTool("desktop-file-validate"))
        GTEST_SKIP() << "desktop-file-validate is not installed";
    auto registration = Recording();
    for (const char* mode : {"", "odd"}) {
        registration.Register("/opt/" + kAwkwardWithPercent + "/veltrane", mode);
        for (std::string_view name : {kApplicationFile, kServiceMenuFile}) {
            SCOPED_TRACE(std::string(name) + " / " + mode);
            const ShellRun run =
                RunShell("desktop-file-validate " + ShellQuote((data / name).string()));
            EXPECT_EQ(run.status, 0) << run.output;
            EXPECT_EQ(run.output, "");
        }
    }
}

TEST_F(AFreedesktopRegistration, TeachesXdgMimeTheMpoType) {
    if (!HaveTool("xdg-mime") || !HaveTool("update-mime-database"))
        GTEST_SKIP() << "xdg-mime or update-mime-database is not installed";
    FreedesktopRegistration registration(data);
    registration.Register("/usr/bin/veltrane", "");
    for (const char* name : {"x.mpo", "Pair.MPO"}) {
        SCOPED_TRACE(name);
        const fs::path file = root / name;
        samples::WriteFile(file.string(), samples::SampleMpo());
        const ShellRun run = RunShell("xdg-mime query filetype " + ShellQuote(file.string()));
        EXPECT_EQ(run.output, "image/x-mpo\n");
    }
    // Opening an .mpo file still runs what opened it before, not the extraction.
    const ShellRun handler = RunShell("xdg-mime query default image/x-mpo");
    EXPECT_EQ(handler.output.find(fs::path(kApplicationFile).filename().string()),
              std::string::npos)
        << handler.output;
}

TEST_F(AFreedesktopRegistration, GivesTheNautilusScriptOnlyTheMpoFiles) {
    const fs::path log = root / "log";
    const fs::path program = RecordingProgram(root / kAwkwardWithPercent, log);
    auto registration = Recording();
    registration.Register(program.string(), "odd");
    const std::string script = ShellQuote((data / kNautilusScriptFile).string());
    const fs::path folder = root / "selected";
    fs::create_directories(folder);

    // Local selections arrive as names relative to the folder and as full paths in the variable.
    ASSERT_EQ(RunShell("cd " + ShellQuote(folder.string()) +
                       " && unset NAUTILUS_SCRIPT_SELECTED_FILE_PATHS && " + script +
                       " 'a b.MPO' notes.txt -dash.mpo " +
                       ShellQuote("/x/" + kAwkwardWithPercent + ".mpo"))
                  .status,
              0);
    EXPECT_EQ(ReadText(log),
              "<--each><odd><--><a b.MPO><-dash.mpo></x/" + kAwkwardWithPercent + ".mpo>\n");

    fs::remove(log);
    const std::string paths = "/p/a b.mpo\n/p/c.jpg\n/p/" + kAwkwardWithPercent + ".Mpo\n";
    ASSERT_EQ(RunShell("NAUTILUS_SCRIPT_SELECTED_FILE_PATHS=" + ShellQuote(paths) + " " + script +
                       " ignored.mpo")
                  .status,
              0);
    EXPECT_EQ(ReadText(log), "<--each><odd><--></p/a b.mpo></p/" + kAwkwardWithPercent + ".Mpo>\n");

    // Nothing selected that the program splits: it is not started.
    fs::remove(log);
    ASSERT_EQ(RunShell("cd " + ShellQuote(folder.string()) + " && " + script + " a.jpg").status, 0);
    EXPECT_FALSE(fs::exists(log));
}

TEST_F(AFreedesktopRegistration, GivesTheNemoCommandEverySelectedFile) {
    const fs::path log = root / "log";
    const fs::path program = RecordingProgram(root / kAwkward, log);
    auto registration = Recording();
    registration.Register(program.string(), "even");
    const std::string action = ReadText(data / kNemoActionFile);
    const std::size_t at = action.find("\nExec=");
    ASSERT_NE(at, std::string::npos);
    std::string command = action.substr(at + 6, action.find('\n', at + 1) - at - 6);

    // With Quote=double Nemo puts each path in double quotes, escaping what they reserve, and
    // the paths one after another where %F stands.
    const std::string clicked[] = {"/photos/" + kAwkward + ".mpo", "/photos/-b.mpo"};
    std::string quoted;
    for (const std::string& path : clicked) {
        quoted += quoted.empty() ? "\"" : " \"";
        for (char c : path) {
            if (c == '"' || c == '\\' || c == '$' || c == '`') quoted += '\\';
            quoted += c;
        }
        quoted += '"';
    }
    command.replace(command.find("%F"), 2, quoted);
    ASSERT_EQ(RunShell("sh -c " + ShellQuote("exec " + command)).status, 0);
    EXPECT_EQ(ReadText(log), "<--each><even><--><" + clicked[0] + "><" + clicked[1] + ">\n");
}

TEST_F(AFreedesktopRegistration, SplitsTheClickedFilesBesideThemselvesEndToEnd) {
    if (!HaveTool("gio")) GTEST_SKIP() << "gio is not installed";
    // The registered program is a wrapper in an awkward folder that runs the real one and notes
    // its exit status when it is done.
    const fs::path done = root / "done";
    const fs::path wrapper = root / kAwkward / "veltrane";
    WriteExecutable(wrapper, "#!/bin/sh\n" + ShellQuote(VELTRANE_PROGRAM) + " \"$@\"\necho $? > " +
                                 ShellQuote(done.string()) + "\n");
    std::ostringstream out, err;
    ASSERT_EQ(RunRegisterCommand({}, out, err, wrapper.string()), kExitOk) << err.str();
    EXPECT_EQ(out.str(), "Registered \"Extract Images\" for .mpo files (all images) in " +
                             data.string() + "\n");

    const fs::path folder = root / "photos St\xC3\xA9r\xC3\xA9o";
    const std::string name = "it's a \"pair\" $1 100%";
    fs::create_directories(folder);
    const samples::Bytes mpo = samples::SampleMpo();
    ASSERT_TRUE(samples::WriteFile((folder / (name + ".mpo")).string(), mpo));
    // A second file in another folder: one run splits both, each beside itself, wherever the
    // launcher starts the program.
    const fs::path other = root / "other";
    fs::create_directories(other);
    ASSERT_TRUE(samples::WriteFile((other / "b.mpo").string(), mpo));
    const ShellRun run = RunShell("gio launch " + ShellQuote((data / kApplicationFile).string()) +
                                  " " + ShellQuote((folder / (name + ".mpo")).string()) + " " +
                                  ShellQuote((other / "b.mpo").string()));
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_TRUE(WaitForFile(done));
    for (int i = 0; i < 600 && ReadText(done).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ReadText(done), "0\n");

    const std::string first = ReadText(folder / (name + "_001.jpg"));
    const std::string second = ReadText(folder / (name + "_002.jpg"));
    EXPECT_EQ(first + second, std::string(mpo.begin(), mpo.end()));
    EXPECT_FALSE(fs::exists(folder / (name + "_003.jpg")));
    EXPECT_EQ(ReadText(other / "b_001.jpg") + ReadText(other / "b_002.jpg"),
              std::string(mpo.begin(), mpo.end()));
    // The batch run's start-up check left the entry alone: it belongs to the wrapper, which still
    // exists. Once the wrapper is gone, the next start takes the stale entry over.
    EXPECT_EQ(ReadText(data / kApplicationFile), ApplicationDesktopEntry(wrapper.string(), ""));
    fs::remove(wrapper);
    ASSERT_EQ(RunShell(ShellQuote(VELTRANE_PROGRAM) + " " +
                       ShellQuote((folder / (name + ".mpo")).string())).status, 0);
    EXPECT_EQ(ReadText(data / kApplicationFile),
              ApplicationDesktopEntry(fs::canonical(VELTRANE_PROGRAM).string(), ""));
}

TEST_F(AFreedesktopRegistration, IsSwitchedOnAndOffByTheCommands) {
    std::ostringstream out, err;
    EXPECT_FALSE(RefreshContextMenuRegistration("/usr/bin/veltrane"));
    ASSERT_EQ(RunRegisterCommand({"Even"}, out, err, "/gone/bin/veltrane"), kExitOk) << err.str();
    EXPECT_EQ(ModeWordOfDesktopEntry(ReadText(data / kApplicationFile)), "even");
    EXPECT_TRUE(RefreshContextMenuRegistration("/usr/local/bin/veltrane"));
    EXPECT_EQ(ReadText(data / kApplicationFile),
              ApplicationDesktopEntry("/usr/local/bin/veltrane", "even"));

    out.str("");
    EXPECT_EQ(RunUnregisterCommand({}, out, err), kExitOk);
    EXPECT_EQ(out.str(), "Removed \"Extract Images\" for .mpo files from " + data.string() + "\n");
    EXPECT_FALSE(RefreshContextMenuRegistration("/usr/bin/veltrane"));
    EXPECT_EQ(FilesUnderData().count(std::string(kApplicationFile)), 0u);
}

}  // namespace
}  // namespace veltrane
#endif

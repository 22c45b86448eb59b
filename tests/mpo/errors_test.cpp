// SPDX-License-Identifier: GPL-3.0-or-later
// Every way --join and --repair refuse a job: the exit status, the one line on stderr, and a
// folder that holds exactly what it held before (no output, no temporary file, inputs intact).
#include <gtest/gtest.h>

#include <filesystem>

#include "core/common/file_io.h"
#include "tests/mpo/mpo_test_support.h"
#include "tests/support/run_command_line.h"
#include "tools/samples/jpeg_writer.h"
#include "tools/samples/mpf_writer.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;

TEST(JoinAndRepair, RefuseWithoutLeavingAnythingBehind) {
    testing::TempDir dir;
    const Bytes left = samples::SampleStereoImage(0), right = samples::SampleStereoImage(1);
    const std::string l = dir.Write("l.jpg", left), r = dir.Write("r.jpg", right);
    const std::string cut = dir.Write("cut.jpg", Bytes(left.begin(), left.end() - 40));
    const std::string text = dir.Write("notes.txt", std::string("no image here"));
    // A JPEG whose only DQT segment became a comment: its frame's table is not defined.
    Bytes noTables = left;
    for (std::size_t i = 0; i + 1 < noTables.size(); ++i)
        if (noTables[i] == 0xFF && noTables[i + 1] == 0xDB) {
            noTables[i + 1] = 0xFE;
            break;
        }
    const std::string tableless = dir.Write("tableless.jpg", noTables);
    const std::string many = dir.Write("many.mpo", samples::IndexedMpo(std::vector<Bytes>(998, samples::SampleJfifImage(0))));
    fs::create_directory(dir.Path() / "folder");
    // Another name of l: a symbolic link, or where the system has none another spelling.
    std::string link = (dir.Path() / "link.jpg").string();
    std::error_code noLinks;
    fs::create_symlink(l, link, noLinks);
    if (noLinks) link = dir.Folder() + "." + std::string(1, kPathSeparator) + "l.jpg";
    const std::string respelled = dir.Folder() + "." + std::string(1, kPathSeparator) + "r.jpg";
    const std::string missing = dir / "missing.jpg", out = dir / "out.mpo", folder = dir / "folder";
    const std::string nowhere = (dir.Path() / "no" / "out.mpo").string();

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const std::string again = "\nTry 'veltrane --help'.\n";
    const Case cases[] = {
        {{"--join"}, 2, "veltrane: --join takes FILE... OUTPUT" + again},
        {{"--join", l}, 2, "veltrane: --join takes FILE... OUTPUT" + again},
        {{"--join", "--type"}, 2, "veltrane: --type needs a value" + again},
        {{"--join", "--type", "stereo", l, r, out}, 2,
         "veltrane: unknown type stereo (disparity, multi-angle or panorama)" + again},
        {{"--join", "--fast", l, r, out}, 2, "veltrane: unknown option --fast" + again},
        {{"--join", l, r, l}, 2, "veltrane: " + l + ": is one of the inputs; give another output file\n"},
        {{"--join", l, r, link}, 2, "veltrane: " + link + ": is one of the inputs; give another output file\n"},
        {{"--join", l, r, respelled}, 2, "veltrane: " + respelled + ": is one of the inputs; give another output file\n"},
        {{"--join", l, out}, 2, "veltrane: --join needs at least two images; the files hold 1\n"},
        {{"--join", many, l, r, out}, 2, "veltrane: --join takes at most 999 images; the files hold more\n"},
        {{"--join", l, r, folder}, 1, "veltrane: " + folder + ": is a folder; give the output file's name\n"},
        {{"--join", l, missing, out}, 1, "veltrane: " + missing + ": File not found\n"},
        {{"--join", l, folder, out}, 1, "veltrane: " + folder + ": File not found\n"},
        {{"--join", l, text, out}, 1,
         "veltrane: " + text + ": not a complete JPEG image: it does not begin with a JPEG start-of-image marker (FF D8)\n"},
        {{"--join", l, cut, out}, 1, "veltrane: " + cut + ": not a complete JPEG image: the data ends before EOI\n"},
        {{"--join", tableless, r, out}, 1,
         "veltrane: " + tableless + ": not a complete JPEG image: its quantization table 0 is not defined\n"},
        {{"--join", l, r, nowhere}, 1, "veltrane: " + nowhere + ": File not found\n"},
        {{"--repair"}, 2, "veltrane: --repair takes FILE [OUTPUT]" + again},
        {{"--repair", l, r, out}, 2, "veltrane: --repair takes FILE [OUTPUT]" + again},
        {{"--repair", "-x", l}, 2, "veltrane: unknown option -x" + again},
        {{"--repair", l, link}, 2, "veltrane: " + link + ": is the file to repair; give another output file\n"},
        {{"--repair", missing}, 1, "veltrane: " + missing + ": File not found\n"},
        {{"--repair", text}, 1, "veltrane: " + text + ": no complete JPEG image found\n"},
        {{"--repair", cut, out}, 1, "veltrane: " + cut + ": no complete JPEG image found\n"},
        {{"--repair", l, folder}, 1, "veltrane: " + folder + ": is a folder; give the output file's name\n"},
        {{"--repair", l, nowhere}, 1, "veltrane: " + nowhere + ": File not found\n"},
    };
    const std::vector<std::string> before = testing::FileNames(dir.Path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " ... " + c.args.back());
        const auto run = testing::RunVeltrane(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(testing::FileNames(dir.Path()), before);
        EXPECT_TRUE(fs::is_empty(dir.Path() / "folder"));
    }
    EXPECT_EQ(testing::ReadBytes(l), left);
    EXPECT_EQ(testing::ReadBytes(r), right);
}

}  // namespace
}  // namespace veltrane

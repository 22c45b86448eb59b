// SPDX-License-Identifier: GPL-3.0-or-later
// Other readers of the written files: exiftool's validation finds nothing to warn about, and
// Pillow opens every frame. Skipped where the tools are not installed.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "tests/makernotes/camera_shapes.h"
#include "tests/mpo/mpo_test_support.h"
#include "tests/support/run_command_line.h"
#include "tools/samples/jpeg_writer.h"
#include "tools/samples/mpf_writer.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;

TEST(Interoperability, ExiftoolValidatesAndPillowReadsEveryFrame) {
    const bool exiftool = testing::HaveCommand("exiftool");
    const std::string python = testing::PythonWithPillow();
    if (!exiftool && python.empty()) GTEST_SKIP() << "neither exiftool nor Python with Pillow";
    testing::TempDir dir;
    const std::string left = dir.Write("l.jpg", samples::SampleStereoImage(0));
    const std::string right = dir.Write("r.jpg", samples::SampleStereoImage(1, {}, samples::ByteOrder::Big));
    const std::string jfif = dir.Write("j.jpg", samples::SampleJfifImage(0));
    const std::string mpo = dir.Write("m.mpo", samples::IndexedMpo({samples::SampleJfifImage(1), samples::SampleStereoImage(1)}));
    const std::string canon = dir.Write("c.jpg", bench::CameraShapes()[0].Content);
    const std::string casio = dir.Write("k.jpg", bench::CameraShapes()[3].Content);
    struct Case {
        std::vector<std::string> args;  // --join or --repair arguments, the output last
        int frames;  // that Pillow reads; 0: not tried
        std::string firstInput;
    };
    std::vector<Case> cases;
    for (const char* type : {"disparity", "multi-angle", "panorama"}) {
        cases.push_back({{"--join", "--type", type, left, right, dir / (std::string(type) + ".mpo")}, 2, left});
        cases.push_back({{"--join", "--type", type, jfif, mpo, left, dir / (std::string(type) + "3.mpo")}, 4, jfif});
    }
    cases.push_back({{"--join", canon, casio, dir / "makers.mpo"}, 2, canon});
    cases.push_back({{"--repair", mpo, dir / "repaired.mpo"}, 2, mpo});
    // The phone's gain map is smaller than its photo: a valid MPO file, but Pillow reads every
    // frame at the size of the first and fails on it (as on the phone's own file).
    for (const auto& [fixture, frames] : {std::pair{"frozenpond.mpo", 2}, std::pair{"frame_size.mpo", 0}}) {
        const fs::path path = fs::path(VELTRANE_FIXTURES_DIR) / fixture;
        if (fs::exists(path))
            cases.push_back({{"--repair", path.string(), dir / (std::string("r") + fixture)}, frames, path.string()});
    }
    std::string files, frameFiles;  // for one run of each tool
    std::string expected;               // what Pillow prints
    for (const Case& c : cases) {
        const auto run = testing::RunVeltrane(c.args);
        ASSERT_EQ(run.status, 0) << run.err;
        files += " " + testing::Quoted(c.args.back()) + " " + testing::Quoted(c.firstInput);
        if (c.frames == 0) continue;
        frameFiles += " " + testing::Quoted(c.args.back());
        expected += "MPO " + std::to_string(c.frames) + "\n";
    }
    if (exiftool) {
        // exiftool validates the first image's metadata and the index. Every warning on a written
        // file must be one on its first input already (the samples lack some required EXIF
        // tags), and none may be about the index.
        std::map<std::string, std::set<std::string>> warnings;
        std::istringstream text(testing::RunProgram("exiftool -validate -warning -error -a" + files).output);
        std::string file;
        for (std::string line; std::getline(text, line);) {
            if (line.starts_with("======== ")) file = line.substr(9);
            else if (line.starts_with("Warning") || line.starts_with("Error")) warnings[file].insert(line);
        }
        for (const Case& c : cases) {
            SCOPED_TRACE(c.args.back());
            for (const std::string& line : warnings[c.args.back()]) {
                EXPECT_TRUE(warnings[c.firstInput].contains(line)) << line;
                EXPECT_EQ(line.find("MP"), std::string::npos) << line;
            }
        }
    }
    if (!python.empty()) {
        // Pillow opens each file, seeks every frame and decodes it.
        const auto pillow = testing::RunProgram(
            python + " -c \"import sys; from PIL import Image\n"
                     "for name in sys.argv[1:]:\n"
                     "    im = Image.open(name)\n"
                     "    [(im.seek(i), im.load()) for i in range(im.n_frames)]\n"
                     "    print(im.format, im.n_frames)\" " + frameFiles);
        EXPECT_EQ(pillow.output, expected);
    }
}

}  // namespace
}  // namespace veltrane

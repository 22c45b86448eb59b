// SPDX-License-Identifier: GPL-3.0-or-later
// Lossless side-by-side pictures are the same bytes on every platform. The Linux build links
// Debian's libjpeg62-turbo and the Windows build the same libjpeg-turbo release, cross-built from
// Debian's source package (scripts/windows-libs.sh); the blocks are copied, not coded again, so
// the files can only differ if the libraries' entropy coding or marker writing does.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "imaging/stereo/stereo_command.h"
#include "tests/support/sha256.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane::stereo {
namespace {

TEST(LosslessOutputs, AreTheBytesTheLinuxBuildWrites) {
    // sha256sum of `veltrane --stereo [OPTIONS] SOURCE OUT` with the Linux program. When these
    // outputs change on purpose, take the new digests from the Linux build.
    struct Case {
        const char* source;  // a fixture, or "sample.mpo": the bundled sample of tools/samples
        std::vector<std::string> options;
        const char* sha256;
    };
    const Case cases[] = {
        {"sample.mpo", {}, "fc1e29b28ccf27e15ecc8d12fb63557359b6a39cc8a9c02a02bc97ea450c9883"},
        {"sample.mpo", {"--layout", "parallel"}, "baf1ab8cf4e03fa25104bbd6a33c06a6934f17f9d310af2d5e6052a9235b65b0"},
        {"sugarshack.mpo", {}, "ac5264aedabe1448e5a294f160f803e66dc507c7a586d7dc6d03aace6a88c0ef"},
        {"frozenpond.mpo", {"--align"}, "0075285cd22d69fc3e81ad3b62f8e57013943915141bec3e6a4b83628241c208"},
    };
    const std::filesystem::path fixtures = VELTRANE_FIXTURES_DIR;
    for (const Case& c : cases) {
        std::string trace = c.source;
        for (const std::string& o : c.options) trace += " " + o;
        SCOPED_TRACE(trace);
        testing::TempDir dir;
        std::string source = dir / "source.mpo";
        if (std::string(c.source) == "sample.mpo") {
            dir.Write("source.mpo", samples::SampleMpo());
        } else if (std::filesystem::exists(fixtures / c.source)) {
            source = (fixtures / c.source).string();
        } else {
            continue;  // the fixtures are not in every checkout
        }
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {source, dir / "out.jpg"});
        std::ostringstream out, err;
        ASSERT_EQ(RunStereoCommand(args, out, err), 0) << err.str();
        EXPECT_NE(out.str().find(", lossless"), std::string::npos) << out.str();
        EXPECT_EQ(testing::Sha256Hex(testing::ReadBytes(dir / "out.jpg")), c.sha256);
    }
}

}  // namespace
}  // namespace veltrane::stereo

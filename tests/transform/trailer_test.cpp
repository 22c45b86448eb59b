// SPDX-License-Identifier: GPL-3.0-or-later
// --transform of files with bytes after their last image (a motion photo's video, Samsung's
// trailer): the last image is turned up to its EOI, and what follows it follows the turned images
// byte for byte, whatever located it.
#include <gtest/gtest.h>

#include "core/images/mpf_index.h"
#include "tests/mpo/mpo_test_support.h"
#include "tests/support/run_command_line.h"
#include "tests/support/temp_dir.h"
#include "tests/transform/transform_test_support.h"
#include "imaging/transform/transform_command.h"
#include "tools/samples/phone_photos.h"

namespace veltrane::testing {
namespace {

struct TrailerCase {
    const char* name;
    Bytes file;
    std::size_t trailerStart;  // where the bytes after the last image begin
    std::size_t videoAt;       // where the video begins in them
    std::size_t images;
    const char* operation;
};

std::vector<TrailerCase> TrailerCases() {
    std::vector<TrailerCase> cases;
    const samples::MotionPhoto hdr = samples::ContainerMotionPhoto(true, 30000);
    cases.push_back({"container directory, gain map and video", hdr.file, hdr.videoStart, 0, 2, "rotate90"});
    const samples::MotionPhoto plain = samples::ContainerMotionPhoto(false, 20000);
    cases.push_back({"container directory, video", plain.file, plain.videoStart, 0, 1, "flip-h"});
    const samples::MotionPhoto micro = samples::MicroVideoPhoto(25000);
    cases.push_back({"MicroVideo", micro.file, micro.videoStart, 0, 1, "rotate270"});
    // The same photo beginning with a JFIF segment, which the signature scan does not take for
    // an image start.
    Bytes jfif = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    samples::Append(jfif, Bytes(micro.file.begin() + 2, micro.file.end()));
    cases.push_back({"MicroVideo after JFIF", jfif, micro.videoStart + 18, 0, 1, "flip-v"});
    const samples::MotionPhoto samsung = samples::SamsungMotionPhoto(18000);
    cases.push_back({"Samsung trailer", samsung.file, samsung.primary.size(),
                     samsung.videoStart - samsung.primary.size(), 1, "transpose"});
    // A stereo pair with Samsung's records behind it: the right eye ends at its EOI.
    std::vector<Bytes> eyes;
    for (int eye = 0; eye < 2; ++eye) eyes.push_back(EncodeJpeg(64, 48, 3, 2, 1, 30 + eye, {}));
    Bytes pair = MpoOf(eyes, {kMpTypeDisparity, kMpTypeDisparity});
    const std::size_t pairEnd = pair.size();
    samples::Append(pair, samples::SamsungTrailerBytes({{0x0a01, "Image_UTC_Data", Bytes(13, '1')},
                                                         {0x0a30, "MotionPhoto_Data", samples::Mp4(9000)}}));
    cases.push_back({"stereo pair, Samsung trailer", pair, pairEnd, 8 + 14 + 13 + 8 + 16, 2, "rotate180"});
    return cases;
}

TEST(TransformTrailer, FollowsTheTurnedImagesByteForByte) {
    CommandLineServices services;
    services.RunTransform = transform::RunTransformCommand;
    for (const TrailerCase& c : TrailerCases()) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string input = dir.Write("in.jpg", c.file), output = dir / "out.jpg";
        const RunResult run = RunVeltrane({"--transform", c.operation, input, output}, services);
        ASSERT_EQ(run.status, 0) << run.err;
        const Bytes result = ReadBytes(output);
        const Bytes trailer(c.file.begin() + long(c.trailerStart), c.file.end());
        ASSERT_GT(result.size(), trailer.size());
        const std::size_t imagesEnd = result.size() - trailer.size();
        EXPECT_EQ(Bytes(result.begin() + long(imagesEnd), result.end()), trailer);
        // The turned images end at their EOI, right before the trailer, and decode.
        EXPECT_EQ(result[imagesEnd - 2], 0xFF);
        EXPECT_EQ(result[imagesEnd - 1], 0xD9);
        const Bytes images(result.begin(), result.begin() + long(imagesEnd));
        if (c.images > 1) {
            MpfIndex index;
            const std::vector<Bytes> turned = IndexedImages(images, &index);
            ASSERT_EQ(turned.size(), c.images);
            EXPECT_EQ(index.entries.back().start + index.entries.back().size, imagesEnd);
            for (const Bytes& image : turned) EXPECT_GT(DecodeJpeg(image).width, 0);
            if (std::string(c.name).find("gain map") != std::string::npos) {
                const std::string length = "Item:Length=\"" + std::to_string(turned[1].size()) + "\"";
                EXPECT_NE(std::string(images.begin(), images.end()).find(length), std::string::npos) << length;
            }
        } else {
            EXPECT_GT(DecodeJpeg(images).width, 0);
        }
        EXPECT_NE(run.out.find("after the images, kept byte for byte: "), std::string::npos) << run.out;
        // The video is found where it now lies, after the turned images (--parts lists nothing
        // of a file whose image begins without EXIF: the signature scan finds no image in it).
        if (std::string(c.name).find("JFIF") != std::string::npos) continue;
        const RunResult parts = RunVeltrane({"--parts", output});
        EXPECT_EQ(parts.status, 0) << parts.err;
        // Nothing disagrees: a container directory's GainMap Item:Length is the turned gain
        // map's size.
        EXPECT_EQ(parts.out.find("Problem"), std::string::npos) << parts.out;
        EXPECT_NE(parts.out.find("video  video/mp4  start " + std::to_string(imagesEnd + c.videoAt)), std::string::npos)
            << parts.out;
    }
}

}  // namespace
}  // namespace veltrane::testing

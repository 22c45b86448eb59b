// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "core/cli/command_line.h"
#include "core/cli/commands.h"
#include "tests/exif/exif_test_support.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using exif::testing::Bytes;

struct CommandRun {
    int status;
    std::string out, err;
};

CommandRun RunCommand(ExifCommand which, const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunExifCommand(which, args, CommandLineOptions{}, out, err);
    return {status, out.str(), err.str()};
}

class ExifCommands : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const Bytes& bytes) { return folder_.Write(name, bytes); }
    veltrane::testing::TempDir folder_;
};

TEST_F(ExifCommands, PrintTheNineteenRowsOfAJpegFile) {
    const CommandRun run = RunCommand(ExifCommand::Exif, {Write("left.jpg", samples::SampleStereoImage(0))});
    EXPECT_EQ(run.status, kExitOk);
    EXPECT_EQ(run.out,
              "Image: left.jpg\nDescription: \nManufacturer: Veltrane\nCamera: Sample Stereo Camera\n"
              "Software: \nOrientation: Normal\nDate Taken: 2026:12:07 10:00:00\nExposure: 1/60 sec\n"
              "Exposure Mode: Auto\nExposure Program: Normal\nF-Number: F2.8\nMetering Method: MultiSegment\n"
              "Flash: Off, auto mode\nISO speed: 100\nEXIF Image width: 64\nEXIF Image height: 48\n"
              "X resolution: 72.00\nY resolution: 72.00\nFocal Length:  6.30 mm\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(ExifCommands, ReadTheChosenImageOfAnMpoFile) {
    samples::SampleExif second;
    second.make = "Second";
    const std::string mpo =
        Write("pair.MPO", samples::JoinImages({samples::SampleStereoImage(0), samples::SampleStereoImage(1, second)}));
    const CommandRun first = RunCommand(ExifCommand::Exif, {mpo});
    EXPECT_THAT(first.out, StartsWith("Image: Image 001:  "));
    EXPECT_THAT(first.out, HasSubstr("\nManufacturer: Veltrane\n"));
    const CommandRun two = RunCommand(ExifCommand::Exif, {mpo, "2"});
    EXPECT_EQ(two.status, kExitOk);
    EXPECT_THAT(two.out, StartsWith("Image: Image 002:  "));
    EXPECT_THAT(two.out, HasSubstr("\nManufacturer: Second\n"));
}

TEST_F(ExifCommands, RefuseImageNumbersThatDoNotExist) {
    const std::string mpo = Write("pair.mpo", samples::SampleMpo());
    const CommandRun three = RunCommand(ExifCommand::Exif, {mpo, "3"});
    EXPECT_EQ(three.status, kExitFailure);
    EXPECT_EQ(three.out, "");
    EXPECT_THAT(three.err, HasSubstr("there is no image 3"));
    const CommandRun jpeg = RunCommand(ExifCommand::Tags, {Write("a.jpg", samples::SampleStereoImage(0)), "2"});
    EXPECT_EQ(jpeg.status, kExitFailure);
    EXPECT_EQ(RunCommand(ExifCommand::Info, {mpo, "0"}).status, kExitUsage);
    EXPECT_EQ(RunCommand(ExifCommand::Info, {mpo, "x"}).status, kExitUsage);
    EXPECT_EQ(RunCommand(ExifCommand::Info, {}).status, kExitUsage);
    EXPECT_EQ(RunCommand(ExifCommand::Info, {mpo, "1", "2"}).status, kExitUsage);
}

TEST_F(ExifCommands, ReportAMissingFile) {
    const CommandRun run = RunCommand(ExifCommand::Exif, {folder_ / "none.jpg"});
    EXPECT_EQ(run.status, kExitFailure);
    EXPECT_THAT(run.err, HasSubstr("none.jpg: File not found"));
}

TEST_F(ExifCommands, PrintTheStatusAndTheInfoLines) {
    const CommandRun run = RunCommand(ExifCommand::Info, {Write("a.jpeg", samples::SampleStereoImage(0))});
    EXPECT_EQ(run.status, kExitOk);
    EXPECT_THAT(run.out, StartsWith("Status: <none>\nMake = Veltrane\nModel = Sample Stereo Camera\n"
                                    "Orientation = Normal\nXResolution = 72.00\n"));
    EXPECT_THAT(run.out, HasSubstr("\nExif Offset = 110\nExposure Time = 1/60 sec\n"));
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
}

TEST_F(ExifCommands, PrintOnlyTheStatusForAFileWithoutExif) {
    const CommandRun run = RunCommand(ExifCommand::Info, {Write("notes.txt", Bytes{'h', 'i'})});
    EXPECT_EQ(run.status, kExitOk);
    EXPECT_EQ(run.out, "Status: Not an EXIF file\n");
}

TEST_F(ExifCommands, PrintEveryStoredTagWithItsText) {
    const CommandRun run = RunCommand(ExifCommand::Tags, {Write("a.jpg", samples::SampleStereoImage(0))});
    EXPECT_EQ(run.status, kExitOk);
    EXPECT_THAT(run.out, StartsWith("Make\tVeltrane\nModel\tSample Stereo Camera\nOrientation\tNormal\n"));
    EXPECT_THAT(run.out, HasSubstr("\nExifVersion\t\"0220\"\n"));
    EXPECT_THAT(run.out, ::testing::EndsWith("\nExifOffset\t110\n"));
}

TEST_F(ExifCommands, WriteNumbersWithTheDecimalSeparatorOfTheCommandLine) {
    const std::string jpeg = Write("a.jpg", samples::SampleStereoImage(0));
    CommandLineOptions options;
    options.numbers.decimalSeparator = ',';
    for (const char* option : {"--exif", "--tags", "--info"}) {
        SCOPED_TRACE(option);
        std::ostringstream out, err;
        EXPECT_EQ(RunCommandLine({option, jpeg}, out, err, {}, options), kExitOk);
        EXPECT_THAT(out.str(), HasSubstr("72,00"));
        EXPECT_EQ(out.str().find("72.00"), std::string::npos);
    }
}

TEST_F(ExifCommands, PrintTextsAsUtf8) {
    samples::SampleExif exif;
    exif.orientation = 6;
    exif.make = "Caf\xE9";
    const CommandRun run = RunCommand(ExifCommand::Exif, {Write("a.jpg", samples::SampleStereoImage(0, exif))});
    EXPECT_THAT(run.out, HasSubstr("\nManufacturer: Caf\xC3\xA9\n"));
    EXPECT_THAT(run.out, HasSubstr("\nOrientation: CounterClockwise 90\xC2\xB0\n"));
    // A file name is UTF-8 already, and is shown as it is.
    const std::u8string name = u8"Z\u00FCrich.jpg";
    const std::filesystem::path file = folder_.Path() / name;
    veltrane::testing::WriteBytes(file, samples::SampleStereoImage(0));
    const std::u8string path = file.u8string();
    const CommandRun named = RunCommand(ExifCommand::Exif, {std::string(path.begin(), path.end())});
    EXPECT_THAT(named.out, StartsWith("Image: Z\xC3\xBCrich.jpg\n"));
}

}  // namespace
}  // namespace veltrane

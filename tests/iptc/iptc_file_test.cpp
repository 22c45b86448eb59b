// SPDX-License-Identifier: GPL-3.0-or-later
// Reading IPTC datasets from files: IptcRecords::LoadImageFile, the reader's IPTC part and
// `veltrane --iptc`.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "core/cli/command_line.h"
#include "core/exif/exif_reader.h"
#include "core/iptc/iptc_data.h"
#include "core/metadata/metadata_reader.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane::exif {
namespace {

using veltrane::testing::Bytes;
using veltrane::testing::TempDir;
using veltrane::testing::WriteBytes;

std::string Dataset(int record, int dataset, const std::string& value) {
    std::string d{'\x1C', static_cast<char>(record), static_cast<char>(dataset),
                  static_cast<char>(value.size() >> 8), static_cast<char>(value.size() & 0xFF)};
    return d + value;
}

// FF ED, the length, "Photoshop 3.0", NUL, one 8BIM resource header, the datasets.
Bytes App13Segment(const std::string& datasets) {
    std::string body = std::string("Photoshop 3.0") + '\0' + "8BIM" + '\x04' + '\x04' +
                       std::string(4, '\0') + static_cast<char>(datasets.size() >> 8) +
                       static_cast<char>(datasets.size() & 0xFF) + datasets;
    const std::size_t length = body.size() + 2;
    Bytes segment{0xFF, 0xED, static_cast<std::uint8_t>(length >> 8),
                  static_cast<std::uint8_t>(length & 0xFF)};
    for (char c : body) segment.push_back(static_cast<std::uint8_t>(c));
    return segment;
}

Bytes Jpeg(const Bytes& segments) {
    return samples::BaselineJpeg(8, 8, [](int, int) { return samples::Rgb{1, 2, 3}; }, segments);
}

class IptcFiles : public ::testing::Test {
protected:
    TempDir dir;
    std::string withIptc = dir / "pond.jpg";
    std::string otherIptc = dir / "city.jpg";
    std::string withoutIptc = dir / "plain.jpg";

    void SetUp() override {
        // An APP13 after the EXIF APP1, as cameras and editors write them; a second APP13 is
        // ignored.
        Bytes segments = samples::ExifApp1Segment(samples::SampleExifTiff({}, samples::ByteOrder::Little));
        for (std::uint8_t b : App13Segment(Dataset(2, 0, std::string("\0\4", 2)) +
                                          Dataset(2, 5, "Frozen pond") + Dataset(2, 25, "ice") +
                                          Dataset(2, 25, "winter") + Dataset(2, 90, "Z\xFCrich")))
            segments.push_back(b);
        for (std::uint8_t b : App13Segment(Dataset(2, 5, "second section"))) segments.push_back(b);
        WriteBytes(withIptc, Jpeg(segments));
        WriteBytes(otherIptc, Jpeg(App13Segment(Dataset(2, 90, "Oslo"))));
        WriteBytes(withoutIptc, Jpeg({}));
    }
};

TEST_F(IptcFiles, LoadImageFileReadsTheFirstApp13Section) {
    IptcRecords iptc;
    EXPECT_TRUE(iptc.LoadImageFile(withIptc));
    EXPECT_EQ(iptc.DatasetCount(), 3);
    EXPECT_EQ(iptc.DatasetText("ObjectName", ""), "Frozen pond");
    EXPECT_EQ(iptc.DatasetText("Keywords", ""), "ice,winter");
    EXPECT_EQ(iptc.DatasetText("City", ""), "Z\xC3\xBCrich");  // UTF-8 of the file's Windows-1252

    EXPECT_FALSE(iptc.LoadImageFile(withoutIptc));
    EXPECT_FALSE(iptc.HasDatasets());
    EXPECT_FALSE(iptc.LoadImageFile(dir / "missing.jpg"));
}

TEST_F(IptcFiles, TheReadersIptcPartParsesTheFirstApp13SectionOfEachFile) {
    ExifReader reader(FullReaderParts);
    reader.OpenFile(withIptc);
    ASSERT_NE(reader.Iptc(), nullptr);
    EXPECT_EQ(reader.Iptc()->DatasetCount(), 3);
    EXPECT_EQ(reader.Iptc()->DatasetText("City", ""), "Z\xC3\xBCrich");

    reader.OpenFile(otherIptc);
    ASSERT_NE(reader.Iptc(), nullptr);
    EXPECT_EQ(reader.Iptc()->DatasetText("City", ""), "Oslo");
    EXPECT_EQ(reader.Iptc()->DatasetCount(), 1);

    // A file without IPTC data has none.
    reader.OpenFile(withoutIptc);
    EXPECT_EQ(reader.Iptc(), nullptr);
}

struct CommandRun {
    int status;
    std::string out, err;
};

CommandRun Iptc(const std::vector<std::string>& args) {
    std::vector<std::string> all{"--iptc"};
    for (const auto& a : args) all.push_back(a);
    std::ostringstream out, err;
    const int status = RunCommandLine(all, out, err, {});
    return {status, out.str(), err.str()};
}

TEST_F(IptcFiles, IptcCommandPrintsEveryDatasetInUtf8) {
    const CommandRun run = Iptc({withIptc});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "ObjectName\tFrozen pond\nKeywords\tice,winter\nCity\tZ\xC3\xBCrich\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(IptcFiles, IptcCommandPrintsNothingForAFileWithoutIptcData) {
    for (const std::string& path : {withoutIptc, dir / "notes.txt"}) {
        if (path.ends_with(".txt")) WriteBytes(path, {'h', 'i'});
        const CommandRun run = Iptc({path});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "");
    }
}

TEST_F(IptcFiles, IptcCommandReportsMissingFilesAndWrongArguments) {
    const std::string missing = dir / "missing.jpg";
    const CommandRun notFound = Iptc({missing});
    EXPECT_EQ(notFound.status, 1);
    EXPECT_EQ(notFound.err, "veltrane: " + missing + ": File not found\n");
    EXPECT_EQ(Iptc({}).status, 2);
    // Several files are read one after the other, each under its own heading.
    EXPECT_EQ(Iptc({withIptc, withIptc}).status, 0);
    EXPECT_EQ(Iptc({dir.Path().string()}).status, 1);
}

}  // namespace
}  // namespace veltrane::exif

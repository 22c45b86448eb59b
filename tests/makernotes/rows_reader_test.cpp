// SPDX-License-Identifier: GPL-3.0-or-later
// The window's rows come from a reader that keeps only the tags they show, and MPO images are
// read from the file at their offset. Both must give exactly what the full reader gives on the
// extracted image: every seed of the fuzz corpus, the camera-shaped files and the camera
// fixtures are compared row by row and line by line.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/common/ascii.h"
#include "core/exif/exif_reader.h"
#include "core/makernotes/maker_decoders.h"
#include "core/metadata/exif_rows.h"
#include "core/metadata/metadata_reader.h"
#include "tests/makernotes/camera_shapes.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane::exif {
namespace {

using samples::Bytes;

struct NamedBytes {
    std::string Name;
    Bytes Content;
};

Bytes ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The JPEG seeds of the fuzz corpus, the camera shapes, the samples and the images of the
// camera fixtures (each image from its start to the next one's).
std::vector<NamedBytes> Files() {
    std::vector<NamedBytes> files;
    for (auto& shape : bench::CameraShapes()) files.push_back({shape.Name, std::move(shape.Content)});
    files.push_back({"sample_big", samples::SampleStereoImage(1, {}, samples::ByteOrder::Big)});
    std::error_code ec;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(VELTRANE_SOURCE_DIR) / "fuzz/corpus/jpeg_fuzz", ec))
        files.push_back({entry.path().filename().string(), ReadWhole(entry.path())});
    for (const auto& entry : std::filesystem::directory_iterator(VELTRANE_FIXTURES_DIR, ec)) {
        if (entry.path().extension() != ".mpo") continue;
        const Bytes whole = ReadWhole(entry.path());
        const Bytes signature = {0xFF, 0xD8, 0xFF, 0xE1};
        std::vector<std::size_t> starts;
        for (auto it = whole.begin(); (it = std::search(it, whole.end(), signature.begin(), signature.end())) != whole.end(); ++it)
            starts.push_back(static_cast<std::size_t>(it - whole.begin()));
        starts.push_back(whole.size());
        for (std::size_t i = 0; i + 1 < starts.size(); ++i)
            files.push_back({entry.path().filename().string() + "#" + std::to_string(i + 1),
                             Bytes(whole.begin() + static_cast<std::ptrdiff_t>(starts[i]),
                                   whole.begin() + static_cast<std::ptrdiff_t>(starts[i + 1]))});
    }
    return files;
}

std::vector<std::string> Values(const ExifRows& rows) {
    std::vector<std::string> values;
    for (const ExifRow& row : rows) values.push_back(row.Value);
    return values;
}

// Everything --info and --tags show of a reader.
std::vector<std::string> Dump(const ExifReader& reader) {
    std::vector<std::string> lines = {reader.StatusText()};
    if (const TiffDirectory* directory = reader.Directory()) {
        lines.push_back(directory->InfoText());
        lines.push_back(directory->MakerNoteText());
        for (const TagEntry& tag : directory->Tags()) lines.push_back(tag.TagName + "\t" + tag.DisplayText);
    }
    return lines;
}

TEST(RowsReader, ShowsWhatTheFullReaderShows) {
    const std::vector<NamedBytes> files = Files();
    ASSERT_GE(files.size(), 30u);
    for (const NamedBytes& file : files) {
        SCOPED_TRACE(file.Name);
        ExifReader full(FullReaderParts);
        full.OpenBuffer(file.Content, exif::SourceFormat::Jpeg);
        EXPECT_EQ(Values(ExifWindowRows(file.Content, 1, 1024, {})),
                  Values(ExifWindowRows(full, 1, 1024)));
    }
}

TEST(RowsReader, AsksForNoNameThatASubFieldCarries) {
    // The reader leaves sub-fields out; that is right only while no row asks for their names.
    std::vector<std::string_view> subFields;
    for (const auto& row : CanonCameraSettingsFields) subFields.push_back(row.Name);
    for (const auto& row : CanonShotInfoFields) subFields.push_back(row.Name);
    for (const auto& row : CanonCustomFunctions) subFields.push_back(row.Name);
    for (const std::string_view name : ExifRowTagNames())
        for (const std::string_view field : subFields) EXPECT_FALSE(EqualIgnoringAsciiCase(name, field)) << name;
}

TEST(ImageRange, ReadsAnImageInsideAFileAsItsExtractedBytes) {
    const std::vector<NamedBytes> files = Files();
    std::vector<Bytes> images;
    for (const NamedBytes& file : files) images.push_back(file.Content);
    const veltrane::testing::TempDir dir;
    const std::string path = dir / "all.mpo";
    ASSERT_TRUE(samples::WriteFile(path, samples::JoinImages(images)));

    std::int64_t offset = 0;
    for (const NamedBytes& file : files) {
        SCOPED_TRACE(file.Name);
        const auto length = static_cast<std::int64_t>(file.Content.size());
        ExifReader fromFile(FullReaderParts), fromMemory(FullReaderParts);
        fromFile.OpenFileRange(path, offset, length, exif::SourceFormat::Jpeg);
        fromMemory.OpenBuffer(file.Content, exif::SourceFormat::Jpeg);
        EXPECT_EQ(Dump(fromFile), Dump(fromMemory));
        EXPECT_EQ(Values(ExifWindowRows(path, offset, length, 1, {})), Values(ExifWindowRows(file.Content, 1, length, {})));
        offset += length;
    }
}

}  // namespace
}  // namespace veltrane::exif

// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "core/exif/exif_reader.h"
#include "core/metadata/metadata_reader.h"
#include "fuzz/corpus_files.h"

namespace veltrane::exif {
namespace {

// How the reader ends on each seed file; every file not listed ends with "<none>".
const std::map<std::string, std::string> kStatusOf = {
    {"fill_bytes_to_end.jpg", "Not an EXIF file"},
    {"flash_two_items.jpg", "Not an EXIF file"},
    {"length_0.jpg", "Not an EXIF file"},
    {"length_1.jpg", "Not an EXIF file"},
    {"length_ffff.jpg", "Not an EXIF file"},
    {"overlapping_directories.jpg", "Illegally sized directory"},
    {"short_tiff_header.jpg", "Not an EXIF file"},
    {"truncated_app1.jpg", "Not an EXIF file"},
    {"bad_byte_order_mark.tif", "Not an EXIF file"},
};

TEST(SeedCorpus, EndsEveryFileWithItsKnownStatus) {
    for (const auto& file : fuzzcorpus::CorpusFiles()) {
        SCOPED_TRACE(file.Target + "/" + file.Name + ": " + file.What);
        ExifReader reader(FullReaderParts);
        reader.OpenBuffer(file.Content, file.Target == "tiff_fuzz" ? SourceFormat::Tiff : SourceFormat::Jpeg);
        const auto known = kStatusOf.find(file.Name);
        EXPECT_EQ(reader.StatusText(), known == kStatusOf.end() ? "<none>" : known->second);
        if (reader.Directory() != nullptr) {
            EXPECT_LE(reader.Directory()->TagCount(), kTiffFileBytesRead / 12 + kEntryAllowance);
        }
    }
}

TEST(SeedCorpus, KeepsTheMalformedFilesWithinTheirDefences) {
    std::map<std::string, const fuzzcorpus::CorpusFile*> byName;
    const auto files = fuzzcorpus::CorpusFiles();
    for (const auto& file : files) byName[file.Target + "/" + file.Name] = &file;
    auto read = [&](const std::string& key) {
        auto reader = std::make_unique<ExifReader>(FullReaderParts);
        const auto* file = byName.at(key);
        reader->OpenBuffer(file->Content, file->Target == "tiff_fuzz" ? SourceFormat::Tiff : SourceFormat::Jpeg);
        return reader;
    };
    EXPECT_EQ(read("jpeg_fuzz/deep_nesting.jpg")->Directory()->VisitedDirectories().size(),
              static_cast<std::size_t>(kMaxDirectoryDepth));
    EXPECT_EQ(read("jpeg_fuzz/ifds_point_to_each_other.jpg")->Directory()->VisitedDirectories().size(), 3u);
    EXPECT_EQ(read("jpeg_fuzz/entry_count_too_large.jpg")->Directory()->TagCount(), 0);
    EXPECT_EQ(read("jpeg_fuzz/many_refused_app1.jpg")->Sections().size(), 2u);
    const auto wraps = read("jpeg_fuzz/value_offset_wraps.jpg");
    EXPECT_EQ(wraps->Directory()->TagValueByName("ImageDescription"), "");
    EXPECT_EQ(wraps->Directory()->TagValueByName("Software"), "after");
}

TEST(SeedCorpus, IsWrittenIntoTheSourceTreeAsTheWriterMakesIt) {
    const std::filesystem::path corpus = std::filesystem::path(VELTRANE_SOURCE_DIR) / "fuzz" / "corpus";
    for (const auto& file : fuzzcorpus::CorpusFiles()) {
        SCOPED_TRACE(file.Target + "/" + file.Name);
        std::ifstream in(corpus / file.Target / file.Name, std::ios::binary);
        ASSERT_TRUE(in) << "missing: run veltrane-fuzz-corpus";
        const samples::Bytes stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(stored == file.Content) << "out of date: run veltrane-fuzz-corpus";
    }
}

}  // namespace
}  // namespace veltrane::exif

// The EXIF reader hands maker notes and IPTC sections to the parts it is given, and to nothing
// else: without parts it reads exactly the same directories, minus the maker note's own tags
// and lines, and makes no IPTC reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/exif/jpeg_sections.h"
#include "core/metadata/metadata_reader.h"
#include "tests/exif/exif_test_support.h"
#include "tests/makernotes/camera_shapes.h"

namespace veltrane::exif {
namespace {

using testing::BytesOf;
using testing::JpegOf;
using testing::Segment;

// The tags and info lines read from the directories: not those of the maker note, nor the 35 mm
// focal length derived at the end (a note that carries one, as Casio's does, prevents it).
bool IsDerived(const TTagEntry& tag) {
    return tag.TagName == "FocalLengthin35mmFilm" && tag.RawBytes.empty();
}

std::vector<std::string> DirectoryTags(const TImageInfo& info) {
    std::vector<std::string> tags;
    for (int i = 0; i < info.TagCount; ++i) {
        const TTagEntry& tag = info.TagList[static_cast<std::size_t>(i)];
        if (tag.Origin != 1 && !IsDerived(tag)) tags.push_back(tag.TagName + '\t' + tag.DisplayText);
    }
    return tags;
}

std::string DirectoryText(const TImageInfo& info) {
    const bool derived = info.TagCount > 0 && IsDerived(info.TagList[static_cast<std::size_t>(info.TagCount - 1)]);
    return derived ? info.InfoText.substr(0, info.InfoText.rfind("\r\n")) : info.InfoText;
}

TEST(ReaderParts, AreTheOnlyWayToMakerNotesAndIptcData) {
    std::vector<bench::ShapeFile> files = bench::CameraShapes();
    files.push_back({"iptc", JpegOf({Segment(0xED, BytesOf("Photoshop 3.0"))})});

    for (const bench::ShapeFile& file : files) {
        SCOPED_TRACE(file.Name);
        TimgData full(255, FullReaderParts), bare(255);
        full.OpenBuffer(file.Content, "image.jpg");
        bare.OpenBuffer(file.Content, "image.jpg");
        EXPECT_EQ(bare.ErrorText, full.ErrorText);
        EXPECT_EQ(bare.IptcSection != nullptr, full.IptcSection != nullptr);
        EXPECT_EQ(full.IptcInfo != nullptr, full.IptcSection != nullptr);
        EXPECT_EQ(bare.IptcInfo, nullptr);
        ASSERT_EQ(bare.ImageInfo != nullptr, full.ImageInfo != nullptr);
        if (!full.ImageInfo) continue;
        EXPECT_EQ(DirectoryText(*bare.ImageInfo), DirectoryText(*full.ImageInfo));
        EXPECT_EQ(DirectoryTags(*bare.ImageInfo), DirectoryTags(*full.ImageInfo));
        EXPECT_FALSE(bare.ImageInfo->MakerNoteDecoded);
        EXPECT_EQ(bare.ImageInfo->MakerNoteText, "");
        EXPECT_EQ(full.ImageInfo->MakerNoteDecoded, full.ImageInfo->MakerNoteText != "");
    }
}

}  // namespace
}  // namespace veltrane::exif

// SPDX-License-Identifier: GPL-3.0-or-later
// The EXIF reader hands maker notes and IPTC sections to the parts it is given, and to nothing
// else: without parts it reads exactly the same directories, minus the maker note's own tags
// and lines, and parses no IPTC section.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/exif/exif_reader.h"
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
bool IsDerived(const TagEntry& tag) {
    return tag.TagName == "FocalLengthin35mmFilm" && tag.RawBytes.empty();
}

std::vector<std::string> DirectoryTags(const TiffDirectory& info) {
    std::vector<std::string> tags;
    for (const TagEntry& tag : info.Tags())
        if (tag.Origin != TagOrigin::MakerNote && !IsDerived(tag)) tags.push_back(tag.TagName + '\t' + tag.DisplayText);
    return tags;
}

std::string DirectoryText(const TiffDirectory& info) {
    const bool derived = info.TagCount() > 0 && IsDerived(info.Tags().back());
    return derived ? info.InfoText().substr(0, info.InfoText().rfind("\r\n")) : info.InfoText();
}

TEST(ReaderParts, AreTheOnlyWayToMakerNotesAndIptcData) {
    std::vector<bench::ShapeFile> files = bench::CameraShapes();
    files.push_back({"iptc", JpegOf({Segment(0xED, BytesOf("Photoshop 3.0"))})});

    for (const bench::ShapeFile& file : files) {
        SCOPED_TRACE(file.Name);
        ExifReader full(FullReaderParts), bare;
        full.OpenBuffer(file.Content, exif::SourceFormat::Jpeg);
        bare.OpenBuffer(file.Content, exif::SourceFormat::Jpeg);
        EXPECT_EQ(bare.StatusText(), full.StatusText());
        EXPECT_EQ(bare.IptcSection() != nullptr, full.IptcSection() != nullptr);
        EXPECT_EQ(full.Iptc() != nullptr, full.IptcSection() != nullptr);
        EXPECT_EQ(bare.Iptc(), nullptr);
        ASSERT_EQ(bare.Directory() != nullptr, full.Directory() != nullptr);
        if (full.Directory() == nullptr) continue;
        EXPECT_EQ(DirectoryText(*bare.Directory()), DirectoryText(*full.Directory()));
        EXPECT_EQ(DirectoryTags(*bare.Directory()), DirectoryTags(*full.Directory()));
        EXPECT_FALSE(bare.Directory()->MakerNoteDecoded());
        EXPECT_EQ(bare.Directory()->MakerNoteText(), "");
        EXPECT_EQ(full.Directory()->MakerNoteDecoded(), full.Directory()->MakerNoteText() != "");
    }
}

}  // namespace
}  // namespace veltrane::exif

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/iptc/iptc_data.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace veltrane::exif {
namespace {

// One dataset: 0x1C, record, dataset, big-endian length, value.
std::string Dataset(int record, int dataset, const std::string& value) {
    std::string d;
    d.push_back('\x1C');
    d.push_back(static_cast<char>(record));
    d.push_back(static_cast<char>(dataset));
    d.push_back(static_cast<char>(value.size() >> 8));
    d.push_back(static_cast<char>(value.size() & 0xFF));
    return d + value;
}

// APP13 section bytes as the section reader stores them: the two length bytes, "Photoshop 3.0",
// NUL, an 8BIM 0x0404 resource header, then the datasets.
std::string App13(const std::string& datasets) {
    std::string body = std::string("Photoshop 3.0") + '\0' + "8BIM" + '\x04' + '\x04' + '\0' +
                       '\0' + '\0' + '\0' + static_cast<char>(datasets.size() >> 8) +
                       static_cast<char>(datasets.size() & 0xFF) + datasets;
    const std::size_t length = body.size() + 2;
    return std::string{static_cast<char>(length >> 8), static_cast<char>(length & 0xFF)} + body;
}

std::vector<std::pair<std::string, std::string>> Stored(const IptcRecords& iptc) {
    std::vector<std::pair<std::string, std::string>> out;
    for (int i = 0; i < iptc.DatasetCount(); ++i) {
        const TagEntry e = iptc.DatasetAt(i);
        out.emplace_back(e.TagName, e.DisplayText);
    }
    return out;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(IptcDatasetTable, HasItsRowsInOrder) {
    EXPECT_EQ(IptcDatasetTable.front().TagName, "SKIP");
    EXPECT_EQ(IptcDatasetTable.back().TagName, "Subfile");
    EXPECT_EQ(IptcDatasetTable.back().IptcRecord, 8);
    EXPECT_EQ(IptcDatasetTable[43].TagName, "ImageCaption");
    EXPECT_EQ(IptcDatasetTable[43].RawLength, 2000);
    EXPECT_EQ(DatasetRowOfName("keywords"), 11);
    EXPECT_EQ(DatasetRowOfName("Custom_5"), -1);
}

TEST(ParseIptcRecords, SkipsTheRecordVersionAndStoresTheRest) {
    IptcRecords iptc;
    iptc.Parse(App13(Dataset(2, 0, std::string("\x00\x04", 2)) + Dataset(2, 5, "Pond") +
                             Dataset(2, 25, "ice")));
    EXPECT_EQ(Stored(iptc), (Pairs{{"ObjectName", "Pond"}, {"Keywords", "ice"}}));
    const TagEntry name = iptc.DatasetAt(0);
    EXPECT_EQ(name.Caption, "Object name");
    EXPECT_EQ(name.TagNumber, 5);
    EXPECT_EQ(name.IptcRecord, 2);
    EXPECT_EQ(name.RawLength, 64);
}

TEST(ParseIptcRecords, MergesRepeatedKeywordsIgnoringCase) {
    IptcRecords iptc;
    iptc.Parse(App13(Dataset(2, 25, "a") + Dataset(2, 25, "b") + Dataset(2, 25, "A")));
    EXPECT_EQ(Stored(iptc), (Pairs{{"Keywords", "a,b"}}));
}

TEST(ParseIptcRecords, StoresRepeatsOfSingleValuedDatasetsAgain) {
    IptcRecords iptc;
    iptc.Parse(App13(Dataset(2, 5, "first") + Dataset(2, 5, "second")));
    EXPECT_EQ(iptc.DatasetCount(), 2);
    EXPECT_EQ(iptc.DatasetText("objectname", ""), "first");
}

TEST(ParseIptcRecords, NamesUnknownDatasetsAndSkipsOtherRecords) {
    IptcRecords iptc;
    iptc.Parse(App13(Dataset(2, 221, "x") + Dataset(1, 90, "skipped") +
                             Dataset(8, 5, "y") + Dataset(8, 20, "refused") +
                             Dataset(8, 10, "z")));
    EXPECT_EQ(Stored(iptc), (Pairs{{"Custom_221", "x"}, {"Custom_5", "y"}, {"Subfile", "z"}}));
    EXPECT_EQ(iptc.DatasetAt(0).TagNumber, 221);
    EXPECT_EQ(iptc.DatasetAt(0).RawLength, 64);
    EXPECT_EQ(iptc.DatasetAt(1).IptcRecord, 8);
}

TEST(ParseIptcRecords, FindsTheFirstMarkerWithoutThePhotoshopHeader) {
    // No identifier: the scan starts at byte 12 and ignores a marker before it.
    std::string data(12, '\0');
    data[3] = '\x1C';
    data[4] = 2;
    IptcRecords iptc;
    iptc.Parse(data + Dataset(2, 90, "Oslo"));
    EXPECT_EQ(Stored(iptc), (Pairs{{"City", "Oslo"}}));
}

TEST(ParseIptcRecords, CutsAValueThatRunsPastTheEndOfTheData) {
    std::string data = App13(Dataset(2, 5, "Pond"));
    data += "\x1C\x02\x78\xFF\xFFshort";  // ImageCaption claims 65535 bytes
    IptcRecords iptc;
    iptc.Parse(data);
    EXPECT_EQ(Stored(iptc), (Pairs{{"ObjectName", "Pond"}, {"ImageCaption", "short"}}));
}

TEST(ParseIptcRecords, StoresNothingForDataWithoutADatasetMarker) {
    const std::string cases[] = {
        "",
        "\x00\x10",
        App13(""),
        App13("") + "\x1C",           // a marker in the very last byte
        App13("") + "\x1C\x02",       // marker and record byte, nothing after
        App13("") + "\x1C\x03\x05",   // marker followed by a record other than 2 or 8
    };
    for (const std::string& data : cases) {
        SCOPED_TRACE(data.size());
        IptcRecords iptc;
        iptc.Parse(data);
        EXPECT_FALSE(iptc.HasDatasets());
    }
}

TEST(ParseIptcRecords, ReadsADatasetWhoseHeaderEndsAtTheLastByte) {
    // The header's four bytes fit, the value is missing: stored with an empty value.
    IptcRecords iptc;
    iptc.Parse(App13("") + std::string("\x1C\x02\x5A\x00\x04", 5));
    EXPECT_EQ(Stored(iptc), (Pairs{{"City", ""}}));
}

TEST(ParseIptcRecords, ClearsTheDatasetsOfTheLastParse) {
    IptcRecords iptc;
    iptc.Parse(App13(Dataset(2, 90, "Oslo")));
    iptc.Parse(App13(Dataset(2, 5, "Pond")));
    EXPECT_EQ(Stored(iptc), (Pairs{{"ObjectName", "Pond"}}));
}

TEST(MergeCommaList, FollowsTheCommaListRule) {
    struct Case {
        const char* existing;
        const char* items;
        const char* merged;
    };
    const Case cases[] = {
        {"red", "Red, blue", "red,blue"},
        {"", "New York", "New,York"},
        {"", "x y", "x,y"},
        {"", "", ""},
        {"a", "", "a"},
        {"", "\"New York\"", "\"New York\""},
        {"", "\"say \"\"hi\"\"\"", "\"say \"\"hi\"\"\""},
        {"", "a,", "a,"},                  // a final comma adds an empty item
        {"", ",", "\"\""},                 // which alone is written as two quotes
        {"", "a,,b", "a,,b"},
        {"a,b", "B,c,C", "a,b,c"},
        {"  a  ,  b  ", "c", "a,b,c"},
        {"", "\"unclosed", "unclosed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.existing) + " + " + c.items);
        EXPECT_EQ(MergeCommaList(c.existing, c.items), c.merged);
    }
}

TEST(CommaList, SplitsWhatItJoinedIntoTheSameItems) {
    const std::vector<std::vector<std::string>> lists = {
        {},
        {""},
        {"", ""},
        {"a", "", "b"},
        {"a", ""},
        {"", "a"},
        {"New York", "Oslo"},
        {"say \"hi\"", "a,b", "tab\there", std::string("nul\0inside", 10)},
        {"\"", "\"\"", ","},
    };
    for (const auto& items : lists) {
        SCOPED_TRACE(JoinCommaList(items));
        EXPECT_EQ(SplitCommaList(JoinCommaList(items)), items);
    }
}

TEST(ParseIptcRecords, MergesRepeatsAsRepeatedAddToDatasetWould) {
    const std::string values[] = {"\"New York\", Oslo", "\"say \"\"hi\"\"\",,", "oslo", " ",
                                  "", "x,\"a,b\"", ","};
    std::string datasets;
    IptcRecords oneByOne;
    for (const std::string& v : values) {
        datasets += Dataset(2, 20, v);
        oneByOne.AddToDataset("SuppCategory", v);
    }
    IptcRecords parsed;
    parsed.Parse(App13(datasets));
    EXPECT_EQ(parsed.DatasetText("SuppCategory", "?"), oneByOne.DatasetText("SuppCategory", "!"));
    EXPECT_EQ(parsed.DatasetText("SuppCategory", "?"),
              "\"New York\",Oslo,\"say \"\"hi\"\"\",,x,\"a,b\"");
}

TEST(IptcRecords, SetDatasetKeepsAStoredValueWhenGivenAnEmptyOne) {
    IptcRecords iptc;
    EXPECT_EQ(iptc.SetDataset("City", "Oslo"), 0);
    EXPECT_EQ(iptc.SetDataset("city", ""), 0);
    EXPECT_EQ(iptc.DatasetText("City", "?"), "Oslo");
    EXPECT_EQ(iptc.SetDataset("CITY", "Bergen"), 0);
    EXPECT_EQ(iptc.DatasetText("City", "?"), "Bergen");
}

TEST(IptcRecords, SetDatasetAppendsATableRowWithAnEmptyValue) {
    IptcRecords iptc;
    EXPECT_EQ(iptc.SetDataset("city", ""), 0);
    const TagEntry city = iptc.DatasetAt(0);
    EXPECT_EQ(city.TagName, "City");
    EXPECT_EQ(city.TagNumber, 90);
    EXPECT_EQ(city.DisplayText, "");
}

TEST(IptcRecords, RefusesNamesOutsideTheTable) {
    IptcRecords iptc;
    EXPECT_EQ(iptc.SetDataset("Nickname", "x"), -1);
    EXPECT_EQ(iptc.AddToDataset("Nickname", "x"), -1);
    EXPECT_EQ(iptc.StoreDataset("Nickname", "x"), -1);
    EXPECT_EQ(iptc.SetDataset("SKIP", "x"), -1);  // the table row has TagNumber 0
    EXPECT_FALSE(iptc.HasDatasets());
}

TEST(IptcRecords, StoreDatasetMergesKeywordsAndReplacesOtherValues) {
    IptcRecords iptc;
    EXPECT_EQ(iptc.StoreDataset("keywords", "x y"), 0);
    EXPECT_EQ(iptc.DatasetAt(0).TagName, "Keywords");
    EXPECT_EQ(iptc.DatasetText("Keywords", ""), "x,y");
    EXPECT_EQ(iptc.StoreDataset("Keywords", "z"), 0);
    EXPECT_EQ(iptc.DatasetText("Keywords", ""), "x,y,z");
    EXPECT_EQ(iptc.StoreDataset("Source", "one"), 1);
    EXPECT_EQ(iptc.StoreDataset("Source", "two"), 1);
    EXPECT_EQ(iptc.DatasetText("Source", ""), "two");
}

TEST(IptcRecords, RemoveDatasetMovesTheLaterOnesDown) {
    IptcRecords iptc;
    iptc.SetDataset("City", "a");
    iptc.SetDataset("State", "b");
    iptc.SetDataset("Source", "c");
    iptc.RemoveDataset("nothing");
    EXPECT_EQ(iptc.DatasetCount(), 3);
    iptc.RemoveDataset("state");
    EXPECT_EQ(Stored(iptc), (Pairs{{"City", "a"}, {"Source", "c"}}));
    EXPECT_EQ(iptc.DatasetText("State", "none"), "none");
}

TEST(IptcRecords, RemovingTheOnlyDatasetLeavesNone) {
    IptcRecords iptc;
    iptc.SetDataset("City", "a");
    iptc.RemoveDataset("City");
    EXPECT_FALSE(iptc.HasDatasets());
}

TEST(IptcRecords, GrowsItsArrayBy25KeepingOneSlotFree) {
    IptcRecords iptc;
    EXPECT_EQ(iptc.Capacity(), 0);
    TagEntry entry = IptcDatasetTable[3].ToEntry();
    EXPECT_EQ(iptc.AppendDataset(entry), 0);
    EXPECT_EQ(iptc.Capacity(), 25);
    for (int i = 1; i < 24; ++i) iptc.AppendDataset(entry);
    EXPECT_EQ(iptc.DatasetCount(), 24);
    EXPECT_EQ(iptc.Capacity(), 25);
    EXPECT_EQ(iptc.AppendDataset(entry), 24);
    EXPECT_EQ(iptc.Capacity(), 50);
}

TEST(IptcRecords, AppendDatasetDropsEntriesWithoutATagNumber) {
    IptcRecords iptc;
    EXPECT_EQ(iptc.AppendDataset(TagEntry{}), -1);
    EXPECT_EQ(iptc.Capacity(), 0);
    iptc.SetDataset("City", "a");
    EXPECT_EQ(iptc.AppendDataset(TagEntry{}), 0);
    EXPECT_EQ(iptc.DatasetCount(), 1);
}

TEST(IptcRecords, ClearDatasetsKeepsTheCapacity) {
    IptcRecords iptc;
    iptc.SetDataset("City", "a");
    iptc.ClearDatasets();
    EXPECT_EQ(iptc.DatasetCount(), 0);
    EXPECT_EQ(iptc.Capacity(), 25);
    EXPECT_EQ(iptc.DatasetAt(0).TagName, "");
}

}  // namespace
}  // namespace veltrane::exif

// SPDX-License-Identifier: GPL-3.0-or-later
// The metadata commands over many files, in text and in JSON: the JSON of every file, read back
// with RapidJSON and flattened into lines, must be the text the command prints; failing files
// in the middle of a list, the order of many files read in parallel, the words of the commands,
// and Unicode.
#include <gtest/gtest.h>
#include <gmock/gmock.h>
#include <rapidjson/document.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/cli/command_line.h"
#include "core/common/image_list_line.h"
#include "json/json_record_writer.h"
#include "tests/exif/exif_test_support.h"
#include "tests/makernotes/camera_shapes.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/jpeg_writer.h"
#include "tools/samples/mpf_writer.h"

namespace veltrane {
namespace {

using ::testing::HasSubstr;
using samples::Bytes;

struct CommandRun {
    int status;
    std::string out, err;
};

CommandRun Veltrane(const std::vector<std::string>& args) {
    CommandLineServices services;
    services.NewRecordWriter = json::NewJsonRecordWriter;
    std::ostringstream out, err;
    const int status = RunCommandLine(args, out, err, services);
    return {status, out.str(), err.str()};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The blocks of a text run over several files, each after its "======== FILE" heading.
std::vector<std::string> TextBlocks(const std::string& out, const std::vector<std::string>& files) {
    std::vector<std::string> blocks;
    std::size_t at = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string heading = "======== " + files[i] + "\n";
        EXPECT_EQ(out.compare(at, heading.size(), heading), 0) << "no heading of " << files[i];
        at += heading.size();
        const std::size_t next = i + 1 < files.size() ? out.find("======== " + files[i + 1] + "\n", at) : out.size();
        blocks.push_back(out.substr(at, next - at));
        at = next;
    }
    return blocks;
}

std::string Text(const rapidjson::Value& v) { return std::string(v.GetString(), v.GetStringLength()); }

// name TAB value lines of the members of object, an array's values one line each, in order.
void AppendNamedLines(const rapidjson::Value& object, std::vector<std::string>& lines) {
    for (const auto& m : object.GetObject()) {
        if (m.value.IsArray()) {
            for (const auto& v : m.value.GetArray()) lines.push_back(Text(m.name) + "\t" + Text(v));
        } else {
            lines.push_back(Text(m.name) + "\t" + Text(m.value));
        }
    }
}

// Whether needles appear in haystack in their order (not necessarily next to each other).
bool InOrder(const std::vector<std::string>& needles, const std::vector<std::string>& haystack) {
    auto at = haystack.begin();
    for (const std::string& n : needles) {
        at = std::find(at, haystack.end(), n);
        if (at == haystack.end()) return false;
        ++at;
    }
    return true;
}

std::string ThreeDigits(int n) {
    const std::string s = "00" + std::to_string(n);
    return s.substr(s.size() - 3);
}

// Checks that the record of one file says what the text block says.
void ExpectSameAsText(const std::string& option, const rapidjson::Value& record, const std::string& block) {
    if (record.HasMember("Error")) {
        EXPECT_EQ(block, "");
        return;
    }
    std::string flat;
    if (option == "--exif") {
        for (const auto& m : record["Rows"].GetObject()) flat += Text(m.name) + ": " + Text(m.value) + "\n";
    } else if (option == "--info") {
        flat = "Status: " + Text(record["Status"]) + "\n";
        for (const auto& line : record["Lines"].GetArray()) flat += Text(line) + "\n";
    } else if (option == "--list") {
        std::int64_t end = 0;
        for (const auto& image : record["Images"].GetArray()) {
            flat += ImageListLine(image["Number"].GetInt(), image["Size"].GetInt64()) + "\n";
            EXPECT_GE(image["Start"].GetInt64(), end);
            end = image["Start"].GetInt64() + image["Size"].GetInt64();
        }
    } else if (option == "--mpf") {
        for (const auto& e : record["Entries"].GetArray())
            flat += "Image " + ThreeDigits(e["Number"].GetInt()) + "  " + Text(e["Type"]) + "  start " +
                    std::to_string(e["Start"].GetInt64()) + "  size " + std::to_string(e["Size"].GetInt64()) +
                    "  flags: " + Text(e["Flags"]) + "  role: " + Text(e["Role"]) + "\n";
        if (record["ScanAgrees"].GetBool()) {
            flat += "The signature scan finds the same starts.\n";
        } else {
            const auto starts = record["ScanStarts"].GetArray();
            flat += "The signature scan finds other starts:";
            for (rapidjson::SizeType i = 0; i < std::min<rapidjson::SizeType>(starts.Size(), 20); ++i)
                flat += (i == 0 ? " " : ", ") + std::to_string(starts[i].GetInt64());
            if (starts.Empty()) flat += " none";
            if (starts.Size() > 20) flat += ", ...";
            flat += " (" + std::to_string(starts.Size()) + (starts.Size() == 1 ? " image)" : " images)") + "\n";
        }
    } else {
        // --tags and --iptc: objects of names, grouped by directory; the same lines as the text,
        // each directory's in the text's order.
        std::vector<std::string> all;
        for (const auto& m : record.GetObject()) {
            if (!m.value.IsObject()) continue;
            EXPECT_THAT(Text(m.name), ::testing::AnyOf("IFD0", "ExifIFD", "GPS", "Interop", "SubIFD", "MakerNotes",
                                                       "Composite", "IPTC"));
            std::vector<std::string> group;
            AppendNamedLines(m.value, group);
            EXPECT_TRUE(InOrder(group, Lines(block))) << Text(m.name);
            all.insert(all.end(), group.begin(), group.end());
        }
        std::vector<std::string> text = Lines(block);
        std::sort(all.begin(), all.end());
        std::sort(text.begin(), text.end());
        EXPECT_EQ(all, text);
        return;
    }
    EXPECT_EQ(flat, block);
}

Bytes IptcJpeg() {
    const auto dataset = [](int n, const std::string& value) {
        return std::string{'\x1C', '\x02', static_cast<char>(n), '\0', static_cast<char>(value.size())} + value;
    };
    const std::string datasets = dataset(5, "Frozen pond") + dataset(25, "ice") + dataset(25, "winter") +
                                 dataset(90, "Z\xFCrich") + dataset(101, "Norway") + dataset(101, "Sweden");
    const std::string body = std::string("Photoshop 3.0\0" "8BIM\x04\x04\0\0\0\0", 22) +
                             static_cast<char>(datasets.size() >> 8) + static_cast<char>(datasets.size()) + datasets;
    Bytes segment = samples::ExifApp1Segment(samples::SampleExifTiff({}, samples::ByteOrder::Little));
    const std::size_t length = body.size() + 2;
    for (const int b : {0xFF, 0xED, static_cast<int>(length >> 8), static_cast<int>(length & 0xFF)})
        segment.push_back(static_cast<std::uint8_t>(b));
    segment.insert(segment.end(), body.begin(), body.end());
    return samples::BaselineJpeg(8, 8, [](int, int) { return samples::Rgb{1, 2, 3}; }, segment);
}

class MetadataFiles : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const Bytes& bytes) { return folder_.Write(name, bytes); }
    veltrane::testing::TempDir folder_;
};

TEST_F(MetadataFiles, JsonOfEveryFileIsTheTextOfTheCommand) {
    std::vector<std::string> files = {
        Write("little.jpg", samples::SampleStereoImage(0)),
        Write("big.JPG", samples::SampleStereoImage(1, {}, samples::ByteOrder::Big)),
        Write("sample.tif", samples::SampleExifTiff({}, samples::ByteOrder::Big)),
        Write("pair.mpo", samples::SampleMpo()),
        Write("indexed.mpo", samples::IndexedMpo({samples::SampleStereoImage(0), samples::SampleStereoImage(1)})),
        Write("jfif.mpo", samples::IndexedMpo({samples::SampleJfifImage(0), samples::SampleJfifImage(1)})),
        Write("iptc.jpg", IptcJpeg()),
    };
    for (const bench::ShapeFile& shape : bench::CameraShapes()) files.push_back(Write(shape.Name + ".jpg", shape.Content));
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(VELTRANE_FIXTURES_DIR, ec))
        if (entry.path().extension() == ".mpo") files.push_back(entry.path().string());

    for (const std::string option : {"--exif", "--info", "--tags", "--iptc", "--list", "--mpf"}) {
        SCOPED_TRACE(option);
        std::vector<std::string> args = {option};
        args.insert(args.end(), files.begin(), files.end());
        const CommandRun text = Veltrane(args);
        args.insert(args.begin() + 1, "--json");
        const CommandRun json = Veltrane(args);
        EXPECT_EQ(json.status, text.status);
        EXPECT_EQ(json.err, text.err);  // the same notices and failures on stderr

        rapidjson::Document document;
        ASSERT_FALSE(document.Parse(json.out.c_str()).HasParseError()) << json.out;
        ASSERT_TRUE(document.IsArray());
        ASSERT_EQ(document.Size(), files.size());
        const std::vector<std::string> blocks = TextBlocks(text.out, files);
        ASSERT_EQ(blocks.size(), files.size());
        for (rapidjson::SizeType i = 0; i < document.Size(); ++i) {
            SCOPED_TRACE(files[i]);
            const rapidjson::Value& record = document[i];
            EXPECT_EQ(Text(record.MemberBegin()->name), "SourceFile");
            EXPECT_EQ(Text(record["SourceFile"]), files[i]);
            if (record.HasMember("Error")) {
                EXPECT_THAT(text.err, HasSubstr("veltrane: " + files[i] + ": " + Text(record["Error"]) + "\n"));
            }
            ExpectSameAsText(option, record, blocks[i]);
        }
        // One file alone: its block without a heading, its record alone in the array.
        const CommandRun one = Veltrane({option, files[0]});
        EXPECT_EQ(one.out, blocks[0]);
    }
    // Tags of a directory that repeats a name: one member, the values as an array.
    const CommandRun iptc = Veltrane({"--iptc", "--json", files[6]});
    EXPECT_THAT(iptc.out, HasSubstr("\"LocationName\": [\n      \"Norway\",\n      \"Sweden\"\n    ]"));
}

TEST_F(MetadataFiles, AFailingFileInTheMiddleLeavesTheOthers) {
    const std::string a = Write("a.jpg", samples::SampleStereoImage(0));
    const std::string missing = folder_ / "missing.jpg";
    const std::string broken = Write("broken.mpo", exif::testing::BytesOf("no images in here"));
    const std::string b = Write("b.mpo", samples::SampleMpo());
    const std::string noIndex = "no usable MPF index: the first image's header holds no MPF segment";
    struct Case {
        const char* option;
        std::string brokenError;  // what the broken file gives, or "" when it reads as empty
    };
    const Case cases[] = {
        {"--exif", "there is no image 1 (the file holds 0 images)"},
        {"--tags", "there is no image 1 (the file holds 0 images)"},
        {"--info", "there is no image 1 (the file holds 0 images)"},
        {"--mpf", noIndex},
        {"--list", "the file holds no JPEG image"},
        {"--iptc", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        const bool mpf = std::string(c.option) == "--mpf";  // the other files have no index either
        const auto line = [](const std::string& file, const std::string& cause) {
            return cause.empty() ? std::string() : "veltrane: " + file + ": " + cause + "\n";
        };
        const CommandRun text = Veltrane({c.option, a, missing, broken, b});
        EXPECT_EQ(text.status, kExitFailure);
        EXPECT_EQ(text.err, line(a, mpf ? noIndex : "") + line(missing, "File not found") +
                                line(broken, c.brokenError) + line(b, mpf ? noIndex : ""));
        TextBlocks(text.out, {a, missing, broken, b});

        const CommandRun json = Veltrane({c.option, "--json", a, missing, broken, b});
        EXPECT_EQ(json.status, kExitFailure);
        rapidjson::Document document;
        ASSERT_FALSE(document.Parse(json.out.c_str()).HasParseError()) << json.out;
        ASSERT_EQ(document.Size(), 4u);
        EXPECT_EQ(Text(document[1]["SourceFile"]), missing);
        EXPECT_EQ(Text(document[1]["Error"]), "File not found");
        EXPECT_EQ(document[1].MemberCount(), 2u);
        EXPECT_EQ(document[2].HasMember("Error"), !c.brokenError.empty());
        if (!c.brokenError.empty()) {
            EXPECT_EQ(Text(document[2]["Error"]), c.brokenError);
        }
        EXPECT_EQ(Text(document[3]["SourceFile"]), b);
    }
}

TEST_F(MetadataFiles, ManyFilesComeOutInTheOrderGiven) {
    constexpr int kFiles = 200;
    std::vector<std::string> files;
    std::string list = "\xEF\xBB\xBF";  // a list written on Windows: byte order mark, CR LF
    for (int i = 0; i < kFiles; ++i) {
        samples::SampleExif exif;
        exif.make = "Make " + ThreeDigits(i);
        const std::string name = std::string("f").append(std::to_string(i)).append(".jpg");
        files.push_back(Write(name, samples::SampleStereoImage(i % 2, exif)));
        list += files.back();
        list += i % 50 == 0 ? "\r\n\r\n" : "\r\n";
    }
    const std::string listFile = Write("list.txt", exif::testing::BytesOf(list));

    std::vector<std::string> args = {"--exif", "--json"};
    args.insert(args.end(), files.begin(), files.end());
    for (const std::vector<std::string>& words : {args, std::vector<std::string>{"--exif", "--json", "-@", listFile}}) {
        const CommandRun run = Veltrane(words);
        EXPECT_EQ(run.status, kExitOk);
        rapidjson::Document document;
        ASSERT_FALSE(document.Parse(run.out.c_str()).HasParseError());
        ASSERT_EQ(document.Size(), static_cast<rapidjson::SizeType>(kFiles));
        for (int i = 0; i < kFiles; ++i) {
            EXPECT_EQ(Text(document[i]["SourceFile"]), files[i]);
            EXPECT_EQ(Text(document[i]["Rows"]["Manufacturer"]), "Make " + ThreeDigits(i));
        }
    }
    const CommandRun text = Veltrane({"--tags", "-@", listFile});
    const std::vector<std::string> blocks = TextBlocks(text.out, files);
    for (int i = 0; i < kFiles; ++i) EXPECT_THAT(blocks[i], ::testing::StartsWith("Make\tMake " + ThreeDigits(i) + "\n"));
}

TEST_F(MetadataFiles, WordsOfTheCommands) {
    samples::SampleExif second;
    second.make = "Second";
    const std::string mpo = Write("pair.mpo", samples::JoinImages({samples::SampleStereoImage(0), samples::SampleStereoImage(1, second)}));
    const std::string jpg = Write("a.jpg", samples::SampleStereoImage(0));
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string inOut, inErr;
    };
    const Case cases[] = {
        {{"--exif", mpo, "2"}, 0, "Manufacturer: Second", ""},                       // the older form
        {{"--tags", "--image", "2", mpo, mpo}, 0, "======== " + mpo + "\nMake\tSecond\n", ""},
        {{"--exif", "--image", "2", jpg}, 1, "", "a.jpg: there is no image 2 (the file holds 1 image)"},
        {{"--exif", mpo, jpg, "2"}, 2, "", "an image number follows one file only"},
        {{"--exif", jpg, "x"}, 2, "", "'x' is neither an image number nor a file"},
        {{"--exif", "--", jpg, "2"}, 1, "======== 2\n", "veltrane: 2: File not found"},  // "--": "2" is a file
        {{"--list", "--image", "2", mpo}, 2, "", "--list takes no image number"},
        {{"--info", "--image"}, 2, "", "--image needs an image number"},
        {{"--tags", "-@", folder_ / "none.txt"}, 1, "", "none.txt: File not found"},
        {{"--iptc", "--json", "-@"}, 2, "", "-@ needs a file"},
        {{"--exif"}, 2, "", "--exif takes a file and an optional image number"},
        {{"--image", "2", "--json", "--exif", mpo}, 0, "\"Manufacturer\": \"Second\"", ""},  // before the command
        {{"--json", mpo}, 2, "", "--json goes with --list, --parts, --mpf, --exif, --info, --tags or --iptc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const CommandRun run = Veltrane(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_THAT(run.out, HasSubstr(c.inOut));
        EXPECT_THAT(run.err, HasSubstr(c.inErr));
    }
    // Without a JSON writer (a build without json/) --json is refused.
    std::ostringstream out, err;
    EXPECT_EQ(RunCommandLine({"--exif", "--json", jpg}, out, err, {}), kExitFailure);
    EXPECT_THAT(err.str(), HasSubstr("--json is not available"));
}

TEST_F(MetadataFiles, JsonIsUtf8WithEveryControlCharacterEscaped) {
    samples::SampleExif exif;
    exif.make = "Caf\xE9";  // Windows-1252 in the file
    exif.orientation = 8;
    const std::u8string name = u8"Z\u00FCrich \u6771\u4EAC.jpg";
    const std::filesystem::path file = folder_.Path() / name;
    veltrane::testing::WriteBytes(file, samples::SampleStereoImage(0, exif));
    const std::u8string path8 = file.u8string();
    const std::string path(path8.begin(), path8.end());
    const CommandRun run = Veltrane({"--exif", "--json", path});
    EXPECT_EQ(run.status, kExitOk);
    EXPECT_THAT(run.out, HasSubstr("\"Orientation\": \"Clockwise 90\xC2\xB0\""));  // as UTF-8, not escaped
    EXPECT_THAT(run.out, HasSubstr("\"Manufacturer\": \"Caf\xC3\xA9\""));
    rapidjson::Document document;
    ASSERT_FALSE(document.Parse(run.out.c_str()).HasParseError());
    EXPECT_EQ(Text(document[0]["SourceFile"]), path);
    EXPECT_EQ(Text(document[0]["Rows"]["Image"]), std::string(name.begin(), name.end()));

    // Every text the writer gets comes out as valid JSON of the same text; bytes that are no
    // UTF-8 become U+FFFD.
    std::string controls;
    for (char c = 1; c < 32; ++c) controls += c;
    struct Case {
        std::string given, read;
    };
    const Case cases[] = {
        {controls + "\"\\/\x7F", controls + "\"\\/\x7F"},
        {std::string("nul\0inside", 10), std::string("nul\0inside", 10)},
        {"caf\xE9 \xC3\xA9", "caf\xEF\xBF\xBD \xC3\xA9"},
        {"\xED\xA0\x80 surrogate", "\xEF\xBF\xBD surrogate"},
    };
    for (const Case& c : cases) {
        const std::unique_ptr<RecordWriter> writer = json::NewJsonRecordWriter();
        writer->BeginObject();
        writer->Member(c.given, c.given);
        writer->EndObject();
        const std::string text = writer->TakeText();
        for (const char ch : text) EXPECT_FALSE(static_cast<unsigned char>(ch) < 0x20 && ch != '\n') << text;
        rapidjson::Document read;
        ASSERT_FALSE(read.Parse(text.c_str(), text.size()).HasParseError()) << text;
        EXPECT_EQ(Text(read.MemberBegin()->name), c.read);
        EXPECT_EQ(Text(read.MemberBegin()->value), c.read);
    }
}

}  // namespace
}  // namespace veltrane

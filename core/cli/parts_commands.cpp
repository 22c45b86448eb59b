// SPDX-License-Identifier: GPL-3.0-or-later
// veltrane --parts FILE...: every part of each file (images, gain and depth maps, videos,
// makers' records), a line each, then what did not add up; as a record, the arrays "Parts" and
// "Problems".
// veltrane --remove-video FILE [OUTPUT]: the photo without its video.
#include <ostream>
#include <span>

#include "core/cli/command_line.h"
#include "core/cli/commands.h"
#include "core/cli/metadata_files.h"
#include "core/common/command_report.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/mpo/mpo_error.h"
#include "core/parts/file_parts.h"
#include "core/parts/jpeg_parts.h"
#include "core/parts/remove_video.h"

namespace veltrane {
namespace {

using parts::FilePart;

std::string ThreeDigits(int n) {
    std::string s = "00" + std::to_string(n);
    return s.substr(s.size() - 3);
}

// The scan's notices as lines of the file's output on stderr.
class PartsNotices : public ScanListener {
public:
    explicit PartsNotices(FileOutput& output) : output_(output) {}
    void ImageLimitReached(std::int64_t) override { output_.Notice(TooManyImagesLine(output_.Path(), "listed")); }
    void MpfIndexIgnored(const std::string& reason) override {
        output_.Notice(MpfIndexIgnoredLine(output_.Path(), reason));
    }

private:
    FileOutput& output_;
};

std::string RoleText(const FilePart& part) { return part.role.empty() ? "none" : part.role; }

// "Part 003  video  video/mp4  start 52310  length 1316864  container directory  role: motion photo"
std::string PartLine(const FilePart& part) {
    std::string line = "Part " + ThreeDigits(part.number) + "  " + parts::PartKindText(part.kind) + "  " + part.mime;
    if (part.InXmp()) {
        line += "  in XMP (" + part.xmpProperty + ")  length " + std::to_string(part.Length());
    } else {
        line += "  start " + std::to_string(part.ranges.empty() ? 0 : part.ranges.front().offset) + "  length " +
                std::to_string(part.Length());
        if (part.ranges.size() > 1) line += " in " + std::to_string(part.ranges.size()) + " extents";
    }
    line += "  ";
    line += parts::PartLocatorText(part.locatedBy);
    line += "  role: " + RoleText(part);
    return line;
}

void WritePartRecord(const FilePart& part, RecordWriter& record) {
    record.BeginObject();
    record.Key("Number");
    record.Integer(part.number);
    record.Member("Kind", parts::PartKindText(part.kind));
    record.Member("MimeType", part.mime);
    if (part.InXmp()) {
        record.Member("InXmp", part.xmpProperty);
    } else {
        record.Key("Start");
        record.Integer(part.ranges.empty() ? 0 : part.ranges.front().offset);
    }
    record.Key("Length");
    record.Integer(part.Length());
    if (part.ranges.size() > 1) {
        record.Key("Extents");
        record.BeginArray();
        for (const parts::ByteRange& r : part.ranges) {
            record.BeginArray();
            record.Integer(r.offset);
            record.Integer(r.length);
            record.EndArray();
        }
        record.EndArray();
    }
    record.Member("LocatedBy", parts::PartLocatorText(part.locatedBy));
    record.Member("Role", RoleText(part));
    record.EndObject();
}

void ReadPartsFile(const ScanOptions& scan, FileOutput& output) {
    if (!IsExistingFile(output.Path())) return output.Fail(InOutError::TextOf(ioerr::FileNotFound));
    parts::FileParts found;
    PartsNotices notices(output);
    try {
        found = parts::FindFileParts(output.Path(), scan, notices);
    } catch (const InOutError& e) {
        return output.Fail(e.what());
    }
    const parts::PartList& list = found.list;
    if (RecordWriter* record = output.Record()) {
        record->Key("Parts");
        record->BeginArray();
        for (const FilePart& part : list.parts) WritePartRecord(part, *record);
        record->EndArray();
        record->Key("Problems");
        record->BeginArray();
        for (const std::string& problem : list.problems) record->String(problem);
        record->EndArray();
        return;
    }
    std::string& text = output.Text();
    for (const FilePart& part : list.parts) text += PartLine(part) + "\n";
    if (list.parts.empty()) text += "No parts found.\n";
    for (const std::string& problem : list.problems) text += "Problem: " + problem + "\n";
}

}  // namespace

int RunPartsCommand(const std::vector<std::string>& args, const CommandLineOptions& options, std::ostream& out,
                    std::ostream& err, const CommandLineServices& services) {
    MetadataWords words = MetadataWordsOf(options);
    if (!ParseMetadataWords("--parts", args, false, words, err)) return kExitUsage;
    return RunMetadataFiles(words, services, out, err,
                            [&](FileOutput& output) { ReadPartsFile(options.scan, output); });
}

int RunRemoveVideoCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> files;
    bool options = true;
    for (const std::string& a : args) {
        if (options && a == "--") options = false;
        else if (options && a.size() > 1 && a[0] == '-') return Usage(err, "unknown option " + a);
        else files.push_back(a);
    }
    if (files.empty() || files.size() > 2) return Usage(err, "--remove-video takes FILE [OUTPUT]");
    const std::string& input = files[0];
    const std::string output = files.size() == 2 ? files[1] : parts::DefaultStillName(input);
    if (const int status = CheckOutputFile(output, std::span(&input, 1), "is the photo itself", err); status != 0)
        return status;
    if (!IsExistingFile(input)) {
        err << "veltrane: " << input << ": " << InOutError::TextOf(ioerr::FileNotFound) << "\n";
        return kExitFailure;
    }
    try {
        const parts::RemoveVideoReport report = parts::RemoveVideo(input, output);
        for (const std::string& change : report.changes) out << change << "\n";
        out << output << ": " << report.removedBytes << " bytes of video removed, " << report.fileSize
            << " bytes left\n";
    } catch (const InOutError& e) {
        out.flush();
        err << "veltrane: " << e.FileName() << ": " << e.what() << "\n";
        return kExitFailure;
    } catch (const MpoError& e) {
        out.flush();
        err << "veltrane: " << e.Subject() << ": " << e.what() << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace veltrane

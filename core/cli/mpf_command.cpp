// SPDX-License-Identifier: GPL-3.0-or-later
// veltrane --mpf FILE...: prints each file's MPF index with each image's role, and whether the
// signature scan agrees; as a record, the array "Entries" and "ScanAgrees" (with the scan's own
// starts, "ScanStarts", when it does not agree).
#include <ostream>

#include "core/cli/command_line.h"
#include "core/cli/commands.h"
#include "core/cli/metadata_files.h"
#include "core/common/file_io.h"
#include "core/common/io_error.h"
#include "core/images/mpf_index.h"
#include "core/images/scanner.h"
#include "core/mpo/image_role.h"

namespace veltrane {
namespace {

std::string ThreeDigits(std::size_t n) {
    std::string s = "00" + std::to_string(n);
    return s.substr(s.size() - 3);
}

void WriteText(const MpfIndex& mpf, const std::vector<ImageRole>& roles, const ImageIndex& scanned, bool same,
               std::string& text) {
    for (std::size_t i = 0; i < mpf.entries.size(); ++i) {
        const MpfEntry& e = mpf.entries[i];
        text += "Image " + ThreeDigits(i + 1) + "  " + MpfTypeName(e.attribute) + "  start " + std::to_string(e.start) +
                "  size " + std::to_string(e.size) + "  flags: " + MpfFlagsText(e.attribute) +
                "  role: " + ImageRoleText(roles[i]) + "\n";
    }
    if (same) {
        text += "The signature scan finds the same starts.\n";
        return;
    }
    text += "The signature scan finds other starts:";
    constexpr int kShown = 20;
    for (int n = 1; n <= std::min(scanned.ImageCount, kShown); ++n)
        text += (n == 1 ? " " : ", ") + std::to_string(scanned.ImageStart(n));
    if (scanned.ImageCount == 0) text += " none";
    if (scanned.ImageCount > kShown) text += ", ...";
    text += " (" + std::to_string(scanned.ImageCount) + (scanned.ImageCount == 1 ? " image)" : " images)") + "\n";
}

void WriteRecord(const MpfIndex& mpf, const std::vector<ImageRole>& roles, const ImageIndex& scanned, bool same,
                 RecordWriter& record) {
    record.Key("Entries");
    record.BeginArray();
    for (std::size_t i = 0; i < mpf.entries.size(); ++i) {
        const MpfEntry& e = mpf.entries[i];
        record.BeginObject();
        record.Key("Number");
        record.Integer(static_cast<std::int64_t>(i) + 1);
        record.Member("Type", MpfTypeName(e.attribute));
        record.Key("Start");
        record.Integer(e.start);
        record.Key("Size");
        record.Integer(e.size);
        record.Member("Flags", MpfFlagsText(e.attribute));
        record.Member("Role", ImageRoleText(roles[i]));
        record.EndObject();
    }
    record.EndArray();
    record.Key("ScanAgrees");
    record.Boolean(same);
    if (same) return;
    record.Key("ScanStarts");
    record.BeginArray();
    for (int n = 1; n <= scanned.ImageCount; ++n) record.Integer(scanned.ImageStart(n));
    record.EndArray();
}

void ReadMpfFile(FileOutput& output) {
    const std::string& path = output.Path();
    try {
        MpfIndex mpf;
        std::vector<ImageRole> roles;
        {
            InputFile file(path);
            mpf = MpfIndexOfFile(file);
            if (mpf.Usable()) roles = ImageRolesOfFile(file, mpf);
        }
        if (!mpf.Usable()) {
            return output.Fail("no usable MPF index: " +
                               (mpf.found ? mpf.problem : "the first image's header holds no MPF segment"));
        }
        ImageIndex scanned;
        ScanListener quiet;
        ScanImageOffsets(scanned, path, ScanOptions{ImageRule::SignatureOnly}, quiet);
        bool same = static_cast<std::size_t>(scanned.ImageCount) == std::min<std::size_t>(mpf.entries.size(), kMaxImages);
        for (int n = 1; same && n <= scanned.ImageCount; ++n)
            same = scanned.ImageStart(n) == mpf.entries[static_cast<std::size_t>(n - 1)].start;
        if (RecordWriter* record = output.Record())
            WriteRecord(mpf, roles, scanned, same, *record);
        else
            WriteText(mpf, roles, scanned, same, output.Text());
    } catch (const InOutError& e) {
        output.Fail(e.what());
    }
}

}  // namespace

int RunMpfCommand(const std::vector<std::string>& args, const CommandLineOptions& options, std::ostream& out,
                  std::ostream& err, const CommandLineServices& services) {
    MetadataWords words = MetadataWordsOf(options);
    if (!ParseMetadataWords("--mpf", args, false, words, err)) return kExitUsage;
    return RunMetadataFiles(words, services, out, err, ReadMpfFile);
}

}  // namespace veltrane

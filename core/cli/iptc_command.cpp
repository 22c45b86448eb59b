// SPDX-License-Identifier: GPL-3.0-or-later
// veltrane --iptc FILE...: every IPTC dataset of each file's first APP13 section, one per line as
// TagName, a TAB and the value (UTF-8, as the records hold it); as a record, the object "IPTC"
// of the same names and values.
#include <ostream>

#include "core/cli/command_line.h"
#include "core/cli/commands.h"
#include "core/cli/metadata_files.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/iptc/iptc_data.h"

namespace veltrane {
namespace {

void ReadIptcFile(FileOutput& output) {
    const std::string& path = output.Path();
    if (!IsExistingFile(path)) return output.Fail(InOutError::TextOf(ioerr::FileNotFound));
    exif::IptcRecords iptc;
    iptc.LoadImageFile(path);
    std::vector<exif::TagEntry> datasets;
    datasets.reserve(static_cast<std::size_t>(iptc.DatasetCount()));
    for (int i = 0; i < iptc.DatasetCount(); ++i) datasets.push_back(iptc.DatasetAt(i));
    if (RecordWriter* record = output.Record()) {
        std::vector<NamedValue> values;
        values.reserve(datasets.size());
        for (const exif::TagEntry& dataset : datasets) values.emplace_back(dataset.TagName, dataset.DisplayText);
        record->Key("IPTC");
        record->BeginObject();
        WriteNamedValues(*record, values);
        record->EndObject();
        return;
    }
    std::string& text = output.Text();
    for (const exif::TagEntry& dataset : datasets) {
        text += dataset.TagName;
        text += '\t';
        text += dataset.DisplayText;
        text += '\n';
    }
}

}  // namespace

int RunIptcCommand(const std::vector<std::string>& args, const CommandLineOptions& options, std::ostream& out,
                   std::ostream& err, const CommandLineServices& services) {
    MetadataWords words = MetadataWordsOf(options);
    if (!ParseMetadataWords("--iptc", args, false, words, err)) return kExitUsage;
    return RunMetadataFiles(words, services, out, err, ReadIptcFile);
}

}  // namespace veltrane

// veltrane --iptc FILE: every IPTC dataset of the file's first APP13 section, one per line as
// TagName, a TAB and the value (UTF-8, as the records hold it).
#include <ostream>

#include "core/cli/command_line.h"
#include "core/cli/commands.h"
#include "core/common/native_path.h"
#include "core/iptc/iptc_data.h"

namespace veltrane {

int RunIptcCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1) {
        err << "veltrane: --iptc takes one file\nTry 'veltrane --help'.\n";
        return kExitUsage;
    }
    const std::string& path = args[0];
    if (!IsExistingFile(path)) {
        err << "veltrane: " << path << ": File not found\n";
        return kExitFailure;
    }
    exif::IptcRecords iptc;
    iptc.LoadImageFile(path);
    for (int i = 0; i < iptc.DatasetCount(); ++i) {
        const exif::TagEntry dataset = iptc.DatasetAt(i);
        out << dataset.TagName << '\t' << dataset.DisplayText << '\n';
    }
    return kExitOk;
}

}  // namespace veltrane

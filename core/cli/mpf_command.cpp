// veltrane --mpf FILE: prints the file's MPF index with each image's role, and whether the
// signature scan agrees.
#include <ostream>

#include "core/cli/command_line.h"
#include "core/cli/commands.h"
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

}  // namespace

int RunMpfCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1) {
        err << "veltrane: --mpf takes one file\nTry 'veltrane --help'.\n";
        return kExitUsage;
    }
    const std::string& path = args[0];
    try {
        MpfIndex mpf;
        std::vector<ImageRole> roles;
        {
            InputFile file(path);
            mpf = MpfIndexOfFile(file);
            if (mpf.Usable()) roles = ImageRolesOfFile(file, mpf);
        }
        if (!mpf.Usable()) {
            err << "veltrane: " << path << ": no usable MPF index: "
                << (mpf.found ? mpf.problem : "the first image's header holds no MPF segment") << "\n";
            return kExitFailure;
        }
        for (std::size_t i = 0; i < mpf.entries.size(); ++i) {
            const MpfEntry& e = mpf.entries[i];
            out << "Image " << ThreeDigits(i + 1) << "  " << MpfTypeName(e.attribute) << "  start "
                << e.start << "  size " << e.size << "  flags: " << MpfFlagsText(e.attribute)
                << "  role: " << ImageRoleText(roles[i]) << "\n";
        }
        ImageIndex scanned;
        ScanListener quiet;
        ScanImageOffsets(scanned, path, ScanOptions{ImageRule::SignatureOnly}, quiet);
        bool same = static_cast<std::size_t>(scanned.ImageCount) ==
                    std::min<std::size_t>(mpf.entries.size(), kMaxImages);
        for (int n = 1; same && n <= scanned.ImageCount; ++n)
            same = scanned.ImageStart(n) == mpf.entries[static_cast<std::size_t>(n - 1)].start;
        if (same) {
            out << "The signature scan finds the same starts.\n";
        } else {
            out << "The signature scan finds other starts:";
            constexpr int kShown = 20;
            for (int n = 1; n <= std::min(scanned.ImageCount, kShown); ++n)
                out << (n == 1 ? " " : ", ") << scanned.ImageStart(n);
            if (scanned.ImageCount == 0) out << " none";
            if (scanned.ImageCount > kShown) out << ", ...";
            out << " (" << scanned.ImageCount << (scanned.ImageCount == 1 ? " image)" : " images)")
                << "\n";
        }
    } catch (const InOutError& e) {
        out.flush();
        err << "veltrane: " << e.FileName() << ": " << e.what() << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace veltrane

#pragma once
// The commands of the command line, each in the folder of the part of the system it runs.
// Every command gets its arguments after the option word and returns an exit status.
#include <iosfwd>
#include <string>
#include <vector>

namespace veltrane {

// veltrane FILE [FOLDER | odd | even] [odd | even | WORD]        (core/split)
struct CommandLineServices;
int RunBatchSplitCommand(const std::vector<std::string>& params, std::ostream& err,
                         const CommandLineServices& services);
// veltrane --each [odd|even] [--] FILE...                       (core/cli, core/split)
int RunEachCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const CommandLineServices& services);
// veltrane --list FILE                                            (core/split)
int RunListCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// veltrane --exif|--info|--tags FILE [N]                          (core/exif)
enum class ExifCommand { Exif, Info, Tags };
int RunExifCommand(ExifCommand which, const std::vector<std::string>& args, std::ostream& out,
                   std::ostream& err);

// veltrane --iptc FILE                                            (core/iptc)
int RunIptcCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// veltrane --register-context-menu [odd|even] / --unregister-context-menu (core/registration)
int RunRegisterCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                       const std::string& programPath);
int RunUnregisterCommand(const std::vector<std::string>& args, std::ostream& out,
                         std::ostream& err);

// The start-up check of every interactive or batch start: an existing context-menu
// registration is written again with the running program's path. Never throws; returns
// whether a registration exists.                                  (core/registration)
bool RefreshContextMenuRegistration(const std::string& programPath);

}  // namespace veltrane

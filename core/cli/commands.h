// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The commands of the command line. Each is an adapter in this folder over the module it runs
// (named on the right); none of those modules knows the command line.
// Every command gets its arguments after the option word and returns an exit status.
#include <iosfwd>
#include <string>
#include <vector>

#include "core/cli/command_line.h"
#include "core/common/number_format.h"

namespace veltrane {

// veltrane FILE [FOLDER | odd | even] [odd | even | WORD]        (core/images)
int RunBatchSplitCommand(const std::vector<std::string>& params, const CommandLineOptions& options,
                         std::ostream& err, const CommandLineServices& services);
// veltrane --each [odd|even] [--] FILE...                       (core/cli, core/images)
int RunEachCommand(const std::vector<std::string>& args, const CommandLineOptions& options,
                   std::ostream& out, std::ostream& err, const CommandLineServices& services);
// veltrane --stereo [OPTIONS] --each FILE...                     (the stereo module, per file)
int RunStereoEachCommand(const std::vector<std::string>& args, const CommandLineOptions& options,
                         std::ostream& out, std::ostream& err, const CommandLineServices& services);
// The metadata commands take any number of files, and --json (core/cli/metadata_files.h);
// services give them the JSON writer.
// veltrane --list FILE...                                         (core/images)
int RunListCommand(const std::vector<std::string>& args, const CommandLineOptions& options,
                   std::ostream& out, std::ostream& err, const CommandLineServices& services = {});
// veltrane --mpf FILE...                                          (core/images, core/mpo)
int RunMpfCommand(const std::vector<std::string>& args, const CommandLineOptions& options, std::ostream& out,
                  std::ostream& err, const CommandLineServices& services = {});
// veltrane --parts FILE...                                        (core/parts)
int RunPartsCommand(const std::vector<std::string>& args, const CommandLineOptions& options, std::ostream& out,
                    std::ostream& err, const CommandLineServices& services = {});
// veltrane --remove-video FILE [OUTPUT]                           (core/parts)
int RunRemoveVideoCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// veltrane --join [--type disparity|multi-angle|panorama] [--] FILE... OUTPUT   (core/mpo)
int RunJoinCommand(const std::vector<std::string>& args, const CommandLineOptions& options,
                   std::ostream& out, std::ostream& err);
// veltrane --repair FILE [OUTPUT]                                 (core/mpo)
int RunRepairCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// veltrane --exif|--info|--tags [--image N] FILE... | FILE [N]     (core/exif)
// Numbers with decimals are written in the given format.
enum class ExifCommand { Exif, Info, Tags };
int RunExifCommand(ExifCommand which, const std::vector<std::string>& args,
                   const CommandLineOptions& options, std::ostream& out, std::ostream& err,
                   const CommandLineServices& services = {});

// veltrane --iptc FILE...                                         (core/iptc)
int RunIptcCommand(const std::vector<std::string>& args, const CommandLineOptions& options, std::ostream& out,
                   std::ostream& err, const CommandLineServices& services = {});

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

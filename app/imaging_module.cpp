// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/imaging_module.h"

#include <ostream>
#include <string_view>

#include "imaging/module/imaging_abi.h"
#include "app/module_loader.h"
#include "core/common/exit_codes.h"
#ifdef VELTRANE_IMAGING_MODULE
#include "imaging/stereo/spatial_rewrite.h"
#endif

namespace veltrane::app {
namespace {

void AppendToStream(void* context, const char* data, std::size_t size) {
    static_cast<std::ostream*>(context)->write(data, static_cast<std::streamsize>(size));
}

}  // namespace

int RunImagingCommand(const std::string& programPath, const char* command, const std::vector<std::string>& args,
                      std::ostream& out, std::ostream& err, const ScanOptions& scan) {
    // --transform has a module of its own, without the stereo pictures' libraries.
    const char* moduleName = nullptr;
#ifdef VELTRANE_IMAGING_MODULE
    if (std::string_view(command) == "--stereo" || std::string_view(command) == "--decode-heif-item")
        moduleName = VELTRANE_IMAGING_MODULE;
#endif
#ifdef VELTRANE_TRANSFORM_MODULE
    if (std::string_view(command) == "--transform") moduleName = VELTRANE_TRANSFORM_MODULE;
#endif
#ifdef VELTRANE_IMAGING_MODULE
    // New camera values for a spatial photo, without loading the module's libraries.
    if (std::string_view(command) == "--stereo")
        if (const auto status = stereo::RunSpatialCameraRewrite(args, out, err)) return *status;
#endif
    std::string error = "no module runs it";
    void* module = moduleName != nullptr ? LoadProgramModule(programPath, moduleName, error) : nullptr;
    const auto run = module != nullptr ? reinterpret_cast<veltrane_imaging_run_function>(
                                             ModuleSymbol(module, VELTRANE_IMAGING_RUN_SYMBOL))
                                       : nullptr;
    if (run == nullptr) {
        if (module != nullptr) error = "it lacks its entry point";
        err << "veltrane: " << command << " cannot load the imaging module " << (moduleName ? moduleName : "")
            << ": " << error << "\n";
        return kExitFailure;
    }
    std::vector<const char*> words;
    words.reserve(args.size());
    for (const std::string& arg : args) words.push_back(arg.c_str());
    const int rule = scan.rule == ImageRule::SignatureOnly ? veltrane_rule_signature_only : veltrane_rule_mpf_index_first;
    return run(command, static_cast<int>(words.size()), words.data(), rule, {AppendToStream, &out},
               {AppendToStream, &err});
}

}  // namespace veltrane::app

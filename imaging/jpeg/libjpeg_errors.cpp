// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/jpeg/libjpeg_errors.h"

#include <jerror.h>

namespace veltrane::libjpeg {
namespace {

ErrorManager& OwnerOf(j_common_ptr info) { return *reinterpret_cast<ErrorManager*>(info->err); }

[[noreturn]] void ErrorExit(j_common_ptr info) {
    ErrorManager& owner = OwnerOf(info);
    (*info->err->format_message)(info, owner.message);
    std::longjmp(owner.jump, 1);
}

// Level -1 is a warning about corrupt data; higher levels are trace messages.
void RefuseWarnings(j_common_ptr info, int level) {
    if (level < 0) ErrorExit(info);
}

void RefuseWarningsButStrayBytes(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code != JWRN_EXTRANEOUS_DATA) ErrorExit(info);
}

void OutputNothing(j_common_ptr) {}

void CheckScans(j_common_ptr info) {
    if (!info->is_decompressor) return;
    const auto* d = reinterpret_cast<j_decompress_ptr>(info);
    const auto* limit = reinterpret_cast<const ScanLimit*>(info->progress);
    if (d->input_scan_number > limit->maxScans) {
        ErrorManager& owner = OwnerOf(info);
        std::snprintf(owner.message, sizeof owner.message, "more than %d scans", limit->maxScans);
        std::longjmp(owner.jump, 1);
    }
}

jpeg_error_mgr* Installed(ErrorManager& errors, StrayBytes stray) {
    jpeg_std_error(&errors.pub);
    errors.pub.error_exit = ErrorExit;
    errors.pub.emit_message = stray == StrayBytes::Allowed ? RefuseWarningsButStrayBytes : RefuseWarnings;
    errors.pub.output_message = OutputNothing;
    return &errors.pub;
}

}  // namespace

void InstallErrorManager(jpeg_decompress_struct& codec, ErrorManager& errors, StrayBytes stray) {
    codec.err = Installed(errors, stray);
}

void InstallErrorManager(jpeg_compress_struct& codec, ErrorManager& errors) {
    codec.err = Installed(errors, StrayBytes::Refused);
}

void InstallScanLimit(jpeg_decompress_struct& info, ScanLimit& limit) {
    limit.pub.progress_monitor = CheckScans;
    info.progress = &limit.pub;
}

}  // namespace veltrane::libjpeg

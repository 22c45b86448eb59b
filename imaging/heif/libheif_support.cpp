// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/heif/libheif_support.h"

#include <mutex>

namespace veltrane::heif::detail {

void InitialiseLibheif() {
    static std::once_flag once;
    std::call_once(once, [] { Check(heif_init(nullptr), "libheif cannot start"); });
}

void Check(const heif_error& error, const std::string& what) {
    if (error.code == heif_error_Ok) return;
    std::string message = error.message != nullptr ? error.message : "";
    throw HeifError(message.empty() ? what : what + ": " + message);
}

ContextPtr NewContext() {
    InitialiseLibheif();
    ContextPtr context(heif_context_alloc());
    if (!context) throw std::bad_alloc();
    return context;
}

}  // namespace veltrane::heif::detail

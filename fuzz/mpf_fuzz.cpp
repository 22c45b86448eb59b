// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the MPF index reader as the first image's header: once as a whole
// file, once as the head of a longer file (so that the reader may ask for more bytes). The
// reader must never read outside the bytes, and what it accepts must keep the index rules.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/images/mpf_index.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto whole = static_cast<std::int64_t>(size);
    const std::int64_t longer = whole + 1 + (size > 0 ? data[0] : 0) * std::int64_t{4096};
    for (const std::int64_t fileSize : {whole, longer}) {
        veltrane::MpfIndex index = veltrane::ReadMpfIndex(bytes, fileSize);
        if (index.bytesNeeded != 0 && (index.bytesNeeded <= whole || index.bytesNeeded > fileSize))
            __builtin_trap();
        veltrane::CheckMpfImageStarts(index, [&](std::int64_t start) {
            return start + 3 <= whole ? veltrane::BeginsJpegAt(bytes, start) : true;
        });
        if (index.Usable()) {
            std::int64_t previous = -1;
            for (const veltrane::MpfEntry& entry : index.entries) {
                if (entry.start <= previous || entry.start >= fileSize) __builtin_trap();
                previous = entry.start;
                (void)veltrane::MpfTypeName(entry.attribute);
                (void)veltrane::MpfFlagsText(entry.attribute);
            }
        }
    }
    return 0;
}
